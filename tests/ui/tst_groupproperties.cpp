// The alarm group properties dialog, driven with key and mouse events: one
// group edited and saved, Cancel, several groups with only the touched field
// written, a group whose synchronisation plug-in is missing, the empty name,
// the quick alarms group renamed.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "base/files.h"
#include "core/alarmrequest.h"
#include "ui/frmalarmgroupproperties.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// Runs `drive` on the dialog once it is open modally.
void whenOpen(std::function<void(frmAlarmGroupProperties&)> drive) {
    QTimer::singleShot(0, [drive] {
        auto* d = qobject_cast<frmAlarmGroupProperties*>(QApplication::activeModalWidget());
        QVERIFY(d);
        drive(*d);
    });
}

template <typename T>
T* child(QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

}  // namespace

class TestGroupProperties : public QObject {
    Q_OBJECT
  private slots:
    void oneGroupIsEditedAndSaved() {
        UiFixture f;
        AlarmGroupPtr g = f.addGroup("Work", {{"Standup", dt(2030, 1, 7, 9, 0, 0)}});
        g->Color = 0x00ff00;
        bool templateEdited = false;
        auto edit = [&](const AlarmPtr& a) {
            templateEdited = true;
            a->name = "From the template";
            a->importance = 2;
            return true;
        };
        QString caption;
        int minimumWidth = 0;
        whenOpen([&](frmAlarmGroupProperties& d) {
            d.chooseColour = [](const QColor&) { return std::optional<QColor>(QColor(255, 0, 0)); };
            typeInto(child<QLineEdit>(d, "txtAlarmGroupName"), QStringLiteral("Office"));
            caption = d.windowTitle();
            minimumWidth = d.minimumWidth();
            QTest::keyClick(child<QCheckBox>(d, "chkActive"), Qt::Key_Space);
            QTest::mouseClick(child<QLabel>(d, "lblColorValue"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(d, "cmdSetTemplate"), Qt::LeftButton);
            QTest::keyClick(child<QLineEdit>(d, "txtAlarmGroupName"), Qt::Key_Return);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, edit));
        QCOMPARE(caption, QStringLiteral("Alarm group properties - Office"));
        QVERIFY(minimumWidth >= QFontMetrics(QApplication::font())
                                    .horizontalAdvance(QStringLiteral("Alarm group properties - ")));
        QVERIFY(templateEdited);
        QCOMPARE(g->name, std::string("Office"));
        QVERIFY(!g->Active);
        QCOMPARE(g->Color, 0x0000ff);  // red in the low byte
        const AlarmPtr fromTemplate = g->getTemplateAlarm(f.p().ctx);
        QCOMPARE(fromTemplate->name, std::string("From the template"));
        QCOMPARE(fromTemplate->importance, std::int16_t(2));
        QCOMPARE(g->numberOfAlarms(), 1);
        QVERIFY(g->changed);
        QVERIFY(f.p().supervision.pendingWork & pending::kSaveGroups);

        // What the dialog wrote reaches the group file.
        QVERIFY(f.p().main.saveChangedAlarmGroups());
        const std::string stored =
            readFile(AlarmGroup::resolvePath(g->path, f.p().alarmGroupFolder()));
        QVERIFY2(stored.find("Office") != std::string::npos, stored.c_str());
        QVERIFY(stored.find("From the template") != std::string::npos);

        // Reset goes back to the program's template, and says so.
        f.boxes.clear();
        whenOpen([&](frmAlarmGroupProperties& d) {
            QTest::mouseClick(child<QPushButton>(d, "cmdResetTemplate"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(d, "cmdOk"), Qt::LeftButton);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, edit));
        QCOMPARE(f.boxes.size(), std::size_t(1));
        QVERIFY(g->template_.empty());
        QCOMPARE(g->name, std::string("Office"));
    }

    void cancelLeavesTheGroupAsItWas() {
        UiFixture f;
        AlarmGroupPtr g = f.addGroup("Home", {{"Bins", dt(2030, 1, 8, 19, 0, 0)}});
        const std::string before = g->toXML()->toString();
        int edits = 0;
        whenOpen([&](frmAlarmGroupProperties& d) {
            d.chooseColour = [](const QColor&) { return std::optional<QColor>(QColor(1, 2, 3)); };
            typeInto(child<QLineEdit>(d, "txtAlarmGroupName"), QStringLiteral("Changed"));
            QTest::mouseClick(child<QPushButton>(d, "cmdColor"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(d, "cmdSetTemplate"), Qt::LeftButton);
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        QVERIFY(!frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, [&](const AlarmPtr& a) {
            ++edits;
            a->name = "Edited";
            return true;
        }));
        QCOMPARE(edits, 1);
        QCOMPARE(g->toXML()->toString(), before);
        QVERIFY(!g->changed);

        // Without an alarm editor the template cannot be edited.
        frmAlarmGroupProperties d(f.p(), {});
        d.setAlarmGroups({g});
        QVERIFY(!child<QPushButton>(d, "cmdSetTemplate")->isEnabled());
    }

    void severalGroupsGetOnlyTheTouchedField() {
        UiFixture f;
        AlarmGroupPtr a = f.addGroup("A");
        AlarmGroupPtr b = f.addGroup("B");
        a->Color = 1;
        b->Color = 2;
        b->Active = false;
        b->template_ = "<tmpl><nm>Own</nm></tmpl>";
        whenOpen([&](frmAlarmGroupProperties& d) {
            QVERIFY(child<QLineEdit>(d, "txtAlarmGroupName")->text().isEmpty());
            QCOMPARE(child<QCheckBox>(d, "chkActive")->checkState(), Qt::PartiallyChecked);
            d.chooseColour = [](const QColor&) { return std::optional<QColor>(QColor(0, 0, 255)); };
            QTest::mouseClick(child<QPushButton>(d, "cmdColor"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(d, "cmdOk"), Qt::LeftButton);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {a, b}, {}));
        QCOMPARE(a->Color, 0xff0000);
        QCOMPARE(b->Color, 0xff0000);
        QCOMPARE(a->name, std::string("A"));
        QCOMPARE(b->name, std::string("B"));
        QVERIFY(a->Active);
        QVERIFY(!b->Active);
        QCOMPARE(b->template_, std::string("<tmpl><nm>Own</nm></tmpl>"));
        QVERIFY(a->changed && b->changed);
    }

    void aMissingPlugInIsNamedAndKept() {
        UiFixture f;
        AlarmGroupPtr g = f.addGroup("Calendar");
        g->synchPlugin = "QuorvaneCalendar*Appointments";
        g->synchSettings->addString("file", "/home/me/cal.ics");
        whenOpen([&](frmAlarmGroupProperties& d) {
            QCOMPARE(child<QComboBox>(d, "cmbType")->currentIndex(), 0);
            QCOMPARE(child<QComboBox>(d, "cmbType")->currentText(),
                     QStringLiteral("Ordinary group"));
            typeInto(child<QLineEdit>(d, "txtAlarmGroupName"), QStringLiteral("Diary"));
            QTest::keyClick(child<QLineEdit>(d, "txtAlarmGroupName"), Qt::Key_Return);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, {}));
        QCOMPARE(f.boxes.size(), std::size_t(1));
        QVERIFY2(f.boxes[0].text.contains(QStringLiteral("\"QuorvaneCalendar*Appointments\"")),
                 qPrintable(f.boxes[0].text));
        // Renaming the group does not cost it its plug-in and settings.
        QCOMPARE(g->name, std::string("Diary"));
        QCOMPARE(g->synchPlugin, std::string("QuorvaneCalendar*Appointments"));
        QCOMPARE(g->synchSettings->getString("file"), std::string("/home/me/cal.ics"));

        // Choosing the ordinary type on purpose drops it.
        whenOpen([&](frmAlarmGroupProperties& d) {
            auto* type = child<QComboBox>(d, "cmbType");
            type->setCurrentIndex(0);
            emit type->activated(0);
            QTest::mouseClick(child<QPushButton>(d, "cmdOk"), Qt::LeftButton);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, {}));
        QVERIFY(g->synchPlugin.empty());
    }

    // Renamed here, the quick alarms group stays the one quick alarms go to.
    void theQuickAlarmsGroupKeepsItsAlarmsWhenRenamed() {
        UiFixture f;
        AlarmRequest tea;
        QCOMPARE(parseWhen("in 5m", tea), RequestError::kNone);
        const AlarmGroupPtr quick = QuickAlarms(f.p()).add(tea, false).group;
        whenOpen([&](frmAlarmGroupProperties& d) {
            typeInto(child<QLineEdit>(d, "txtAlarmGroupName"), QStringLiteral("Timers"));
            QTest::mouseClick(child<QPushButton>(d, "cmdOk"), Qt::LeftButton);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {quick}, {}));
        QCOMPARE(f.p().settings.qgn, std::string("Timers"));
        QCOMPARE(QuickAlarms(f.p()).add(tea, false).group, quick);
    }

    void anEmptyNameIsRefusedInEitherLanguage() {
        UiFixture f;
        AlarmGroupPtr g = f.addGroup("Keep");
        for (const char* lng : {"English", "Deutsch"}) {
            f.p().translation.setLanguage(lng);
            f.boxes.clear();
            bool focused = false;
            QString caption;
            whenOpen([&](frmAlarmGroupProperties& d) {
                caption = d.windowTitle();
                auto* name = child<QLineEdit>(d, "txtAlarmGroupName");
                typeInto(name, QString());
                QTest::mouseClick(child<QPushButton>(d, "cmdOk"), Qt::LeftButton);
                focused = d.isVisible() && d.focusWidget() == name;
                QTest::keyClick(&d, Qt::Key_Escape);
            });
            QVERIFY(!frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, {}));
            QVERIFY(focused);
            QCOMPARE(f.boxes.size(), std::size_t(1));
            QVERIFY(!f.boxes[0].text.contains(QStringLiteral("not found")));
            QVERIFY(caption.endsWith(QStringLiteral(" - Keep")));
            QCOMPARE(g->name, std::string("Keep"));
        }
    }
};

QTEST_MAIN(TestGroupProperties)
#include "tst_groupproperties.moc"
