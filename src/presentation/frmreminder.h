#pragma once
// The small window of a reminder before an alarm: it names the coming alarm,
// the moment it sounds and how long until then, and goes with OK. One window
// per alarm: a later reminder of the same alarm brings it up again.

#include <QString>
#include <QWidget>

#include "base/datetime.h"
#include "model/alarm.h"

class QLabel;
class QPushButton;

namespace qv {

class Program;

class frmReminder : public QWidget {
    Q_OBJECT
  public:
    explicit frmReminder(Program& program, QWidget* parent = nullptr);

    void showReminder(const AlarmPtr& alarm, DateTime alarmMoment);
    void translate();

    // The two lines a reminder says, also for a desktop notification:
    // which alarm comes, and when (at `alarmMoment`, seen at `now`).
    static QString headline(Program& program, const Alarm& alarm);
    static QString whenText(Program& program, DateTime alarmMoment, DateTime now);

    AlarmPtr alarm;
    DateTime alarmMoment;
    QLabel* lblReminder = nullptr;
    QLabel* lblWhen = nullptr;
    QPushButton* cmdOk = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    Program& p_;
};

}  // namespace qv
