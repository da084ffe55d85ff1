#include "core/wakescheduler.h"

#include <cstdint>

#include "core/program.h"

namespace qv {

WakeScheduler::WakeScheduler(Program& program) : p_(program) {}

void WakeScheduler::attach(WakeTimer* timer) {
    if (timer_ && armed_ != kNever) timer_->disarm();
    timer_ = timer;
    armed_ = kNever;
    update();
}

void WakeScheduler::update() {
    if (!timer_) return;
    const SupervisionState& s = p_.supervision;
    DateTime target = kNever;
    if (p_.settings.wake && !p_.safeMode && !p_.exiting && !s.blocked &&
        s.nextAlarms.numberOfElements() > 0 && s.nextAlarmDate < kNever) {
        // Alarms sound once the clock less the timer correction reaches them.
        const std::int64_t tc = p_.settings.tc;
        const std::int64_t correction = tc >= 0 ? tc / 1000 : -((-tc + 999) / 1000);
        target = DateTime(s.nextAlarmDate.seconds() + correction - kLeadSeconds);
    }
    if (target == armed_) return;
    armed_ = target;
    if (target == kNever) {
        timer_->disarm();
        return;
    }
    if (!timer_->arm(target) && !failureLogged_) {
        failureLogged_ = true;
        const std::string why = timer_->unavailableReason();
        p_.writeLog("the computer cannot be woken for alarms" + (why.empty() ? "" : ": " + why));
    }
}

}  // namespace qv
