#include "model/alarmgroup.h"

#include <filesystem>
#include <system_error>

#include "base/colors.h"
#include "base/files.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "model/clsadvanceddate.h"
#include "model/texts.h"
#include "xml/xmlparser.h"

namespace qv {
namespace {

constexpr std::string_view kAgPath = "agPath";

// The text from the last "." of the file name; empty when it has none.
std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

// The first "algr" element of a plug-in answer (or the answer itself).
XMLNodePtr findGroupElement(const XMLNodePtr& answer) {
    if (answer->name == "algr") return answer;
    const std::int32_t at = answer->getNodeIndex("algr", 0);
    return at >= 0 ? answer->getNodeAt(at) : nullptr;
}

std::string pathParameter(const std::string& path) {
    return "<path>" + XMLNode::stringToXMLString(path) + "</path>";
}

}  // namespace

void AlarmGroup::initialize() {
    alarms.clear();
    synchSettings = XMLNode::Create("syst");
}

AlarmGroupPtr AlarmGroup::createDefaultAlarmGroup(ModelContext& ctx) {
    auto g = std::make_shared<AlarmGroup>();
    g->initialize();
    g->name = ctx.translation.getText(texts::kAlarmGroup, 101);
    g->Active = true;
    g->changedSinceImport = true;
    g->Color = ctx.colours.getColour(1, kWindowTextColour);
    return g;
}

void AlarmGroup::addAlarm(const AlarmPtr& alarm) {
    alarm->parent = weak_from_this();
    alarms.addElement(alarm);
}

void AlarmGroup::readFrom(ModelContext& ctx, const XMLNode& root) {
    readSettings(ctx, root);
    alarms.clear();
    Alarm::SharedPrograms programs;
    for (const XMLNodePtr& child : root.children()) readAlarm(child, programs);
}

bool AlarmGroup::readAlarm(const XMLNodePtr& node, Alarm::SharedPrograms& programs) {
    if (!node || node->name != "alrm") return false;
    auto alarm = Alarm::createFromXML(*node, shared_from_this());
    alarm->shareProgram(programs);
    alarms.addElement(std::move(alarm));
    return true;
}

void AlarmGroup::readSettings(ModelContext& ctx, const XMLNode& root) {
    // The default name is looked up only when needed: it is the one text a
    // loaded group may need, and asking for it reads the language file.
    name = root.findNode("name") ? root.getString("name")
                                 : ctx.translation.getText(texts::kAlarmGroup, 101);
    Active = root.getBoolean("stat", 0, true);
    changedSinceImport = root.getBoolean("chsi", 0, true);
    Color = root.getLong("colr", 0, ctx.colours.getColour(1, kWindowTextColour));
    synchPlugin = root.getString("sync", 0, "");
    const std::int32_t syst = root.getNodeIndex("syst", 0);
    synchSettings = syst >= 0 ? root.getNodeAt(syst)->getCopy() : XMLNode::Create("syst");

    template_.clear();
    // The older layout kept the template alarm as "al" inside the
    // synchronisation settings. It is renamed "tmpl" so that it survives the
    // next save and load in the current layout.
    if (root.getInteger("type", 0, -1) >= 0) {
        const std::int32_t al = synchSettings->getNodeIndex("al", 0);
        if (al >= 0) {
            const XMLNodePtr old = synchSettings->getNodeAt(al);
            if (old->getNumberOfNodes() > 0) {
                auto copy = old->getCopy();
                copy->name = "tmpl";
                template_ = copy->toString();
            }
        }
    }
    const std::int32_t tmpl = root.getNodeIndex("tmpl", 0);
    if (tmpl >= 0 && root.getNodeAt(tmpl)->getNumberOfNodes() > 0)
        template_ = root.getNodeAt(tmpl)->toString();
    // A group without days off keeps what its alarms have worked out so far
    // (the loading threads answer each alarm's first question before this).
    const XMLNodePtr doff = root.findNode("doff");
    if (doff)
        setDaysOff(GroupDaysOff::fromXML(*doff));
    else if (!daysOff.empty())
        setDaysOff(GroupDaysOff{});
}

AlarmGroupPtr AlarmGroup::createFromNode(ModelContext& ctx, const XMLNode& root) {
    auto g = std::make_shared<AlarmGroup>();
    g->initialize();
    g->readFrom(ctx, root);
    if (!g->synchPlugin.empty()) g->startSynchronization(ctx);
    return g;
}

AlarmGroupPtr AlarmGroup::createFromXML(ModelContext& ctx, const std::string& xml) {
    const auto root = XMLNode::createFromXML(xml);
    return createFromNode(ctx, *root);
}

bool AlarmGroup::isTooLarge(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return !ec && size > kMaxFileBytes;
}

AlarmGroup::GroupFileReading AlarmGroup::readGroupFile(const std::string& path) {
    std::string buffer;
    return readGroupFile(path, buffer);
}

AlarmGroup::GroupFileReading AlarmGroup::readGroupFile(const std::string& path,
                                                       std::string& content) {
    GroupFileReading reading;
    if (!readFileInto(path, kMaxFileBytes, content, nullptr)) return reading;
    // Each alarm is read as soon as its element has been parsed, and its nodes
    // go right away: the whole file is never held as a tree, so a large group
    // loads in a few cache-warm blocks. The other children stay in the root.
    auto g = std::make_shared<AlarmGroup>();
    g->initialize();
    Alarm::SharedPrograms programs;
    const bool failed = XMLParser::parse(content, reading.rest, [&](const XMLNodePtr& child) {
        return g->readAlarm(child, programs);
    });
    // A file that is not well formed is not loaded: an empty group saved over
    // it later would lose the alarms it still holds.
    if (!failed) reading.group = std::move(g);
    return reading;
}

AlarmGroupPtr AlarmGroup::finishGroupFile(ModelContext& ctx, GroupFileReading reading,
                                          const std::string& path) {
    const AlarmGroupPtr g = std::move(reading.group);
    if (!g) return nullptr;
    g->readSettings(ctx, reading.rest);
    // The plug-in works in the background; the group starts with the alarms
    // its file holds.
    if (!g->synchPlugin.empty()) g->startSynchronization(ctx);
    std::string folder = ctx.alarmGroupFolder;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    // Only a file inside the folder itself counts, not one in "<folder>2/".
    if (!folder.empty() && path.size() > folder.size() + 1 &&
        path.compare(0, folder.size(), folder) == 0 &&
        (path[folder.size()] == '/' || path[folder.size()] == '\\')) {
        g->path = std::string(kAgPath) + path.substr(folder.size());
    } else {
        g->path = path;
    }
    return g;
}

AlarmGroupPtr AlarmGroup::createAlarmGroupFromFile(ModelContext& ctx, const std::string& path) {
    const std::string ext = extensionOf(path);
    if (ext.empty()) return nullptr;
    if (ext == ".agx") return finishGroupFile(ctx, readGroupFile(path), path);

    const std::string plugin = ctx.plugIns.fileImportPlugInFor(ext);
    if (plugin.empty()) return nullptr;
    const std::string answer = ctx.plugIns.methodCall(
        plugin, "GetAlarmgroupFromFile", ctx.plugIns.lang() + pathParameter(path), false);
    if (answer.empty()) return nullptr;
    const XMLNodePtr element = findGroupElement(XMLNode::createFromXML(answer));
    if (!element) return nullptr;
    auto g = createFromNode(ctx, *element);
    g->setChanged();
    return g;
}

AlarmGroupPtr AlarmGroup::createAlarmGroupFromImportedFile(ModelContext& ctx,
                                                           const std::string& path) {
    auto g = createAlarmGroupFromFile(ctx, path);
    if (g) {
        g->changedSinceImport = false;
        g->changed = true;
        g->path.clear();
        g->importedForm_ = g->buildXML(false)->toString();
    }
    return g;
}

std::vector<AlarmGroupPtr> AlarmGroup::createAlarmGroupsFromCollection(ModelContext& ctx,
                                                                       const std::string& path) {
    std::vector<AlarmGroupPtr> groups;
    const auto content = tryReadFile(path, kMaxFileBytes, nullptr);
    if (!content) return groups;
    auto root = XMLNode::Create();
    if (root->initializeFromXML(*content)) return groups;
    for (const XMLNodePtr& child : root->children()) groups.push_back(createFromNode(ctx, *child));
    return groups;
}

bool AlarmGroup::saveCollection(const std::vector<AlarmGroupPtr>& groups, const std::string& path) {
    auto root = XMLNode::Create("alarmgroupcollection");
    for (const auto& g : groups) root->addNode(g->toXML());
    return !root->toXMLFile(path);
}

std::string AlarmGroup::newFilePath(const std::string& folder) {
    for (long n = 0;; ++n) {
        const std::string file = "usg_" + std::to_string(n) + ".agx";
        if (!fileExists(folder + "/" + file)) return std::string(kAgPath) + "/" + file;
    }
}

std::string AlarmGroup::resolvePath(const std::string& storedPath, const std::string& folder) {
    std::string p = storedPath;
    if (p.compare(0, kAgPath.size(), kAgPath) == 0) p = folder + p.substr(kAgPath.size());
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

XMLNodePtr AlarmGroup::toXML() const { return buildXML(getChangedSinceImport()); }

XMLNodePtr AlarmGroup::buildXML(bool changedSinceImportValue) const {
    auto n = XMLNode::Create("algr");
    n->addString("name", name);
    n->addBoolean("stat", Active);
    n->addBoolean("chsi", changedSinceImportValue);
    n->addLong("colr", Color);
    if (!template_.empty()) n->addXMLString(template_);
    n->addString("sync", synchPlugin);
    // Copies throughout: an XML form never shares the group's live settings.
    n->addNode(synchSettings ? synchSettings->getCopy() : XMLNode::Create("syst"));
    if (!daysOff.empty()) n->addNode(daysOff.toXML());
    for (const AlarmPtr& alarm : alarms) n->addNode(alarm->toXML("alrm"));
    return n;
}

bool AlarmGroup::save(ModelContext& ctx, const std::string& path, bool manual) {
    const std::string ext = extensionOf(path);
    if (ext.empty()) return false;
    bool ok;
    if (ext == ".agx") {
        ok = !toXML()->toXMLFile(resolvePath(path, ctx.alarmGroupFolder));
    } else {
        const std::string plugin = ctx.plugIns.fileExportPlugInFor(ext);
        if (plugin.empty()) return false;
        const std::string answer = ctx.plugIns.methodCall(
            plugin, "SaveAlarmgroupToFile",
            ctx.plugIns.lang() + pathParameter(path) + toXML()->toString(), false);
        auto reply = XMLNode::Create();
        ok = !reply->initializeFromXML(answer) && reply->getNodeIndex("success", 0) >= 0;
    }
    if (!ok) return false;
    if (manual) {
        changedSinceImport = false;
        // Still unsaved: later edits are told apart by the content.
        importedForm_ = getChanged() ? buildXML(false)->toString() : std::string();
    } else {
        // The file now holds the group and every alarm as they are. Whether the
        // group differs from its last import was decided by the alarms' marks
        // too; keep that before the marks go.
        changedSinceImport = getChangedSinceImport();
        changed = false;
        for (const AlarmPtr& alarm : alarms) alarm->changed = false;
        importedForm_.clear();
    }
    return true;
}

AlarmGroup::SynchronizationBase AlarmGroup::synchronizationBase() const {
    SynchronizationBase b;
    b.plugIn = synchPlugin;
    b.settings = synchSettings ? synchSettings->toString() : std::string();
    b.name = name;
    b.tmpl = template_;
    b.active = Active;
    b.changedSinceImport = changedSinceImport;
    b.colour = Color;
    return b;
}

std::string AlarmGroup::synchronizationRequest(ModelContext& ctx) const {
    return ctx.plugIns.lang() + synchSettings->toString() + toXML()->toString();
}

bool AlarmGroup::synchronize(ModelContext& ctx, std::string* error) {
    if (synchPlugin.empty()) return false;
    const std::string answer =
        ctx.plugIns.methodCall(synchPlugin, "Synchronize", synchronizationRequest(ctx), false);
    std::string failure, warning;
    const bool answered = applySynchronization(answer, nullptr, &failure, &warning);
    if (error && answered) *error = failure.empty() ? warning : failure;
    return answered;
}

bool AlarmGroup::startSynchronization(ModelContext& ctx) {
    if (synchPlugin.empty() || synchronizing_) return false;
    synchronizing_ = true;
    const SynchronizationBase base = synchronizationBase();
    const std::weak_ptr<AlarmGroup> weak = weak_from_this();
    // Set once the call is on its way: an answer before that came at once.
    auto started = std::make_shared<bool>(false);
    ModelContext* context = &ctx;
    ctx.plugIns.methodCallInBackground(
        synchPlugin, "Synchronize", synchronizationRequest(ctx),
        [weak, base, started, context](const std::string& answer) {
            const AlarmGroupPtr g = weak.lock();
            if (!g) return;  // the group is gone
            g->synchronizing_ = false;
            if (*started && context->keepsGroup && !context->keepsGroup(*g)) return;
            if (g->synchPlugin != base.plugIn ||
                (g->synchSettings ? g->synchSettings->toString() : std::string()) !=
                    base.settings) {
                // The answer is for the calendar the group followed before.
                if (!g->synchPlugin.empty() && *started) g->startSynchronization(*context);
                return;
            }
            std::string error, warning;
            const bool answered = g->applySynchronization(answer, &base, &error, &warning);
            if (context->synchronized)
                context->synchronized(g, answered && error.empty(), error.empty() ? warning : error);
        });
    *started = true;
    return true;
}

bool AlarmGroup::applySynchronization(const std::string& answer, const SynchronizationBase* base,
                                      std::string* error, std::string* warning) {
    if (answer.empty()) return false;
    auto reply = XMLNode::Create();
    if (reply->initializeFromXML(answer)) return false;
    const XMLNodePtr g = findGroupElement(reply);
    if (!g) {
        // No group: the plug-in could not build one and may say why.
        if (error) *error = reply->getString("error");
        return true;
    }

    // Without a base every field the answer carries is taken.
    const auto untouched = [&](auto current, auto then) { return !base || current == then; };
    if (untouched(name, base ? base->name : name)) name = g->getString("name", 0, name);
    if (untouched(Active, base ? base->active : Active)) Active = g->getBoolean("stat", 0, Active);
    if (untouched(changedSinceImport, base ? base->changedSinceImport : changedSinceImport))
        changedSinceImport = g->getBoolean("chsi", 0, changedSinceImport);
    if (untouched(Color, base ? base->colour : Color)) Color = g->getLong("colr", 0, Color);
    if (!base) synchPlugin = g->getString("sync", 0, synchPlugin);
    const std::int32_t tmpl = g->getNodeIndex("tmpl", 0);
    if (tmpl >= 0 && g->getNodeAt(tmpl)->getNumberOfNodes() > 0 &&
        untouched(template_, base ? base->tmpl : template_))
        template_ = g->getNodeAt(tmpl)->toString();
    const std::int32_t syst = g->getNodeIndex("syst", 0);
    if (syst >= 0) synchSettings = g->getNodeAt(syst)->getCopy();
    // Replaced, but not from the current source (an older copy of it, say):
    // the plug-in may say so beside the group.
    if (warning) *warning = reply->getString("warning");
    alarms.clear();
    const auto self = shared_from_this();
    Alarm::SharedPrograms programs;
    for (const XMLNodePtr& child : g->children()) {
        if (!child || child->name != "alrm") continue;
        auto alarm = Alarm::createFromXML(*child, self);
        alarm->shareProgram(programs);
        alarms.addElement(std::move(alarm));
    }
    setChanged();
    return true;
}

bool AlarmGroup::getChangedSinceImport() const {
    if (changedSinceImport) return true;
    if (!getChanged()) return false;
    return importedForm_.empty() || buildXML(false)->toString() != importedForm_;
}

bool AlarmGroup::getChanged() const {
    if (changed) return true;
    for (const AlarmPtr& alarm : alarms)
        if (alarm->changed) return true;
    return false;
}

AlarmPtr AlarmGroup::getTemplateAlarm(ModelContext& ctx) {
    const auto self = shared_from_this();
    const std::string& text = !template_.empty() ? template_ : ctx.settings.tmpl;
    AlarmPtr a;
    if (!text.empty()) {
        const auto node = XMLNode::createFromXML(text);
        a = Alarm::createFromXML(*node, self);
    } else {
        a = Alarm::createDefaultAlarm(ctx);
    }
    a->parent = self;
    return a;
}

std::vector<std::string> AlarmGroup::getStringItems(ModelContext& ctx) const {
    const std::int32_t wt = kWindowTextColour;
    std::vector<std::string> items;
    items.push_back(name);
    items.push_back(std::to_string(ctx.colours.schemeActive() ? Color : wt));
    items.push_back(ctx.translation.getText(texts::kAlarmGroup, Active ? 1 : 2));
    items.push_back(std::to_string(ctx.colours.getColour(Active ? 11 : 12, wt)));
    if (!synchPlugin.empty()) {
        items.push_back(ctx.plugIns.synchDescription(synchPlugin));
        items.push_back(std::to_string(ctx.colours.getColour(14, wt)));
    } else {
        items.push_back(ctx.translation.getText(texts::kAlarmGroup, 11));
        items.push_back(std::to_string(ctx.colours.getColour(13, wt)));
    }
    return items;
}

std::vector<std::string> describeRangeFaults(const std::vector<AlarmGroupPtr>& groups) {
    std::vector<std::string> lines;
    for (const AlarmGroupPtr& group : groups) {
        if (!group) continue;
        for (const AlarmPtr& alarm : group->alarms)
            if (!alarm->rangeFault.empty())
                lines.push_back(group->name + ": " + alarm->name + " (" + alarm->rangeFault + ")");
    }
    return lines;
}

EarliestAlarms getEarliestAlarmsAfter(const Vector<AlarmGroup>& groups, DateTime from,
                                      bool onlyAfterInactive, const ExpressionErrorHandler& onError,
                                      bool calendarDate) {
    EarliestAlarms result;
    for (const AlarmGroupPtr& group : groups) {
        if (!group->Active) continue;
        for (const AlarmPtr& alarm : group->alarms) {
            if (!alarm->Active || (onlyAfterInactive && !alarm->soundAfterInactive)) continue;
            bool has;
            DateTime d;
            try {
                has = alarm->hasNextAlarmDateAfter(from, calendarDate);
                if (has) d = alarm->getNextAlarmDateAfter();
            } catch (const AdvancedDateError& e) {
                if (onError) onError(*group, *alarm, e.what());
                // The snooze the user asked for still rings; the rest of the
                // alarm is left out until its expression is mended.
                if (!alarm->snoozing || !(from < alarm->nextSnoozeAlarmDate)) continue;
                has = true;
                d = alarm->nextSnoozeAlarmDate;
            }
            if (!has) continue;
            if (result.alarms.empty() || d < result.date) {
                result.alarms.clear();
                result.alarms.push_back(alarm);
                result.date = d;
            } else if (d == result.date) {
                result.alarms.push_back(alarm);
            }
        }
    }
    return result;
}

}  // namespace qv
