#include "app/agenda.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <system_error>
#include <thread>

#include "base/files.h"
#include "base/largepages.h"
#include "base/settingsvalues.h"
#include "base/folders.h"
#include "model/alarmgroup.h"
#include "model/clsadvanceddate.h"

namespace qv {
namespace {

constexpr const char* kUsage =
    "usage: quorvane-agenda [--from \"yyyy/mm/dd hh:nn:ss\"] [--count N] [--calendar] [--reminders]\n"
    "                       PATH...\n";
constexpr const char* kHelp =
    "\n"
    "Lists the coming alarm moments of alarm-group files (.agx), collections (.agc)\n"
    "and folders (their usg_*.agx files), one line per alarm: the moment, the group\n"
    "and the alarm, separated by tabs. Nothing is written and no plug-in is called.\n"
    "\n"
    "  --from MOMENT  list the alarms after MOMENT (default: now)\n"
    "  --count N      stop after N alarms (default: 20)\n"
    "  --calendar     the nominal moments, without the alarms' corrections\n"    "  --reminders    after each alarm, its reminders still to come, one line each\n"
    "                 with a fourth field: \"reminder: 15 minutes before\"\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Exit status: 0 when every PATH was read, 1 when one could not be, 2 for bad\n"
    "arguments.\n";

// Tabs and line breaks in names would break the one-line-per-alarm format.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

// Answers what getEarliestAlarmsAfter answers, for one `from` after another
// (each the moment answered before), without asking every alarm each time. An
// alarm's next moment after `from` is also its next moment after any later
// `from` before it, so an alarm is asked again only once its moment has been
// listed, or every time when its answer may change with `from`: its search
// gave up, or its expression could not be evaluated. The alarms are met, and
// errors told, in the order the full scan would meet them. The groups must
// outlive the listing.
class MomentListing {
  public:
    MomentListing(const Vector<AlarmGroup>& groups, bool calendar,
                  const ExpressionErrorHandler& onError)
        : calendar_(calendar), onError_(onError) {
        // Sized once: with 10 000 alarms, growing these step by step costs
        // more (in copies and fresh memory) than filling them.
        std::size_t active = 0;
        for (const AlarmGroupPtr& group : groups)
            if (group->Active)
                active += static_cast<std::size_t>(group->alarms.numberOfElements());
        alarms_.reserve(active);
        ask_.reserve(active);
        waiting_.reserve(active);
        for (const AlarmGroupPtr& group : groups) {
            if (!group->Active) continue;
            for (const AlarmPtr& alarm : group->alarms) {
                if (!alarm->Active) continue;
                ask_.push_back(alarms_.size());
                alarms_.push_back({alarm.get(), group.get()});
            }
        }
    }

    EarliestAlarms earliestAfter(DateTime from) {
        // Asked again, in scan order: what was listed last time, and the alarms
        // whose answer may change.
        std::vector<std::size_t> asking;
        asking.swap(ask_);
        asking.insert(asking.end(), changing_.begin(), changing_.end());
        if (!std::is_sorted(asking.begin(), asking.end())) std::sort(asking.begin(), asking.end());
        asking.erase(std::unique(asking.begin(), asking.end()), asking.end());
        changing_.clear();
        // Many new answers at once (the first time): one heap made of all of them.
        const bool many = asking.size() > waiting_.size();
        std::vector<Entry> once;  // answers for this `from` only
        for (const std::size_t i : asking) {
            const Item& item = alarms_[i];
            bool has;
            try {
                has = item.alarm->hasNextAlarmDateAfter(from, calendar_);
            } catch (const AdvancedDateError& e) {
                if (onError_) onError_(*item.group, *item.alarm, e.what());
                changing_.push_back(i);
                continue;
            }
            if (item.alarm->lastQueryGaveUp()) {
                changing_.push_back(i);
                if (has) once.push_back({item.alarm->getNextAlarmDateAfter(), i});
            } else if (has) {
                waiting_.push_back({item.alarm->getNextAlarmDateAfter(), i});
                if (!many) std::push_heap(waiting_.begin(), waiting_.end(), later);
            }
        }
        if (many) std::make_heap(waiting_.begin(), waiting_.end(), later);

        EarliestAlarms result;
        bool any = !waiting_.empty();
        if (any) result.date = waiting_.front().when;
        for (const Entry& e : once) {
            if (!any || e.when < result.date) result.date = e.when;
            any = true;
        }
        if (!any) return result;
        std::vector<std::size_t> tied;
        while (!waiting_.empty() && waiting_.front().when == result.date) {
            std::pop_heap(waiting_.begin(), waiting_.end(), later);
            tied.push_back(waiting_.back().order);
            ask_.push_back(waiting_.back().order);
            waiting_.pop_back();
        }
        for (const Entry& e : once)
            if (e.when == result.date) tied.push_back(e.order);
        std::sort(tied.begin(), tied.end());
        for (const std::size_t i : tied)
            result.alarms.push_back(alarms_[i].alarm->shared_from_this());
        return result;
    }

  private:
    // The groups outlive the listing and hold their alarms.
    struct Item {
        Alarm* alarm;
        const AlarmGroup* group;
    };
    struct Entry {
        DateTime when;
        std::size_t order;
    };
    // Heap order: the earliest moment first, then the alarm met first.
    static bool later(const Entry& a, const Entry& b) {
        return b.when < a.when || (a.when == b.when && b.order < a.order);
    }

    const bool calendar_;
    const ExpressionErrorHandler onError_;
    std::vector<Item> alarms_;        // in scan order
    std::vector<std::size_t> ask_;    // to be asked at the next `from`
    std::vector<std::size_t> changing_;
    std::vector<Entry> waiting_;      // a heap of answers that hold
};

// What the listing asks first.
struct FirstQuestion {
    bool asked = true;  // false: nothing is listed (--count 0)
    DateTime from;
    bool calendar = false;
};

// Reads the group files of a folder, as many at a time as the machine has
// cores: each file is read, parsed and made into alarms on its own, with
// nothing shared, and each alarm then works out its first answer (which it
// keeps) on the same thread. The groups are finished afterwards, in order.
// Where heaps grow in large steps, the reading threads are all started for
// it, so that each builds its alarms in a fresh heap advised for large pages,
// and the calling thread only waits; otherwise it reads too.
std::vector<AlarmGroup::GroupFileReading> readGroupFiles(const std::vector<std::string>& files,
                                                         const FirstQuestion& first) {
    std::vector<AlarmGroup::GroupFileReading> readings(files.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    auto work = [&](bool adviseHeap) noexcept {
        try {
            std::optional<LargePageHeap> heap;
            if (adviseHeap) heap.emplace();
            std::string buffer;  // one for all the files this thread reads
            for (std::size_t i; (i = next++) < files.size();) {
                if (!files[i].ends_with(".agx")) continue;
                readings[i] = AlarmGroup::readGroupFile(files[i], buffer);
                if (!readings[i].group || !first.asked) continue;
                for (const AlarmPtr& alarm : readings[i].group->alarms) {
                    if (!alarm->Active) continue;
                    try {
                        (void)alarm->hasNextAlarmDateAfter(first.from, first.calendar);
                    } catch (const AdvancedDateError&) {
                        // Told when the listing asks, as it does without this.
                    }
                }
            }
        } catch (...) {
            if (!failed.exchange(true)) failure = std::current_exception();
        }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const bool largePages = heapsGrowInLargeSteps();
    std::vector<std::thread> helpers;
    for (std::size_t k = largePages ? 0 : 1; k < std::min(cores, files.size()); ++k) {
        try {
            helpers.emplace_back(work, largePages);
        } catch (const std::system_error&) {
            break;  // no more threads: the ones there are do the rest
        }
    }
    if (!largePages || helpers.empty()) work(false);
    for (std::thread& t : helpers) t.join();
    if (failure) std::rethrow_exception(failure);
    return readings;
}

void cannotRead(std::ostream& err, const char* what, const std::string& path) {
    err << "quorvane-agenda: cannot read " << what << " " << path;
    if (AlarmGroup::isTooLarge(path))
        err << " (larger than " << (AlarmGroup::kMaxFileBytes >> 20) << " MB)";
    err << "\n";
}

// Loads the groups of one PATH; false when it (or a file in it) could not be read.
bool loadPath(const std::string& path, ModelContext& ctx, Vector<AlarmGroup>& groups,
              std::ostream& err, const FirstQuestion& first) {
    if (folderExists(path)) {
        bool ok = true;
        const std::vector<std::string> files = listMatchingFiles(path + "/usg_*.agx");
        std::vector<AlarmGroup::GroupFileReading> readings = readGroupFiles(files, first);
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string& file = files[i];
            auto g = file.ends_with(".agx")
                         ? AlarmGroup::finishGroupFile(ctx, std::move(readings[i]), file)
                         : AlarmGroup::createAlarmGroupFromFile(ctx, file);
            if (g) {
                groups.addElement(g);
            } else {
                cannotRead(err, "alarm group file", file);
                ok = false;
            }
        }
        return ok;
    }
    if (!fileExists(path)) {
        err << "quorvane-agenda: no such file or folder: " << path << "\n";
        return false;
    }
    if (path.ends_with(".agc")) {
        auto collection = AlarmGroup::createAlarmGroupsFromCollection(ctx, path);
        if (collection.empty()) {
            // An empty but well-formed collection is fine; tell the two apart.
            auto root = XMLNode::Create();
            const auto content = tryReadFile(path, AlarmGroup::kMaxFileBytes, nullptr);
            if (!content || root->initializeFromXML(*content)) {
                cannotRead(err, "alarm group collection", path);
                return false;
            }
        }
        for (auto& g : collection) groups.addElement(g);
        return true;
    }
    if (!path.ends_with(".agx")) {
        err << "quorvane-agenda: not an alarm group file (.agx), collection (.agc) or folder: "
            << path << "\n";
        return false;
    }
    auto g = AlarmGroup::createAlarmGroupFromFile(ctx, path);
    if (!g) {
        cannotRead(err, "alarm group file", path);
        return false;
    }
    groups.addElement(g);
    return true;
}

// The reminders of `alarm` at `moment` that still lie after `from`, earliest
// first, each a line of its own after the alarm's. The units are English like
// the rest of the tool's output.
void printReminders(std::ostream& out, const Alarm& alarm, DateTime moment, DateTime from) {
    static const char* const kUnits[] = {"second", "minute", "hour", "day",
                                         "month",  "year",   "week"};
    const auto group = alarm.parentGroup();
    for (const Reminder& r : alarm.reminders) {
        const DateTime at = reminderMoment(moment, r);
        if (!(from < at)) continue;
        out << toStoredText(at) << '\t' << (group ? oneLine(group->name) : std::string()) << '\t'
            << oneLine(alarm.name) << "\treminder: " << r.amount << ' '
            << kUnits[static_cast<std::size_t>(r.unit)] << (r.amount == 1 ? "" : "s")
            << " before\n";
    }
}

}  // namespace

int runAgenda(const std::vector<std::string>& args, ModelContext& ctx, std::ostream& out,
              std::ostream& err, bool processEnds) {
    DateTime from = ctx.clock.now();
    long count = 20;
    bool calendar = false;
    bool reminders = false;
    std::vector<std::string> paths;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            // Asked for: the usage goes to the output and it is no failure.
            out << kUsage << kHelp;
            out.flush();
            return 0;
        } else if (options && a == "--version") {
            out << "quorvane-agenda " << QUORVANE_VERSION << "\n";
            out.flush();
            return 0;
        } else if (options && a == "--from") {
            if (i + 1 >= args.size()) return err << kUsage, 2;
            const std::string& text = args[++i];
            const auto d = text.size() == 19 ? parseStoredText(text) : std::nullopt;
            if (!d) {
                err << "quorvane-agenda: --from needs a moment as \"yyyy/mm/dd hh:nn:ss\"\n" << kUsage;
                return 2;
            }
            from = *d;
        } else if (options && a == "--count") {
            if (i + 1 >= args.size()) return err << kUsage, 2;
            const std::string& text = args[++i];
            long n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || end != text.data() + text.size() || n < 0) {
                err << "quorvane-agenda: --count needs a whole number of 0 or more\n" << kUsage;
                return 2;
            }
            count = n;
        } else if (options && a == "--calendar") {
            calendar = true;
        } else if (options && a == "--reminders") {
            reminders = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            err << "quorvane-agenda: unknown option " << a << "\n" << kUsage;
            return 2;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty()) return err << kUsage, 2;

    Vector<AlarmGroup> groups;
    bool allRead = true;
    for (const std::string& p : paths)
        allRead = loadPath(p, ctx, groups, err, FirstQuestion{count > 0, from, calendar}) && allRead;
    // Days off as the groups keep them, with the setting for timed items.
    for (const AlarmGroupPtr& g : groups) g->setDaysOffByMoment(ctx.settings.dofm);

    // Loaded turned off: said once each, as the program says it.
    for (const AlarmGroupPtr& g : groups)
        for (const AlarmPtr& a : g->alarms)
            if (!a->rangeFault.empty())
                err << "quorvane-agenda: " << oneLine(g->name) << ": " << oneLine(a->name)
                    << ": a whole number is out of range (" << oneLine(a->rangeFault)
                    << "); the alarm is left out\n";

    std::set<const Alarm*> reported;
    auto onError = [&](const AlarmGroup& g, const Alarm& a, const std::string& message) {
        if (!reported.insert(&a).second) return;
        err << "quorvane-agenda: " << oneLine(g.name) << ": " << oneLine(a.name)
            << ": cannot evaluate \"" << a.activeAdvanced << "\" (" << message
            << "); the alarm is left out\n";
    };

    auto listing = std::make_unique<MomentListing>(groups, calendar, onError);
    long lines = 0;
    while (lines < count) {
        const EarliestAlarms next = listing->earliestAfter(from);
        if (next.alarms.empty() || next.date.year() >= 9999) break;
        const std::string when = toStoredText(next.date);
        for (const AlarmPtr& alarm : next.alarms) {
            if (lines >= count) break;
            const auto group = alarm->parentGroup();
            out << when << '\t' << (group ? oneLine(group->name) : std::string()) << '\t'
                << oneLine(alarm->name) << '\n';
            ++lines;
            if (reminders) printReminders(out, *alarm, next.date, from);
        }
        from = next.date;
    }
    out.flush();
    if (processEnds) {
        (void)listing.release();                          // left to the end of the process
        (void)new Vector<AlarmGroup>(std::move(groups));  // likewise
    }
    return allRead ? 0 : 1;
}

}  // namespace qv
