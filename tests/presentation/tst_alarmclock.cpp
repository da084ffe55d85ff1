// The alarm-clock window: states, clicks, ring and snooze times, the hands.
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <numbers>

#include "core/corefixture.h"
#include "presentation/frmalarmclock.h"

using namespace qv;

namespace {

struct CountingRing : RingSound {
    int* starts;
    int* stops;
    bool* playing;
    CountingRing(int* a, int* b, bool* p) : starts(a), stops(b), playing(p) {}
    void start() override {
        ++*starts;
        *playing = true;
    }
    void stop() override {
        ++*stops;
        *playing = false;
    }
};

constexpr double kTurn = 2 * std::numbers::pi;

}  // namespace

class TstAlarmClock : public QObject {
    Q_OBJECT

    std::unique_ptr<test::CoreFixture> f;
    std::unique_ptr<frmAlarmClock> clock;
    int starts = 0, stops = 0;
    bool playing = false;

    DateTime now() { return f->clock.now(); }
    void advanceMinutes(int m) { f->clock.advance(m * 60); }

  private slots:
    void init() {
        f = std::make_unique<test::CoreFixture>();
        f->clock.set(DateTime::fromParts(2025, 3, 29, 6, 30, 0));
        clock = std::make_unique<frmAlarmClock>(f->p());
        starts = stops = 0;
        playing = false;
        clock->setRingSound(std::make_unique<CountingRing>(&starts, &stops, &playing));
        clock->timer()->stop();  // ticks are driven by hand
    }
    void cleanup() {
        clock.reset();
        f.reset();
    }

    void ringsAndStopsAtRingEnd() {
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
        clock->soundAlarmClock();
        QVERIFY(clock->isVisible());
        QCOMPARE(clock->state(), int(frmAlarmClock::kRinging));
        QVERIFY(playing);
        QVERIFY(clock->timer()->isActive());
        QCOMPARE(clock->ringEnd(), addToDate(now(), 3, kMinutes));  // "acmm" default
        clock->timer()->stop();
        advanceMinutes(3);
        f->clock.advance(-1);
        clock->timerTick();
        QCOMPARE(clock->state(), int(frmAlarmClock::kRinging));
        f->clock.advance(1);
        clock->timerTick();
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
        QVERIFY(!playing);
    }

    void ringTimeZeroStopsAtTheFirstTick() {
        f->p().settings.acmm = 0;
        clock->soundAlarmClock();
        clock->timerTick();
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
    }

    void clickSnoozesThenRingsAgain() {
        f->p().settings.acst = 7;
        clock->soundAlarmClock();
        advanceMinutes(1);
        QTest::mouseClick(clock.get(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clock->state(), int(frmAlarmClock::kSnoozing));
        QVERIFY(!playing);
        QVERIFY(clock->snoozingLabel()->isVisible());
        QCOMPARE(clock->snoozeEnd(), addToDate(now(), 7, kMinutes));
        advanceMinutes(6);
        clock->timerTick();
        QCOMPARE(clock->state(), int(frmAlarmClock::kSnoozing));
        advanceMinutes(1);
        clock->timerTick();
        QCOMPARE(clock->state(), int(frmAlarmClock::kRinging));
        QVERIFY(playing);
        QVERIFY(!clock->snoozingLabel()->isVisible());
        QCOMPARE(clock->ringEnd(), addToDate(now(), 3, kMinutes));
    }

    void clicksThatDoNothing() {
        clock->showAlarmClock(0);
        QTest::mouseClick(clock.get(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
        clock->soundAlarmClock();
        clock->snooze();
        clock->snooze();  // a second click on a snoozing clock
        QCOMPARE(clock->state(), int(frmAlarmClock::kSnoozing));
        clock->stopSounding();  // only a ringing clock stops
        QCOMPARE(clock->state(), int(frmAlarmClock::kSnoozing));
        // The label of a ringing clock does nothing either.
        clock->soundAlarmClock();
        clock->stopSnoozing();
        QCOMPARE(clock->state(), int(frmAlarmClock::kRinging));
    }

    void labelClickEndsSnoozing() {
        clock->soundAlarmClock();
        clock->snooze();
        QLabel* label = clock->snoozingLabel();
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
        QVERIFY(!label->isVisible());
        // The click on the label did not reach the window underneath.
        QCOMPARE(starts, 1);
    }

    void doubleClicks() {
        clock->showAlarmClock(0);
        QTest::mouseDClick(clock.get(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));

        // Ringing: the first click snoozes, the double click rings afresh.
        clock->soundAlarmClock();
        advanceMinutes(2);
        QTest::mouseDClick(clock.get(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clock->state(), int(frmAlarmClock::kRinging));
        QCOMPARE(clock->ringEnd(), addToDate(now(), 3, kMinutes));
        QVERIFY(playing);

        // Snoozing: rings at once.
        clock->snooze();
        advanceMinutes(1);
        clock->doubleClicked();
        QCOMPARE(clock->state(), int(frmAlarmClock::kRinging));
        QCOMPARE(clock->ringEnd(), addToDate(now(), 3, kMinutes));
    }

    void closingStopsTheRing() {
        clock->soundAlarmClock();
        clock->close();
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
        QVERIFY(!playing);
        clock->soundAlarmClock();
        QVERIFY(clock->isVisible());
        clock->snooze();
        clock->close();
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
        advanceMinutes(10);
        clock->timerTick();
        QCOMPARE(clock->state(), int(frmAlarmClock::kIdle));
    }

    void handAngles() {
        const auto [h1259, m1259] = frmAlarmClock::handAngles(12, 59);
        QVERIFY(std::abs(h1259 - (59.0 / 720 * kTurn - kTurn / 4)) < 1e-12);
        QVERIFY(h1259 < 1.0 / 12 * kTurn - kTurn / 4);  // just short of 1
        QVERIFY(std::abs(m1259 - (59.0 / 60 * kTurn - kTurn / 4)) < 1e-12);
        const auto [h1530, m1530] = frmAlarmClock::handAngles(15, 30);
        QVERIFY(std::abs(h1530 - kTurn / 24) < 1e-12);  // half way from 3 to 4
        QVERIFY(std::abs(m1530 - kTurn / 4) < 1e-12);   // straight down
    }

    void handsAreDrawnWhereTheyPoint() {
        clock->resize(frmAlarmClock::kFaceWidth, frmAlarmClock::kFaceHeight);
        // 6:30 on the fixture's clock: the minute hand points straight down.
        const double reach = 17 + frmAlarmClock::handImage(1).height() * 0.6;
        auto darkAt = [&](double angle) {
            const QImage shot = clock->grab().toImage();
            const QPoint p(qRound(frmAlarmClock::kCentreX + reach * std::cos(angle)),
                           qRound(frmAlarmClock::kCentreY + reach * std::sin(angle)));
            return qGray(shot.pixel(p)) < 100;
        };
        QVERIFY(darkAt(kTurn / 4));
        QVERIFY(!darkAt(0));
        QCOMPARE(clock->drawnMinute(), 30);
        advanceMinutes(15);  // 6:45: pointing at 9
        QVERIFY(darkAt(kTurn / 2));
        QVERIFY(!darkAt(kTurn / 4));
        QCOMPARE(clock->drawnMinute(), 45);
    }

    void ringResourceAndTranslation() {
        QFile ring(QStringLiteral(":/sounds/ring.wav"));
        QVERIFY(ring.open(QIODevice::ReadOnly));
        QVERIFY(ring.size() > 1000 && ring.size() < 100 * 1024);
        QCOMPARE(ring.read(4), QByteArray("RIFF"));

        QVERIFY(writeFile(f->folder.file("Clock.lng"),
                          "[frmAlarmClock]\nfrmAlarmClock=Wecker\nlblSnoozing=Schlummert\n"));
        f->p().translation.setLanguage("Clock");
        clock->translate();
        QCOMPARE(clock->windowTitle(), QStringLiteral("Wecker"));
        QCOMPARE(clock->snoozingLabel()->text(), QStringLiteral("Schlummert"));
    }
};

QTEST_MAIN(TstAlarmClock)
#include "tst_alarmclock.moc"
