#pragma once
// The days-off parts of the alarm and alarm-group dialogs: a list of
// calendars (one per line) with the shipped public-holiday calendars and a
// file at hand, and the alarm's "Not on days off" with its own calendars.

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <string>
#include <vector>

#include "model/alarmgroup.h"

namespace qv {

class Program;

// The shipped public-holiday calendars: (stored name "holidays/DE.ics", the
// calendar's own title), sorted by title.
std::vector<std::pair<std::string, std::string>> shippedDaysOffCalendars(const std::string& shippedFolder);

// Reads the days-off calendars of the alarms' groups once the event loop
// runs again (a new alarm is in its group by then).
void refreshDaysOffSoon(Program& program, const std::vector<AlarmPtr>& alarms);

class DaysOffEditor : public QWidget {
    Q_OBJECT
  public:
    DaysOffEditor(Program& program, const char* section, QWidget* parent);
    // `asEdited`: counts as typed by the user (then OK writes it).
    void setSources(const std::vector<std::string>& sources, bool asEdited = false);
    // Several groups or alarms with different calendars: shows nothing until edited.
    void setMixed(const QString& placeholder);
    void setPlaceholder(const QString& text) { txtDaysOffCalendars_->setPlaceholderText(text); }
    std::vector<std::string> sources() const;
    bool edited() const { return edited_; }

  signals:
    void changed();

  private:
    void addSource(const QString& source);
    void chooseFile();
    Program& p_;
    std::string section_;
    QPlainTextEdit* txtDaysOffCalendars_;
    QPushButton* cmdAddHolidays_;
    QPushButton* cmdBrowseDaysOff_;
    bool edited_ = false;
    bool filling_ = false;
};

// "Not on days off" and the alarm's own calendars (empty: its group's).
class DaysOffAlarmRow : public QWidget {
    Q_OBJECT
  public:
    DaysOffAlarmRow(Program& program, const char* section, QWidget* parent);
    // The box itself, for a place beside the weekdays.
    QCheckBox* checkBox() const { return chkNotOnDaysOff_; }
    void load(const std::vector<AlarmPtr>& alarms);
    // A template's days off, as if set by hand: OK gives them to the alarms.
    void takeFrom(const Alarm& alarmTemplate, const AlarmGroupPtr& group);
    // The group the alarm goes into, whose calendars it uses by default.
    void showGroup(const AlarmGroupPtr& group);
    // Whether the user changed anything (then apply() sets it on each alarm).
    bool touched() const { return boxTouched_ || editor_->edited(); }
    void apply(Alarm& alarm) const;
    void updateVisibility();

  private:
    Program& p_;
    std::string section_;
    QCheckBox* chkNotOnDaysOff_;
    QLabel* lblDaysOffCalendars_;
    DaysOffEditor* editor_;
    bool boxTouched_ = false;
};

}  // namespace qv
