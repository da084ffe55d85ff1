#include "model/clsaction.h"

#include "base/colors.h"
#include "base/inifile.h"
#include "base/translation.h"
#include "model/alarm.h"
#include "model/texts.h"

namespace qv {

void clsAction::initialize() { settings = XMLNode::Create("sett"); }

ActionPtr clsAction::Create(ModelContext& ctx, const std::shared_ptr<Alarm>& alarm,
                            std::int16_t type) {
    auto a = std::make_shared<clsAction>();
    a->initialize();
    a->action = type;
    a->al = alarm;
    if (type != kPlugIn) {
        // The defaults of each built-in type live in the language file ("e<type>").
        const std::string key = "e" + std::to_string(type);
        const std::string xml = ctx.translation.readKey(texts::kAction, key, "");
        if (!xml.empty()) {
            auto parsed = XMLNode::createFromXML(xml, "sett");
            if (!parsed->name.empty()) a->settings = parsed;
        }
    }
    return a;
}

ActionPtr clsAction::createFromXML(const XMLNode& element) {
    auto a = std::make_shared<clsAction>();
    a->initialize();
    a->action = element.getInteger("acid", 0, 0);
    a->plugin = element.getString("plug", 0, "");
    const std::int32_t at = element.getNodeIndex("sett", 0);
    // The action gets settings of its own: the element may belong to another
    // alarm's live tree (a copy pasted from the clipboard form, say).
    if (at >= 0) a->settings = element.getNodeAt(at)->getCopy();
    return a;
}

XMLNodePtr clsAction::toXML(const std::string& elementName) const {
    auto n = XMLNode::Create(elementName);
    n->addInteger("acid", action);
    n->addString("plug", plugin);
    // A copy: whatever becomes of the XML form must not reach this action.
    n->addNode(settings ? settings->getCopy() : XMLNode::Create("sett"));
    return n;
}

void clsAction::doAction(ModelContext& ctx, DateTime dueDate, bool timed) const {
    const auto alarm = al.lock();
    const std::string s = settings->getString("s", 0, "");
    auto tellTime = [&](const char* keyword, bool withDate) {
        std::string command = std::string(keyword) + " \"" + s + "\"";
        if (withDate) command += " \"" + settings->getString("d", 0, "") + "\"";
        ctx.performer.tellTime(command);
    };
    switch (action) {
        case kShowMessage:
            ctx.performer.showAlarmWindow(alarm, *this, dueDate, timed, "");
            break;
        case kSpeak:
            ctx.performer.speak(s);
            break;
        case kShowMessageAndSpeak:
            ctx.performer.showAlarmWindow(alarm, *this, dueDate, timed, "");
            ctx.performer.speak(s);
            break;
        case kCommandLine1:
        case kCommandLine2:
        case kCommandLine3:
            ctx.commands.runCommand(s);
            break;
        case kPlaySound:
        case kPlaySoundRepeatedly:
            ctx.performer.playAlarmSound(alarm, *this, dueDate, timed, false);
            break;
        case kTellTime:
            tellTime("now", false);
            break;
        case kTellTimeUntil:
            tellTime("unt", true);
            break;
        case kTellTimeSince:
            tellTime("sin", true);
            break;
        case kScreenSaver:
            ctx.commands.startScreenSaver();
            break;
        case kShutDown:
            ctx.commands.shutDown();
            break;
        case kReboot:
            ctx.commands.reboot();
            break;
        case kLogOff:
            ctx.commands.logOff();
            break;
        case kPlugIn:
            runPlugIn(ctx, alarm, dueDate, timed);
            break;
        case kAlarmClock:
            ctx.performer.soundAlarmClock();
            break;
        default:
            ctx.performer.showAlarmWindow(alarm, *this, dueDate, timed,
                                          ctx.translation.getText(texts::kAction, 901));
            break;
    }
}

void clsAction::runPlugIn(ModelContext& ctx, const std::shared_ptr<Alarm>& alarm, DateTime dueDate,
                          bool timed) const {
    std::string params = ctx.plugIns.lang() + settings->toString();
    if (alarm) params += alarm->toXML("alrm")->toString();
    const std::string answer = ctx.plugIns.methodCall(plugin, "Execute", params, false);
    auto reply = XMLNode::Create();
    (void)reply->initializeFromXML(answer);  // an unreadable answer is simply no success
    if (reply->getNodeIndex("success", 0) >= 0) return;
    std::string message = ctx.safeMode ? ctx.translation.getText(texts::kAction, 902)
                                       : reply->getString("error", 0, "");
    if (message.empty()) message = " ";
    ctx.performer.showAlarmWindow(alarm, *this, dueDate, timed, message);
}

std::string clsAction::getDescription(ModelContext& ctx) const {
    if (action == kPlugIn) return ctx.plugIns.actionDescription(plugin);
    return ctx.translation.getText(texts::kAction, action);
}

std::string clsAction::getActionColorString(ModelContext& ctx) const {
    const std::int32_t base = ctx.colours.getColour(30, 0);
    if (action == kPlugIn) return ctx.colours.getNamedColour(plugin, base);
    return std::to_string(ctx.colours.getColour(30 + action, base));
}

}  // namespace qv
