// The alarm properties dialog, driven with real key events: alarms typed in
// from scratch sound at the moments typed, several alarms edited at once keep
// what was not touched, Cancel changes nothing, and the checks of OK.

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "controls/vnumberbox.h"
#include "ui/frmalarmproperties.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

template <typename T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no control %s", name);
    return c;
}

void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
}

// Row r as the user types it: day, month, year, hour, minute, second.
void typeRow(frmAlarmProperties& d, int row, int year, int month, int day, int hour, int minute) {
    const int parts[6] = {day, month, year, hour, minute, 0};
    for (int i = 0; i < 6; ++i) typeInto(d.dateField(6 * row + i), QString::number(parts[i]));
}

// Picks list position `position` with the keyboard.
void choose(QComboBox* list, int position) {
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < position; ++i) QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex(), position);
}

void tick(QCheckBox* box, bool on) {
    if (box->isChecked() == on) return;
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
}

std::vector<DateTime> moments(const AlarmPtr& a, DateTime from, int count) {
    std::vector<DateTime> out;
    while (static_cast<int>(out.size()) < count && a->hasNextAlarmDateAfter(from, false)) {
        from = a->getNextAlarmDateAfter();
        out.push_back(from);
    }
    return out;
}

}  // namespace

class TestAlarmProperties : public QObject {
    Q_OBJECT
  private slots:
    void unitListsAndImportanceMapAsStored() {
        const int codes[7] = {0, 1, 2, 3, 6, 4, 5};
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(frmAlarmProperties::unitCodeAt(i), codes[i]);
            QCOMPARE(frmAlarmProperties::positionOfUnit(codes[i]), i);
        }
    }

    // Each kind of alarm typed in from scratch; what the alarm then answers is
    // what the running program sounds.
    void aNewAlarmSoundsAtTheMomentsTyped() {
        UiFixture f;
        auto g = f.addGroup("Home");
        struct Case {
            const char* name;
            std::function<void(frmAlarmProperties&)> fill;
            std::vector<DateTime> expected;
        };
        const std::vector<Case> cases = {
            {"once, a quarter of an hour early",
             [](frmAlarmProperties& d) {
                 choose(child<QComboBox>(d, "cmbAlarmMoment"), 0);
                 typeRow(d, 0, 2025, 4, 2, 7, 30);
                 typeInto(child<VNumberBox>(d, "vnbCorrection")->textField(), "-15");
                 choose(child<QComboBox>(d, "cmbCorrectionUnit"), 1);
             },
             {dt(2025, 4, 2, 7, 15)}},
            {"daily on weekdays",
             [](frmAlarmProperties& d) {
                 choose(child<QComboBox>(d, "cmbAlarmMoment"), 1);
                 typeRow(d, 0, 2025, 3, 28, 6, 45);
                 typeInto(child<VNumberBox>(d, "vnbPeriodAmount")->textField(), "1");
                 choose(child<QComboBox>(d, "cmbPeriodUnit"), 3);
                 tick(child<QCheckBox>(d, "chkActive(1)"), true);
                 for (int i = 0; i < 7; ++i)
                     tick(child<QCheckBox>(d, QStringLiteral("chkWeekday(%1)").arg(i).toLatin1()),
                          i >= 1 && i <= 5);
             },
             {dt(2025, 3, 31, 6, 45), dt(2025, 4, 1, 6, 45), dt(2025, 4, 2, 6, 45),
              dt(2025, 4, 3, 6, 45), dt(2025, 4, 4, 6, 45), dt(2025, 4, 7, 6, 45)}},
            {"monthly on the 31st",
             [](frmAlarmProperties& d) {
                 choose(child<QComboBox>(d, "cmbAlarmMoment"), 1);
                 typeRow(d, 0, 2025, 1, 31, 8, 0);
                 typeInto(child<VNumberBox>(d, "vnbPeriodAmount")->textField(), "1");
                 choose(child<QComboBox>(d, "cmbPeriodUnit"), 5);
             },
             {dt(2025, 3, 31, 8, 0), dt(2025, 4, 30, 8, 0), dt(2025, 5, 31, 8, 0)}},
            {"the second Tuesday",
             [](frmAlarmProperties& d) {
                 choose(child<QComboBox>(d, "cmbAlarmMoment"), 1);
                 typeRow(d, 0, 2025, 1, 1, 19, 0);
                 typeInto(child<VNumberBox>(d, "vnbPeriodAmount")->textField(), "1");
                 choose(child<QComboBox>(d, "cmbPeriodUnit"), 3);
                 tick(child<QCheckBox>(d, "chkActive(1)"), true);
                 for (int i = 0; i < 7; ++i)
                     tick(child<QCheckBox>(d, QStringLiteral("chkWeekday(%1)").arg(i).toLatin1()),
                          i == 2);
                 tick(child<QCheckBox>(d, "chkActive(2)"), true);
                 typeInto(child<QLineEdit>(d, "txtAdvanced"),
                          "DAYOFMONTH >= 8 && DAYOFMONTH <= 14");
             },
             {dt(2025, 4, 8, 19, 0), dt(2025, 5, 13, 19, 0)}},
        };
        for (const Case& c : cases) {
            const AlarmPtr a = g->getTemplateAlarm(f.p().ctx);
            frmAlarmProperties d(f.p());
            d.setAlarms({a}, frmAlarmProperties::kNew, false);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            typeInto(child<QLineEdit>(d, "txtAlarmName"), QString::fromLatin1(c.name));
            c.fill(d);
            QTest::keyClick(child<QLineEdit>(d, "txtAlarmName"), Qt::Key_Return);
            QVERIFY2(d.result() == QDialog::Accepted, c.name);
            QCOMPARE(a->name, std::string(c.name));
            QCOMPARE(a->parentGroup(), g);
            const auto got =
                moments(a, dt(2025, 3, 29, 12, 0), static_cast<int>(c.expected.size()));
            std::string seen;
            for (DateTime m : got) seen += toStoredText(m) + " ";
            QVERIFY2(got == c.expected, (std::string(c.name) + ": " + seen).c_str());
        }
    }

    void severalAlarmsKeepWhatWasNotTouched() {
        UiFixture f;
        auto g =
            f.addGroup("G", {{"tea", dt(2025, 4, 1, 16, 0)}, {"dentist", dt(2025, 4, 2, 9, 30)}});
        const AlarmPtr tea = g->elementAt(0), dentist = g->elementAt(1);
        tea->importance = -1;
        dentist->importance = 0;
        tea->weekDays = 0b0000011;  // Sunday and Monday
        dentist->weekDays = 0b0000110;  // Monday and Tuesday
        frmAlarmProperties d(f.p());
        d.setAlarms({tea, dentist}, frmAlarmProperties::kEdit, false);
        d.show();
        // The title says how many; where they differ the fields show nothing.
        QVERIFY2(d.windowTitle().endsWith(" - 2 alarms"), qPrintable(d.windowTitle()));
        QVERIFY(child<QLineEdit>(d, "txtAlarmName")->text().isEmpty());
        QCOMPARE(child<QLineEdit>(d, "txtAlarmName")->placeholderText(), QStringLiteral("(differs)"));
        QVERIFY(d.dateField(0)->text().isEmpty());
        QCOMPARE(child<QComboBox>(d, "cmbImportance")->currentIndex(), -1);
        QCOMPARE(child<QComboBox>(d, "cmbAlarmMoment")->currentIndex(), 0);  // both once
        auto* sunday = child<QCheckBox>(d, "chkWeekday(0)");
        QCOMPARE(sunday->checkState(), Qt::PartiallyChecked);
        QCOMPARE(child<QCheckBox>(d, "chkWeekday(1)")->checkState(), Qt::Checked);
        // Tuesday is switched off for both; Sunday, left half checked, stays each one's own.
        auto* tuesday = child<QCheckBox>(d, "chkWeekday(2)");
        tuesday->setEnabled(true);
        tuesday->click();
        QCOMPARE(tuesday->checkState(), Qt::Checked);
        tuesday->click();
        QCOMPARE(tuesday->checkState(), Qt::Unchecked);
        choose(child<QComboBox>(d, "cmbImportance"), 0);
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(tea->importance, std::int16_t(2));
        QCOMPARE(dentist->importance, std::int16_t(2));
        QCOMPARE(tea->name, std::string("tea"));
        QCOMPARE(dentist->name, std::string("dentist"));
        QCOMPARE(tea->onceDate, dt(2025, 4, 1, 16, 0));
        QCOMPARE(dentist->onceDate, dt(2025, 4, 2, 9, 30));
        QCOMPARE(tea->weekDays, std::int16_t(0b0000011));
        QCOMPARE(dentist->weekDays, std::int16_t(0b0000010));
        QVERIFY(f.boxes.empty());  // nothing asked: only the importance was changed
    }

    void cancelChangesNothingAndOkGivesEveryAlarmItsOwnActions() {
        UiFixture f;
        auto g = f.addGroup("G", {{"walk", dt(2025, 4, 1, 18, 0)}});
        const AlarmPtr a = g->elementAt(0);
        a->actions.addElement(clsAction::Create(f.p().ctx, a, clsAction::kShowMessage));
        a->actions.elementAt(0)->settings->setString("s", "Take the dog out");
        const std::string before = a->toXML("alrm")->toString();
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({a}, frmAlarmProperties::kEdit, false);
            d.show();
            typeInto(child<QLineEdit>(d, "txtAlarmName"), "run");
            auto* message = child<QPlainTextEdit>(d, "txtMessage");
            message->setFocus();
            QTest::keyClicks(message, " now");
            d.addAction(clsAction::kSpeak);
            QTest::keyClick(&d, Qt::Key_Escape);
            QCOMPARE(d.result(), int(QDialog::Rejected));
        }
        QCOMPARE(a->toXML("alrm")->toString(), before);

        frmAlarmProperties d(f.p());
        d.setAlarms({a}, frmAlarmProperties::kEdit, false);
        d.show();
        auto* message = child<QPlainTextEdit>(d, "txtMessage");
        message->setFocus();
        message->moveCursor(QTextCursor::End);
        QTest::keyClicks(message, ", please");
        // Enter in the message is a line break, not OK.
        QTest::keyClick(message, Qt::Key_Return);
        QVERIFY(d.isVisible());
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(a->actions.elementAt(0)->settings->getString("s"),
                 std::string("Take the dog out, please\n"));
        // The dialog's working copies are not the alarm's.
        d.addAction(clsAction::kSpeak);
        QCOMPARE(a->actions.numberOfElements(), 1);
    }

    void okChecksTheRowsAndTheShortPeriods() {
        UiFixture f;
        auto g = f.addGroup("G", {{"a", dt(2025, 4, 1, 18, 0)}});
        const AlarmPtr a = g->elementAt(0);
        frmAlarmProperties d(f.p());
        d.setAlarms({a}, frmAlarmProperties::kEdit, false);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        typeInto(d.dateField(1), "13");  // month 13
        child<QPushButton>(d, "cmdOk")->click();
        QVERIFY(d.isVisible());
        QCOMPARE(f.boxes.back().text,
                 QString::fromStdString(f.p().translation.getText("frmAlarmProperties", 1)));
        QCOMPARE(QApplication::focusWidget(), d.dateField(2));
        QCOMPARE(a->onceDate, dt(2025, 4, 1, 18, 0));
        typeInto(d.dateField(1), "4");

        // Every 59 seconds asks; No keeps the dialog open.
        choose(child<QComboBox>(d, "cmbAlarmMoment"), 1);
        typeInto(child<VNumberBox>(d, "vnbPeriodAmount")->textField(), "59");
        choose(child<QComboBox>(d, "cmbPeriodUnit"), 0);
        const std::size_t shown = f.boxes.size();
        f.answers = {mb::kAnswerNo};
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(f.boxes.size(), shown + 1);
        QVERIFY(d.isVisible());
        QCOMPARE(a->momentKind, Alarm::kOnce);
        typeInto(child<VNumberBox>(d, "vnbPeriodAmount")->textField(), "60");
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(f.boxes.size(), shown + 1);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(a->momentKind, Alarm::kPeriodic);
        QCOMPARE(a->everyAmount, 60);
        QCOMPARE(a->everyUnit, std::int16_t(0));
    }

    void aSoundFileThatIsNotThereIsAskedFor() {
        UiFixture f;
        auto g = f.addGroup("G", {{"bell", dt(2025, 4, 1, 18, 0)}});
        const AlarmPtr a = g->elementAt(0);
        const std::string gone = f.core.folder.file("gone.wav");
        auto sound = clsAction::Create(f.p().ctx, a, clsAction::kPlaySound);
        sound->settings->setString("s", gone);
        a->actions.addElement(sound);
        frmAlarmProperties d(f.p());
        d.setAlarms({a}, frmAlarmProperties::kEdit, false);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));

        // No goes back to the dialog, at the sound's file.
        f.answers = {mb::kAnswerNo};
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(f.boxes.size(), std::size_t(1));
        QVERIFY(f.boxes[0].text.contains(QString::fromStdString(gone)));
        QCOMPARE(f.boxes[0].buttons, mb::kYesNo | mb::kQuestion);
        QVERIFY(d.isVisible());
        QCOMPARE(d.actionList()->currentRow(), 0);
        QCOMPARE(child<QLineEdit>(d, "txtLine")->text(), QString::fromStdString(gone));

        // A file that is there is not asked for; Yes keeps the missing one.
        QVERIFY(writeFile(f.core.folder.file("there.wav"), "RIFF"));
        child<QLineEdit>(d, "txtLine")->clear();
        QTest::keyClicks(child<QLineEdit>(d, "txtLine"),
                         QString::fromStdString(f.core.folder.file("th*.wav")));
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(f.boxes.size(), std::size_t(1));
        QCOMPARE(d.result(), int(QDialog::Accepted));

        frmAlarmProperties e(f.p());
        a->actions.elementAt(0)->settings->setString("s", gone);
        e.setAlarms({a}, frmAlarmProperties::kEdit, false);
        e.show();
        f.answers = {mb::kAnswerYes};
        child<QPushButton>(e, "cmdOk")->click();
        QCOMPARE(f.boxes.size(), std::size_t(2));
        QCOMPARE(e.result(), int(QDialog::Accepted));
        QCOMPARE(a->actions.elementAt(0)->settings->getString("s", 0, ""), gone);
    }

    void aMalformedExpressionIsToldInTheProgramsLanguage() {
        UiFixture f;
        f.p().translation.setLanguage("Deutsch");
        auto g = f.addGroup("G", {{"a", dt(2025, 4, 1, 18, 0)}});
        frmAlarmProperties d(f.p());
        d.setAlarms({g->elementAt(0)}, frmAlarmProperties::kEdit, false);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        choose(child<QComboBox>(d, "cmbAlarmMoment"), 1);
        tick(child<QCheckBox>(d, "chkActive(2)"), true);
        typeInto(child<QLineEdit>(d, "txtAdvanced"), "MONTH == ((");
        child<QPushButton>(d, "cmdOk")->click();
        QVERIFY(d.isVisible());
        QCOMPARE(f.boxes.back().text,
                 QString("Der Ausdruck kann nicht gelesen werden:\nEine Zahl hat keinen Partner, "
                         "mit dem sie verglichen wird."));
    }

    void anAlarmPutIntoASynchronisedGroupByHandIsAskedFor() {
        UiFixture f;
        auto g = f.addGroup("Calendar", {{"synced", dt(2025, 4, 1, 18, 0)}});
        g->synchPlugin = "QuorvaneCalendar*Appointments";
        const AlarmPtr a = g->getTemplateAlarm(f.p().ctx);
        a->parent = g;
        frmAlarmProperties d(f.p());
        d.setAlarms({a}, frmAlarmProperties::kNew, false);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        f.answers = {mb::kAnswerNo};
        child<QPushButton>(d, "cmdOk")->click();
        QVERIFY(d.isVisible());
        QVERIFY2(f.boxes.back().text.contains("\"Calendar\" is synchronised"),
                 qPrintable(f.boxes.back().text));
        f.answers = {mb::kAnswerYes};
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));

        // An alarm the synchronisation brought is edited without the question.
        const std::size_t asked = f.boxes.size();
        frmAlarmProperties e(f.p());
        e.setAlarms({g->elementAt(0)}, frmAlarmProperties::kEdit, false);
        e.show();
        child<QPushButton>(e, "cmdOk")->click();
        QCOMPARE(e.result(), int(QDialog::Accepted));
        QCOMPARE(f.boxes.size(), asked);
    }

    // Alarms of two groups edited together stay in their groups unless a group
    // is chosen; moving them into a synchronised group is asked once.
    void severalAlarmsMoveOnlyWhenAGroupIsChosen() {
        UiFixture f;
        auto home = f.addGroup("Home", {{"bins", dt(2025, 4, 1, 7, 0)}});
        auto work = f.addGroup("Work", {{"report", dt(2025, 4, 2, 9, 0)}});
        auto diary = f.addGroup("Diary");
        diary->synchPlugin = "QuorvaneCalendar*Appointments";
        const AlarmPtr bins = home->elementAt(0), report = work->elementAt(0);
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({bins, report}, frmAlarmProperties::kEdit, false);
            d.show();
            choose(child<QComboBox>(d, "cmbImportance"), 1);
            child<QPushButton>(d, "cmdOk")->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(bins->parentGroup(), home);
        QCOMPARE(report->parentGroup(), work);
        QCOMPARE(work->numberOfAlarms(), 1);

        frmAlarmProperties d(f.p());
        d.setAlarms({bins, report}, frmAlarmProperties::kEdit, false);
        d.show();
        choose(child<QComboBox>(d, "cmbAlarmgroup"), 2);
        f.answers = {mb::kAnswerNo};
        child<QPushButton>(d, "cmdOk")->click();
        QVERIFY(d.isVisible());
        QCOMPARE(f.boxes.size(), std::size_t(1));
        QCOMPARE(diary->numberOfAlarms(), 0);
        f.answers = {mb::kAnswerYes};
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(f.boxes.size(), std::size_t(2));  // one question for the whole move
        QCOMPARE(diary->numberOfAlarms(), 2);
        QCOMPARE(home->numberOfAlarms() + work->numberOfAlarms(), 0);
    }

    void severalAlarmsGetTheirExpressionChecked() {
        UiFixture f;
        auto g = f.addGroup("G", {{"a", dt(2025, 4, 1, 18, 0)}, {"b", dt(2025, 4, 2, 18, 0)}});
        for (const AlarmPtr& a : g->alarms) {
            a->momentKind = Alarm::kPeriodic;
            a->everyAmount = 1;
            a->everyUnit = 3;
        }
        frmAlarmProperties d(f.p());
        d.setAlarms({g->elementAt(0), g->elementAt(1)}, frmAlarmProperties::kEdit, false);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        tick(child<QCheckBox>(d, "chkActive(2)"), true);
        typeInto(child<QLineEdit>(d, "txtAdvanced"), "MONTH == ((");
        child<QPushButton>(d, "cmdOk")->click();
        QVERIFY(d.isVisible());
        QVERIFY(f.boxes.back().text.startsWith("The expression cannot be read"));
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(d, "txtAdvanced"));
        QCOMPARE(g->elementAt(1)->activeAdvanced, std::string());
    }

    // Synchronised alarms are shown, not edited: OK writes and asks nothing.
    void aReadOnlyDialogWritesNothing() {
        UiFixture f;
        auto g = f.addGroup("Diary", {{"past", dt(2025, 3, 1, 9, 0)}});
        g->Active = false;
        const AlarmPtr a = g->elementAt(0);
        a->readOnly = true;
        const std::string before = a->toXML("alrm")->toString();
        frmAlarmProperties d(f.p());
        d.setAlarms({a}, frmAlarmProperties::kEdit, true);
        d.show();
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(f.boxes.empty());
        QCOMPARE(a->toXML("alrm")->toString(), before);
        QVERIFY(!a->changed && !g->changed && !g->Active);
    }

    void pastingATimeAloneKeepsTheRowsDate() {
        UiFixture f;
        auto g = f.addGroup("G", {{"a", dt(2025, 4, 1, 18, 0)}});
        frmAlarmProperties d(f.p());
        d.setAlarms({g->elementAt(0)}, frmAlarmProperties::kEdit, false);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        for (const char* time : {"07:45", "7:45:30"}) {
            QApplication::clipboard()->setText(QString::fromLatin1(time));
            d.dateField(3)->setFocus();
            QTest::keyClick(d.dateField(3), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(d.dateField(0)->text(), QStringLiteral("01"));
            QCOMPARE(d.dateField(1)->text(), QStringLiteral("04"));
            QCOMPARE(d.dateField(2)->text(), QStringLiteral("2025"));
            QCOMPARE(d.dateField(3)->text(), QStringLiteral("07"));
            QCOMPARE(d.dateField(4)->text(), QStringLiteral("45"));
        }
    }

    // An alarm that would never sound is asked for before it is saved: No goes
    // back to the field that decides it, Yes saves it as it is.
    void anAlarmThatWillNeverSoundIsAskedForFirst() {
        UiFixture f;
        auto g = f.addGroup("G", {{"a", dt(2025, 4, 1, 18, 0)}});
        const AlarmPtr a = g->elementAt(0);
        struct Case {
            const char* name;
            std::function<void(frmAlarmProperties&)> fill;
            int text;
            std::function<QWidget*(frmAlarmProperties&)> focus;
        };
        const std::vector<Case> cases = {
            {"a one-off in the past", [](frmAlarmProperties& d) { typeRow(d, 0, 2024, 4, 1, 18, 0); },
             11, [](frmAlarmProperties& d) -> QWidget* { return d.dateField(2); }},
            {"an expression no day meets",
             [](frmAlarmProperties& d) {
                 choose(child<QComboBox>(d, "cmbAlarmMoment"), 1);
                 choose(child<QComboBox>(d, "cmbPeriodUnit"), 3);
                 tick(child<QCheckBox>(d, "chkActive(2)"), true);
                 typeInto(child<QLineEdit>(d, "txtAdvanced"), "DAYOFMONTH == 32");
             },
             12, [](frmAlarmProperties& d) -> QWidget* { return child<QLineEdit>(d, "txtAdvanced"); }},
            {"no name", [](frmAlarmProperties& d) { typeInto(child<QLineEdit>(d, "txtAlarmName"), " "); },
             13, [](frmAlarmProperties& d) -> QWidget* { return child<QLineEdit>(d, "txtAlarmName"); }},
        };
        for (const Case& c : cases) {
            const std::string before = a->toXML("alrm")->toString();
            frmAlarmProperties d(f.p());
            d.setAlarms({a}, frmAlarmProperties::kEdit, false);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            c.fill(d);
            f.boxes.clear();
            f.answers = {mb::kAnswerNo};
            child<QPushButton>(d, "cmdOk")->click();
            QVERIFY2(d.isVisible(), c.name);
            QCOMPARE(f.boxes.size(), std::size_t(1));
            QCOMPARE(f.boxes[0].text,
                     QString::fromStdString(f.p().translation.getText("frmAlarmProperties", c.text)));
            QCOMPARE(f.boxes[0].buttons, mb::kYesNo | mb::kExclamation);
            QCOMPARE(QApplication::focusWidget(), c.focus(d));
            QCOMPARE(a->toXML("alrm")->toString(), before);
            f.answers = {mb::kAnswerYes};
            child<QPushButton>(d, "cmdOk")->click();
            QVERIFY2(d.result() == QDialog::Accepted, c.name);
            QCOMPARE(f.boxes.size(), std::size_t(2));
            // Each case starts from a sound alarm again.
            a->name = "a";
            a->momentKind = Alarm::kOnce;
            a->onceDate = dt(2025, 4, 1, 18, 0);
            a->activePeriod = 0;
            a->invalidateCaches();
        }
    }

    void theTemplateModeHidesTheGroupAndAsksNothing() {
        UiFixture f;
        auto g = f.addGroup("G");
        g->Active = false;
        const AlarmPtr t = g->getTemplateAlarm(f.p().ctx);
        t->Active = false;
        frmAlarmProperties d(f.p());
        d.setAlarms({t}, frmAlarmProperties::kTemplate, false);
        d.show();
        QVERIFY(!child<QComboBox>(d, "cmbAlarmgroup")->isVisible());
        typeInto(child<QLineEdit>(d, "txtAlarmName"), "Template");
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(t->name, std::string("Template"));
        QVERIFY(f.boxes.empty());
    }
};

QTEST_MAIN(TestAlarmProperties)
#include "tst_alarmproperties.moc"
