// The calendar plug-in through the real host: discovery, the informational
// methods and their language files, synchronisation that fails without
// touching the group, the settings control and the import dialog.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <set>
#include <sstream>

#include "model/alarmgroup.h"
#include "plugins/hostfixture.h"

namespace qv::test {
namespace {

const std::string kAppointmentSync = "QuorvaneOutlook*OutlookAppointmentSynchronizer";

void copyLanguageFiles(HostFixture& f) {
    for (const char* lng : {"QuorvaneOutlook_English.lng", "QuorvaneOutlook_Deutsch.lng"})
        std::filesystem::copy_file(std::string(QUORVANE_BUILD_PLUGINS) + "/" + lng,
                                   f.folder.file(std::string("PlugIns/") + lng));
}

std::string calendar(const std::string& start) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\nSUMMARY:Review\r\n"
           "DTSTART:" +
           start + "\r\nRRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

TEST(OutlookPlugIn, DiscoveryNamesAndLanguageFilesThroughTheHost) {
    HostFixture f({"bin:QuorvaneOutlook.so"});
    f.host.loadPlugins();
    using Ids = std::vector<std::string>;
    EXPECT_EQ(f.list(clsPlugIn::kImport), (Ids{"QuorvaneOutlook*OutlookAppointmentImporter",
                                               "QuorvaneOutlook*OutlookTaskImporter"}));
    EXPECT_EQ(f.list(clsPlugIn::kSynchronization),
              (Ids{kAppointmentSync, "QuorvaneOutlook*OutlookTaskSynchronizer"}));

    QObject* object = f.host.createObject("QuorvaneOutlook", "PlugIn");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(
        f.host.plugInMethodCall(
            object, "<xml><plugin>PlugInInfo</plugin><method>GetPlugIns</method></xml>"),
        "<result><plugins>"
        "<plugin><type>ImportPlugIn</type><name>OutlookAppointmentImporter</name></plugin>"
        "<plugin><type>ImportPlugIn</type><name>OutlookTaskImporter</name></plugin>"
        "<plugin><type>SynchronizationPlugIn</type><name>OutlookAppointmentSynchronizer</name></"
        "plugin>"
        "<plugin><type>SynchronizationPlugIn</type><name>OutlookTaskSynchronizer</name></plugin>"
        "</plugins></result>");
    EXPECT_EQ(f.host.plugInMethodCall(object,
                                      "<xml><plugin>Nobody</plugin><method>GetName</method></xml>"),
              "");
    delete object;

    // Without its language files every text says which one is missing.
    EXPECT_EQ(f.host.methodCall("QuorvaneOutlook*OutlookTaskSynchronizer", "GetName", f.host.lang(),
                                false),
              "<result><name>String [OutlookImporter] s10 not found</name></result>");
    // A synchroniser's method sent to an importer adds nothing.
    EXPECT_EQ(f.host.methodCall("QuorvaneOutlook*OutlookAppointmentImporter", "Synchronize",
                                f.host.lang(), false),
              "<result></result>");
    EXPECT_EQ(f.host.commonMethodCall(kAppointmentSync, "GetSynchSettingsControlName", "name"),
              "OutlookSynchSettingsControl");

    copyLanguageFiles(f);
    EXPECT_EQ(f.host.commonMethodCall("QuorvaneOutlook*OutlookTaskImporter", "GetImpMenuCaption",
                                      "menucaption"),
              "Calendar tasks");
    auto german = XMLNode::createFromXML(
        f.host.methodCall(kAppointmentSync, "GetSynchInfo", "<language>Deutsch</language>", false));
    EXPECT_EQ(german->getString("shortdescription"), "Kalendertermine");
    // A language without a file of its own falls back to English.
    auto other = XMLNode::createFromXML(
        f.host.methodCall(kAppointmentSync, "GetName", "<language>Klingon</language>", false));
    EXPECT_EQ(other->getString("name"), "Calendar appointments synchroniser");
}

// "section/key" of every text in a language file.
std::set<std::string> keysOf(const std::string& file) {
    std::set<std::string> keys;
    std::string section;
    std::istringstream in(readFile(file));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos)
            keys.insert(section + "/" + line.substr(0, line.find('=')));
    }
    return keys;
}

TEST(OutlookPlugIn, BothLanguageFilesHaveEveryText) {
    const std::string dir = QUORVANE_BUILD_PLUGINS;
    const auto english = keysOf(dir + "/QuorvaneOutlook_English.lng");
    EXPECT_EQ(english.size(), 42u + 9u + 5u);
    EXPECT_EQ(keysOf(dir + "/QuorvaneOutlook_Deutsch.lng"), english);
}

TEST(OutlookPlugIn, ASynchronisationThatCannotReadItsFileLeavesTheGroupAsItWas) {
    HostFixture f({"bin:QuorvaneOutlook.so"});
    copyLanguageFiles(f);
    f.host.loadPlugins();
    const std::string ics = f.folder.file("diary.ics");
    const std::string whole = calendar("20260105T100000");
    ASSERT_TRUE(writeFile(ics, whole));

    auto group = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
    group->name = "Diary";
    group->synchPlugin = kAppointmentSync;
    group->synchSettings = XMLNode::Create("syst");
    group->synchSettings->setInteger("i", 1, 1);
    group->synchSettings->addString("path", ics);
    ASSERT_TRUE(group->synchronize(f.p().ctx));
    ASSERT_EQ(group->alarms.numberOfElements(), 1);
    EXPECT_EQ(group->name, "Diary");  // the group keeps its own name
    EXPECT_EQ(group->alarms.elementAt(0)->name, "Review");
    const std::string before = group->toXML()->toString();

    // Cut short, not a calendar, or gone: the alarms stay.
    for (const std::string& content : {whole.substr(0, whole.size() / 2),
                                       std::string("\x7f"
                                                   "ELF"),
                                       std::string()}) {
        if (content.empty())
            std::filesystem::remove(ics);
        else
            ASSERT_TRUE(writeFile(ics, content));
        group->synchronize(f.p().ctx);
        EXPECT_EQ(group->toXML()->toString(), before) << content;
    }
}

// Presses the buttons of whatever modal window comes up next.
void whenModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* w = QApplication::activeModalWidget();
        if (w)
            act(w);
        else
            whenModal(act);
    });
}

TEST(OutlookPlugIn, SettingsControlAndImportDialog) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "test_outlook";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    HostFixture f({"bin:QuorvaneOutlook.so"});
    copyLanguageFiles(f);
    f.host.loadPlugins();

    // The control: "i" at the second place, 1 when missing; the file path beside it.
    QObject* object = f.host.createObject("QuorvaneOutlook", "OutlookSynchSettingsControl");
    auto* control = qobject_cast<QWidget*>(object);
    ASSERT_NE(control, nullptr);
    auto request = [&](const std::string& method, const XMLNodePtr& syst) {
        return f.host.plugInMethodCall(control,
                                       f.host.controlRequest(kAppointmentSync, method, syst));
    };
    request("SetSettings", XMLNode::Create("syst"));
    EXPECT_EQ(request("GetSettings", nullptr), "<result><syst><i></i><i>1</i></syst></result>");
    auto syst = XMLNode::Create("syst");
    syst->setInteger("i", 0, 1);
    syst->addString("path", "/home/me/work.ics");
    request("SetSettings", syst);
    EXPECT_EQ(request("GetSettings", nullptr),
              "<result><syst><i></i><i>0</i><path>/home/me/work.ics</path></syst></result>");
    EXPECT_EQ(control->findChild<QCheckBox*>("chkFutureOnly")->text(), "Only import future items");
    // An address instead of a file: only the chosen one is stored.
    syst = XMLNode::Create("syst");
    syst->addString("url", "webcal://cal.example.org/private/x.ics");
    request("SetSettings", syst);
    auto* optFile = control->findChild<QRadioButton*>("optFile");
    EXPECT_TRUE(control->findChild<QRadioButton*>("optAddress")->isChecked());
    EXPECT_FALSE(control->findChild<QLineEdit*>("txtFile")->isEnabled());
    EXPECT_EQ(request("GetSettings", nullptr),
              "<result><syst><i></i><i>1</i><url>webcal://cal.example.org/private/x.ics</url></syst>"
              "</result>");
    control->findChild<QLineEdit*>("txtFile")->setText("/home/me/work.ics");
    optFile->setChecked(true);
    EXPECT_FALSE(control->findChild<QLineEdit*>("txtAddress")->isEnabled());
    EXPECT_EQ(request("GetSettings", nullptr),
              "<result><syst><i></i><i>1</i><path>/home/me/work.ics</path></syst></result>");
    // Placed in the group properties under the host's name, in German.
    control->setObjectName("synchSettingsControl");
    f.host.plugInMethodCall(control,
                            "<xml><plugin>OutlookAppointmentSynchronizer</plugin>"
                            "<method>SetSettings</method><params><language>Deutsch"
                            "</language><syst/></params></xml>");
    EXPECT_EQ(control->findChild<QCheckBox*>("chkFutureOnly")->text(),
              "Nur zukünftige Einträge importieren");
    delete object;

    // A synchronisation that cannot read its file says why in its answer and
    // opens no window of its own: it may run on a worker thread, and the
    // program tells the user without holding the alarms up.
    auto group = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
    group->synchPlugin = kAppointmentSync;
    group->synchSettings = XMLNode::Create("syst");
    group->synchSettings->addString("path", f.folder.file("gone.ics"));
    auto windows = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) n += w->isVisible();
        return n;
    };
    const int shown = windows();
    std::string error;
    EXPECT_TRUE(group->synchronize(f.p().ctx, &error));
    EXPECT_NE(error.find("The calendar could not be read: "), std::string::npos) << error;
    EXPECT_NE(error.find("gone.ics"), std::string::npos) << error;
    EXPECT_EQ(windows(), shown);
    ASSERT_TRUE(writeFile(f.folder.file("gone.ics"), calendar("20260105T100000")));
    error.clear();
    group->synchronize(f.p().ctx, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(group->alarms.numberOfElements(), 1);
    std::filesystem::remove(f.folder.file("gone.ics"));
    group->synchronize(f.p().ctx, &error);
    EXPECT_NE(error, "");
    EXPECT_EQ(group->alarms.numberOfElements(), 1);

    // The import dialog reads the desktop's calendar when there is one.
    const std::string data = f.folder.file("data");
    std::filesystem::create_directories(data + "/evolution/calendar/system");
    ASSERT_TRUE(
        writeFile(data + "/evolution/calendar/system/calendar.ics", calendar("20200106T100000")));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data));
    const std::string importer = "QuorvaneOutlook*OutlookAppointmentImporter";
    QString caption, preset;
    whenModal([&](QWidget* w) {
        caption = w->windowTitle();
        auto* txtName = w->findChild<QLineEdit*>("txtName");
        preset = txtName->text();
        txtName->setText("Meetings");
        w->findChild<QPushButton*>("cmdOk")->click();
    });
    auto answer = XMLNode::createFromXML(
        f.host.methodCall(importer, "GetAlarmgroups", "<language>Deutsch</language>", false));
    EXPECT_EQ(caption, "Kalender importieren");
    EXPECT_EQ(preset, "Kalendertermine");
    const XMLNodePtr algr = answer->getNode("alarmgroups")->getNode("algr");
    EXPECT_EQ(algr->getString("name"), "Meetings");
    // A weekly item that began years ago is still imported with future items only.
    ASSERT_EQ(algr->getNumberOfNodesWithName("alrm"), 1);
    EXPECT_EQ(algr->getNode("alrm")->getNodeIndex("rdon"), -1);

    // Items that ring more often than the calendar are counted for the user.
    ASSERT_TRUE(writeFile(data + "/evolution/calendar/system/calendar.ics",
                          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                          "SUMMARY:Twice\r\nDTSTART:20200106T090000\r\n"
                          "RRULE:FREQ=DAILY;BYHOUR=9,17\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\n"
                          "UID:2\r\nSUMMARY:Broken\r\nDTSTART:2020\r\nEND:VEVENT\r\n"
                          "END:VCALENDAR\r\n"));
    QString summary;
    // Imports with the dialog's defaults and keeps the summary box's text.
    auto importWithSummary = [&] {
        whenModal([&](QWidget* w) {
            whenModal([&](QWidget* box) {
                summary = box->findChild<QLabel*>("qt_msgbox_label")->text();
                box->close();
            });
            w->findChild<QPushButton*>("cmdOk")->click();
        });
        answer = XMLNode::createFromXML(
            f.host.methodCall(importer, "GetAlarmgroups", f.host.lang(), false));
    };
    importWithSummary();
    EXPECT_EQ(
        summary.toStdString(),
        "1 items were imported. 1 of them ring more often than in the calendar because their "
        "repetition could not be matched exactly: please check them. 1 items could not be read "
        "and were left out.");
    EXPECT_EQ(answer->getNode("alarmgroups")->getNode("algr")->getNumberOfNodesWithName("alrm"), 2);

    // A rule too costly to expand: the import ends at once, names the item
    // and brings the others.
    ASSERT_TRUE(writeFile(data + "/evolution/calendar/system/calendar.ics",
                          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                          "SUMMARY:Leap\r\nDTSTART:20240101T100000\r\nRRULE:FREQ=MINUTELY;"
                          "BYSECOND=0,1,2,3,4,5,6,7,8,9,10;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO\r\n"
                          "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:2\r\nSUMMARY:Plain\r\n"
                          "DTSTART:20400106T090000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
    importWithSummary();
    EXPECT_EQ(summary.toStdString(),
              "1 items were imported. 1 items were left out because working out their repetition "
              "would take too long (the first: \"Leap\").");
    EXPECT_EQ(answer->getNode("alarmgroups")->getNode("algr")->getNumberOfNodesWithName("alrm"), 1);
    EXPECT_EQ(answer->getInteger("givenup"), 1);

    // An address from the dialog: plain http to another computer is refused
    // with a message that shows the host only.
    whenModal([&](QWidget* w) {
        whenModal([&](QWidget* box) {
            summary = box->findChild<QLabel*>("qt_msgbox_label")->text();
            box->close();
        });
        w->findChild<QRadioButton*>("optFolder(2)")->setChecked(true);
        w->findChild<QLineEdit*>("txtAddress")->setText("http://cal.example.org/x.ics?key=SECRET9");
        w->findChild<QPushButton*>("cmdOk")->click();
    });
    answer =
        XMLNode::createFromXML(f.host.methodCall(importer, "GetAlarmgroups", f.host.lang(), false));
    EXPECT_EQ(answer->getNode("alarmgroups")->getNumberOfNodes(), 0);
    EXPECT_EQ(summary.toStdString(),
              "The calendar could not be read: cal.example.org/\u2026: only https:// and webcal:// "
              "addresses are fetched; over http:// the calendar's secret address would travel "
              "unprotected.");

    // Cancel: no group.
    whenModal([](QWidget* w) { w->findChild<QPushButton*>("cmdCancel")->click(); });
    answer =
        XMLNode::createFromXML(f.host.methodCall(importer, "GetAlarmgroups", f.host.lang(), false));
    EXPECT_EQ(answer->getNode("alarmgroups")->getNumberOfNodes(), 0);
    qunsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace qv::test
