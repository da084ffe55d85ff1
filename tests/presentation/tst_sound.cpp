// The sound players: picking files, repeat modes, interval mode, the default
// sound and beep fallbacks, the three-player limit, stop-all, and the ties
// between a player, its window and the volume.

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <set>

#include "alarmwindowfixture.h"
#include "base/files.h"
#include "presentation/frmmessage.h"

using namespace qv;
using namespace qv::test;

class TestSound : public QObject {
    Q_OBJECT

  private slots:
    void pickFileFromPattern();
    void hourChimeCount();
    void playOnceForTypeSeven();
    void repeatByCount();
    void repeatForeverUntilStopped();
    void hourChimeRepeats();
    void intervalModeStartsPlaysOnTheTimer();
    void defaultSoundStandsInForAMissingFile();
    void beepFallback();
    void failingOutputBeeps();
    void atMostThreePlayers();
    void closingTheWindowStopsTheSoundAndRestoresTheVolume();
    void stoppingTheSoundClosesTheWindow();
    void hiddenWindowGoesWithItsSound();
    void undecodableFileFallsBackToTheDefaultSound();
    void beepInIntervalModeKeepsTheInterval();
    void noMixerIsSaidOnceAndHoldsNothingUp();
    void stopAllSoundsThroughThePortRestoresTheVolume();
    void anUnplayableSoundKeepsItsWindowAndIsLogged();
};

namespace {

std::string makeSounds(const AlarmWindowFixture& f) {
    const std::string dir = f.folder.file("snd");
    QDir().mkpath(QString::fromStdString(dir));
    for (const char* n : {"a.wav", "b.wav", "c.ogg"}) EXPECT_TRUE(writeFile(dir + "/" + n, "RIFF"));
    return dir;
}

// Fires the player's timer as if its interval had passed.
void tick(frmSound* s) { QMetaObject::invokeMethod(s->timer(), "timeout"); }

// A repeating sound by count (3), in interval mode, every 10 s.
AlarmPtr threeTimesTenSecondsApart(AlarmWindowFixture& f, const std::string& name,
                                   const std::string& file) {
    auto a = f.soundAlarm(name, file, clsAction::kPlaySoundRepeatedly);
    const auto& s = a->actions.elementAt(0)->settings;
    s->setInteger("i", 0, 1);
    s->setInteger("i", 3, 2);
    s->setInteger("i", 1, 3);
    s->setLong("l", 10000);
    return a;
}

}  // namespace

void TestSound::pickFileFromPattern() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    std::set<std::string> seen;
    for (int i = 0; i < 60; ++i) seen.insert(frmSound::pickFile(dir + "/*.wav", f.p().random));
    QCOMPARE(seen, (std::set<std::string>{dir + "/a.wav", dir + "/b.wav"}));
    // A stored pattern with the other platform's separator.
    QCOMPARE(frmSound::pickFile(dir + "\\*.ogg", f.p().random), dir + "/c.ogg");
    QCOMPARE(frmSound::pickFile(dir + "/b.wav", f.p().random), dir + "/b.wav");
    QCOMPARE(frmSound::pickFile(dir + "/missing.wav", f.p().random), std::string());
    QCOMPARE(frmSound::pickFile("", f.p().random), std::string());
}

void TestSound::hourChimeCount() {
    QCOMPARE(frmSound::hourChimeCount(dt(2025, 3, 29, 23, 45, 0)), 12);
    QCOMPARE(frmSound::hourChimeCount(dt(2025, 3, 29, 0, 10, 0)), 12);
    QCOMPARE(frmSound::hourChimeCount(dt(2025, 3, 29, 12, 30, 0)), 1);
    QCOMPARE(frmSound::hourChimeCount(dt(2025, 3, 29, 13, 29, 59)), 1);
    QCOMPARE(frmSound::hourChimeCount(dt(2025, 3, 29, 14, 30, 0)), 3);
    QCOMPARE(frmSound::hourChimeCount(dt(2025, 3, 29, 15, 29, 0)), 3);
}

void TestSound::playOnceForTypeSeven() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    auto a = f.soundAlarm("Once", dir + "/a.wav");
    // Repeat settings do not count for a single play.
    a->actions.elementAt(0)->settings->setInteger("i", 1, 1);
    QPointer<frmAlarm> w = f.play(a, dt(2025, 3, 29, 12, 0, 0));
    QVERIFY(w && w->isVisible());
    QCOMPARE(f.sound.played.size(), std::size_t(1));
    f.sound.current()->finish();
    QVERIFY(f.actions.soundPlayers().empty());
    QVERIFY(f.actions.alarmWindows().empty());
    QCOMPARE(f.sound.played.size(), std::size_t(1));
}

void TestSound::repeatByCount() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    auto a = f.soundAlarm("Three", dir + "/b.wav", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 0, 1);
    a->actions.elementAt(0)->settings->setInteger("i", 3, 2);
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(f.sound.played.size(), std::size_t(i));
        QVERIFY(f.sound.current());
        f.sound.current()->finish();
    }
    QCOMPARE(f.sound.played.size(), std::size_t(3));
    QVERIFY(f.actions.soundPlayers().empty());
    QVERIFY(f.actions.alarmWindows().empty());
    QCOMPARE(f.sound.beeps, 0);
}

void TestSound::repeatForeverUntilStopped() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    auto a = f.soundAlarm("Forever", dir + "/a.wav", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 1, 1);
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    for (int i = 0; i < 20; ++i) f.sound.current()->finish();
    QCOMPARE(f.sound.played.size(), std::size_t(21));
    QCOMPARE(f.actions.soundPlayers().size(), std::size_t(1));
    f.actions.stopAllSounds();
    QVERIFY(f.actions.soundPlayers().empty());
    QVERIFY(f.actions.alarmWindows().empty());
    QVERIFY(!f.sound.current());
}

void TestSound::hourChimeRepeats() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    f.clock.set(dt(2025, 3, 29, 14, 40, 0));
    auto a = f.soundAlarm("Chime", dir + "/a.wav", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 2, 1);
    f.play(a, dt(2025, 3, 29, 14, 40, 0));
    while (FakeSoundOutput* out = f.sound.current()) out->finish();
    QCOMPARE(f.sound.played.size(), std::size_t(3));
    QVERIFY(f.actions.soundPlayers().empty());
}

void TestSound::intervalModeStartsPlaysOnTheTimer() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    auto a = threeTimesTenSecondsApart(f, "Interval", dir + "/a.wav");
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    frmSound* player = f.actions.soundPlayers().at(0);
    QVERIFY(player->intervalMode());
    QVERIFY(player->timer()->isActive());
    QCOMPARE(player->timer()->interval(), 10000);
    QCOMPARE(f.sound.played.size(), std::size_t(1));
    // The end of a stream starts nothing; the timer does, ended or not.
    f.sound.current()->finish();
    QCOMPARE(f.sound.played.size(), std::size_t(1));
    tick(player);
    QCOMPARE(f.sound.played.size(), std::size_t(2));
    tick(player);
    QCOMPARE(f.sound.played.size(), std::size_t(3));
    QCOMPARE(f.actions.soundPlayers().size(), std::size_t(1));
    tick(player);
    QCOMPARE(f.sound.played.size(), std::size_t(3));
    QVERIFY(f.actions.soundPlayers().empty());
    QVERIFY(f.actions.alarmWindows().empty());
}

void TestSound::defaultSoundStandsInForAMissingFile() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    f.p().settings.ds = dir + "/*.ogg";
    auto a = f.soundAlarm("Missing", dir + "/gone.wav");
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    QCOMPARE(f.sound.played, (std::vector<QString>{QString::fromStdString(dir + "/c.ogg")}));

    // An empty setting stands for the shipped alarm sound.
    AlarmWindowFixture g;
    g.p().folders.shippedFolder = QUORVANE_SOURCE_DIR "/data";
    auto b = g.soundAlarm("Shipped", "");
    g.play(b, dt(2025, 3, 29, 12, 0, 0));
    QCOMPARE(g.sound.played, (std::vector<QString>{QUORVANE_SOURCE_DIR "/data/sounds/alarm.wav"}));
}

void TestSound::beepFallback() {
    AlarmWindowFixture f;
    // No file and no default sound: a beep a second while the count allows.
    auto a = f.soundAlarm("Beep", "", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 0, 1);
    a->actions.elementAt(0)->settings->setInteger("i", 3, 2);
    QPointer<frmAlarm> w = f.play(a, dt(2025, 3, 29, 12, 0, 0));
    frmSound* player = f.actions.soundPlayers().at(0);
    QCOMPARE(f.sound.beeps, 1);
    QVERIFY(player->timer()->isActive());
    QCOMPARE(player->timer()->interval(), 1000);
    tick(player);
    tick(player);
    QCOMPARE(f.sound.beeps, 3);
    QVERIFY(w);
    tick(player);
    QCOMPARE(f.sound.beeps, 3);
    QVERIFY(f.actions.soundPlayers().empty());
    QVERIFY(f.actions.alarmWindows().empty());
    QVERIFY(f.sound.played.empty());
    f.flush();
    QVERIFY(!w);
}

void TestSound::failingOutputBeeps() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    // Fails after starting: the player beeps instead, once.
    auto a = f.soundAlarm("Broken", dir + "/a.wav");
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    f.sound.current()->breakDown();
    QCOMPARE(f.sound.beeps, 1);
    tick(f.actions.soundPlayers().at(0));
    QVERIFY(f.actions.soundPlayers().empty());

    // Refuses to start, or there is no output device at all.
    f.sound.startOk = false;
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    QCOMPARE(f.sound.beeps, 2);
    f.actions.stopAllSounds();
    f.sound.startOk = true;
    f.sound.noDevice = true;
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    QCOMPARE(f.sound.beeps, 3);
}

void TestSound::atMostThreePlayers() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    std::vector<QPointer<frmAlarm>> windows;
    for (int i = 0; i < 4; ++i) {
        auto a = f.soundAlarm("Alarm " + std::to_string(i), dir + "/a.wav",
                              clsAction::kPlaySoundRepeatedly);
        a->actions.elementAt(0)->settings->setInteger("i", 1, 1);
        windows.emplace_back(f.play(a, dt(2025, 3, 29, 12, 0, 0)));
    }
    QCOMPARE(f.actions.soundPlayers().size(), std::size_t(3));
    QCOMPARE(f.actions.alarmWindows().size(), std::size_t(3));
    f.flush();
    QVERIFY(!windows[0]);
    QVERIFY(windows[1] && windows[2] && windows[3]);
    QVERIFY(!f.sound.outputs[0]);
    int playing = 0;
    for (auto& o : f.sound.outputs) playing += o && o->playing;
    QCOMPARE(playing, 3);
}

void TestSound::closingTheWindowStopsTheSoundAndRestoresTheVolume() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    f.p().settings.osvol = true;
    f.p().settings.svol = 50;
    auto a = f.soundAlarm("Loud", dir + "/a.wav", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 1, 1);
    frmAlarm* w = f.play(a, dt(2025, 3, 29, 12, 0, 0));
    QCOMPARE(f.mixer.wave, std::int64_t(65535));
    QVERIFY(!f.mixer.waveMute);
    QCOMPARE(f.mixer.waveIn, std::int64_t(32768));
    QVERIFY(!f.mixer.waveInMute);
    f.sound.current()->finish();  // each play raises it again
    f.mixer.waveIn = 20000;
    f.sound.current()->finish();
    QCOMPARE(f.mixer.waveIn, std::int64_t(32768));

    f.wait(2);
    w->cmdOk->click();
    QVERIFY(!f.sound.current());
    QVERIFY(f.actions.soundPlayers().empty());
    QCOMPARE(f.mixer.wave, std::int64_t(30000));
    QCOMPARE(f.mixer.waveIn, std::int64_t(10000));
    QVERIFY(f.mixer.waveMute);
    QVERIFY(f.mixer.waveInMute);
}

void TestSound::stoppingTheSoundClosesTheWindow() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    auto a = f.soundAlarm("Stop", dir + "/a.wav", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 1, 1);
    QPointer<frmAlarm> w = f.play(a, dt(2025, 3, 29, 12, 0, 0));
    f.actions.soundPlayers().at(0)->findChild<QPushButton*>("cmdStopSound")->click();
    QVERIFY(!f.sound.current());
    QVERIFY(f.actions.alarmWindows().empty());
    f.flush();
    QVERIFY(!w);
}

void TestSound::hiddenWindowGoesWithItsSound() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    auto a = f.soundAlarm("Hidden", dir + "/a.wav", clsAction::kPlaySound, 0);
    QPointer<frmAlarm> w = f.play(a, dt(2025, 3, 29, 12, 0, 0));
    QVERIFY(w);
    QVERIFY(!w->isVisible());
    f.sound.current()->finish();
    f.flush();
    QVERIFY(!w);
}

void TestSound::undecodableFileFallsBackToTheDefaultSound() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    f.p().settings.ds = dir + "/*.ogg";
    const QString fallback = QString::fromStdString(dir + "/c.ogg");
    auto a = f.soundAlarm("Undecodable", dir + "/a.wav");
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    // The media error comes after the start: the default sound through a new
    // output, no beep.
    FakeSoundOutput* first = f.sound.current();
    first->breakDown();
    QCOMPARE(f.sound.played.size(), std::size_t(2));
    QCOMPARE(f.sound.played.back(), fallback);
    QVERIFY(f.sound.current() && f.sound.current() != first);
    QCOMPARE(f.sound.beeps, 0);
    f.sound.current()->finish();
    QVERIFY(f.actions.soundPlayers().empty());
    QCOMPARE(f.sound.beeps, 0);

    // The default sound fails as well: then the beep, and only once per play.
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    f.sound.current()->breakDown();
    f.sound.current()->breakDown();
    QCOMPARE(f.sound.played.size(), std::size_t(4));
    QCOMPARE(f.sound.beeps, 1);
    f.actions.stopAllSounds();

    // The action's own sound is the default one: no second try of it.
    auto b = f.soundAlarm("Default", "");
    f.play(b, dt(2025, 3, 29, 12, 0, 0));
    QCOMPARE(f.sound.played.back(), fallback);
    f.sound.current()->breakDown();
    QCOMPARE(f.sound.played.size(), std::size_t(5));
    QCOMPARE(f.sound.beeps, 2);
}

void TestSound::beepInIntervalModeKeepsTheInterval() {
    AlarmWindowFixture f;
    f.sound.noDevice = true;
    auto a = threeTimesTenSecondsApart(f, "Interval beep", "");
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    frmSound* player = f.actions.soundPlayers().at(0);
    QCOMPARE(f.sound.beeps, 1);
    // The plays keep the action's rhythm, beep or sound.
    QVERIFY(player->timer()->isActive());
    QCOMPARE(player->timer()->interval(), 10000);
    tick(player);
    QCOMPARE(f.sound.beeps, 2);
    QCOMPARE(player->timer()->interval(), 10000);
    tick(player);
    tick(player);
    QCOMPARE(f.sound.beeps, 3);
    QVERIFY(f.actions.soundPlayers().empty());
}

void TestSound::noMixerIsSaidOnceAndHoldsNothingUp() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    f.actions.setMixerOpener([] { return std::unique_ptr<MixerDevice>(); });
    f.p().settings.osvol = true;
    f.p().settings.svol = 80;
    auto a = f.soundAlarm("No mixer", dir + "/a.wav", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 1, 1);
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    for (int i = 0; i < 3; ++i) f.sound.current()->finish();
    auto b = f.soundAlarm("Another", dir + "/b.wav");
    f.play(b, dt(2025, 3, 29, 12, 0, 0));
    // Every play went ahead at the present volume, and no box waited for an answer.
    QCOMPARE(f.sound.played.size(), std::size_t(5));
    QVERIFY(f.ui.boxes.empty());
    QVERIFY(!f.p().modalOpen);
    // Said once: a note that waits for nobody, and the log.
    QVERIFY(f.actions.noMixerNote());
    QVERIFY(f.actions.noMixerNote()->isVisible());
    QVERIFY(f.actions.noMixerNote()->getMessage().startsWith("No mixer found!"));
    const std::string log = readFile(f.p().programFile("quorvane.log"));
    const auto first = log.find("No mixer found!");
    QVERIFY(first != std::string::npos);
    QCOMPARE(log.find("No mixer found!", first + 1), std::string::npos);
    f.actions.stopAllSounds();
}

void TestSound::stopAllSoundsThroughThePortRestoresTheVolume() {
    AlarmWindowFixture f;
    f.p().settings.osvol = true;
    auto a = f.soundAlarm("Forever", makeSounds(f) + "/a.wav", clsAction::kPlaySoundRepeatedly);
    a->actions.elementAt(0)->settings->setInteger("i", 1, 1);
    f.play(a, dt(2025, 3, 29, 12, 0, 0));
    QCOMPARE(f.mixer.wave, std::int64_t(65535));
    static_cast<ActionPerformer&>(f.actions).stopAllSounds();  // what the exit path calls
    QVERIFY(!f.sound.current());
    QCOMPARE(f.mixer.wave, std::int64_t(30000));
    QVERIFY(f.mixer.waveMute);
}

void TestSound::anUnplayableSoundKeepsItsWindowAndIsLogged() {
    AlarmWindowFixture f;
    const std::string dir = makeSounds(f);
    f.p().settings.ds = dir + "/*.ogg";
    const std::string log = f.p().programFile("quorvane.log");
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);

    // Missing, in a window the action wanted hidden: it shows, says why and
    // outlasts the default sound that stands in.
    auto gone = f.soundAlarm("Gone", dir + "/gone.wav", clsAction::kPlaySound, 0);
    QPointer<frmAlarm> w = f.play(gone, due);
    QVERIFY(w && w->isVisible());
    QVERIFY(w->txtAlarmMessage->toPlainText().contains(QStringLiteral("gone.wav")));
    QVERIFY(readFile(log).find("\"Gone\": the sound file \"" + dir + "/gone.wav\" was not found") !=
            std::string::npos);
    f.sound.current()->finish();
    QVERIFY(f.actions.soundPlayers().empty());
    f.flush();
    QVERIFY(w && !w->closing());
    f.wait(2);
    w->cmdOk_Click();
    f.flush();
    QVERIFY(!w);

    // There but undecodable: the same, once the stand-in has ended.
    QVERIFY(writeFile(dir + "/noise.wav", "not a sound"));
    auto noise = f.soundAlarm("Noise", dir + "/noise.wav");
    w = f.play(noise, due);
    f.sound.current()->breakDown();
    f.sound.current()->finish();
    f.flush();
    QVERIFY(w && !w->closing() && w->isVisible());
    QVERIFY(readFile(log).find("\"Noise\": the sound file \"" + dir +
                               "/noise.wav\" cannot be played") != std::string::npos);

    // A sound that plays still takes its window with it.
    auto fine = f.soundAlarm("Fine", dir + "/a.wav");
    QPointer<frmAlarm> v = f.play(fine, due);
    f.sound.current()->finish();
    f.flush();
    QVERIFY(!v);
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
