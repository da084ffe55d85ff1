// The settings dialog, driven with key and mouse events: every page changed
// and the values found in the program and in "usr.cfx"; a language switch
// that translates the open windows; the checks before applying; Cancel; the
// autostart entry; deleting expired alarms; the quick alarms group and the
// scripting interface.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>

#include "base/dateformat.h"
#include "base/files.h"
#include "controls/vnumberbox.h"
#include "core/alarmrequest.h"
#include "model/clsadvanceddate.h"
#include "ui/frmalarmgroupproperties.h"
#include "ui/frmalarmproperties.h"
#include "ui/frmsettings.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

void whenOpen(std::function<void(frmSettings&)> drive) {
    QTimer::singleShot(0, [drive] {
        auto* d = qobject_cast<frmSettings*>(QApplication::activeModalWidget());
        QVERIFY(d);
        drive(*d);
    });
}

template <typename T>
T* child(QWidget& w, const QString& name) {
    T* c = w.findChild<T*>(name);
    if (!c) qWarning("no control %s", qPrintable(name));
    return c;
}
QCheckBox* chk(QWidget& w, const char* name) {
    return child<QCheckBox>(w, QString::fromLatin1(name));
}
QComboBox* cmb(QWidget& w, const char* name) {
    return child<QComboBox>(w, QString::fromLatin1(name));
}
QPushButton* cmd(QWidget& w, const char* name) {
    return child<QPushButton>(w, QString::fromLatin1(name));
}

void page(frmSettings& d, int n) {
    auto* list = child<QListWidget>(d, QStringLiteral("lstTab"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(n)).center());
    QCOMPARE(d.currentPage(), n);
}
void tick(QCheckBox* box) { QTest::keyClick(box, Qt::Key_Space); }
void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}
void typeNumber(frmSettings& d, const char* box, const QString& digits) {
    QLineEdit* t = child<VNumberBox>(d, QString::fromLatin1(box))->textField();
    t->setFocus();
    t->selectAll();
    QTest::keyClicks(t, digits);
}
// Moves a list `downs` items on from its first.
void choose(QComboBox* box, int downs) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < downs; ++i) QTest::keyClick(box, Qt::Key_Down);
}

struct Fakes {
    QStringList played;
    QStringList spoken;
    frmSettings::Services services() {
        frmSettings::Services s;
        s.voices = [] { return QStringList{QStringLiteral("Anna"), QStringLiteral("Bert")}; };
        s.playSound = [this](const QString& file, bool ov, int vol) {
            played << file + QStringLiteral(" %1 %2").arg(ov).arg(vol);
        };
        s.speak = [this](const QString& text, const QString& voice, bool, int, bool ovspd,
                         int spd) {
            spoken << voice + QStringLiteral(" %1 %2 ").arg(ovspd).arg(spd) + text;
        };
        s.chooseFont = [](const QFont&) {
            QFont f(QStringLiteral("DejaVu Serif"));
            f.setPointSizeF(13);
            f.setItalic(true);
            return std::optional<QFont>(f);
        };
        s.chooseSoundFile = [](const QString&) { return QStringLiteral("/sounds/bell.ogg"); };
        s.wakeAvailability = [] { return 0; };
        return s;
    }
};

XMLNodePtr storedSettings(UiFixture& f) {
    auto root = XMLNode::Create();
    if (root->initializeFromFile(f.p().settingsStore.settingsFilePath())) return nullptr;
    return root;
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir config_;

  private slots:
    void initTestCase() {
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    }

    void everyPageReachesTheProgramAndTheFile() {
        UiFixture f;
        for (const char* scheme : {"default", "dark"})
            (void)writeFile(
                f.core.folder.file(std::string(scheme) + ".csc"),
                readFile(std::string(QUORVANE_SOURCE_DIR) + "/data/" + scheme + ".csc"));
        AlarmGroupPtr kept = f.addGroup("Kept", {{"Later", dt(2099, 5, 1, 9, 0, 0)}});
        kept->setChanged();
        QVERIFY(f.p().main.saveChangedAlarmGroups());  // in the program folder
        const std::string keptOldFile =
            AlarmGroup::resolvePath(kept->path, f.p().alarmGroupFolder());
        QVERIFY(fileExists(keptOldFile));
        // The new folder holds a group file of its own.
        std::filesystem::create_directories(f.core.folder.file("groups"));
        const QString groups = QString::fromStdString(f.core.folder.file("groups"));
        const std::string foreign = f.core.folder.file("groups/usg_0.agx");
        QVERIFY(writeFile(foreign, "<algr><name>Somebody else's</name></algr>"));
        QVERIFY(!frmSettings::autostartEnabled());
        Fakes fakes;
        const frmSettings::Services services = fakes.services();
        std::vector<std::string> edited;
        auto edit = [&](const AlarmPtr& a) {
            edited.push_back(a->name);
            a->name = "Edited " + std::to_string(edited.size());
            return true;
        };
        QString example, nextFormat;
        whenOpen([&](frmSettings& d) {
            page(d, 0);
            choose(cmb(d, "cmbColorscheme"), 0);  // "dark" comes before "default"
            click(cmd(d, "cmdFont"));
            tick(chk(d, "chkAutostart"));

            page(d, 1);
            typeInto(child<QLineEdit>(d, QStringLiteral("txtAlarmGroupLocation")), groups + "/");
            click(cmd(d, "cmdSetTemplateAlarm"));
            tick(chk(d, "chkOverlapWarning"));
            typeNumber(d, "vnbOverlapWarning", QStringLiteral("45"));
            choose(cmb(d, "cmbOverlapWarning"), 2);             // hours
            choose(cmb(d, "cmbOverlapWarningRestriction"), 2);  // normal and above

            page(d, 2);
            typeNumber(d, "vnbWarning", QStringLiteral("7"));
            choose(cmb(d, "cmbWhenUnblocked"), 2);
            tick(chk(d, "chkForceForeground"));
            typeNumber(d, "vnbTimerCorrection", QStringLiteral("-250"));
            typeNumber(d, "vnbSnoozeAmount", QStringLiteral("10"));
            choose(cmb(d, "cmbSnoozeUnit"), 4);  // weeks
            choose(cmb(d, "cmbSnoozeAddTo"), 1);
            tick(chk(d, "chkUseOneAlarmWindow"));

            page(d, 3);
            QVERIFY(!cmd(d, "cmdSecondaryAlarm")->isEnabled());
            tick(chk(d, "chkSecondaryAlarm"));
            choose(cmb(d, "cmbSecondaryAlarmRestriction"), 1);
            click(cmd(d, "cmdSecondaryAlarm"));
            tick(chk(d, "chkAttentionAlarm"));
            choose(cmb(d, "cmbAttentionAlarmRestriction"), 4);
            click(cmd(d, "cmdAttentionAlarm"));

            page(d, 4);
            click(cmd(d, "cmdDefaultSound"));
            tick(chk(d, "chkSoundVolume"));
            auto* volume = child<QSlider>(d, QStringLiteral("sldSoundVolume"));
            QTest::keyClick(volume, Qt::Key_Home);
            for (int i = 0; i < 3; ++i) QTest::keyClick(volume, Qt::Key_PageUp);
            click(cmd(d, "cmdSoundTest"));
            choose(cmb(d, "cmbVoice"), 1);
            tick(chk(d, "chkVoiceSpeed"));
            QTest::keyClick(child<QSlider>(d, QStringLiteral("sldVoiceSpeed")), Qt::Key_End);
            click(cmd(d, "cmdVoiceTest"));

            page(d, 5);
            choose(cmb(d, "cmbDateFormat"), 0);
            choose(cmb(d, "cmbTimeFormat"), 1);
            tick(chk(d, "chkShowSeconds"));
            nextFormat = child<QLineEdit>(d, QStringLiteral("txtFormat(2)"))->text();
            typeInto(child<QLineEdit>(d, QStringLiteral("txtFormat(3)")),
                     QStringLiteral("yyyy-mm-dd hh:nn"));
            example = child<QLabel>(d, QStringLiteral("lblFormatExample"))->text();

            page(d, 6);
            tick(chk(d, "chkShowInAlarmgroups(0)"));  // the state column goes
            tick(chk(d, "chkShowInAlarms(3)"));       // the actions column comes

            page(d, 7);
            tick(chk(d, "chkShowTooltips"));
            typeNumber(d, "vnbCalendarOffset", QStringLiteral("40"));
            typeNumber(d, "vnbIntervalBarWidth", QStringLiteral("12"));
            tick(chk(d, "chkIgnoreCorrection"));

            page(d, 8);
            typeNumber(d, "vnbAlarmClockMaxMinutes", QStringLiteral("4"));
            typeNumber(d, "vnbAlarmClockSnoozeTime", QStringLiteral("9"));

            page(d, 9);
            QVERIFY(!cmd(d, "cmdRegPlugins")->isEnabled());
            tick(chk(d, "chkSafetyCheckAtStartup"));
            tick(chk(d, "chkUseOldFontRotationMethod"));
            tick(chk(d, "chkPersonalAssistant"));
            tick(chk(d, "chkTimeInactive"));
            QTest::keyClick(chk(d, "chkTimeInactive"), Qt::Key_Return);
        });
        QVERIFY(frmSettings::run(f.p(), f.ui, nullptr, edit, &services));

        // The program's state.
        const SettingsValues& s = f.p().settings;
        QCOMPARE(s.cls, std::string("dark"));
        QCOMPARE(f.p().colours.schemeName(), std::string("dark"));
        QCOMPARE(s.font.nm, std::string("DejaVu Serif"));
        QVERIFY(s.font.it);
        QCOMPARE(s.agp, groups.toStdString());  // without the trailing separator
        QCOMPARE(f.p().ctx.alarmGroupFolder, groups.toStdString());
        // Every group is written into the new folder, changed or not, overwriting nothing.
        QVERIFY(kept->changed);
        QVERIFY(f.p().supervision.pendingWork & pending::kSaveGroups);
        QVERIFY(f.p().main.saveChangedAlarmGroups());
        QCOMPARE(AlarmGroup::resolvePath(kept->path, groups.toStdString()),
                 f.core.folder.file("groups/usg_1.agx"));
        QVERIFY(readFile(f.core.folder.file("groups/usg_1.agx")).find("Kept") != std::string::npos);
        QCOMPARE(readFile(foreign), std::string("<algr><name>Somebody else's</name></algr>"));
        QVERIFY(fileExists(keptOldFile));
        QVERIFY(s.tmpl.find("Edited 1") != std::string::npos);
        QVERIFY(s.odt);
        QCOMPARE(s.ola, 45);
        QCOMPARE(s.olu, std::int16_t(kHours));
        QCOMPARE(s.olp, std::int16_t(0));
        QCOMPARE(s.wl, std::int16_t(7));
        QCOMPARE(s.wu, std::int16_t(2));
        QVERIFY(s.ftf);
        QCOMPARE(s.tc, -250);
        QCOMPARE(s.dsa, std::int16_t(10));
        QCOMPARE(s.dsu, std::int16_t(kWeeks));
        QCOMPARE(s.dsat, std::int16_t(1));
        QVERIFY(s.uoaw);
        QCOMPARE(f.p().secondaryAlarm.enabled, std::int16_t(1));
        QCOMPARE(f.p().secondaryAlarm.threshold, std::int16_t(1));
        QCOMPARE(f.p().secondaryAlarm.alarm->name, std::string("Edited 2"));
        QCOMPARE(f.p().attentionAlarm.enabled, std::int16_t(1));
        QCOMPARE(f.p().attentionAlarm.threshold, std::int16_t(-2));
        QCOMPARE(f.p().attentionAlarm.alarm->name, std::string("Edited 3"));
        QCOMPARE(s.ds, std::string("/sounds/bell.ogg"));
        QVERIFY(s.osvol);
        QCOMPARE(s.svol, 30);
        QCOMPARE(fakes.played, QStringList{QStringLiteral("/sounds/bell.ogg 1 30")});
        QCOMPARE(s.vd, std::string("Anna"));
        QVERIFY(s.ovspd);
        QCOMPARE(s.vspd, 10);
        QCOMPARE(fakes.spoken.size(), 1);
        QVERIFY(fakes.spoken[0].startsWith(QStringLiteral("Anna 1 10 ")));
        QCOMPARE(s.df.da, std::int16_t(0));
        QCOMPARE(s.df.ti, std::int16_t(1));
        QCOMPARE(s.df.sc, std::int16_t(0));
        QCOMPARE(nextFormat, QStringLiteral("dddd dd/mm/yyyy hh:nn AM/PM"));
        QCOMPARE(s.df.na, std::string("dddd dd/mm/yyyy hh:nn AM/PM"));
        QCOMPARE(s.df.ot, std::string("yyyy-mm-dd hh:nn"));
        QCOMPARE(example,
                 QString::fromStdString(formatDate(f.p().now(), "yyyy-mm-dd hh:nn", f.core.names)));
        QCOMPARE(f.main().columnFields(frmQuorvaneMain::kGroups), (std::vector<int>{0}));
        QCOMPARE(f.main().columnFields(frmQuorvaneMain::kAlarms), (std::vector<int>{0, 1, 2, 4}));
        QVERIFY(!s.stt);
        QCOMPARE(s.cao, std::int16_t(40));
        QCOMPARE(s.ibw, std::int16_t(12));
        QVERIFY(!s.igc);
        QCOMPARE(s.acmm, std::int16_t(4));
        QCOMPARE(s.acst, std::int16_t(9));
        QVERIFY(s.ofrm);
        QVERIFY(s.epa);
        QCOMPARE(s.tiia, 0);  // unticked: the inactivity test is off
        QCOMPARE(f.p().runState, std::string("3"));
        QCOMPARE(f.p().main.readRunState(), std::string("3"));
        QVERIFY(f.p().supervision.pendingWork & pending::kSaveSettings);
        QVERIFY(frmSettings::autostartEnabled());
        QVERIFY(QString::fromStdString(readFile(frmSettings::autostartFilePath().toStdString()))
                    .contains(QStringLiteral("\nExec=") +
                              frmSettings::desktopExec(QCoreApplication::applicationFilePath()) +
                              QStringLiteral("\n")));

        // The file.
        QVERIFY(f.p().settingsStore.saveSettings());
        const XMLNodePtr root = storedSettings(f);
        QVERIFY(root);
        QCOMPARE(root->getString("agp"), groups.toStdString());
        QCOMPARE(root->getString("cls"), std::string("dark"));
        QCOMPARE(root->getLong("tc"), -250);
        QCOMPARE(root->getLong("tiia", 0, -1), 0);
        QCOMPARE(root->getString("vd"), std::string("Anna"));
        QCOMPARE(root->getNode("df")->getString("na"), std::string("dddd dd/mm/yyyy hh:nn AM/PM"));
        QCOMPARE(root->getNode("sca")->getInteger("s", 0, -9), std::int16_t(1));
        QCOMPARE(root->getNode("sca")->getInteger("s", 1, -9), std::int16_t(1));
        QCOMPARE(root->getNode("ata")->getNode("al")->getString("name"), std::string("Edited 3"));
        QCOMPARE(root->getNode("tmpl")->getString("name"), std::string("Edited 1"));
        QCOMPARE(root->getNode("font")->getString("nm"), std::string("DejaVu Serif"));
        QCOMPARE(root->getNode("lst")->getNode("ag")->getNumberOfNodes(), 1);
        QCOMPARE(root->getNode("lst")->getNode("al")->getNode("clm", 3)->getInteger("i"),
                 std::int16_t(4));
        for (const char* key : {"ftf", "uoaw", "osvol", "ovspd", "odt", "epa", "ofrm"})
            QVERIFY2(root->getBoolean(key), key);
        for (const char* key : {"stt", "igc"}) QVERIFY2(!root->getBoolean(key, 0, true), key);

        // Opened again, the dialog shows what is stored.
        frmSettings again(f.p(), f.ui, {}, fakes.services());
        QVERIFY(chk(again, "chkAutostart")->isChecked());
        QVERIFY(!chk(again, "chkSafetyCheckAtStartup")->isChecked());
        QVERIFY(!chk(again, "chkTimeInactive")->isChecked());
        QVERIFY(!child<VNumberBox>(again, QStringLiteral("vnbTimeInactive"))->isEnabled());
        QCOMPARE(child<VNumberBox>(again, QStringLiteral("vnbTimerCorrection"))->value(), -250);
        QCOMPARE(cmb(again, "cmbSnoozeUnit")->currentIndex(), 4);
        QCOMPARE(cmb(again, "cmbAttentionAlarmRestriction")->currentIndex(), 4);
        QVERIFY(!cmd(again, "cmdSetTemplateAlarm")->isEnabled());  // no alarm editor
        QVERIFY(chk(again, "chkShowInAlarms(3)")->isChecked());
        QVERIFY(!chk(again, "chkShowInAlarmgroups(0)")->isChecked());

        // Ticking the safety check again: "2" now, computed afresh at exit.
        again.showPage(9);
        tick(chk(again, "chkSafetyCheckAtStartup"));
        tick(chk(again, "chkAutostart"));
        QVERIFY(again.apply());
        QCOMPARE(f.p().runState, std::string("2"));
        QCOMPARE(f.p().main.readRunState(), std::string("2"));
        QVERIFY(!frmSettings::autostartEnabled());
    }

    void aLanguageSwitchTranslatesEveryOpenWindow() {
        UiFixture f;
        Fakes fakes;
        const frmSettings::Services services = fakes.services();
        QAction* saveAll = f.main().findChild<QAction*>(QStringLiteral("mnuAgSaveAll"));
        QVERIFY(saveAll);
        const QString englishSaveAll = saveAll->text();
        QStringList seen[2];
        QString cancelAfterApply, pageAfterApply;
        whenOpen([&](frmSettings& d) {
            auto collect = [&](QStringList& into) {
                into << d.windowTitle();
                for (auto* w : d.findChildren<QAbstractButton*>()) into << w->text();
                for (auto* w : d.findChildren<QLabel*>()) into << w->text();
                for (auto* w : d.findChildren<QComboBox*>())
                    for (int i = 0; i < w->count(); ++i) into << w->itemText(i);
                auto* list = child<QListWidget>(d, QStringLiteral("lstTab"));
                for (int i = 0; i < list->count(); ++i) into << list->item(i)->text();
            };
            collect(seen[0]);
            page(d, 0);
            choose(cmb(d, "cmbLanguage"), 0);  // Deutsch
            click(cmd(d, "cmdApply"));
            collect(seen[1]);
            cancelAfterApply = cmd(d, "cmdCancel")->text();
            pageAfterApply = child<QListWidget>(d, QStringLiteral("lstTab"))->item(0)->text();
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        QVERIFY(!frmSettings::run(f.p(), f.ui, nullptr, {}, &services));
        QCOMPARE(cancelAfterApply, QStringLiteral("Abbrechen"));
        QCOMPARE(pageAfterApply, QStringLiteral("Allgemein"));
        QCOMPARE(f.p().settings.lng, std::string("Deutsch"));
        QCOMPARE(f.p().translation.language(), std::string("Deutsch"));
        QVERIFY(saveAll->text() != englishSaveAll);
        for (const QStringList& texts : seen)
            for (const QString& t : texts)
                QVERIFY2(!t.contains(QStringLiteral("not found")), qPrintable(t));
        QVERIFY2(seen[0].size() > 120, qPrintable(QString::number(seen[0].size())));
    }

    void checksCancelAndExpiredAlarms() {
        UiFixture f;
        AlarmGroupPtr g = f.addGroup(
            "Mixed", {{"Past", dt(2000, 1, 1, 8, 0, 0)}, {"Future", dt(2099, 1, 1, 8, 0, 0)}});
        // An expression that cannot be read says nothing about expiry: that alarm stays.
        AlarmPtr unreadable = ModelFixture::periodic(dt(2000, 1, 1, 8, 0, 0), 1, kDays);
        unreadable->name = "Unreadable";
        unreadable->activePeriod = Alarm::kRestrictExpression;
        unreadable->activeAdvanced = "((";
        g->addAlarm(unreadable);
        g->changed = false;
        bool throws = false;
        try {
            unreadable->hasNextAlarmDateAfter(f.p().now(), false);
        } catch (const AdvancedDateError&) {
            throws = true;
        }
        QVERIFY(throws);
        const std::string before = f.p().settingsStore.toXML()->toString();
        const std::string secondaryBefore =
            f.p().secondaryAlarm.alarm ? f.p().secondaryAlarm.alarm->toXML("al")->toString()
                                       : std::string();
        // A folder that does not exist: text 1, the focus on the field, nothing applied.
        bool focused = false;
        int shownPage = -1;
        whenOpen([&](frmSettings& d) {
            page(d, 2);
            typeNumber(d, "vnbWarning", QStringLiteral("3"));
            page(d, 1);
            auto* folder = child<QLineEdit>(d, QStringLiteral("txtAlarmGroupLocation"));
            typeInto(folder, QStringLiteral("/no/such/folder"));
            page(d, 0);
            click(cmd(d, "cmdOk"));
            focused = d.isVisible() && d.focusWidget() == folder;
            shownPage = d.currentPage();
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        QVERIFY(!frmSettings::run(f.p(), f.ui, nullptr, {}, nullptr));
        QVERIFY(focused);
        QCOMPARE(shownPage, 1);
        QCOMPARE(f.boxes.size(), std::size_t(1));
        QVERIFY(f.boxes[0].text.contains(QStringLiteral("does not exist")));
        QCOMPARE(f.p().settings.wl, std::int16_t(10));

        // Cancel after editing the secondary alarm and other fields changes nothing.
        whenOpen([&](frmSettings& d) {
            page(d, 3);
            tick(chk(d, "chkSecondaryAlarm"));
            click(cmd(d, "cmdSecondaryAlarm"));
            page(d, 7);
            tick(chk(d, "chkShowTooltips"));
            page(d, 9);
            tick(chk(d, "chkSafetyCheckAtStartup"));
            click(cmd(d, "cmdCancel"));
        });
        QVERIFY(!frmSettings::run(
            f.p(), f.ui, nullptr,
            [](const AlarmPtr& a) {
                a->name = "Changed";
                return true;
            },
            nullptr));
        QCOMPARE(f.p().settingsStore.toXML()->toString(), before);
        QVERIFY(f.p().runState != "3");
        QVERIFY(!fileExists(f.p().programFile("state")));
        QCOMPARE(f.p().secondaryAlarm.alarm ? f.p().secondaryAlarm.alarm->toXML("al")->toString()
                                            : std::string(),
                 secondaryBefore);

        // Switching auto-save off is asked about; No keeps it on. Expired alarms
        // go after a question naming the present date.
        g->path = "agPath/usg_7.agx";
        f.boxes.clear();
        f.answers = {mb::kAnswerYes, mb::kAnswerOk, mb::kAnswerNo};
        whenOpen([&](frmSettings& d) {
            page(d, 1);
            click(cmd(d, "cmdDeleteAlarms"));
            tick(chk(d, "chkAutoSave"));
            // The program folder itself, typed out: the same folder, nothing moves.
            typeInto(child<QLineEdit>(d, QStringLiteral("txtAlarmGroupLocation")),
                     QString::fromStdString(f.core.folder.path()));
            click(cmd(d, "cmdOk"));
        });
        QVERIFY(frmSettings::run(f.p(), f.ui, nullptr, {}, nullptr));
        QCOMPARE(f.boxes.size(), std::size_t(3));
        QVERIFY(f.boxes[0].text.contains(
            QString::fromStdString(formatDate(f.p().now(), f.p().settings.df.ot, f.core.names))));
        QCOMPARE(f.boxes[1].text, QStringLiteral("One expired alarm was deleted."));
        QVERIFY(f.p().settings.as);
        QCOMPARE(f.names(std::vector<AlarmPtr>(g->alarms.begin(), g->alarms.end())),
                 (std::vector<std::string>{"Future", "Unreadable"}));
        QVERIFY(g->changed);
        // It is the folder the field showed: the setting keeps its "<app_path>".
        QCOMPARE(f.p().settings.agp, std::string("<app_path>"));
        QCOMPARE(g->path, std::string("agPath/usg_7.agx"));
    }

    // The folder field shows the real folder; kept as it was, "<app_path>"
    // stays what the settings keep.
    void theGroupFolderShowsTheRealPath() {
        UiFixture f;
        f.p().settings.agp = "<app_path>";
        QString shown;
        whenOpen([&](frmSettings& d) {
            page(d, 1);
            shown = child<QLineEdit>(d, QStringLiteral("txtAlarmGroupLocation"))->text();
            click(cmd(d, "cmdOk"));
        });
        QVERIFY(frmSettings::run(f.p(), f.ui, nullptr, {}, nullptr));
        QCOMPARE(shown, QString::fromStdString(f.p().folders.programFolder));
        QCOMPARE(f.p().settings.agp, std::string("<app_path>"));
    }

    void voicesAreListedWhileTheDialogAnswers() {
        UiFixture f;
        f.p().settings.vd = "Bert";
        Fakes fakes;
        frmSettings::Services services = fakes.services();
        int slices = 0;
        services.listSomeVoices = [&slices] { return ++slices > 3; };
        int shownAtOnce = 0;
        QStringList listed;
        whenOpen([&](frmSettings& d) {
            page(d, 4);
            QComboBox* voice = cmb(d, "cmbVoice");
            shownAtOnce = voice->count();  // the default and the stored voice
            QTRY_COMPARE(voice->count(), 3);
            for (int i = 1; i < voice->count(); ++i) listed << voice->itemText(i);
            QCOMPARE(voice->currentText(), QStringLiteral("Bert"));
            click(cmd(d, "cmdOk"));
        });
        QVERIFY(frmSettings::run(f.p(), f.ui, nullptr, {}, &services));
        QCOMPARE(shownAtOnce, 2);
        QCOMPARE(slices, 4);
        QCOMPARE(listed, (QStringList{QStringLiteral("Anna"), QStringLiteral("Bert")}));
        QCOMPARE(f.p().settings.vd, std::string("Bert"));
    }

    void autostartEntryAndItsQuoting() {
        QCOMPARE(frmSettings::desktopExec(QStringLiteral("/usr/bin/quorvane")),
                 QStringLiteral("/usr/bin/quorvane"));
        QCOMPARE(frmSettings::desktopExec(QStringLiteral("/opt/My Apps/quorvane")),
                 QStringLiteral("\"/opt/My Apps/quorvane\""));
        QCOMPARE(frmSettings::desktopExec(QStringLiteral("/opt/$x 100%/q")),
                 QStringLiteral("\"/opt/\\\\$x 100%%/q\""));
        QCOMPARE(frmSettings::autostartFilePath(),
                 config_.path() + QStringLiteral("/autostart/quorvane.desktop"));

        UiFixture f;
        QVERIFY(frmSettings::setAutostart(true, QStringLiteral("/opt/My Apps/quorvane")));
        // The entry carries the icon the menus show.
        QVERIFY(QString::fromStdString(readFile(frmSettings::autostartFilePath().toStdString()))
                    .contains(QStringLiteral("\nIcon=quorvane\n")));
        bool shownTicked = false;
        whenOpen([&](frmSettings& d) {
            shownTicked = chk(d, "chkAutostart")->isChecked();
            tick(chk(d, "chkAutostart"));
            click(cmd(d, "cmdOk"));
        });
        QVERIFY(frmSettings::run(f.p(), f.ui, nullptr, {}, nullptr));
        QVERIFY(shownTicked);
        QVERIFY(!frmSettings::autostartEnabled());
    }

    // The opener hands in the alarm dialog's template mode: what is typed there
    // reaches the secondary alarm and a group's template alarm.
    void theAlarmDialogEditsTheirAlarms() {
        UiFixture f;
        auto editor = [&f](const AlarmPtr& a) {
            return frmAlarmProperties::editAlarms(f.p(), nullptr, {a},
                                                  frmAlarmProperties::kTemplate);
        };
        auto typeNameAndOk = [](const QString& name) {
            QTimer::singleShot(0, [name] {
                auto* a = qobject_cast<frmAlarmProperties*>(QApplication::activeModalWidget());
                QVERIFY(a);
                typeInto(child<QLineEdit>(*a, QStringLiteral("txtAlarmName")), name);
                QTest::mouseClick(child<QPushButton>(*a, QStringLiteral("cmdOk")), Qt::LeftButton);
            });
        };
        whenOpen([&](frmSettings& d) {
            page(d, 3);
            tick(chk(d, "chkSecondaryAlarm"));
            typeNameAndOk(QStringLiteral("Beside"));
            click(cmd(d, "cmdSecondaryAlarm"));
            click(cmd(d, "cmdOk"));
        });
        QVERIFY(frmSettings::run(f.p(), f.ui, nullptr, editor, nullptr));
        QCOMPARE(f.p().secondaryAlarm.alarm->name, std::string("Beside"));

        AlarmGroupPtr g = f.addGroup("Work");
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<frmAlarmGroupProperties*>(QApplication::activeModalWidget());
            QVERIFY(d);
            typeNameAndOk(QStringLiteral("Meeting"));
            QTest::mouseClick(child<QPushButton>(*d, QStringLiteral("cmdSetTemplate")),
                              Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(*d, QStringLiteral("cmdOk")), Qt::LeftButton);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, editor));
        QCOMPARE(g->getTemplateAlarm(f.p().ctx)->name, std::string("Meeting"));
    }

    // Keyboard only: within what is on screen at once (one page and the buttons) no two
    // captions share an access key, in either language; the group dialog too.
    void accessKeysAndTabOrder() {
        UiFixture f;
        Fakes fakes;
        auto keysOf = [](QWidget& window) {
            QStringList keys;
            auto take = [&](const QString& text) {
                for (int i = 0; i + 1 < text.size(); ++i) {
                    if (text[i] != QLatin1Char('&')) continue;
                    if (text[i + 1] != QLatin1Char('&')) keys << text[i + 1].toLower();
                    ++i;
                }
            };
            for (auto* b : window.findChildren<QAbstractButton*>())
                if (b->isVisibleTo(&window)) take(b->text());
            for (auto* l : window.findChildren<QLabel*>())
                if (l->isVisibleTo(&window) && l->buddy()) take(l->text());
            return keys;
        };
        auto unique = [](const QStringList& keys, const QString& where) {
            for (const QString& k : keys)
                QVERIFY2(keys.count(k) == 1, qPrintable(where + QStringLiteral(": ") + k +
                                                        QStringLiteral(" in ") + keys.join(',')));
        };
        for (const char* lng : {"English", "Deutsch"}) {
            f.p().translation.setLanguage(lng);
            frmSettings d(
                f.p(), f.ui, [](const AlarmPtr&) { return true; }, fakes.services());
            d.show();
            for (int i = 0; i < frmSettings::kPages; ++i) {
                d.showPage(i);
                const QStringList keys = keysOf(d);
                QVERIFY(!keys.isEmpty());
                unique(keys, QStringLiteral("%1 page %2").arg(lng).arg(i));
            }
            // Tab goes through each page as it reads: row by row, left to right.
            for (int i = 0; i < frmSettings::kPages; ++i) {
                d.showPage(i);
                QApplication::processEvents();
                QWidget* page = d.findChild<QWidget*>(QStringLiteral("fraTab(%1)").arg(i));
                QPoint last(-1, -1);
                for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
                    if (!page->isAncestorOf(w)) continue;
                    if (w->focusProxy() || !w->isVisibleTo(&d) || !w->isEnabled() ||
                        !(w->focusPolicy() & Qt::TabFocus))
                        continue;
                    const QPoint at = w->mapTo(&d, QPoint(0, 0));
                    const bool sameRow = std::abs(at.y() - last.y()) < 8;
                    QVERIFY2(sameRow ? at.x() > last.x() : at.y() > last.y(),
                             qPrintable(QStringLiteral("page %1: %2 at %3,%4 after %5,%6")
                                            .arg(i)
                                            .arg(w->objectName())
                                            .arg(at.x())
                                            .arg(at.y())
                                            .arg(last.x())
                                            .arg(last.y())));
                    last = at;
                }
            }
            frmAlarmGroupProperties g(f.p(), [](const AlarmPtr&) { return true; });
            g.setAlarmGroups({f.addGroup("G")});
            unique(keysOf(g), QString::fromLatin1(lng));
        }
    }

    // The switches of notifications, the shared folder and waking; waking is
    // offered only where it can work, and the dialog says why not elsewhere.
    void desktopSwitchesAndWhyWakingIsNotOffered() {
        UiFixture f;
        Fakes fakes;
        frmSettings::Services services = fakes.services();
        const SettingsValues& s = f.p().settings;
        QVERIFY(s.dntf && s.wfld && !s.wake);
        whenOpen([](frmSettings& d) {
            page(d, 1);
            tick(chk(d, "chkWatchAlarmFolder"));
            page(d, 2);
            tick(chk(d, "chkDesktopNotifications"));
            tick(chk(d, "chkWakeFromSleep"));
            click(cmd(d, "cmdOk"));
        });
        QVERIFY(frmSettings::run(f.p(), f.ui, nullptr, {}, &services));
        QVERIFY(!s.dntf);
        QVERIFY(!s.wfld);
        QVERIFY(s.wake);

        services.wakeAvailability = [] { return 1; };
        {
            frmSettings d(f.p(), f.ui, {}, services);
            QVERIFY(chk(d, "chkWakeFromSleep")->isHidden());
            auto* why = child<QLabel>(d, QStringLiteral("lblWakeFromSleep"));
            QVERIFY(!why->isHidden());
            QVERIFY(why->text().contains(QLatin1String("CAP_WAKE_ALARM")));
            QVERIFY(why->text().contains(QLatin1String("setcap cap_wake_alarm+ep \"/")));
            // Not offered is not switched off: a start with the capability wakes again.
            QVERIFY(d.apply());
            QVERIFY(s.wake);
        }
        services.wakeAvailability = [] { return 2; };
        frmSettings d(f.p(), f.ui, {}, services);
        QVERIFY(chk(d, "chkWakeFromSleep")->isHidden());
        const QString why = child<QLabel>(d, QStringLiteral("lblWakeFromSleep"))->text();
        QVERIFY(!why.isEmpty() && !why.contains(QLatin1String("setcap")));
    }

    // The quick alarms group's name: the language's until set, refused when a
    // group may not have it, renaming the group unless one has the new name.
    void quickAlarmsGroupHoursAndScripting() {
        UiFixture f;
        const AlarmGroupPtr quick = f.addGroup("Quick alarms"), work = f.addGroup("Work");
        const SettingsValues& s = f.p().settings;
        int switched = 0;
        f.ui.scriptingSettingChanged = [&] { ++switched; };
        Fakes fakes;
        frmSettings d(f.p(), f.ui, {}, fakes.services());
        auto* name = child<QLineEdit>(d, QStringLiteral("txtQuickAlarmsGroup"));
        for (int language : {0, 1}) {  // Deutsch, English
            cmb(d, "cmbLanguage")->setCurrentIndex(language);
            QVERIFY(d.apply());
            QVERIFY(s.qgn.empty());
        }
        QCOMPARE(name->text(), QStringLiteral("Quick alarms"));
        name->setText(QStringLiteral("Bad\x07name"));
        child<VNumberBox>(d, QStringLiteral("vnbQuickAlarmsKeep"))->setValue(0);
        QVERIFY(!d.apply());
        QVERIFY(f.boxes.at(0).text.contains(QStringLiteral("quick alarms group")));
        QCOMPARE(s.qgk, std::int16_t(24));
        name->setText(QStringLiteral(" Timers "));
        chk(d, "chkScriptingInterface")->setChecked(false);
        QVERIFY(d.apply());
        QCOMPARE(quick->name, std::string("Timers"));
        QVERIFY(quick->changed);
        QVERIFY(s.qgn == "Timers" && s.qgk == 0 && !s.sdbu && switched == 1);
        name->setText(QStringLiteral("Work"));
        QVERIFY(d.apply());
        QCOMPARE(quick->name, std::string("Timers"));
        QCOMPARE(QuickAlarms(f.p()).quickGroup(), work);
        // A group a plug-in fills cannot take quick alarms: refused, and said.
        f.addGroup("Calendar")->synchPlugin = "QuorvaneOutlook*Calendar";
        name->setText(QStringLiteral("Calendar"));
        QVERIFY(!d.apply());
        QVERIFY(f.boxes.back().text.contains(QStringLiteral("\"Calendar\"")));
        QCOMPARE(s.qgn, std::string("Work"));
    }

    void columnChoicesKeepOrderAndName() {
        QCOMPARE(frmSettings::chosenFields({2, 0, 1}, {false, true}), (std::vector<int>{2, 0}));
        QCOMPARE(frmSettings::chosenFields({1}, {true, true}), (std::vector<int>{0, 1, 2}));
        QCOMPARE(frmSettings::chosenFields({0, 5, 9}, {false, false}), (std::vector<int>{0}));
        std::string resolved;
        QCOMPARE(frmSettings::normalizedFolder("<app_path>\\groups\\", "/p", resolved),
                 std::string("<app_path>\\groups"));
        QCOMPARE(resolved, std::string("/p/groups"));
        QCOMPARE(frmSettings::normalizedFolder("/", "/p", resolved), std::string("/"));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
