// The real sound, speech and mixer, once each. Runs under run_with_pulse.sh,
// which starts a PulseAudio null sink (and speech-dispatcher's own spawn).
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QTextToSpeech>
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "presentation/clsmixer.h"
#include "presentation/clsvoices.h"
#include "presentation/frmalarmclock.h"

using namespace qv;

namespace {

QString pactl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The null sink's volume in percent (first channel); -1 when unreadable.
int sinkPercent() {
    const QString out = pactl({"get-sink-volume", "null"});
    const auto m = QRegularExpression(QStringLiteral("/\\s*(\\d+)%")).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

bool sinkMuted() { return pactl({"get-sink-mute", "null"}).contains(QStringLiteral("yes")); }

}  // namespace

class TstRealAudio : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // On its own it would change the volume of the desktop it runs on.
        if (qEnvironmentVariableIsEmpty("QUORVANE_PULSE_TEST"))
            QSKIP("runs through tests/presentation/run_with_pulse.sh");
        QVERIFY2(!QMediaDevices::audioOutputs().isEmpty(), "no sound server");
    }

    void ringResourcePlaysAndLoops() {
        ResourceRingSound ring;
        ring.start();
        // Each end of the one-second ring starts it again.
        QTRY_VERIFY_WITH_TIMEOUT(ring.loops() >= 2, 60000);
        QVERIFY(ring.playing());
        ring.stop();
    }

    void namedVoiceIsFoundWithoutHoldingUpTheWindows() {
        // A voice of the engine's present locale, named without listing them all.
        QTextToSpeech probe(QStringLiteral("speechd"));
        const QList<QVoice> here = probe.availableVoices();
        QVERIFY(!here.isEmpty());
        clsVoices voices;
        // The engine itself takes its time to start; that is not measured here.
        QVERIFY(voices.speak(QStringLiteral("Good morning."), QString(), false, 0, false, 0));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(voices.speak(QStringLiteral("Wake up."), here.last().name(), false, 0, false, 0));
        const qint64 inSpeak = clock.elapsed();
        // The event loop keeps turning while the voices are listed.
        qint64 last = clock.elapsed(), longestGap = 0;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        beat.start(5);
        QTRY_VERIFY_WITH_TIMEOUT(!voices.releaseFinished(), 120000);
        qInfo(
            "speak returned after %lld ms; longest pause of the event loop %lld ms; done after "
            "%lld ms",
            inSpeak, longestGap, clock.elapsed());
        QVERIFY(inSpeak < 500);
        QVERIFY(longestGap < 1000);
    }

    void speechDispatcherReachesFinished() {
        auto engine = clsVoices::createQtEngine(QStringLiteral("speechd"));
        QVERIFY(engine->available());
        QVERIFY(!engine->voices().isEmpty());
        Utterance u;
        u.text = QStringLiteral("It is seven o'clock.");
        u.volume = 0.8;
        QVERIFY(engine->speak(u));
        QVERIFY(!engine->finished());
        QTRY_VERIFY_WITH_TIMEOUT(engine->finished(), 120000);
        // Ended by the engine's own report, not by the watchdog.
        QCOMPARE(engine->completed(), 1);
        // A second text while one is spoken waits for it instead of cutting it off.
        u.text = QStringLiteral("First.");
        QVERIFY(engine->speak(u));
        u.text = QStringLiteral("Second.");
        QVERIFY(engine->speak(u));
        QTRY_VERIFY_WITH_TIMEOUT(engine->finished(), 120000);
        QCOMPARE(engine->completed(), 3);

        // The same through the program's voice list, with a named voice.
        clsVoices voices;
        QElapsedTimer listing;
        listing.start();
        const QStringList names = voices.getVoices();
        qInfo("%lld voices listed in %lld ms", qint64(names.size()), listing.elapsed());
        QVERIFY(!names.isEmpty());
        QVERIFY(voices.speak(QStringLiteral("Wake up."), names.first(), true, 60, true, 2));
        QTRY_VERIFY_WITH_TIMEOUT(!voices.releaseFinished(), 120000);
    }

    void alsaMixerRaisesAndRestores() {
        pactl({"set-sink-volume", "null", "30%"});
        pactl({"set-sink-mute", "null", "1"});
        QCOMPARE(sinkPercent(), 30);
        QVERIFY(sinkMuted());

        clsMixer probe(openAlsaMixer());
        QVERIFY2(probe.opened(), "ALSA's default device has no mixer");
        QVERIFY(probe.volumeFound() & mixerLineBit(MixerLine::kWave));

        QStringList messages;
        AlarmVolume volume(&openAlsaMixer, [&](const QString& s) { messages << s; });
        volume.set(50);
        QCOMPARE(sinkPercent(), 100);
        QVERIFY(!sinkMuted());
        volume.restore();
        QCOMPARE(sinkPercent(), 30);
        QVERIFY(sinkMuted());
        QVERIFY(messages.isEmpty());
        pactl({"set-sink-mute", "null", "0"});
    }
};

QTEST_MAIN(TstRealAudio)
#include "tst_realaudio.moc"
