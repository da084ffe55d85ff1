#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/files.h"
#include "core/corefixture.h"

namespace qv::test {
namespace {

// Every key in file order, each with a value other than its default.
std::string fullFile(const std::string& tmpl, const std::string& sca, const std::string& ata) {
    return "<settings><bl>0</bl><lsd>2025/03/28 10:11:12</lsd>"
           "<sa><c0>0</c0><a0>2</a0><u0>2</u0><c1>0</c1><a1>3</a1><u1>6</u1></sa>"
           "<mw><view>1</view><calview><zoom>3</zoom></calview><v>0</v><s>2</s><x>612.5</x>"
           "<y>-30</y><w>9000</w><h>7000</h><dv1>300</dv1><dv2>200</dv2><dv3>150</dv3>"
           "<dv4>400</dv4></mw>"
           "<ftf>-1</ftf><wl>3</wl><wu>2</wu><so><ag>1</ag><agd>-1</agd><al>2</al><ald>-1</ald></"
           "so>"
           "<agp>&lt;app_path&gt;\\groups</agp><as>0</as><tc>-250</tc><vd>Voice A &amp; B</vd>"
           "<aw><w>7000</w><h>3000</h></aw>"
           "<sta><s1>1000</s1><s2>42</s2><s3>2020/01/02 03:04:05</s3></sta>"
           "<font><nm>Sans</nm><sz>9.5</sz><bd>-1</bd><it>-1</it><st>-1</st><ul>-1</ul></font>"
           "<ds>ring.wav</ds><lng>Settings</lng>" +
           tmpl +
           "<lst><ag><clm><i>1</i><w>50</w></clm><clm><i>0</i><w>100</w></clm></ag>"
           "<al><clm><i>2</i><w>10</w></clm></al><sa0><clm><i>0</i><w>1</w></clm></sa0>"
           "<sa1><clm><i>1</i><w>2</w></clm></sa1></lst>"
           "<df><al>yyyy</al><sa>mm</sa><na>dd</na><ot>hh</ot><da>0</da><ti>1</ti><sc>0</sc></df>" +
           sca + ata +
           "<cls>blue</cls><acpl><plin>Comp*Plug</plin></acpl>"
           "<acv>-1</acv><igc>0</igc><ibw>5</ibw><osvol>-1</osvol><svol>40</svol><ovvol>-1</ovvol>"
           "<vvol>60</vvol><ovspd>-1</ovspd><vspd>-3</vspd><tiia>0</tiia>"
           "<acmm>7</acmm><acst>9</acst><auc>0</auc><cao>20</cao><stt>0</stt><odt>-1</odt>"
           "<ola>15</ola><olu>2</olu><olp>3</olp>"
           "<epa>-1</epa><ofrm>-1</ofrm><dsa>10</dsa><dsu>2</dsu><dsat>1</dsat><uoaw>-1</uoaw>"
           "<dntf>0</dntf><wfld>0</wfld><wake>-1</wake><dofm>-1</dofm><rmwn>1</rmwn><uat>0</uat>"
           "<qgn>Kitchen timers</qgn><qgk>48</qgk><sdbu>0</sdbu>"
           "</settings>";
}

const std::vector<std::string> kKeyOrder = {
    "bl",   "lsd",  "sa",   "mw",   "ftf",   "wl",   "wu",    "so",   "agp",   "as",   "tc",
    "vd",   "aw",   "sta",  "font", "ds",    "lng",  "lst",   "df",   "sca",   "ata",  "cls",
    "acpl", "acv",  "igc",  "ibw",  "osvol", "svol", "ovvol", "vvol", "ovspd", "vspd", "tiia",
    "acmm", "acst", "auc",  "cao",  "stt",   "odt",  "ola",   "olu",  "olp",   "epa",  "ofrm",
    "dsa",  "dsu",  "dsat", "uoaw", "dntf",  "wfld", "wake", "dofm", "rmwn", "uat", "qgn", "qgk", "sdbu"};

struct SettingsStoreTest : CoreFixture, ::testing::Test {
    SettingsStore& store() { return p().settingsStore; }
    std::string usr() { return folder.file("usr.cfx"); }
    void writeSettings(const std::string& text) { ASSERT_TRUE(writeFile(usr(), text)); }
    // Loads a file holding just these keys.
    void loadKeys(const std::string& keys, bool safeMode = false) {
        writeSettings("<settings>" + keys + "</settings>");
        ASSERT_TRUE(store().loadSettings(safeMode));
    }
    XMLNodePtr saved() {
        EXPECT_TRUE(store().saveSettings());
        return XMLNode::createFromFile(usr());
    }
    AlarmPtr namedAlarm(const std::string& name, bool withAction) {
        auto a = Alarm::createDefaultHiddenAlarm(nullptr, name);
        a->importance = 2;
        if (withAction)
            a->actions.addElement(clsAction::Create(p().ctx, a, clsAction::kShowMessage));
        return a;
    }
};

TEST_F(SettingsStoreTest, MissingFileRunsFirstTimeSettingsKeepsDefaultsAndSavesEveryKey) {
    ASSERT_TRUE(writeFile(folder.file("default.csc"), "[Colors]\n"));
    ASSERT_TRUE(store().loadSettings(false));

    EXPECT_EQ(ui.firstTimeRuns, 1);
    EXPECT_FALSE(p().loading);
    EXPECT_FALSE(ui.busy);
    EXPECT_EQ(ui.translations, 1);
    EXPECT_GE(ui.listUpdates, 1);
    const SettingsValues& s = p().settings;
    const SettingsValues def;
    EXPECT_FALSE(p().supervision.blocked);
    EXPECT_EQ(p().supervision.lastSupervised, clock.current);
    EXPECT_EQ(s.staS3, clock.current);
    EXPECT_EQ(p().startTime, clock.current);
    EXPECT_EQ(s.mw.dv1, 337);
    EXPECT_EQ(s.mw.w, 11385.0f);
    EXPECT_TRUE(s.mw.visible);
    EXPECT_EQ(s.wl, def.wl);
    EXPECT_EQ(s.agp, "<app_path>");
    EXPECT_EQ(s.cls, "default");
    EXPECT_EQ(s.tiia, 10);
    EXPECT_EQ(s.df.sc, 1);
    EXPECT_EQ(s.lng, "English");
    EXPECT_TRUE(s.tmpl.empty());
    EXPECT_EQ(p().columnLayouts->toString(), SettingsStore::builtInColumnLayouts()->toString());
    ASSERT_TRUE(p().secondaryAlarm.alarm);
    EXPECT_TRUE(p().secondaryAlarm.alarm->hidden);
    EXPECT_EQ(p().secondaryAlarm.enabled, 0);
    ASSERT_TRUE(p().attentionAlarm.alarm);
    // The first-time choices reach the disk at the next tick, not only at a
    // clean exit: a crash before it must not ask them again.
    EXPECT_EQ(p().supervision.pendingWork, pending::kSaveSettings);

    const XMLNodePtr file = saved();
    EXPECT_EQ(file->name, "settings");
    std::vector<std::string> keys;
    for (const auto& c : file->children()) keys.push_back(c->name.str());
    EXPECT_EQ(keys, kKeyOrder);  // no "tmpl" without a template
    EXPECT_EQ(file->getNode("mw")->getNumberOfNodes(), 12);
    EXPECT_EQ(file->getNode("sca")->getNumberOfNodesWithName("s"), 2);
    EXPECT_EQ(file->getNode("sca")->getNode("al")->getDate("oncd"), kNever);
}

TEST_F(SettingsStoreTest, FullFileReadsAndWritesBackUnchanged) {
    ASSERT_TRUE(writeFile(folder.file("Settings.lng"), kTestLanguage));
    ASSERT_TRUE(writeFile(folder.file("blue.csc"), "[Colors]\ns0=#0000FF\n"));
    auto tmpl = namedAlarm("template", true);
    tmpl->hidden = false;
    const std::string text = fullFile(
        tmpl->toXML("tmpl")->toString(),
        "<sca><s>1</s><s>2</s>" + namedAlarm("second", true)->toXML("al")->toString() + "</sca>",
        "<ata><s>1</s><s>3</s>" + namedAlarm("attention", false)->toXML("al")->toString() +
            "</ata>");
    writeSettings(text);
    ASSERT_TRUE(store().loadSettings(false));

    EXPECT_EQ(ui.firstTimeRuns, 0);
    const SettingsValues& s = p().settings;
    EXPECT_FALSE(ui.placement.visible);
    EXPECT_EQ(ui.placement.state, 2);
    EXPECT_EQ(ui.placement.x, 612.5f);
    EXPECT_EQ(ui.placement.dv4, 400);
    EXPECT_EQ(ui.calview->getInteger("zoom"), 3);
    EXPECT_EQ(ui.acpl->getString("plin"), "Comp*Plug");
    EXPECT_EQ(ui.font.nm, "Sans");
    EXPECT_EQ(ui.font.sz, 9.5f);
    EXPECT_TRUE(ui.font.ul);
    EXPECT_EQ(s.sa[1].unit, kWeeks);
    EXPECT_EQ(s.vd, "Voice A & B");
    EXPECT_EQ(s.tc, -250);
    EXPECT_EQ(p().ctx.alarmsSounded, 42);
    EXPECT_EQ(s.staS3, dt(2020, 1, 2, 3, 4, 5));
    EXPECT_EQ(p().supervision.lastSupervised, dt(2025, 3, 28, 10, 11, 12));
    EXPECT_EQ(p().translation.language(), "Settings");
    EXPECT_EQ(p().colours.schemeName(), "blue");
    EXPECT_EQ(p().columnLayouts->getNode("ag")->getNode("clm")->getInteger("i"), 1);
    EXPECT_EQ(s.df.ti, 1);
    EXPECT_EQ(s.df.sc, 0);
    EXPECT_EQ(p().secondaryAlarm.threshold, 2);
    ASSERT_TRUE(p().secondaryAlarm.alarm);
    EXPECT_EQ(p().secondaryAlarm.alarm->name, "second");
    EXPECT_EQ(p().secondaryAlarm.alarm->actions.numberOfElements(), 1);
    EXPECT_EQ(p().attentionAlarm.threshold, 3);
    EXPECT_EQ(p().attentionAlarm.alarm->name, "attention");
    auto t = Alarm::createFromXML(*XMLNode::createFromXML(s.tmpl), nullptr);
    EXPECT_EQ(t->name, "template");
    EXPECT_EQ(s.uoaw, true);
    EXPECT_FALSE(s.dntf);
    EXPECT_FALSE(s.wfld);
    EXPECT_TRUE(s.wake);
    EXPECT_TRUE(s.dofm);
    EXPECT_EQ(s.rmwn, 1);
    EXPECT_FALSE(s.uat);
    EXPECT_EQ(s.qgn, "Kitchen timers");
    EXPECT_EQ(s.qgk, 48);
    EXPECT_FALSE(s.sdbu);
    EXPECT_EQ(p().supervision.pendingWork, 0);

    EXPECT_TRUE(store().saveSettings());
    EXPECT_EQ(readFile(usr()), text);
}

TEST_F(SettingsStoreTest, UnconvertibleAndOutOfRangeValuesTakeDefaults) {
    loadKeys(
        "<mw><s>1</s><dv1>abc</dv1><x>1e99</x></mw><wl>99999</wl><tc>x</tc>"
        "<lsd>soon</lsd><df><sc>y</sc></df><igc>False</igc><acv>True</acv>");
    const SettingsValues& s = p().settings;
    EXPECT_EQ(s.mw.dv1, 337);
    EXPECT_EQ(s.mw.x, 600.0f);
    // A window minimised at the last save starts hidden and normal.
    EXPECT_FALSE(s.mw.visible);
    EXPECT_EQ(s.mw.state, 0);
    EXPECT_FALSE(ui.placement.visible);
    EXPECT_EQ(s.wl, 32767);  // clamped as the dialog clamps it, not the default
    EXPECT_EQ(s.tc, 0);
    EXPECT_EQ(p().supervision.lastSupervised, clock.current);
    EXPECT_EQ(s.df.sc, 1);
    EXPECT_FALSE(s.igc);
    EXPECT_TRUE(s.acv);
}

TEST_F(SettingsStoreTest, WholeNumbersBeyondTheirRangeAreClampedNotWrapped) {
    loadKeys(
        "<wl>-5</wl><wu>7</wu><tc>4294967297</tc><svol>-1</svol><vvol>1000</vvol>"
        "<vspd>-99</vspd><tiia>-10</tiia><acmm>0</acmm><acst>70000</acst><cao>-1</cao>"
        "<ibw>4294967296</ibw><ola>-1</ola><olu>9</olu><dsa>1e6</dsa><dsu>-1</dsu><dsat>2</dsat>"
        "<sa><a0>-3</a0><u0>7</u0><a1>99999</a1><u1>-32769</u1></sa>"
        "<mw><s>3</s><dv1>70000</dv1></mw><aw><w>-1</w><h>9999999999</h></aw>"
        "<sta><s1>-1</s1><s2>4294967296</s2></sta><df><da>9</da><ti>2</ti><sc>-1</sc></df>"
        "<font><sz>1e9</sz></font>");
    const SettingsValues& s = p().settings;
    EXPECT_EQ(s.wl, 0);
    EXPECT_EQ(s.wu, 2);
    EXPECT_EQ(s.tc, 60000);
    EXPECT_EQ(s.svol, 0);
    EXPECT_EQ(s.vvol, 100);
    EXPECT_EQ(s.vspd, -10);
    EXPECT_EQ(s.tiia, 0);
    EXPECT_EQ(s.acmm, 1);
    EXPECT_EQ(s.acst, 32767);
    EXPECT_EQ(s.cao, 0);
    EXPECT_EQ(s.ibw, kMaxIntervalBarWidth);  // the range the dialog and the view use
    EXPECT_EQ(s.ola, 0);
    EXPECT_EQ(s.olu, kWeeks);
    EXPECT_EQ(s.dsa, 32767);
    EXPECT_EQ(s.dsu, kSeconds);
    EXPECT_EQ(s.dsat, 1);
    EXPECT_EQ(s.sa[0].amount, 0);
    EXPECT_EQ(s.sa[0].unit, kWeeks);
    EXPECT_EQ(s.sa[1].amount, 32767);
    EXPECT_EQ(s.sa[1].unit, kSeconds);
    EXPECT_EQ(ui.placement.state, 2);
    EXPECT_EQ(ui.placement.dv1, 32767);
    EXPECT_EQ(s.awW, 0);
    EXPECT_EQ(s.awH, INT32_MAX);
    EXPECT_EQ(s.staS1, 0);
    EXPECT_EQ(s.staS2, INT32_MAX);
    EXPECT_EQ(p().ctx.alarmsSounded, INT32_MAX);
    EXPECT_EQ(s.df.da, 3);
    EXPECT_EQ(s.df.ti, 1);
    EXPECT_EQ(s.df.sc, 0);
    EXPECT_EQ(ui.font.sz, 400.0f);
}

TEST_F(SettingsStoreTest, BlockedStateFromFileOrSafeMode) {
    loadKeys("<bl>-1</bl>");
    EXPECT_TRUE(p().supervision.blocked);

    loadKeys("<bl>0</bl>");
    EXPECT_FALSE(p().supervision.blocked);

    // Safe mode blocks whatever the file says, and the blocked state is what is stored.
    loadKeys("<bl>0</bl>", true);
    EXPECT_TRUE(p().supervision.blocked);
    EXPECT_TRUE(saved()->getBoolean("bl"));
}

TEST_F(SettingsStoreTest, AlarmGroupFolderBelowTheProgramFolder) {
    loadKeys("<agp>&lt;app_path&gt;\\sub</agp>");
    EXPECT_EQ(p().alarmGroupFolder(), folder.path() + "/sub");
    EXPECT_EQ(p().ctx.alarmGroupFolder, folder.path() + "/sub");
}

TEST_F(SettingsStoreTest, RunningTimeAddsThisRunAndStartsAgainPastTheLimit) {
    loadKeys("<sta><s1>1000</s1></sta>");
    clock.advance(61);
    EXPECT_EQ(saved()->getNode("sta")->getLong("s1"), 1061);

    loadKeys("<sta><s1>2147483600</s1></sta>");
    clock.advance(47);
    EXPECT_EQ(saved()->getNode("sta")->getLong("s1"), 2147483647);
    clock.advance(1);
    EXPECT_EQ(saved()->getNode("sta")->getLong("s1"), 0);

    // Alarms sounded are the counter the model keeps, not the value read.
    p().ctx.alarmsSounded = 7;
    EXPECT_EQ(saved()->getNode("sta")->getLong("s2"), 7);
}

TEST_F(SettingsStoreTest, MissingColourSchemeIsForgottenAndSavedEmpty) {
    loadKeys("<cls>gone</cls>");
    EXPECT_EQ(p().settings.cls, "");
    EXPECT_TRUE(p().supervision.pendingWork & pending::kSaveSettings);
    const XMLNodePtr file = saved();
    ASSERT_GE(file->getNodeIndex("cls"), 0);
    EXPECT_EQ(file->getString("cls", 0, "x"), "");
}

TEST_F(SettingsStoreTest, MissingLanguageFileRunsFirstTimeSettings) {
    loadKeys("<lng>Klingon</lng>");
    EXPECT_EQ(ui.firstTimeRuns, 1);
    EXPECT_EQ(p().translation.language(), "English");
}

TEST_F(SettingsStoreTest, WriteFailureIsToldWithoutAQuestion) {
    // Root is not stopped by permissions; a folder in the file's place is.
    std::filesystem::create_directory(usr());
    EXPECT_FALSE(store().saveSettings());
    EXPECT_FALSE(store().saveSettings());
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(ui.busy);
    ASSERT_EQ(ui.writeProblems.size(), 1u);  // once per cause
    EXPECT_NE(ui.writeProblems[0].find("settings"), std::string::npos);
}

TEST_F(SettingsStoreTest, TemplateNeedsChildren) {
    loadKeys("<tmpl>just text</tmpl>");
    EXPECT_TRUE(p().settings.tmpl.empty());
    EXPECT_LT(saved()->getNodeIndex("tmpl"), 0);

    loadKeys("<tmpl><name>T &amp; U</name></tmpl>");
    EXPECT_EQ(p().settings.tmpl, "<tmpl><name>T &amp; U</name></tmpl>");
    const XMLNodePtr file = saved();
    EXPECT_EQ(file->getNodeIndex("tmpl"), file->getNodeIndex("lng") + 1);
    EXPECT_EQ(file->getNode("tmpl")->getString("name"), "T & U");
}

TEST_F(SettingsStoreTest, ExtraAlarmsWithAndWithoutTheirAlarm) {
    loadKeys("<sca><s>1</s><al><name>bell</name></al></sca>");
    EXPECT_EQ(p().secondaryAlarm.enabled, 1);
    EXPECT_EQ(p().secondaryAlarm.threshold, 0);
    EXPECT_EQ(p().secondaryAlarm.alarm->name, "bell");
    EXPECT_EQ(p().attentionAlarm.enabled, 0);
    ASSERT_TRUE(p().attentionAlarm.alarm);
    EXPECT_TRUE(p().attentionAlarm.alarm->hidden);

    p().attentionAlarm.threshold = 4;
    const XMLNodePtr ata = saved()->getNode("ata");
    ASSERT_EQ(ata->getNumberOfNodes(), 3);
    EXPECT_EQ(ata->getNodeAt(1)->Value, "4");
    EXPECT_EQ(ata->getNodeAt(2)->name, "al");
}

TEST_F(SettingsStoreTest, MissingLayoutsKeepTheBuiltInOnes) {
    loadKeys("<lst><al><clm><i>1</i><w>9</w></clm></al></lst>");
    const XMLNodePtr lst = saved()->getNode("lst");
    const XMLNodePtr builtIn = SettingsStore::builtInColumnLayouts();
    ASSERT_EQ(lst->getNumberOfNodes(), 4);
    EXPECT_EQ(lst->getNodeAt(0)->toString(), builtIn->getNode("ag")->toString());
    EXPECT_EQ(lst->getNodeAt(1)->toString(), "<al><clm><i>1</i><w>9</w></clm></al>");
    EXPECT_EQ(lst->getNodeAt(3)->toString(), builtIn->getNode("sa1")->toString());
}

TEST_F(SettingsStoreTest, DamagedFilesLoadWithoutHarm) {
    ASSERT_TRUE(writeFile(folder.file("Settings.lng"), kTestLanguage));
    const std::string text =
        fullFile("<tmpl><name>t</name></tmpl>", "<sca><s>1</s><al><name>a</name></al></sca>", "");
    for (std::size_t cut = 0; cut < text.size(); cut += 7) {
        writeSettings(text.substr(0, cut));
        EXPECT_TRUE(store().loadSettings(false)) << "cut at " << cut;
        EXPECT_FALSE(p().loading);
    }
}

TEST_F(SettingsStoreTest, DamagedFileIsKeptBeforeItIsReplaced) {
    const std::string damaged = "<settings><wl>3</wl><lng>English</lng><agp>/my/alarms";
    writeSettings(damaged);
    ASSERT_TRUE(store().loadSettings(false));
    EXPECT_EQ(p().settings.wl, 3);
    EXPECT_TRUE(store().saveSettings());
    EXPECT_EQ(readFile(usr() + ".damaged"), damaged);
    // A sound file leaves no copy behind.
    ASSERT_TRUE(deleteFile(usr() + ".damaged"));
    ASSERT_TRUE(store().loadSettings(false));
    EXPECT_FALSE(fileExists(usr() + ".damaged"));
}

// A window that fails while the calendar view's settings are handed over.
class FailingUI : public FakeUI {
  public:
    void applyCalendarViewSettings(const XMLNodePtr&) override {
        throw std::runtime_error("calendar view refused");
    }
};

TEST_F(SettingsStoreTest, ErrorWhileReadingEndsWithTheFatalMessage) {
    FailingUI failing;
    program = std::make_unique<Program>(Folders::forFolder(folder.path()),
                                        CorePorts{clock, timer, failing, plugIns, performer,
                                                  session, shell, instance, systemColours, names});
    writeSettings("<settings><bl>0</bl></settings>");
    EXPECT_FALSE(p().settingsStore.loadSettings(false));
    ASSERT_EQ(failing.boxes.size(), 1u);
    EXPECT_EQ(failing.boxes[0].text,
              "Error while loading settings: 0 in calendar view refused; flag 2; program will be "
              "terminated");
    EXPECT_FALSE(p().loading);
    EXPECT_FALSE(failing.busy);
}

}  // namespace
}  // namespace qv::test
