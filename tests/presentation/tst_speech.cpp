// Voices and speaking: engine order, voice choice, the volume and speed rules,
// queueing and releasing, and the program's speech routines.
#include <QtTest>

#include "core/corefixture.h"
#include "presentation/clstimeteller.h"
#include "presentation/fakespeech.h"
#include "presentation/speech.h"

using namespace qv;
using test::FakeSpeechWorld;

class TstSpeech : public QObject {
    Q_OBJECT

  private slots:
    void voicesEngineByEngine() {
        FakeSpeechWorld world;
        clsVoices voices(world.factory());
        QCOMPARE(voices.getVoices(), QStringList({"Alice", "Bob", "kal", "slt"}));
        world.speechd.available = false;
        clsVoices withoutSpeechd(world.factory());
        QCOMPARE(withoutSpeechd.getVoices(), QStringList({"kal", "slt"}));
    }

    void choosesTheNamedVoice() {
        FakeSpeechWorld world;
        clsVoices voices(world.factory());
        QVERIFY(voices.speak("one", "", false, 0, false, 0));
        QVERIFY(voices.speak("two", "slt", false, 0, false, 0));
        QVERIFY(!voices.speak("three", "Nobody", false, 0, false, 0));
        QCOMPARE(world.speechd.spoken.size(), size_t(1));
        QVERIFY(world.speechd.spoken[0].voice.isEmpty());  // the engine's default
        QCOMPARE(world.flite.spoken.size(), size_t(1));
        QCOMPARE(world.flite.spoken[0].voice, QStringLiteral("slt"));

        // Without any engine nothing is spoken and nothing complains.
        FakeSpeechWorld silent;
        silent.speechd.available = silent.flite.available = false;
        clsVoices none(silent.factory());
        QVERIFY(!none.speak("hello", "", true, 50, true, 5));
    }

    void volumeAndSpeedRules_data() {
        QTest::addColumn<bool>("volumeSwitch");
        QTest::addColumn<int>("volume");
        QTest::addColumn<bool>("speedSwitch");
        QTest::addColumn<int>("speed");
        QTest::addColumn<double>("expectedVolume");  // -1: left to the engine
        QTest::addColumn<double>("expectedRate");    // -9: left to the engine
        QTest::newRow("in range") << true << 50 << true << -10 << 0.5 << -1.0;
        QTest::newRow("bounds") << true << 0 << true << 10 << 0.0 << 1.0;
        QTest::newRow("volume 150 ignored") << true << 150 << true << 3 << -1.0 << 0.3;
        QTest::newRow("speed -11 ignored") << true << 100 << true << -11 << 1.0 << -9.0;
        QTest::newRow("switches off") << false << 50 << false << 5 << -1.0 << -9.0;
    }
    void volumeAndSpeedRules() {
        QFETCH(bool, volumeSwitch);
        QFETCH(int, volume);
        QFETCH(bool, speedSwitch);
        QFETCH(int, speed);
        QFETCH(double, expectedVolume);
        QFETCH(double, expectedRate);
        FakeSpeechWorld world;
        clsVoices voices(world.factory());
        QVERIFY(voices.speak("text", "", volumeSwitch, volume, speedSwitch, speed));
        const Utterance& u = world.speechd.spoken.at(0);
        QCOMPARE(u.volume.value_or(-1.0), expectedVolume);
        QCOMPARE(u.rate.value_or(-9.0), expectedRate);
    }

    void speechQueuesUntilReleased() {
        FakeSpeechWorld world;
        clsVoices voices(world.factory());
        voices.speak("first", "", false, 0, false, 0);
        voices.speak("second", "", false, 0, false, 0);
        // Spoken by the same engine object, which queues it.
        QCOMPARE(world.speechd.created, 1);
        QCOMPARE(world.speechd.spoken.size(), size_t(2));
        QVERIFY(voices.releaseFinished());  // still speaking: kept
        QVERIFY(voices.speaking());
        world.speechd.busy = false;
        QVERIFY(!voices.releaseFinished());
        QVERIFY(!voices.speaking());
        voices.speak("third", "", false, 0, false, 0);
        QCOMPARE(world.speechd.created, 2);  // a fresh engine after the release

        voices.stopAll();
        QCOMPARE(world.speechd.stops, 1);
        QVERIFY(!voices.speaking());
    }

    void brokenEngineIsTriedAfresh() {
        FakeSpeechWorld world;
        clsVoices voices(world.factory());
        QVERIFY(voices.speak("first", "", false, 0, false, 0));
        QVERIFY(voices.speak("second", "", false, 0, false, 0));
        // The engine goes to its error state with "second" still queued: the
        // next text goes to a fresh engine of the same kind, not elsewhere.
        world.speechd.brokenUpTo = world.speechd.created;
        QVERIFY(voices.speak("third", "", false, 0, false, 0));
        QCOMPARE(world.speechd.created, 2);
        QCOMPARE(world.speechd.spoken.back().text, QStringLiteral("third"));
        QVERIFY(world.flite.spoken.empty());
        // One that breaks between texts is released at the next check.
        world.speechd.busy = true;
        world.speechd.brokenUpTo = world.speechd.created;
        QVERIFY(!voices.releaseFinished());
        world.speechd.brokenUpTo = 0;
        QVERIFY(voices.speak("fourth", "", false, 0, false, 0));
        QCOMPARE(world.speechd.created, 3);
    }

    void namedVoiceWaitsForItsListingWithoutBlocking() {
        FakeSpeechWorld world;
        world.speechd.listingSlices = 3;
        clsVoices voices(world.factory());
        // Returns at once: the voices are listed from the event loop.
        QVERIFY(voices.speak("one", "slt", false, 0, false, 0));
        QVERIFY(voices.speak("two", "", false, 0, false, 0));  // stays behind "one"
        QVERIFY(voices.speak("three", "Nobody", false, 0, false, 0));
        QCOMPARE(world.speechd.slicesListed, 0);
        QVERIFY(world.speechd.spoken.empty() && world.flite.spoken.empty());
        QVERIFY(voices.speaking());
        QVERIFY(voices.releaseFinished());  // nothing is dropped while texts wait
        QTRY_COMPARE(world.flite.spoken.size(), size_t(1));
        QCOMPARE(world.speechd.slicesListed, 3);
        QCOMPARE(world.flite.spoken[0].text, QStringLiteral("one"));
        QCOMPARE(world.speechd.spoken.size(), size_t(1));
        QCOMPARE(world.speechd.spoken[0].text, QStringLiteral("two"));
        // Listed once: the next named voice is spoken at once.
        QVERIFY(voices.speak("four", "kal", false, 0, false, 0));
        QCOMPARE(world.flite.spoken.back().text, QStringLiteral("four"));
        // Stopping drops what still waits.
        FakeSpeechWorld other;
        other.speechd.listingSlices = 2;
        clsVoices stopped(other.factory());
        stopped.speak("never", "slt", false, 0, false, 0);
        stopped.stopAll();
        QTest::qWait(50);
        QVERIFY(other.flite.spoken.empty());
        QVERIFY(!stopped.speaking());
    }

    void programRoutinesUseTheSettings() {
        test::CoreFixture f;
        FakeSpeechWorld world;
        Speech speech(f.p(), world.factory());
        f.p().settings.vd = "kal";
        f.p().settings.ovvol = true;
        f.p().settings.vvol = 150;
        f.p().settings.ovspd = true;
        f.p().settings.vspd = 4;
        speech.speakText("Wake up");
        speech.tellTime("abc");
        // The fixture's clock: 29 March 2025, 12:00.
        speech.tellTime("now \"<d>.<m>.\"");
        QCOMPARE(world.flite.spoken.size(), size_t(3));
        QCOMPARE(world.flite.spoken[0].text, QStringLiteral("Wake up"));
        QCOMPARE(world.flite.spoken[0].voice, QStringLiteral("kal"));
        QVERIFY(!world.flite.spoken[0].volume.has_value());
        QCOMPARE(world.flite.spoken[0].rate.value_or(0), 0.4);
        QCOMPARE(world.flite.spoken[1].text, clsTimeTeller::kCannotSpeak);
        QCOMPARE(world.flite.spoken[2].text, QStringLiteral("29.3."));
        speech.stopAll();
        QCOMPARE(world.flite.stops, 1);
    }
};

QTEST_MAIN(TstSpeech)
#include "tst_speech.moc"
