#include "app/quickadd.h"

#include <memory>
#include <ostream>

#include "base/colors.h"
#include "base/dateformat.h"
#include "base/files.h"
#include "base/random.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "model/alarmgroup.h"
#include "model/ports.h"
#include "xml/xmlnode.h"

namespace qv {
namespace {

constexpr const char* kUsage =
    "usage: quorvane-add (--in DELAY | --at TIME) [--every REPEAT] [--weekdays DAYS]\n"
    "                    [--group NAME] [MESSAGE...]\n";
constexpr const char* kHelp =
    "\n"
    "Sets an alarm and prints its first moment (yyyy/mm/dd hh:nn:ss). A running\n"
    "Quorvane takes it over the session bus; otherwise the alarm is written into\n"
    "its group's file, and Quorvane loads it at its next start.\n"
    "\n"
    "  --in DELAY      ring after DELAY: 25m, 1h30m, 90s, 2h, 1d (a bare number\n"
    "                  counts minutes)\n"
    "  --at TIME       ring at TIME: 07:30 (its next coming) or \"2027/01/04 07:30\"\n"
    "  --every REPEAT  ring again every REPEAT: day, 2 days, week, hour,\n"
    "                  30 minutes, month, year\n"
    "  --weekdays DAYS only on these days (with --every day or shorter):\n"
    "                  mo-fr, sa,su, mo,we,fr\n"
    "  --group NAME    the alarm group (made when there is none); default: the\n"
    "                  quick alarms group\n"
    "  -h, --help      show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "The alarm shows MESSAGE and rings as the group's template alarm does; it never\n"
    "runs a command line.\n"
    "\n"
    "Exit status: 0 when the alarm was set, 1 when it could not be, 2 for bad\n"
    "arguments.\n";

class ToolClock : public Clock {
  public:
    explicit ToolClock(std::function<DateTime()> now) : now_(std::move(now)) {}
    DateTime now() const override { return now_(); }

  private:
    std::function<DateTime()> now_;
};

// The settings the tool needs from usr.cfx; the defaults when the file is
// missing or not well formed (it is only read).
SettingsValues readSettings(const std::string& path) {
    SettingsValues s;
    const auto text = tryReadFile(path, std::size_t{8} << 20, nullptr);
    if (!text) return s;
    auto root = XMLNode::Create();
    if (root->initializeFromXML(*text)) return s;
    s.agp = root->getString("agp", 0, s.agp);
    s.lng = root->getString("lng", 0, s.lng);
    s.qgn = root->getString("qgn", 0, s.qgn);
    s.sdbu = root->getBoolean("sdbu", 0, s.sdbu);
    const std::int32_t at = root->getNodeIndex("tmpl");
    const XMLNodePtr t = at >= 0 ? root->getNodeAt(at) : nullptr;
    s.tmpl = t && t->getNumberOfNodes() > 0 ? t->toString() : std::string();
    return s;
}

// As the program resolves the "agp" setting.
std::string groupFolder(const SettingsValues& s, const std::string& programFolder) {
    std::string folder = s.agp;
    const std::string token = "<app_path>";
    for (std::size_t at = folder.find(token); at != std::string::npos;
         at = folder.find(token, at + programFolder.size()))
        folder.replace(at, token.size(), programFolder);
    folder = toSlashPath(folder);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

int refuse(std::ostream& err, RequestError e) {
    err << "quorvane-add: " << describeRequestError(e) << "\n";
    return 2;
}

}  // namespace

int parseAddArguments(const std::vector<std::string>& args, AddArguments& a, std::ostream& out,
                      std::ostream& err) {
    std::string in, at;
    bool hasIn = false, hasAt = false, hasEvery = false, hasWeekdays = false, hasGroup = false;
    std::vector<std::string> words;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](bool& seen, std::string& into) {
            if (seen || i + 1 >= args.size()) return false;
            seen = true;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            out << kUsage << kHelp;
            out.flush();
            return 0;
        } else if (options && arg == "--version") {
            out << "quorvane-add " << QUORVANE_VERSION << "\n";
            out.flush();
            return 0;
        } else if (options && arg == "--in") {
            ok = value(hasIn, in);
        } else if (options && arg == "--at") {
            ok = value(hasAt, at);
        } else if (options && arg == "--every") {
            ok = value(hasEvery, a.every);
        } else if (options && arg == "--weekdays") {
            ok = value(hasWeekdays, a.weekdays);
        } else if (options && arg == "--group") {
            ok = value(hasGroup, a.group);
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            err << "quorvane-add: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else {
            words.push_back(arg);
        }
        if (!ok) {
            err << "quorvane-add: " << arg << " needs a value, once\n" << kUsage;
            return 2;
        }
    }
    if (hasIn == hasAt) {
        err << "quorvane-add: give either --in or --at\n" << kUsage;
        return 2;
    }
    for (const std::string& w : words) a.message += (a.message.empty() ? "" : " ") + w;
    AlarmRequest& r = a.request;
    r.message = a.message;
    r.group = a.group;
    if (hasIn) {
        const auto d = parseDelay(in);
        if (!d) return refuse(err, RequestError::kBadWhen);
        r.hasDelay = true;
        r.delaySeconds = *d;
        a.when = "in " + in;
    } else {
        // A clock time, never a delay: "--at 25" is a mistake, not 25 minutes.
        const auto m = parseMoment(at);
        if (!m) return refuse(err, RequestError::kBadWhen);
        r.hasMoment = true;
        r.momentHasDate = m->hasDate;
        r.moment = m->moment;
        a.when = at;
    }
    RequestError e = parseEvery(a.every, r);
    if (e == RequestError::kNone) e = parseWeekdays(a.weekdays, r);
    if (e == RequestError::kNone) e = checkTexts(r);
    if (e != RequestError::kNone) return refuse(err, e);
    return -1;
}

int runAdd(const std::vector<std::string>& args, AddEnvironment& env, std::ostream& out,
           std::ostream& err) {
    AddArguments a;
    if (const int status = parseAddArguments(args, a, out, err); status >= 0) return status;
    // Checked here too, so that a mistake is told the same with or without the program.
    RequestError e = RequestError::kNone;
    if (!firstMoment(a.request, env.now(), e)) return refuse(err, e);

    auto handOver = [&]() {
        const HandOver h = env.handToProgram ? env.handToProgram(a) : HandOver{};
        switch (h.result) {
            case HandOver::kAdded:
                out << h.first << "\n";
                out.flush();
                return 0;
            case HandOver::kRefused:
                err << "quorvane-add: Quorvane refused the alarm: " << h.error << "\n";
                return 2;
            case HandOver::kFailed:
                err << "quorvane-add: Quorvane did not take the alarm: " << h.error << "\n";
                return 1;
            case HandOver::kNotRunning:
                break;
        }
        return -1;
    };
    if (const int status = handOver(); status >= 0) return status;
    const int lock = env.lockProgramFolder ? env.lockProgramFolder() : 2;
    if (lock == 1) {
        // It runs but does not answer: its interface is turned off, or it is
        // still starting (offering the interface comes last, after any
        // question of its start), and then it answers soon.
        if (!readSettings(env.folders.programFolder + "/usr.cfx").sdbu) {
            err << "quorvane-add: Quorvane runs, but its scripting interface is turned off "
                   "(Settings, Advanced); the alarm was not set\n";
            return 1;
        }
        for (int waited = 0; env.pause && waited < kStartWaitMs; waited += kStartAskEveryMs) {
            env.pause(kStartAskEveryMs);
            if (const int status = handOver(); status >= 0) return status;
        }
        err << "quorvane-add: Quorvane runs but does not answer on the session bus (it may be "
               "waiting for an answer to a question of its start); the alarm was not set\n";
        return 1;
    }
    const int status = addToGroupFile(a, env, out, err);
    if (lock == 0 && env.unlockProgramFolder) env.unlockProgramFolder();
    return status;
}

int addToGroupFile(const AddArguments& a, AddEnvironment& env, std::ostream& out,
                   std::ostream& err) {
    const std::string& programFolder = env.folders.programFolder;
    if (programFolder.empty()) {
        err << "quorvane-add: neither HOME nor XDG_DATA_HOME names the folder of Quorvane's "
               "files\n";
        return 1;
    }
    SettingsValues settings = readSettings(programFolder + "/usr.cfx");
    const std::string folder = groupFolder(settings, programFolder);
    if (!folderExists(folder)) {
        err << "quorvane-add: the alarm group folder " << folder
            << " does not exist; start Quorvane once first\n";
        return 1;
    }
    RandomSource random(1);
    modTranslation translation(env.folders, random);
    translation.setLanguage(settings.lng);
    FixedSystemColors systemColours;
    modColors colours(env.folders, systemColours);
    EnglishDateNames names;
    ToolClock clock(env.now);
    PlugInCaller noPlugIns;
    SilentPerformer performer;
    NoSystemCommands commands;
    ModelContext ctx{translation, colours, settings, names, clock, noPlugIns, performer,
                     commands,    folder,  false,    0,     {},    {},        {}};

    const std::string name =
        a.request.group.empty()
            ? quickGroupName(settings.qgn,
                             translation.getText("frmQuorvaneMain", quicktexts::kGroupName))
            : a.request.group;
    // Only the group asked for is made into alarms; the others are only
    // named, and no file but its own is written.
    AlarmGroupPtr group;
    for (const std::string& file : listMatchingFiles(folder + "/usg_*.agx")) {
        if (!file.ends_with(".agx")) continue;
        AlarmGroup::GroupFileReading reading = AlarmGroup::readGroupFile(file);
        if (!reading.group || reading.rest.getString("name") != name) continue;
        if (!reading.rest.getString("sync").empty()) {
            err << "quorvane-add: " << describeRequestError(RequestError::kSynchronized) << "\n";
            return 1;
        }
        group = AlarmGroup::finishGroupFile(ctx, std::move(reading), file);
        break;
    }
    if (!group) {
        group = AlarmGroup::createDefaultAlarmGroup(ctx);
        group->name = name;
        group->path = AlarmGroup::newFilePath(folder);
    } else if (a.request.group.empty()) {
        // As the program does: a timer just set must ring.
        group->Active = true;
    }
    RequestError e = RequestError::kNone;
    const auto first = firstMoment(a.request, env.now(), e);
    if (!first) return refuse(err, e);
    const AlarmPtr alarm = makeRequestedAlarm(ctx, group, a.request, *first, /*fromOutside=*/true);
    group->addAlarm(alarm);
    if (!group->save(ctx, group->path, false)) {
        err << "quorvane-add: cannot write " << AlarmGroup::resolvePath(group->path, folder)
            << "; the alarm was not set\n";
        return 1;
    }
    const DateTime moment =
        alarm->hasNextAlarmDateAfter(env.now(), false) ? alarm->getNextAlarmDateAfter() : *first;
    out << toStoredText(moment) << "\n";
    out.flush();
    return 0;
}

}  // namespace qv
