#pragma once
// A program state with the Qt action performer attached, a fake sound output
// whose end of stream the test triggers, a beep counter and a fake mixer.

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/corefixture.h"
#include "presentation/clsmixer.h"
#include "presentation/frmalarm.h"
#include "presentation/frmsound.h"
#include "presentation/qtactionperformer.h"

namespace qv {
// Dates in Qt Test failures as stored text.
inline char* toString(const DateTime& d) { return qstrdup(toStoredText(d).c_str()); }
}  // namespace qv

namespace qv::test {

inline const char* kAlarmWindowLanguage = R"([Language]
id=en-us
[frmQuorvaneMain]
frmQuorvaneMain=Quorvane
[Strings]
s1=seconds
s2=minutes
s3=hours
s4=days
s5=months
s6=years
s7=weeks
[frmAlarm]
frmAlarm=Alarm
s1=Store the message?
s2=Already snoozing until
s3=Not in the future.
s4=Message: #1
s5=Cannot play #1
s10=due date
s11=now
s21=test
s22=(snooze)
s23=(snoozing)
s101=Delete?
s102=Delete if done?
[frmSound]
s21=test
s22=(snooze)
s23=(snoozing)
[frmMessage]
s1=Note
)";

class FakeSoundOutput : public SoundOutput {
  public:
    explicit FakeSoundOutput(std::vector<QString>& log, bool startOk)
        : log_(log), startOk_(startOk) {}
    bool play(const QString& file) override {
        log_.push_back(file);
        playing = startOk_;
        return startOk_;
    }
    void stop() override { playing = false; }
    // The end of the stream, or a failure after the start.
    void finish() {
        playing = false;
        emit endOfMedia();
    }
    void breakDown() {
        playing = false;
        emit failed();
    }
    bool playing = false;

  private:
    std::vector<QString>& log_;
    bool startOk_;
};

struct SoundFake {
    std::vector<QPointer<FakeSoundOutput>> outputs;
    std::vector<QString> played;  // every file a play was started with
    int beeps = 0;
    bool noDevice = false;
    bool startOk = true;

    void install(QtActionPerformer& performer) {
        performer.sound().makeOutput = [this]() -> std::unique_ptr<SoundOutput> {
            if (noDevice) return nullptr;
            auto out = std::make_unique<FakeSoundOutput>(played, startOk);
            outputs.emplace_back(out.get());
            return out;
        };
        performer.sound().beep = [this] { ++beeps; };
    }
    // The output that plays now (the newest one still alive).
    FakeSoundOutput* current() const {
        for (auto it = outputs.rbegin(); it != outputs.rend(); ++it)
            if (*it && (*it)->playing) return *it;
        return nullptr;
    }
};

// A mixer whose values outlive the device objects the routine opens.
struct MixerValues {
    std::int64_t wave = 30000, waveIn = 10000;
    bool waveMute = true, waveInMute = true;
};

class FakeMixer : public MixerDevice {
  public:
    explicit FakeMixer(MixerValues& v) : v_(v) {}
    static bool known(MixerLine l) { return l == MixerLine::kWave || l == MixerLine::kWaveIn; }
    bool hasVolume(MixerLine l) const override { return known(l); }
    bool hasMute(MixerLine l) const override { return known(l); }
    std::int64_t minVolume(MixerLine) const override { return 0; }
    std::int64_t maxVolume(MixerLine l) const override { return known(l) ? 65535 : 0; }
    std::optional<std::int64_t> volume(MixerLine l) const override {
        if (!known(l)) return std::nullopt;
        return l == MixerLine::kWave ? v_.wave : v_.waveIn;
    }
    bool setVolume(MixerLine l, std::int64_t value) override {
        if (!known(l)) return false;
        (l == MixerLine::kWave ? v_.wave : v_.waveIn) = value;
        return true;
    }
    std::optional<bool> mute(MixerLine l) const override {
        if (!known(l)) return std::nullopt;
        return l == MixerLine::kWave ? v_.waveMute : v_.waveInMute;
    }
    bool setMute(MixerLine l, bool m) override {
        if (!known(l)) return false;
        (l == MixerLine::kWave ? v_.waveMute : v_.waveInMute) = m;
        return true;
    }

  private:
    MixerValues& v_;
};

struct AlarmWindowFixture : CoreFixture {
    QtActionPerformer actions;
    SoundFake sound;
    MixerValues mixer;

    AlarmWindowFixture() {
        EXPECT_TRUE(writeFile(folder.file("AlarmTest.lng"), kAlarmWindowLanguage));
        p().settings.lng = "AlarmTest";
        p().translation.setLanguage("AlarmTest");
        actions.attach(p());
        sound.install(actions);
        actions.setMixerOpener([this] { return std::make_unique<FakeMixer>(mixer); });
    }
    ~AlarmWindowFixture() {
        for (frmAlarm* w : actions.alarmWindows()) w->closeWindow();
        flush();
    }

    // Runs the deferred deletions of closed windows and players.
    static void flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    AlarmGroupPtr group() {
        if (p().alarmGroups.numberOfElements() == 0) addGroup("Group");
        return p().alarmGroups.elementAt(0);
    }
    // A one-off alarm with a show-message action (its text "s").
    AlarmPtr messageAlarm(const std::string& name, const std::string& text = "Get up") {
        auto a = onceAt(dt(2025, 3, 29, 12, 0, 0), name);
        group()->addAlarm(a);
        a->changed = false;
        a->actions.elementAt(0)->settings->setString("s", text);
        return a;
    }
    // A sound alarm of `type` playing `pattern`; "i" 0 = `showWindow`.
    AlarmPtr soundAlarm(const std::string& name, const std::string& pattern,
                        std::int16_t type = clsAction::kPlaySound, int showWindow = 1) {
        auto a = onceAt(dt(2025, 3, 29, 12, 0, 0), name);
        a->actions.removeElementAt(0);
        auto act = clsAction::Create(p().ctx, a, type);
        act->settings->setString("s", pattern);
        act->settings->setInteger("i", static_cast<std::int16_t>(showWindow), 0);
        a->actions.addElement(act);
        group()->addAlarm(a);
        a->changed = false;
        return a;
    }
    const clsAction& actionOf(const AlarmPtr& a) { return *a->actions.elementAt(0); }

    // Opens the window of a message alarm due at `due`, as the supervision does.
    frmAlarm* show(const AlarmPtr& a, DateTime due, bool timed = true,
                   const std::string& message = "") {
        actions.showAlarmWindow(a, actionOf(a), due, timed, message);
        auto w = actions.alarmWindows();
        return w.empty() ? nullptr : w.back();
    }
    // The window it opened; null when it reused one or closed at once.
    frmAlarm* play(const AlarmPtr& a, DateTime due) {
        const auto before = actions.alarmWindows();
        actions.playAlarmSound(a, actionOf(a), due, true, false);
        auto w = actions.alarmWindows();
        if (w.empty() || std::find(before.begin(), before.end(), w.back()) != before.end())
            return nullptr;
        return w.back();
    }
    // Lets time pass on the program's clock.
    void wait(int seconds, int millis = 0) {
        std::int64_t total = clock.millis + millis;
        clock.advance(seconds + total / 1000);
        clock.millis = static_cast<int>(total % 1000);
    }
};

}  // namespace qv::test
