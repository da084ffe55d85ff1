#pragma once
// The row of the alarm dialog that offers the common repetitions directly:
// a list of kinds and, beside it, what the chosen kind needs (the weeks and
// days, or which weekday of the month). It only shows and reports a
// Repetition; the dialog writes it into its detailed fields.

#include <QWidget>
#include <array>
#include <functional>

#include "model/repetition.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace qv {

class VNumberBox;

class RepetitionPicker : public QWidget {
    Q_OBJECT
  public:
    explicit RepetitionPicker(QWidget* parent = nullptr);

    // The texts of the lists: the five kinds, the five ordinals (first to
    // fourth, last), the seven weekdays and their short forms, Sunday first.
    void setTexts(const QStringList& kinds, const QStringList& ordinals,
                  const QStringList& weekdays, const QStringList& shortWeekdays);

    // The words after the number of weeks, for that number ("week on", "weeks on").
    void setWeeksCaption(std::function<QString(int)> caption);

    // Shows `r` without reporting it. nothing = true leaves the list empty
    // (several alarms that repeat differently).
    void setRepetition(const Repetition& r, bool nothing = false);
    Repetition repetition() const;

    QComboBox* kindList() const { return cmbRepeatPattern_; }
    VNumberBox* weeksBox() const { return vnbRepeatWeeks_; }
    QCheckBox* dayBox(int weekday) const { return chkDay_[static_cast<std::size_t>(weekday - 1)]; }
    QComboBox* ordinalList() const { return cmbRepeatOrdinal_; }
    QComboBox* weekdayList() const { return cmbRepeatWeekday_; }

  signals:
    // The user chose or changed a repetition.
    void edited();

  private:
    void showParts();
    void report();
    void nameWeeks();

    bool filling_ = false;
    std::function<QString(int)> weeksCaption_;
    QLabel* lblRepeatPattern_;
    QComboBox* cmbRepeatPattern_;
    QWidget* fraWeekly_;
    VNumberBox* vnbRepeatWeeks_;
    QLabel* lblRepeatWeeks_;
    std::array<QCheckBox*, 7> chkDay_{};
    QWidget* fraMonthly_;
    QComboBox* cmbRepeatOrdinal_;
    QComboBox* cmbRepeatWeekday_;
};

}  // namespace qv
