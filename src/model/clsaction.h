#pragma once
// What an alarm does when it sounds: an action type and its settings element.

#include <cstdint>
#include <memory>
#include <string>

#include "base/datetime.h"
#include "model/ports.h"
#include "xml/xmlnode.h"

namespace qv {

class Alarm;

class clsAction {
public:
    // Action types.
    enum Type : std::int16_t {
        kShowMessage = 1,
        kSpeak = 2,
        kShowMessageAndSpeak = 3,
        kCommandLine1 = 4,
        kCommandLine2 = 5,
        kCommandLine3 = 6,
        kPlaySound = 7,
        kPlaySoundRepeatedly = 8,
        kTellTime = 9,
        kTellTimeUntil = 10,
        kTellTimeSince = 11,
        kScreenSaver = 12,
        kShutDown = 13,
        kReboot = 14,
        kLogOff = 15,
        kPlugIn = 16,
        kAlarmClock = 17,
    };

    std::int16_t action = 0;
    std::string plugin;
    XMLNodePtr settings;
    // The owning alarm; does not keep it alive.
    std::weak_ptr<Alarm> al;

    // A new action of `type` for `alarm`, with the type's default settings
    // from the language file (key "e<type>" of section "Action").
    static std::shared_ptr<clsAction> Create(ModelContext& ctx, const std::shared_ptr<Alarm>& alarm,
                                             std::int16_t type);
    static std::shared_ptr<clsAction> createFromXML(const XMLNode& element);

    XMLNodePtr toXML(const std::string& elementName) const;

    // Carries the action out for the moment `dueDate`; `timed` is false for a
    // trial run from the editor.
    void doAction(ModelContext& ctx, DateTime dueDate, bool timed) const;

    std::string getDescription(ModelContext& ctx) const;
    std::string getActionColorString(ModelContext& ctx) const;

    bool showsMessage() const { return action == kShowMessage || action == kShowMessageAndSpeak; }

private:
    void initialize();
    void runPlugIn(ModelContext& ctx, const std::shared_ptr<Alarm>& alarm, DateTime dueDate,
                   bool timed) const;
};

using ActionPtr = std::shared_ptr<clsAction>;

}  // namespace qv
