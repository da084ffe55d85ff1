#pragma once
// Waking the computer from sleep for the next alarm: the wake timer is armed a
// minute before the next alarm moment that sounds, armed again whenever that
// moment changes, and disarmed when there is none (or alarms are blocked, or
// the setting is off).

#include "base/datetime.h"

namespace qv {

class Program;
class WakeTimer;

class WakeScheduler {
  public:
    // The computer wakes this long before the alarm, to be up and running when it sounds.
    static constexpr int kLeadSeconds = 60;

    explicit WakeScheduler(Program& program);

    // The timer to arm (none: nothing is armed).
    void attach(WakeTimer* timer);
    // Brings the timer in line with the supervision's next alarm and the setting.
    void update();
    // The moment the timer is armed for; kNever when it is not armed.
    DateTime armedFor() const { return armed_; }

  private:
    Program& p_;
    WakeTimer* timer_ = nullptr;
    DateTime armed_ = kNever;
    bool failureLogged_ = false;
};

}  // namespace qv
