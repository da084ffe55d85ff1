// The date and time picker, driven with real key and mouse events: carrying
// between the fields, the calendar and the clock hands, OK and Cancel.

#include <QCalendarWidget>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "controls/vnumberbox.h"
#include "ui/frmdatetime.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

class TestDateTime : public QObject {
    Q_OBJECT
  private slots:
    void aWrappingFieldCarriesIntoTheNextLargerOne() {
        UiFixture f;
        frmDateTime picker(f.p().translation, f.core.names);
        picker.setDate(dt(2025, 3, 29, 10, 15, 59));
        QTest::keyClick(picker.box(frmDateTime::kSecond)->textField(), Qt::Key_Up);
        QCOMPARE(picker.getDate(), dt(2025, 3, 29, 10, 16, 0));

        picker.setDate(dt(2025, 12, 31, 23, 59, 59));
        QTest::keyClick(picker.box(frmDateTime::kSecond)->textField(), Qt::Key_Up);
        QCOMPARE(picker.getDate(), dt(2026, 1, 1, 0, 0, 0));
        QCOMPARE(picker.box(frmDateTime::kYear)->value(), 2026);
        QCOMPARE(picker.calendar()->selectedDate(), QDate(2026, 1, 1));
        QTest::keyClick(picker.box(frmDateTime::kMinute)->textField(), Qt::Key_Down);
        QCOMPARE(picker.getDate(), dt(2025, 12, 31, 23, 59, 0));

        // A day the new month does not have becomes its last day.
        picker.setDate(dt(2025, 1, 31, 8, 0, 0));
        QTest::keyClick(picker.box(frmDateTime::kMonth)->textField(), Qt::Key_Up);
        QCOMPARE(picker.getDate(), dt(2025, 2, 28, 8, 0, 0));
        QCOMPARE(picker.box(frmDateTime::kDay)->value(), 28);

        // Down from the 1st: the last day of the month before, and on from there.
        picker.setDate(dt(2025, 3, 1, 8, 0, 0));
        QTest::keyClick(picker.box(frmDateTime::kDay)->textField(), Qt::Key_Down);
        QCOMPARE(picker.getDate(), dt(2025, 2, 28, 8, 0, 0));
        QCOMPARE(picker.box(frmDateTime::kDay)->value(), 28);
        QTest::keyClick(picker.box(frmDateTime::kDay)->textField(), Qt::Key_Down);
        QCOMPARE(picker.getDate(), dt(2025, 2, 27, 8, 0, 0));
        picker.setDate(dt(2025, 1, 1, 8, 0, 0));
        QTest::keyClick(picker.box(frmDateTime::kDay)->textField(), Qt::Key_Down);
        QCOMPARE(picker.getDate(), dt(2024, 12, 31, 8, 0, 0));
    }

    void theCalendarSetsTheDayAndTheClockHandsAndPmTheTime() {
        UiFixture f;
        frmDateTime picker(f.p().translation, f.core.names);
        picker.resize(520, 360);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        picker.setDate(dt(2025, 3, 29, 9, 40, 5));
        picker.calendar()->setSelectedDate(QDate(2025, 3, 12));
        QCOMPARE(picker.getDate(), dt(2025, 3, 12, 9, 40, 5));

        // Three o'clock on the minute ring: a quarter past.
        QWidget* clock = picker.clock();
        const QPoint centre(clock->width() / 2, clock->height() / 2);
        const int r = std::min(clock->width(), clock->height()) / 2 - 2;
        QTest::mousePress(clock, Qt::LeftButton, {}, centre + QPoint(r * 7 / 10, 0));
        QTest::mouseRelease(clock, Qt::LeftButton, {}, centre + QPoint(r * 7 / 10, 0));
        QCOMPARE(picker.getDate(), dt(2025, 3, 12, 9, 15, 5));
        // Half way down on the hour ring: six o'clock, in the morning.
        QTest::mousePress(clock, Qt::LeftButton, {}, centre + QPoint(1, r * 3 / 10));
        QTest::mouseRelease(clock, Qt::LeftButton, {}, centre + QPoint(1, r * 3 / 10));
        QCOMPARE(picker.getDate(), dt(2025, 3, 12, 5, 15, 5));
        picker.pmBox()->click();
        QCOMPARE(picker.getDate(), dt(2025, 3, 12, 17, 15, 5));
        QCOMPARE(picker.box(frmDateTime::kHour)->value(), 17);
    }

    void onlyOkGivesTheMomentBack() {
        UiFixture f;
        for (const bool confirm : {false, true}) {
            DateTime moment = dt(2025, 3, 29, 7, 0, 0);
            QTimer::singleShot(0, [confirm] {
                auto* picker = qobject_cast<frmDateTime*>(QApplication::activeModalWidget());
                QVERIFY(picker);
                QTest::keyClick(picker->box(frmDateTime::kHour)->textField(), Qt::Key_Up);
                QTest::keyClick(picker->box(frmDateTime::kHour)->textField(),
                                confirm ? Qt::Key_Return : Qt::Key_Escape);
            });
            const bool ok =
                frmDateTime::pick(nullptr, f.p().translation, f.core.names, QPoint(10, 10), moment);
            QCOMPARE(ok, confirm);
            QCOMPARE(moment, confirm ? dt(2025, 3, 29, 8, 0, 0) : dt(2025, 3, 29, 7, 0, 0));
        }
    }

    void itSpeaksTheUsersLanguage() {
        UiFixture f;
        f.p().translation.setLanguage("Deutsch");
        frmDateTime picker(f.p().translation, f.core.names);
        QCOMPARE(picker.windowTitle(), QStringLiteral("Datum und Uhrzeit"));
        QCOMPARE(picker.findChild<QPushButton*>("cmdNow")->text(), QStringLiteral("&Jetzt"));
        QCOMPARE(picker.findChild<QPushButton*>("cmdCancel")->text(), QStringLiteral("Abbrechen"));
    }
};

QTEST_MAIN(TestDateTime)
#include "tst_datetime.moc"
