#include "presentation/qtactionperformer.h"

#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "base/files.h"
#include "core/program.h"
#include "presentation/desktopnotifier.h"
#include "presentation/frmalarm.h"
#include "presentation/frmalarmclock.h"
#include "presentation/frmmessage.h"
#include "presentation/frmreminder.h"
#include "presentation/qtstrings.h"
#include "presentation/speech.h"

namespace qv {

namespace {
// The shipped sound an empty default-sound setting stands for.
constexpr const char* kShippedDefaultSound = "sounds/alarm.wav";
// The note that there is no mixer: its text in the player's section, and the
// message window's title "Information".
constexpr const char* kSoundSection = "frmSound";
constexpr int kNoMixerText = 31;
constexpr int kNoMixerTitle = 2;
// The captions of the notification's actions in the alarm window's section.
constexpr const char* kAlarmSection = "frmAlarm";
constexpr int kNotifySnooze = 31;
constexpr int kNotifyStop = 32;
constexpr int kNotifyShow = 33;
}  // namespace

QtActionPerformer::QtActionPerformer() {
    sound_.makeOutput = [] { return QtSoundOutput::create(); };
    sound_.beep = [] { QApplication::beep(); };
    deleteAlarm = [this](const AlarmPtr& alarm) {
        if (!p_ || !alarm) return;
        if (const auto group = alarm->parentGroup()) group->alarms.remove(alarm);
        p_->control.alarmsChanged({alarm}, change::kDeleted);
    };
}

QtActionPerformer::~QtActionPerformer() {
    // Whatever is still open goes without reporting to a program that may be gone.
    // The notifications go with the windows, quietly.
    notifier_.reset();
    const auto players = std::move(players_);
    const auto windows = std::move(windows_);
    players_.clear();
    windows_.clear();
    for (const auto& s : players)
        if (s) delete s.data();
    for (const auto& w : windows)
        if (w) delete w.data();
    if (clock_) delete clock_.data();
    if (noMixerNote_) delete noMixerNote_.data();
    for (const auto& r : reminders_)
        if (r) delete r.data();
}

void QtActionPerformer::attach(Program& program) {
    p_ = &program;
    setMixerOpener([] { return openAlsaMixer(); });
}

void QtActionPerformer::setMixerOpener(AlarmVolume::Opener open) {
    if (!p_) return;
    volume_ = std::make_unique<AlarmVolume>(std::move(open),
                                            [this](const QString& text) { sayNoMixer(text); });
    sound_.volume = volume_.get();
}

frmMessage* QtActionPerformer::noMixerNote() const { return noMixerNote_; }

void QtActionPerformer::sayNoMixer(const QString& text) {
    // A modal box here would hold the sound (and every other alarm) until it
    // is answered: a note that waits for nobody, and a line in the log.
    p_->writeLog(ss(text));
    std::string note = p_->translation.getText(kSoundSection, kNoMixerText);
    if (note.rfind("String [", 0) == 0) note = ss(text);
    if (noMixerNote_) noMixerNote_->close();
    noMixerNote_ = new frmMessage(*p_);
    noMixerNote_->showMessage(qs(note), kNoMixerTitle);
}

DesktopNotifier& QtActionPerformer::notifier() {
    if (!notifier_) {
        notifier_ = std::make_unique<DesktopNotifier>();
        if (p_) {
            Program* p = p_;
            notifier_->log = [p](const std::string& line) { p->writeLog(line); };
            notifier_->caption = [p](const char* action) {
                const std::string key = action;
                const int number = key == DesktopNotifier::kSnoozeAction ? kNotifySnooze
                                   : key == DesktopNotifier::kStopAction ? kNotifyStop
                                                                         : kNotifyShow;
                const std::string text = p->translation.getText(kAlarmSection, number);
                return text.rfind("String [", 0) == 0 ? QString() : qs(text);
            };
            // Installed, the icon is in the desktop's icon theme; portable, it
            // is a file beside the program.
            const std::string svg = p->folders.shippedFile("icons/quorvane.svg");
            notifier_->icon =
                !p->folders.portable || !fileExists(svg)
                    ? QStringLiteral("quorvane")
                    : QUrl::fromLocalFile(QFileInfo(qs(svg)).absoluteFilePath()).toString();
        }
    }
    return *notifier_;
}

void QtActionPerformer::alarmWindowShown(frmAlarm* w) {
    if (p_ && p_->settings.dntf && !p_->exiting) notifier().notify(w);
}

void QtActionPerformer::alarmWindowClosing(frmAlarm* w) {
    if (notifier_) notifier_->withdraw(w);
}

Speech& QtActionPerformer::speech() {
    // Made on first use: the speech engines are slow to start and often not needed.
    if (!speech_) speech_ = std::make_unique<Speech>(*p_);
    return *speech_;
}

std::string QtActionPerformer::defaultSoundPattern() const {
    if (!p_) return {};
    if (!p_->settings.ds.empty()) return p_->settings.ds;
    return p_->folders.shippedFile(kShippedDefaultSound);
}

std::shared_ptr<clsAction> QtActionPerformer::resolveAction(const AlarmPtr& alarm,
                                                            const clsAction& action) const {
    if (alarm) {
        for (std::int32_t i = 0; i < alarm->actions.numberOfElements(); ++i) {
            auto a = alarm->actions.elementAt(i);
            if (a.get() == &action) return a;
        }
    }
    // Not the alarm's own (a trial run): a copy sharing the settings element.
    auto copy = std::make_shared<clsAction>(action);
    if (!copy->settings) copy->settings = XMLNode::Create("sett");
    return copy;
}

frmAlarm* QtActionPerformer::findWindow(const AlarmPtr& alarm, const clsAction* action) const {
    if (!p_ || !p_->settings.uoaw) return nullptr;
    for (const auto& w : windows_)
        if (w && !w->closing() && w->alrt == alarm && w->action.get() == action) return w;
    return nullptr;
}

frmAlarm* QtActionPerformer::findSounding(const AlarmPtr& alarm, DateTime dueDate, bool timed,
                                          bool soundWindow) const {
    for (const auto& w : windows_) {
        if (!w || !w->showsSounding(alarm, dueDate, timed) || w->isSoundWindow != soundWindow)
            continue;
        // A message window whose player already sounds for this sounding (a
        // second sound action of the alarm) keeps it; the new sound gets its own.
        if (!soundWindow && w->soundWindow && w->soundDueDate == dueDate) continue;
        return w;
    }
    return nullptr;
}

void QtActionPerformer::showAlarmWindow(const AlarmPtr& alarm, const clsAction& action,
                                        DateTime dueDate, bool timed, const std::string& message) {
    if (!p_ || !alarm) return;
    const auto act = resolveAction(alarm, action);
    if (frmAlarm* w = findWindow(alarm, act.get())) {
        w->showAlarm(alarm, act, dueDate, timed, message);
        return;
    }
    // The sound of this sounding came first: its window shows the message too.
    if (frmAlarm* w = findSounding(alarm, dueDate, timed, true)) {
        w->addMessage(act, message);
        w->showWindow();
        return;
    }
    auto* w = new frmAlarm(*p_, *this);
    w->showAlarm(alarm, act, dueDate, timed, message);
    w->showWindow();
}

void QtActionPerformer::playAlarmSound(const AlarmPtr& alarm, const clsAction& action,
                                       DateTime dueDate, bool timed, bool useOwnOptions) {
    if (!p_ || !alarm) return;
    const auto act = resolveAction(alarm, action);
    const SettingsValues& s = p_->settings;
    // The port brings no options of its own: the settings apply either way.
    (void)useOwnOptions;
    if (frmAlarm* w = findWindow(alarm, act.get())) {
        w->playSound(alarm, act, dueDate, timed, false, s.osvol, s.svol, s.ds);
        return;
    }
    // The message of this sounding is shown already: its window plays the sound.
    if (frmAlarm* w = findSounding(alarm, dueDate, timed, false)) {
        w->addSound(act, false, s.osvol, s.svol, s.ds);
        return;
    }
    QPointer<frmAlarm> w = new frmAlarm(*p_, *this);
    w->playSound(alarm, act, dueDate, timed, false, s.osvol, s.svol, s.ds);
    // A player that is done at once has closed the window already.
    if (w && !w->closing() && act->settings->getInteger("i", 0, 1) == 1) w->showWindow();
}

void QtActionPerformer::speak(const std::string& text) {
    if (p_) speech().speakText(qs(text));
}

void QtActionPerformer::tellTime(const std::string& command) {
    if (p_) speech().tellTime(qs(command));
}

void QtActionPerformer::soundAlarmClock() {
    if (frmAlarmClock* c = alarmClock(true)) c->soundAlarmClock();
}

void QtActionPerformer::showReminder(const AlarmPtr& alarm, DateTime alarmMoment,
                                     DateTime reminderMoment) {
    (void)reminderMoment;
    if (!p_ || !alarm || p_->exiting) return;
    if (p_->settings.rmwn == 1 && notifyByTray &&
        notifyByTray(frmReminder::headline(*p_, *alarm),
                     frmReminder::whenText(*p_, alarmMoment, p_->now())))
        return;
    std::erase_if(reminders_, [](const QPointer<frmReminder>& r) { return !r; });
    frmReminder* w = nullptr;
    for (const auto& r : reminders_)
        if (r->alarm == alarm) w = r;
    if (!w) {
        w = new frmReminder(*p_);
        reminders_.emplace_back(w);
    }
    w->showReminder(alarm, alarmMoment);
}

std::vector<frmReminder*> QtActionPerformer::reminderWindows() const {
    std::vector<frmReminder*> out;
    for (const auto& r : reminders_)
        if (r && r->isVisible()) out.push_back(r);
    return out;
}

std::vector<std::pair<AlarmPtr, DateTime>> QtActionPerformer::openSoundings() const {
    std::vector<std::pair<AlarmPtr, DateTime>> out;
    for (const auto& w : windows_)
        if (w && !w->closing() && w->timed && w->alrt) out.emplace_back(w->alrt, w->dueDate);
    return out;
}

void QtActionPerformer::releaseFinishedSpeech() {
    if (speech_) speech_->releaseFinishedSpeech();
}

frmAlarmClock* QtActionPerformer::alarmClock(bool create) {
    if (!clock_ && create && p_) clock_ = new frmAlarmClock(*p_);
    return clock_;
}

void QtActionPerformer::stopAllSounds() {
    // Last to first; each player closes its window, which may drop others.
    while (true) {
        const auto players = soundPlayers();
        if (players.empty()) break;
        players.back()->closePlayer();
    }
    if (clock_) clock_->stopSounding();
    if (speech_) speech_->stopAll();
}

std::vector<frmAlarm*> QtActionPerformer::alarmWindows() const {
    std::vector<frmAlarm*> out;
    for (const auto& w : windows_)
        if (w) out.push_back(w);
    return out;
}

std::vector<frmSound*> QtActionPerformer::soundPlayers() const {
    std::vector<frmSound*> out;
    for (const auto& s : players_)
        if (s && !s->closed()) out.push_back(s);
    return out;
}

void QtActionPerformer::addWindow(frmAlarm* w) { windows_.emplace_back(w); }

void QtActionPerformer::removeWindow(frmAlarm* w) {
    windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                  [w](const QPointer<frmAlarm>& p) { return !p || p == w; }),
                   windows_.end());
}

void QtActionPerformer::addPlayer(frmSound* s) { players_.emplace_back(s); }

void QtActionPerformer::removePlayer(frmSound* s) {
    players_.erase(std::remove_if(players_.begin(), players_.end(),
                                  [s](const QPointer<frmSound>& p) { return !p || p == s; }),
                   players_.end());
}

}  // namespace qv
