// Real playback, once each: a WAV and an OGG play to their end through
// QtSoundOutput, and a sound action's player closes with its window when its
// file has ended, and an undecodable file gives way to the default sound. Runs under
// run_with_pulse.sh (a PulseAudio null sink).

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QtTest>

#include "alarmwindowfixture.h"

using namespace qv;
using namespace qv::test;

class TestRealSound : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // On its own it would sound on the desktop it runs on.
        if (qEnvironmentVariableIsEmpty("QUORVANE_PULSE_TEST"))
            QSKIP("runs through tests/presentation/run_with_pulse.sh");
        QVERIFY2(!QMediaDevices::audioOutputs().isEmpty(), "no sound server");
    }

    void outputPlaysToTheEnd_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("wav") << QString(QUORVANE_SOURCE_DIR "/data/sounds/chime.wav");
        QTest::newRow("ogg") << QString(QUORVANE_SOURCE_DIR "/data/sounds/bells.ogg");
    }
    void outputPlaysToTheEnd() {
        QFETCH(QString, file);
        auto out = QtSoundOutput::create();
        QVERIFY(out);
        QSignalSpy ended(out.get(), &SoundOutput::endOfMedia);
        QSignalSpy failed(out.get(), &SoundOutput::failed);
        // Twice on the same output: the second play starts from the beginning.
        for (int round = 1; round <= 2; ++round) {
            QVERIFY(out->play(file));
            QTRY_COMPARE_WITH_TIMEOUT(ended.count() + failed.count(), round, 60000);
            QCOMPARE(failed.count(), 0);
        }
    }

    void missingFileFailsWithoutHanging() {
        auto out = QtSoundOutput::create();
        QSignalSpy failed(out.get(), &SoundOutput::failed);
        if (out->play(QUORVANE_SOURCE_DIR "/data/sounds/no-such-sound.wav"))
            QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 60000);
    }

    void soundActionClosesItsPlayerAtTheEnd() {
        for (const char* name : {"alarm.wav", "bells.ogg"}) {
            AlarmWindowFixture f;
            f.actions.sound().makeOutput = [] { return QtSoundOutput::create(); };
            auto a = f.soundAlarm(name, std::string(QUORVANE_SOURCE_DIR "/data/sounds/") + name);
            QPointer<frmAlarm> w = f.play(a, dt(2025, 3, 29, 12, 0, 0));
            QVERIFY(w);
            QCOMPARE(f.actions.soundPlayers().size(), std::size_t(1));
            QTRY_VERIFY_WITH_TIMEOUT(f.actions.soundPlayers().empty(), 60000);
            QCOMPARE(f.sound.beeps, 0);
            QVERIFY(f.actions.alarmWindows().empty());
            f.flush();
            QVERIFY(!w);
        }
    }

    void undecodableFileFallsBackToTheDefaultSound() {
        AlarmWindowFixture f;
        int outputs = 0;
        f.actions.sound().makeOutput = [&outputs] {
            ++outputs;
            return QtSoundOutput::create();
        };
        const std::string broken = f.folder.file("broken.wav");
        QVERIFY(writeFile(broken, std::string("RIFF\x10\0\0\0WAVEjunk, not a sound", 28)));
        f.p().settings.ds = QUORVANE_SOURCE_DIR "/data/sounds/chime.wav";
        auto a = f.soundAlarm("Broken", broken);
        QVERIFY(f.play(a, dt(2025, 3, 29, 12, 0, 0)));
        // The chime plays to its end, through an output of its own, instead of a beep.
        QTRY_VERIFY_WITH_TIMEOUT(f.actions.soundPlayers().empty(), 60000);
        QCOMPARE(outputs, 2);
        QCOMPARE(f.sound.beeps, 0);
    }
};

QTEST_MAIN(TestRealSound)
#include "tst_realsound.moc"
