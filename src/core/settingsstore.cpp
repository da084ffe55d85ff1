#include "core/settingsstore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "base/files.h"
#include "core/program.h"

namespace qv {

namespace {

constexpr const char* kLayoutNames[] = {"ag", "al", "sa0", "sa1"};

// Keeps the busy pointer up while the object lives, whatever way the scope is left.
class BusyPointer {
  public:
    explicit BusyPointer(UserInterface& ui) : ui_(ui) { ui_.setBusy(true); }
    ~BusyPointer() { ui_.setBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

  private:
    UserInterface& ui_;
};

// An error number and source for the message that ends the program, in the
// classic numbering where one fits.
void describeException(std::exception_ptr error, int& number, std::string& source) {
    number = 0;
    source = "unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc& e) {
        number = 7;  // out of memory
        source = e.what();
    } catch (const std::out_of_range& e) {
        number = 9;  // subscript out of range
        source = e.what();
    } catch (const std::exception& e) {
        source = e.what();
    } catch (...) {
    }
    if (source.empty()) source = "unknown error";
}

// A copy of `node` under `name`, or an empty element of that name.
XMLNodePtr namedCopy(const XMLNodePtr& node, const std::string& name) {
    XMLNodePtr copy = node ? node->getCopy() : XMLNode::Create(name);
    copy->name = name;
    return copy;
}

// A whole number of the file kept within [lo, hi], the range the settings
// dialog (or the window that sets it) allows: a number beyond it is clamped,
// as the dialog clamps what is typed, never wrapped nor swapped for the
// default. Text that is no number gives the default, as ever.
std::int64_t wholeIn(const XMLNode& n, const char* key, std::int32_t index, std::int64_t def,
                     std::int64_t lo, std::int64_t hi) {
    const std::int32_t at = n.getNodeIndex(key, index);
    if (at < 0) return def;
    std::int64_t v = 0;
    if (XMLNode::readWholeNumber(n.getNodeAt(at)->Value, lo, hi, v) ==
        XMLNode::WholeNumber::kNotANumber)
        return def;
    return v;
}
std::int16_t int16In(const XMLNode& n, const char* key, std::int16_t def, int lo = INT16_MIN,
                     int hi = INT16_MAX, std::int32_t index = 0) {
    return static_cast<std::int16_t>(wholeIn(n, key, index, def, lo, hi));
}
std::int32_t int32In(const XMLNode& n, const char* key, std::int32_t def,
                     std::int64_t lo = INT32_MIN, std::int64_t hi = INT32_MAX) {
    return static_cast<std::int32_t>(wholeIn(n, key, 0, def, lo, hi));
}
constexpr int kLastUnit = kWeeks;

// The stored extra alarm ("sca", "ata"): two "s" children and the alarm.
void readExtraAlarm(const XMLNode& root, const char* key, ExtraAlarm& extra) {
    const XMLNodePtr node = root.getNode(key, 0, std::string("<") + key + "></" + key + ">");
    extra.enabled = int16In(*node, "s", 0, INT16_MIN, INT16_MAX, 0);
    // The threshold is kept as stored: above 2 it means that no alarm qualifies.
    extra.threshold = int16In(*node, "s", 0, INT16_MIN, INT16_MAX, 1);
    const std::int32_t at = node->getNodeIndex("al");
    extra.alarm = at >= 0 ? Alarm::createFromXML(*node->getNodeAt(at), nullptr)
                          : Alarm::createDefaultHiddenAlarm(nullptr, "");
}

XMLNodePtr extraAlarmToXML(const char* key, const ExtraAlarm& extra) {
    auto node = XMLNode::Create(key);
    node->addInteger("s", extra.enabled);
    node->addInteger("s", extra.threshold);
    const AlarmPtr alarm = extra.alarm ? extra.alarm : Alarm::createDefaultHiddenAlarm(nullptr, "");
    node->addNode(alarm->toXML("al"));
    return node;
}

}  // namespace

SettingsStore::SettingsStore(Program& program) : p_(program) {}

XMLNodePtr SettingsStore::builtInColumnLayouts() {
    auto lst = XMLNode::Create("lst");
    lst->addXMLString("<ag><clm><i>0</i><w>107</w></clm><clm><i>1</i><w>43</w></clm></ag>");
    lst->addXMLString(
        "<al><clm><i>0</i><w>122</w></clm><clm><i>1</i><w>43</w></clm><clm><i>2</i><w>134</w></"
        "clm></al>");
    lst->addXMLString("<sa0><clm><i>0</i><w>99</w></clm><clm><i>1</i><w>131</w></clm></sa0>");
    lst->addXMLString("<sa1><clm><i>0</i><w>99</w></clm><clm><i>1</i><w>131</w></clm></sa1>");
    return lst;
}

std::string SettingsStore::settingsFilePath() const { return p_.programFile("usr.cfx"); }

void SettingsStore::settingsChanged() {
    p_.supervision.pendingWork |= pending::kSaveSettings;
    p_.control.saveSoon();
}

bool SettingsStore::loadSettings(bool safeMode) {
    UserInterface& ui = p_.ports.ui;
    step_ = 0;
    try {
        ui.setBusy(true);
        p_.loading = true;
        p_.startTime = p_.now();
        p_.columnLayouts = builtInColumnLayouts();

        // A missing or unreadable file is an empty tree: every setting keeps its default.
        XMLNodePtr root = XMLNode::Create("settings");
        if (fileExists(settingsFilePath()) && root->initializeFromFile(settingsFilePath())) {
            // What could be read is used; the damaged file is kept beside it
            // before the next save replaces it, so nothing the user set is lost.
            const std::string keep = settingsFilePath() + ".damaged";
            if (writeFile(keep, readFile(settingsFilePath())))
                p_.writeLog("usr.cfx is damaged; a copy was kept as " + keep);
        }
        if (root->getNumberOfNodes() == 0) {
            ui.runFirstTimeSettings(p_.settings);
            // The choices are stored at the next tick, not only at a clean exit.
            settingsChanged();
        }

        applyXML(*root, safeMode);
    } catch (...) {
        int number = 0;
        std::string source;
        describeException(std::current_exception(), number, source);
        p_.loading = false;
        ui.setBusy(false);
        p_.main.showErrorBox("Error while loading settings: " + std::to_string(number) + " in " +
                             source + "; flag " + std::to_string(step_) +
                             "; program will be terminated");
        return false;
    }

    // Done with the file; errors from here on are not the settings file's.
    step_ = 12;
    SettingsValues& s = p_.settings;
    const std::string languageBefore = p_.translation.language();
    p_.translation.setLanguage(s.lng);
    if (!p_.translation.languageFileExists()) {
        ui.runFirstTimeSettings(s);
        p_.translation.setLanguage(s.lng);
        settingsChanged();
    }
    // The plug-ins described themselves before the settings were read, in the
    // language there was then: asked again in the user's.
    if (p_.translation.language() != languageBefore) p_.ports.plugIns.loadDescriptions();
    p_.colours.setSchemeName(s.cls);
    p_.colours.loadColourScheme();
    if (p_.colours.schemeName().empty() && !s.cls.empty()) {
        // The scheme file is gone: forget it, and store that.
        s.cls.clear();
        settingsChanged();
    }
    ui.translateAll();
    ui.applyMainWindowPlacement(s.mw);
    ui.applyListFont(s.font);
    ui.updateLists();
    p_.loading = false;
    ui.setBusy(false);
    return true;
}

void SettingsStore::applyXML(const XMLNode& root, bool safeMode) {
    SettingsValues& s = p_.settings;
    // Keys whose default is "current" read with the value held now; the others
    // with the built-in default.
    const SettingsValues def;
    const DateTime readingMoment = p_.now();

    // 1: blocking, last supervised moment, see-alarms lists
    step_ = 1;
    s.bl = root.getBoolean("bl", 0, def.bl);
    p_.control.setBlocked(s.bl || safeMode);
    s.lsd = root.getDate("lsd", 0, readingMoment);
    p_.supervision.lastSupervised = s.lsd;
    p_.supervision.lastSupervisedOffset = p_.ports.clock.utcOffsetSeconds();
    p_.supervision.heldForRepeatedHour = false;
    {
        const XMLNodePtr n = root.getNode("sa", 0, "<sa></sa>");
        for (int i = 0; i < 2; ++i) {
            const std::string k = std::to_string(i);
            s.sa[i].shown = int16In(*n, ("c" + k).c_str(), def.sa[i].shown);
            s.sa[i].amount = int16In(*n, ("a" + k).c_str(), def.sa[i].amount, 0, 32767);
            s.sa[i].unit = int16In(*n, ("u" + k).c_str(), def.sa[i].unit, 0, kLastUnit);
        }
    }

    // 2: main window
    step_ = 2;
    {
        const XMLNodePtr n = root.getNode("mw", 0, "<mw></mw>");
        MainWindowSettings& mw = s.mw;
        const MainWindowSettings& d = def.mw;
        mw.view = int16In(*n, "view", d.view);
        p_.ports.ui.applyCalendarViewSettings(n->getNode("calview", 0, "<calview></calview>"));
        mw.visible = n->getBoolean("v", 0, d.visible);
        mw.state = int16In(*n, "s", d.state, 0, 2);
        if (mw.state == 1) {
            // Minimised at the last save: start hidden in the notification area.
            mw.visible = false;
            mw.state = 0;
        }
        mw.x = n->getSingle("x", 0, d.x);
        mw.y = n->getSingle("y", 0, d.y);
        mw.w = n->getSingle("w", 0, d.w);
        mw.h = n->getSingle("h", 0, d.h);
        mw.dv1 = int16In(*n, "dv1", d.dv1);
        mw.dv2 = int16In(*n, "dv2", d.dv2);
        mw.dv3 = int16In(*n, "dv3", d.dv3);
        mw.dv4 = int16In(*n, "dv4", d.dv4);
    }

    // 3: alarm window front, warning limit, unblocking, sort order, folder, auto-save
    step_ = 3;
    s.ftf = root.getBoolean("ftf", 0, def.ftf);
    s.wl = int16In(root, "wl", def.wl, 0, 32767);
    s.wu = int16In(root, "wu", def.wu, 0, 2);
    {
        const XMLNodePtr n = root.getNode("so", 0, "<so></so>");
        s.so.ag = int16In(*n, "ag", def.so.ag);
        s.so.agd = n->getBoolean("agd", 0, def.so.agd);
        s.so.al = int16In(*n, "al", def.so.al);
        s.so.ald = n->getBoolean("ald", 0, def.so.ald);
    }
    s.agp = root.getString("agp", 0, def.agp);
    p_.ctx.alarmGroupFolder = p_.alarmGroupFolder();
    s.as = root.getBoolean("as", 0, def.as);
    s.tc = int32In(root, "tc", def.tc, -60000, 60000);
    s.vd = root.getString("vd", 0, def.vd);

    // 4: alarm window size, usage figures
    step_ = 4;
    {
        const XMLNodePtr n = root.getNode("aw", 0, "<aw></aw>");
        s.awW = int32In(*n, "w", def.awW, 0);
        s.awH = int32In(*n, "h", def.awH, 0);
    }
    {
        const XMLNodePtr n = root.getNode("sta", 0, "<sta></sta>");
        s.staS1 = int32In(*n, "s1", def.staS1, 0);
        s.staS2 = int32In(*n, "s2", def.staS2, 0);
        p_.ctx.alarmsSounded = s.staS2;
        s.staS3 = n->getDate("s3", 0, readingMoment);
    }

    // 5: list font, on top of the font the list has now
    step_ = 5;
    {
        const XMLNodePtr n = root.getNode("font", 0, "<font></font>");
        FontSettings font = p_.ports.ui.listFont();
        font.nm = n->getString("nm", 0, font.nm);
        // A size no screen shows would only fill the memory with its glyphs.
        const float sz = n->getSingle("sz", 0, font.sz);
        font.sz = std::isfinite(sz) ? std::clamp(sz, 0.0f, 400.0f) : font.sz;
        font.bd = n->getBoolean("bd", 0, font.bd);
        font.it = n->getBoolean("it", 0, font.it);
        font.st = n->getBoolean("st", 0, font.st);
        font.ul = n->getBoolean("ul", 0, font.ul);
        s.font = font;
        p_.ports.ui.applyListFont(s.font);
    }

    // 6: default sound, language, template alarm, column layouts
    step_ = 6;
    s.ds = root.getString("ds", 0, def.ds);
    s.lng = root.getString("lng", 0, s.lng);
    {
        const std::int32_t at = root.getNodeIndex("tmpl");
        const XMLNodePtr t = at >= 0 ? root.getNodeAt(at) : nullptr;
        s.tmpl = t && t->getNumberOfNodes() > 0 ? t->toString() : std::string();
    }
    {
        const XMLNodePtr n = root.getNode("lst", 0, "<lst></lst>");
        if (!p_.columnLayouts) p_.columnLayouts = builtInColumnLayouts();
        for (const char* name : kLayoutNames) {
            const std::int32_t stored = n->getNodeIndex(name);
            if (stored < 0) continue;
            XMLNodePtr layout = n->getNodeAt(stored)->getCopy();
            const std::int32_t own = p_.columnLayouts->getNodeIndex(name);
            if (own >= 0)
                p_.columnLayouts->setNodeAt(own, layout);
            else
                p_.columnLayouts->addNode(layout);
        }
    }

    // 7: display formats
    step_ = 7;
    {
        const XMLNodePtr n = root.getNode("df", 0, "<df></df>");
        DisplayFormats& df = s.df;
        df.al = n->getString("al", 0, df.al);
        df.sa = n->getString("sa", 0, df.sa);
        df.na = n->getString("na", 0, df.na);
        df.ot = n->getString("ot", 0, df.ot);
        df.da = int16In(*n, "da", df.da, 0, 3);
        df.ti = int16In(*n, "ti", df.ti, 0, 1);
        df.sc = int16In(*n, "sc", def.df.sc, 0, 1);
    }

    // 8: secondary and attention alarm
    step_ = 8;
    readExtraAlarm(root, "sca", p_.secondaryAlarm);
    readExtraAlarm(root, "ata", p_.attentionAlarm);

    // 9: colour scheme, running plug-ins, version check, calendar, volumes
    step_ = 9;
    s.cls = root.getString("cls", 0, def.cls);
    p_.ports.ui.applyActivePlugInsSettings(root.getNode("acpl", 0, "<acpl></acpl>"));
    s.acv = root.getBoolean("acv", 0, def.acv);
    s.igc = root.getBoolean("igc", 0, def.igc);
    s.ibw = int16In(root, "ibw", def.ibw, 1, kMaxIntervalBarWidth);
    s.osvol = root.getBoolean("osvol", 0, def.osvol);
    s.svol = int32In(root, "svol", def.svol, 0, 100);
    s.ovvol = root.getBoolean("ovvol", 0, def.ovvol);
    s.vvol = int32In(root, "vvol", def.vvol, 0, 100);
    s.ovspd = root.getBoolean("ovspd", 0, def.ovspd);
    s.vspd = int32In(root, "vspd", def.vspd, -10, 10);
    s.tiia = int32In(root, "tiia", def.tiia, 0);

    // 10: alarm clock window, calendar, tool tips, overlap warning
    step_ = 10;
    s.acmm = int16In(root, "acmm", def.acmm, 1, 32767);
    s.acst = int16In(root, "acst", def.acst, 1, 32767);
    s.auc = root.getBoolean("auc", 0, def.auc);
    s.cao = int16In(root, "cao", def.cao, 0, 32767);
    s.stt = root.getBoolean("stt", 0, def.stt);
    s.odt = root.getBoolean("odt", 0, def.odt);
    s.ola = int32In(root, "ola", def.ola, 0);
    s.olu = int16In(root, "olu", def.olu, 0, kLastUnit);
    s.olp = int16In(root, "olp", def.olp);

    // 11: assistant, grid, snooze defaults, one alarm window
    step_ = 11;
    s.epa = root.getBoolean("epa", 0, def.epa);
    s.ofrm = root.getBoolean("ofrm", 0, def.ofrm);
    s.dsa = int16In(root, "dsa", def.dsa, 0, 32767);
    s.dsu = int16In(root, "dsu", def.dsu, 0, kLastUnit);
    s.dsat = int16In(root, "dsat", def.dsat, 0, 1);
    s.uoaw = root.getBoolean("uoaw", 0, def.uoaw);
    // Notifications, the shared alarm folder, waking from sleep.
    s.dntf = root.getBoolean("dntf", 0, def.dntf);
    s.wfld = root.getBoolean("wfld", 0, def.wfld);
    s.wake = root.getBoolean("wake", 0, def.wake);
    s.dofm = root.getBoolean("dofm", 0, def.dofm);
    // Reminders before alarms, and alarms nobody answered.
    s.rmwn = int16In(root, "rmwn", def.rmwn, 0, 1);
    s.uat = root.getBoolean("uat", 0, def.uat);
    // Quick alarms and the scripting interface.
    s.qgn = root.getString("qgn", 0, def.qgn);
    s.qgk = int16In(root, "qgk", def.qgk, 0, 8784);
    s.sdbu = root.getBoolean("sdbu", 0, def.sdbu);
}

XMLNodePtr SettingsStore::toXML() {
    const SettingsValues& s = p_.settings;
    UserInterface& ui = p_.ports.ui;
    auto root = XMLNode::Create("settings");

    root->addBoolean("bl", p_.supervision.blocked);
    root->addDate("lsd", p_.supervision.lastSupervised);
    {
        auto n = XMLNode::Create("sa");
        for (int i = 0; i < 2; ++i) {
            const std::string k = std::to_string(i);
            n->addInteger("c" + k, s.sa[i].shown);
            n->addInteger("a" + k, s.sa[i].amount);
            n->addInteger("u" + k, s.sa[i].unit);
        }
        root->addNode(n);
    }
    {
        const MainWindowSettings mw = ui.mainWindowPlacement();
        auto n = XMLNode::Create("mw");
        n->addInteger("view", mw.view);
        n->addNode(namedCopy(ui.calendarViewSettings(), "calview"));
        n->addBoolean("v", mw.visible);
        n->addInteger("s", mw.state);
        n->addSingle("x", mw.x);
        n->addSingle("y", mw.y);
        n->addSingle("w", mw.w);
        n->addSingle("h", mw.h);
        n->addInteger("dv1", mw.dv1);
        n->addInteger("dv2", mw.dv2);
        n->addInteger("dv3", mw.dv3);
        n->addInteger("dv4", mw.dv4);
        root->addNode(n);
    }
    root->addBoolean("ftf", s.ftf);
    root->addInteger("wl", s.wl);
    root->addInteger("wu", s.wu);
    {
        auto n = XMLNode::Create("so");
        n->addInteger("ag", s.so.ag);
        n->addBoolean("agd", s.so.agd);
        n->addInteger("al", s.so.al);
        n->addBoolean("ald", s.so.ald);
        root->addNode(n);
    }
    root->addString("agp", s.agp);
    root->addBoolean("as", s.as);
    root->addLong("tc", s.tc);
    root->addString("vd", s.vd);
    {
        auto n = XMLNode::Create("aw");
        n->addLong("w", s.awW);
        n->addLong("h", s.awH);
        root->addNode(n);
    }
    {
        // This run's seconds are added on every save; a total past the 32-bit
        // range starts again at 0. A clock set back adds nothing.
        std::int64_t run = p_.now().seconds() - p_.startTime.seconds();
        if (run < 0) run = 0;
        std::int64_t total = static_cast<std::int64_t>(s.staS1) + run;
        if (total > std::numeric_limits<std::int32_t>::max()) total = 0;
        auto n = XMLNode::Create("sta");
        n->addLong("s1", static_cast<std::int32_t>(total));
        n->addLong("s2", p_.ctx.alarmsSounded);
        n->addDate("s3", s.staS3);
        root->addNode(n);
    }
    {
        auto n = XMLNode::Create("font");
        n->addString("nm", s.font.nm);
        n->addSingle("sz", s.font.sz);
        n->addBoolean("bd", s.font.bd);
        n->addBoolean("it", s.font.it);
        n->addBoolean("st", s.font.st);
        n->addBoolean("ul", s.font.ul);
        root->addNode(n);
    }
    root->addString("ds", s.ds);
    root->addString("lng", s.lng);
    if (!s.tmpl.empty()) root->addNode(XMLNode::createFromXML(s.tmpl, "tmpl"));
    {
        if (!p_.columnLayouts) p_.columnLayouts = builtInColumnLayouts();
        ui.updateColumnsToReal(*p_.columnLayouts);
        const XMLNodePtr builtIn = builtInColumnLayouts();
        auto n = XMLNode::Create("lst");
        for (const char* name : kLayoutNames) {
            const std::int32_t at = p_.columnLayouts->getNodeIndex(name);
            n->addNode(at >= 0 ? p_.columnLayouts->getNodeAt(at)->getCopy()
                               : builtIn->getNode(name)->getCopy());
        }
        root->addNode(n);
    }
    {
        auto n = XMLNode::Create("df");
        n->addString("al", s.df.al);
        n->addString("sa", s.df.sa);
        n->addString("na", s.df.na);
        n->addString("ot", s.df.ot);
        n->addInteger("da", s.df.da);
        n->addInteger("ti", s.df.ti);
        n->addInteger("sc", s.df.sc);
        root->addNode(n);
    }
    root->addNode(extraAlarmToXML("sca", p_.secondaryAlarm));
    root->addNode(extraAlarmToXML("ata", p_.attentionAlarm));
    root->addString("cls", s.cls);
    root->addNode(namedCopy(ui.activePlugInsSettings(), "acpl"));
    root->addBoolean("acv", s.acv);
    root->addBoolean("igc", s.igc);
    root->addInteger("ibw", s.ibw);
    root->addBoolean("osvol", s.osvol);
    root->addLong("svol", s.svol);
    root->addBoolean("ovvol", s.ovvol);
    root->addLong("vvol", s.vvol);
    root->addBoolean("ovspd", s.ovspd);
    root->addLong("vspd", s.vspd);
    root->addLong("tiia", s.tiia);
    root->addInteger("acmm", s.acmm);
    root->addInteger("acst", s.acst);
    root->addBoolean("auc", s.auc);
    root->addInteger("cao", s.cao);
    root->addBoolean("stt", s.stt);
    root->addBoolean("odt", s.odt);
    root->addLong("ola", s.ola);
    root->addInteger("olu", s.olu);
    root->addInteger("olp", s.olp);
    root->addBoolean("epa", s.epa);
    root->addBoolean("ofrm", s.ofrm);
    root->addInteger("dsa", s.dsa);
    root->addInteger("dsu", s.dsu);
    root->addInteger("dsat", s.dsat);
    root->addBoolean("uoaw", s.uoaw);
    root->addBoolean("dntf", s.dntf);
    root->addBoolean("wfld", s.wfld);
    root->addBoolean("wake", s.wake);
    root->addBoolean("dofm", s.dofm);
    root->addInteger("rmwn", s.rmwn);
    root->addBoolean("uat", s.uat);
    root->addString("qgn", s.qgn);
    root->addInteger("qgk", s.qgk);
    root->addBoolean("sdbu", s.sdbu);
    return root;
}

bool SettingsStore::writeSettingsFile() {
    BusyPointer busy(p_.ports.ui);
    bool ok = false;
    std::string cause;
    try {
        ok = !toXML()->toXMLFile(settingsFilePath());
        if (!ok) cause = p_.main.writeFailureText();
    } catch (const std::exception& e) {
        // Whatever stopped the tree from being built, the file was not written.
        cause = e.what();
    }
    p_.main.noteWrite(modMain::Written::kSettings, ok, cause);
    return ok;
}

bool SettingsStore::saveSettings() { return writeSettingsFile(); }

}  // namespace qv
