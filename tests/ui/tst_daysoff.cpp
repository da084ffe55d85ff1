// Days off in the windows: "Not on days off" and the alarm's calendars in the
// alarm dialog, the group's calendars in the group dialog (each through a
// save and a new load), and the next-alarm line naming the skipped day.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "base/files.h"
#include "ui/frmalarmgroupproperties.h"
#include "ui/frmalarmproperties.h"
#include "ui/frmquorvanemain.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

template <typename T>
T* child(QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

AlarmPtr weekdayAlarm(const std::string& name) {
    auto a = ModelFixture::periodic(dt(2026, 1, 5, 7, 0, 0), 1, kDays);
    a->name = name;
    a->Active = true;
    a->activePeriod = Alarm::kRestrictWeekdays;
    a->weekDays = 0b0111110;
    a->changed = false;
    return a;
}

GroupDaysOff germanEaster() {
    GroupDaysOff d;
    d.calendars = {"holidays/DE.ics"};
    d.cache["holidays/DE.ics"].items = {
        {dt(2027, 3, 26), dt(2027, 3, 27), true, "Karfreitag"},
        {dt(2027, 3, 29), dt(2027, 3, 30), true, "Ostermontag"}};
    return d;
}

// The group as it comes back from its file.
AlarmGroupPtr reloaded(UiFixture& f, const AlarmGroupPtr& g) {
    const std::string path = f.core.folder.file("reload.agx");
    if (!g->save(f.p().ctx, path, false)) return nullptr;
    return AlarmGroup::createAlarmGroupFromFile(f.p().ctx, path);
}

}  // namespace

class TestDaysOff : public QObject {
    Q_OBJECT
  private slots:
    void theAlarmDialogSetsNotOnDaysOffAndItsCalendars() {
        UiFixture f;
        auto g = f.addGroup("Work");
        g->setDaysOff(germanEaster());
        auto a = weekdayAlarm("Wake");
        g->addAlarm(a);
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({a}, frmAlarmProperties::kEdit, false);
            d.show();
            auto* box = child<QCheckBox>(d, "chkNotOnDaysOff");
            auto* list = child<QPlainTextEdit>(d, "txtDaysOffCalendars");
            QVERIFY(box && list);
            QCOMPARE(box->checkState(), Qt::Unchecked);
            QVERIFY(!list->isVisible());
            // Empty, the alarm uses its group's calendars, and says which.
            QVERIFY2(list->placeholderText().contains("holidays/DE.ics"),
                     qPrintable(list->placeholderText()));
            box->click();
            QVERIFY(list->isVisible());
            // The dialog grows for the calendars: nothing in it is squeezed.
            QCoreApplication::processEvents();
            QCOMPARE(list->height(), list->maximumHeight());
            for (const char* name : {"cmdAddHolidays", "cmdBrowseDaysOff"}) {
                auto* b = child<QPushButton>(d, name);
                QVERIFY2(b->height() >= b->sizeHint().height(), name);
            }
            list->setPlainText(QStringLiteral(" /home/me/vacation.ics \n\nholidays/DE-BY.ics\n"));
            child<QPushButton>(d, "cmdOk")->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QVERIFY(a->notOnDaysOff);
        QCOMPARE(a->daysOffCalendars,
                 (std::vector<std::string>{"/home/me/vacation.ics", "holidays/DE-BY.ics"}));
        const AlarmGroupPtr back = reloaded(f, g);
        QVERIFY(back);
        QVERIFY(back->elementAt(0)->notOnDaysOff);
        QCOMPARE(back->elementAt(0)->daysOffCalendars, a->daysOffCalendars);

        // Shown again as stored; Cancel keeps it.
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({a}, frmAlarmProperties::kEdit, false);
            QCOMPARE(child<QCheckBox>(d, "chkNotOnDaysOff")->checkState(), Qt::Checked);
            QCOMPARE(child<QPlainTextEdit>(d, "txtDaysOffCalendars")->toPlainText(),
                     QStringLiteral("/home/me/vacation.ics\nholidays/DE-BY.ics"));
            child<QCheckBox>(d, "chkNotOnDaysOff")->click();
            d.reject();
        }
        QVERIFY(a->notOnDaysOff);

        // Several alarms that differ: left alone, each keeps its own.
        auto other = weekdayAlarm("Other");
        g->addAlarm(other);
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({a, other}, frmAlarmProperties::kEdit, false);
            QCOMPARE(child<QCheckBox>(d, "chkNotOnDaysOff")->checkState(), Qt::PartiallyChecked);
            child<QPushButton>(d, "cmdOk")->click();
        }
        QVERIFY(a->notOnDaysOff);
        QVERIFY(!other->notOnDaysOff);
        QVERIFY(other->daysOffCalendars.empty());
    }

    // Ctrl+T fills the dialog from the group's template, days off included.
    void theTemplateKeyTakesTheTemplatesDaysOff() {
        UiFixture f;
        auto g = f.addGroup("Work");
        g->setDaysOff(germanEaster());
        auto pattern = weekdayAlarm("Template");
        pattern->notOnDaysOff = true;
        pattern->daysOffCalendars = {"holidays/GB-SCT.ics"};
        g->template_ = pattern->toXML("tmpl")->toString();
        auto a = weekdayAlarm("Wake");
        g->addAlarm(a);
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({a}, frmAlarmProperties::kEdit, false);
            d.show();
            QTest::keyClick(&d, Qt::Key_T, Qt::ControlModifier);
            QCOMPARE(child<QCheckBox>(d, "chkNotOnDaysOff")->checkState(), Qt::Checked);
            auto* list = child<QPlainTextEdit>(d, "txtDaysOffCalendars");
            QVERIFY(list->isVisible());
            QCOMPARE(list->toPlainText(), QStringLiteral("holidays/GB-SCT.ics"));
            QVERIFY(list->placeholderText().contains("holidays/DE.ics"));
            child<QPushButton>(d, "cmdOk")->click();
        }
        QVERIFY(a->notOnDaysOff);
        QCOMPARE(a->daysOffCalendars, std::vector<std::string>{"holidays/GB-SCT.ics"});
    }

    void theGroupDialogSetsTheGroupsCalendars() {
        UiFixture f;
        auto g = f.addGroup("Work");
        auto plain = f.addGroup("Plain");
        const std::string plainBefore = plain->toXML()->toString();
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<frmAlarmGroupProperties*>(QApplication::activeModalWidget());
            QVERIFY(d);
            auto* list = child<QPlainTextEdit>(*d, "txtDaysOffCalendars");
            QVERIFY(list);
            QVERIFY(list->toPlainText().isEmpty());
            list->setPlainText(QStringLiteral("holidays/DE.ics\nhttps://cal.example.org/v.ics"));
            child<QPushButton>(*d, "cmdOk")->click();
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {g}, {}));
        QCOMPARE(g->daysOff.calendars,
                 (std::vector<std::string>{"holidays/DE.ics", "https://cal.example.org/v.ics"}));
        QVERIFY(g->changed);
        const AlarmGroupPtr back = reloaded(f, g);
        QVERIFY(back);
        QCOMPARE(back->daysOff.calendars, g->daysOff.calendars);

        // A group whose calendars were not touched keeps its stored form.
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<frmAlarmGroupProperties*>(QApplication::activeModalWidget());
            QVERIFY(d);
            child<QPushButton>(*d, "cmdOk")->click();
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), f.ui, nullptr, {plain}, {}));
        QCOMPARE(plain->toXML()->toString(), plainBefore);
    }

    void theNextAlarmLineNamesTheSkippedDayOff() {
        UiFixture f;
        f.core.clock.set(dt(2027, 3, 26, 8, 0, 0));  // Good Friday, after the alarm's time
        f.p().supervision.lastSupervised = f.core.clock.now();
        auto g = f.addGroup("Work");
        g->setDaysOff(germanEaster());
        auto a = weekdayAlarm("Wake");
        a->notOnDaysOff = true;
        g->addAlarm(a);
        f.p().control.checkAlarms();
        QLabel* label = f.main().nextAlarmLabel();
        QVERIFY2(label->text().contains(QStringLiteral("2027/03/30 07:00:00 (Wake)")),
                 qPrintable(label->text()));
        QVERIFY2(label->text().endsWith(QStringLiteral("not on Monday, Ostermontag")),
                 qPrintable(label->text()));
        // Without the mark nothing is skipped and nothing is said.
        a->notOnDaysOff = false;
        a->invalidateCaches();
        f.p().control.checkAlarms();
        QVERIFY2(!label->text().contains(QStringLiteral("not on")), qPrintable(label->text()));
    }
};

QTEST_MAIN(TestDaysOff)
#include "tst_daysoff.moc"
