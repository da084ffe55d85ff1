#pragma once
// The action performer of the desktop program: alarm windows and their sound
// players, speech, time telling and the alarm-clock window. Made before the
// program state and attached to it afterwards; calls before attach() do nothing.

#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/alarm.h"
#include "model/clsaction.h"
#include "model/ports.h"
#include "presentation/clsmixer.h"
#include "presentation/frmsound.h"

namespace qv {

class DesktopNotifier;
class Program;
class Speech;
class frmAlarm;
class frmAlarmClock;
class frmMessage;
class frmReminder;

class QtActionPerformer : public ActionPerformer {
  public:
    // At most this many sound players at once; the oldest goes for a new one.
    static constexpr int kMaxSoundPlayers = 3;

    QtActionPerformer();
    ~QtActionPerformer() override;
    QtActionPerformer(const QtActionPerformer&) = delete;
    QtActionPerformer& operator=(const QtActionPerformer&) = delete;

    void attach(Program& program);

    void showAlarmWindow(const AlarmPtr& alarm, const clsAction& action, DateTime dueDate,
                         bool timed, const std::string& message) override;
    void playAlarmSound(const AlarmPtr& alarm, const clsAction& action, DateTime dueDate,
                        bool timed, bool useOwnOptions) override;
    void speak(const std::string& text) override;
    void tellTime(const std::string& command) override;
    void soundAlarmClock() override;
    void releaseFinishedSpeech() override;
    // A reminder window for `alarm` (one per alarm), or with the setting
    // "rmwn" a message of the notification-area icon.
    void showReminder(const AlarmPtr& alarm, DateTime alarmMoment,
                      DateTime reminderMoment) override;
    std::vector<std::pair<AlarmPtr, DateTime>> openSoundings() const override;
    // The open reminder windows, oldest first.
    std::vector<frmReminder*> reminderWindows() const;
    // Shows a message at the notification-area icon; false where there is
    // none. Set by the windows layer.
    std::function<bool(const QString& title, const QString& text)> notifyByTray;

    // Closes every sound player (and with it its window), stops the alarm
    // clock's ringing and silences speech.
    void stopAllSounds() override;
    // The alarm-clock window; made on first use when `create` is set.
    frmAlarmClock* alarmClock(bool create);
    Speech& speech();

    // The players' output, beep and volume. Tests replace the parts.
    SoundServices& sound() { return sound_; }
    // A new alarm volume routine over `open` (the ALSA mixer by default).
    void setMixerOpener(AlarmVolume::Opener open);
    // The default sound pattern: the setting, or the shipped alarm sound when
    // the setting is empty.
    std::string defaultSoundPattern() const;

    // The main window's common alarm deletion and the alarm properties dialog;
    // set by the windows layer. Until then deletion takes the alarm out of its
    // group and reports it.
    std::function<void(const AlarmPtr&)> deleteAlarm;
    std::function<void(const AlarmPtr&)> showAlarmProperties;

    // Open alarm windows and sound players, oldest first.
    std::vector<frmAlarm*> alarmWindows() const;
    std::vector<frmSound*> soundPlayers() const;
    // The desktop notifications of the alarm windows; made on first use.
    DesktopNotifier& notifier();
    // An alarm window was shown (or shown again) / is closing: its desktop
    // notification follows, when the setting asks for one.
    void alarmWindowShown(frmAlarm* w);
    void alarmWindowClosing(frmAlarm* w);

    // Used by the windows themselves.
    void addWindow(frmAlarm* w);
    void removeWindow(frmAlarm* w);
    void addPlayer(frmSound* s);
    void removePlayer(frmSound* s);
    // Where the last alarm window was left; null point until one was.
    QPoint alarmWindowPosition;
    bool hasAlarmWindowPosition = false;

    Program* program() const { return p_; }
    // The note that no mixer was found, while it is open.
    frmMessage* noMixerNote() const;

  private:
    // The action object the alarm owns (kept alive while a window uses it),
    // or a copy when the alarm does not own it.
    std::shared_ptr<clsAction> resolveAction(const AlarmPtr& alarm, const clsAction& action) const;
    frmAlarm* findWindow(const AlarmPtr& alarm, const clsAction* action) const;
    void sayNoMixer(const QString& text);
    // The open window of `alarm` sounding for `dueDate`: a sound window without
    // a message, or a message window without this sounding's sound.
    frmAlarm* findSounding(const AlarmPtr& alarm, DateTime dueDate, bool timed,
                           bool soundWindow) const;

    Program* p_ = nullptr;
    SoundServices sound_;
    std::unique_ptr<AlarmVolume> volume_;
    std::unique_ptr<Speech> speech_;
    std::unique_ptr<DesktopNotifier> notifier_;
    QPointer<frmAlarmClock> clock_;
    QPointer<frmMessage> noMixerNote_;
    std::vector<QPointer<frmAlarm>> windows_;
    std::vector<QPointer<frmSound>> players_;
    std::vector<QPointer<frmReminder>> reminders_;
};

}  // namespace qv
