// The alarm dialog's quick choice of repetitions, driven with the keyboard:
// what it writes sounds when it says and opens again in the same choice; a
// timing it cannot show keeps its fields; the line under the expression
// follows the typing; the help on expressions opens from the dialog.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "controls/vnumberbox.h"
#include "ui/frmalarmproperties.h"
#include "ui/repetitionpicker.h"
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

void choose(QComboBox* list, int position) {
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < position; ++i) QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex(), position);
}

std::vector<DateTime> moments(const AlarmPtr& a, DateTime from, int count) {
    std::vector<DateTime> out;
    a->listMomentsAfter(from, kNever, false, out, count);
    return out;
}

// A repeating alarm in `g`, anchored at `anchor`, every day.
AlarmPtr dailyAlarm(const AlarmGroupPtr& g, DateTime anchor) {
    auto a = ModelFixture::periodic(anchor, 1, kDays);
    a->name = "daily";
    a->Active = true;
    g->addAlarm(a);
    a->changed = false;
    return a;
}

}  // namespace

class TestRepetition : public QObject {
    Q_OBJECT
  private slots:
    // Each choice written through the dialog, then opened again.
    void aChoiceIsWrittenAndOpensAgainAsChosen() {
        UiFixture f;
        f.core.clock.set(dt(2025, 1, 1, 12, 0));
        auto g = f.addGroup("Home");
        struct Case {
            const char* name;
            std::function<void(RepetitionPicker&)> pick;
            Repetition expected;
            std::vector<DateTime> sounds;  // from 1 January 2025 12:00
        };
        const std::vector<Case> cases = {
            {"every weekday",
             [](RepetitionPicker& p) { choose(p.kindList(), 1); },
             Repetition{RepetitionKind::kEveryWeekday},
             {dt(2025, 1, 2, 7, 30), dt(2025, 1, 3, 7, 30), dt(2025, 1, 6, 7, 30)}},
            {"the last Friday",
             [](RepetitionPicker& p) {
                 choose(p.kindList(), 3);
                 // It starts at the anchor: 1 January 2025, the first Wednesday.
                 QCOMPARE(p.ordinalList()->currentIndex(), 0);
                 QCOMPARE(p.weekdayList()->currentIndex(), 3);
                 choose(p.ordinalList(), 4);
                 choose(p.weekdayList(), 5);
             },
             Repetition{RepetitionKind::kNthWeekday, 1, 0, Repetition::kLast, 6},
             {dt(2025, 1, 31, 7, 30), dt(2025, 2, 28, 7, 30), dt(2025, 3, 28, 7, 30)}},
            {"the last day",
             [](RepetitionPicker& p) { choose(p.kindList(), 4); },
             Repetition{RepetitionKind::kLastDayOfMonth},
             {dt(2025, 1, 31, 7, 30), dt(2025, 2, 28, 7, 30), dt(2025, 3, 31, 7, 30)}},
            {"every third week on Thursday",
             [](RepetitionPicker& p) {
                 choose(p.kindList(), 2);  // starts on the anchor's day, a Wednesday
                 QVERIFY(p.dayBox(4)->isChecked());
                 p.dayBox(5)->setFocus();
                 QTest::keyClick(p.dayBox(5), Qt::Key_Space);
                 p.dayBox(4)->setFocus();
                 QTest::keyClick(p.dayBox(4), Qt::Key_Space);
                 typeInto(p.weeksBox()->textField(), "3");
                 QCOMPARE(p.findChild<QLabel*>(QStringLiteral("lblRepeatWeeks"))->text(),
                          QStringLiteral("weeks on"));
             },
             Repetition{RepetitionKind::kWeekly, 3, 1 << 4},
             {dt(2025, 1, 2, 7, 30), dt(2025, 1, 23, 7, 30), dt(2025, 2, 13, 7, 30)}},
        };
        for (const Case& c : cases) {
            // A daily alarm with a date range the choice must leave alone.
            const AlarmPtr a = dailyAlarm(g, dt(2025, 1, 1, 7, 30));
            a->activePeriod = Alarm::kRestrictDates;
            a->startDate = dt(2024, 1, 1);
            a->endDate = dt(2026, 1, 1);
            {
                frmAlarmProperties d(f.p());
                d.setAlarms({a}, frmAlarmProperties::kEdit, false);
                d.show();
                QCOMPARE(d.repetitionPicker()->repetition().kind, RepetitionKind::kCustom);
                c.pick(*d.repetitionPicker());
                // The line under the expression shows where it leads.
                QVERIFY2(d.nextMomentsLabel()->text().startsWith(QStringLiteral("Next: ")),
                         qPrintable(d.nextMomentsLabel()->text()));
                child<QPushButton>(d, "cmdOk")->click();
                QVERIFY2(d.result() == QDialog::Accepted, c.name);
            }
            QVERIFY(a->activePeriod & Alarm::kRestrictDates);
            QCOMPARE(a->endDate, dt(2026, 1, 1));
            QVERIFY2(moments(a, dt(2025, 1, 1, 12, 0), 3) == c.sounds, c.name);
            frmAlarmProperties again(f.p());
            again.setAlarms({a}, frmAlarmProperties::kEdit, false);
            const Repetition got = again.repetitionPicker()->repetition();
            QVERIFY2(got == c.expected, qPrintable(QStringLiteral("%1: %2 %3 %4 %5 %6")
                                                       .arg(QString::fromLatin1(c.name))
                                                       .arg(int(got.kind))
                                                       .arg(got.weeks)
                                                       .arg(got.days)
                                                       .arg(got.ordinal)
                                                       .arg(got.weekday)));
            g->alarms.remove(a);
        }
    }

    // Something the choice cannot show opens as "as set below" and OK writes
    // it back unchanged; a choice the fields cannot hold is refused with a
    // note, and the fields keep what they held.
    void whatTheChoiceCannotShowOrHoldStaysAsItWas() {
        UiFixture f;
        f.core.clock.set(dt(2025, 1, 1, 12, 0));
        auto g = f.addGroup("Home");
        const AlarmPtr a = dailyAlarm(g, dt(2025, 1, 1, 7, 30));
        a->activePeriod = Alarm::kRestrictExpression;
        a->activeAdvanced = "WEEKDAY == MONDAY && MONTH == 3";
        a->onceDate = a->nextDate;  // the dialog keeps the two together
        const std::string before = a->toXML("alrm")->toString();
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({a}, frmAlarmProperties::kEdit, false);
            d.show();
            QCOMPARE(d.repetitionPicker()->kindList()->currentIndex(), 0);
            child<QPushButton>(d, "cmdOk")->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(QString::fromStdString(a->toXML("alrm")->toString()),
                 QString::fromStdString(before));

        frmAlarmProperties d(f.p());
        d.setAlarms({a}, frmAlarmProperties::kEdit, false);
        d.show();
        RepetitionPicker& p = *d.repetitionPicker();
        // Every week on Wednesday (the anchor's day), then a second day every
        // second week: one period grid cannot hold that.
        choose(p.kindList(), 2);
        QCOMPARE(child<QCheckBox>(d, "chkWeekday(3)")->checkState(), Qt::Checked);
        QVERIFY(!child<QCheckBox>(d, "chkActive(2)")->isChecked());
        typeInto(p.weeksBox()->textField(), "2");
        QCOMPARE(child<VNumberBox>(d, "vnbPeriodAmount")->value(), 2);
        QCOMPARE(child<QComboBox>(d, "cmbPeriodUnit")->currentIndex(), 4);  // weeks
        p.dayBox(6)->setFocus();
        QTest::keyClick(p.dayBox(6), Qt::Key_Space);  // and Friday
        QVERIFY2(d.nextMomentsLabel()->text().contains(QStringLiteral("one day only")),
                 qPrintable(d.nextMomentsLabel()->text()));
        QCOMPARE(child<VNumberBox>(d, "vnbPeriodAmount")->value(), 2);
        QCOMPARE(child<QCheckBox>(d, "chkWeekday(5)")->checkState(), Qt::Unchecked);
        child<QPushButton>(d, "cmdOk")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(a->everyAmount, 2);
        QCOMPARE(a->everyUnit, std::int16_t(kWeeks));
        QCOMPARE(a->nextDate, dt(2025, 1, 1, 7, 30));
    }

    // The next three moments follow the typing; an expression that cannot be
    // read says why; a hand edit of the fields moves the choice along.
    void theLineUnderTheExpressionFollowsTheTyping() {
        UiFixture f;
        f.core.clock.set(dt(2025, 1, 1, 12, 0));
        f.p().settings.df.ot = "yyyy/mm/dd hh:nn";
        auto g = f.addGroup("Home");
        const AlarmPtr a = dailyAlarm(g, dt(2025, 1, 1, 7, 30));
        for (const char* page : {"help/expressions.html", "help/de/expressions.html"}) {
            std::filesystem::create_directories(
                std::filesystem::path(f.core.folder.file(page)).parent_path());
            QVERIFY(writeFile(f.core.folder.file(page), "<html></html>"));
        }
        frmAlarmProperties d(f.p());
        d.setAlarms({a}, frmAlarmProperties::kEdit, false);
        d.show();
        QLabel* line = d.nextMomentsLabel();
        QCOMPARE(line->text(), QStringLiteral("Next: Thu 2025/01/02 07:30; Fri 2025/01/03 07:30; "
                                              "Sat 2025/01/04 07:30"));
        child<QCheckBox>(d, "chkActive(2)")->click();
        auto* field = child<QLineEdit>(d, "txtAdvanced");
        typeInto(field, "DAYOFMONTH == 1");
        QCOMPARE(line->text(), QStringLiteral("Next: Sat 2025/02/01 07:30; Sat 2025/03/01 07:30; "
                                              "Tue 2025/04/01 07:30"));
        QTest::keyClicks(field, " &&");
        QCOMPARE(line->text(),
                 QStringLiteral("The expression cannot be read: Nothing follows an && or ||."));
        typeInto(field, "DAYSBEFORENEXTMONTH == 1");
        QCOMPARE(d.repetitionPicker()->repetition().kind, RepetitionKind::kLastDayOfMonth);
        typeInto(field, "MONTH == 13");
        QCOMPARE(line->text(),
                 QStringLiteral("None of the moments checked meets the restrictions."));
        QCOMPARE(d.repetitionPicker()->repetition().kind, RepetitionKind::kCustom);
        // The expression's help: beside the field, and F1.
        child<QPushButton>(d, "cmdAdvancedHelp")->click();
        QTest::keyClick(field, Qt::Key_F1);
        QCOMPARE(f.core.shell.opened.size(), std::size_t(2));
        QVERIFY(QString::fromStdString(f.core.shell.opened[0].file)
                    .endsWith(QStringLiteral("help/expressions.html")));
        f.p().translation.setLanguage("Deutsch");
        d.translate();
        QTest::keyClick(field, Qt::Key_F1);
        QVERIFY(QString::fromStdString(f.core.shell.opened.back().file)
                    .endsWith(QStringLiteral("help/de/expressions.html")));
    }
};

QTEST_MAIN(TestRepetition)
#include "tst_repetition.moc"
