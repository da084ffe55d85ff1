#include "presentation/frmsound.h"

#include <QAudioDevice>
#include <QCloseEvent>
#include <QMediaDevices>
#include <QPushButton>
#include <QUrl>

#include "base/dateformat.h"
#include "base/files.h"
#include "base/folders.h"
#include "core/program.h"
#include "presentation/clsmixer.h"
#include "presentation/frmalarm.h"
#include "presentation/qtactionperformer.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {

namespace {
constexpr const char* kSection = "frmSound";
constexpr int kDefaultIntervalMs = 1000;
constexpr int kBeepIntervalMs = 1000;
}  // namespace

// ---------------------------------------------------------------------------
// QtSoundOutput

QtSoundOutput::QtSoundOutput(QObject* parent) : SoundOutput(parent) {
    player_.setAudioOutput(&audio_);
    watchdog_.setSingleShot(true);
    // Errors may arrive inside setSource()/play(): connected before anything plays.
    connect(&player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error error, const QString&) {
                if (error != QMediaPlayer::NoError) fail();
            });
    connect(&player_, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::InvalidMedia) {
                    fail();
                } else if (status == QMediaPlayer::EndOfMedia && active_) {
                    active_ = false;
                    watchdog_.stop();
                    emit endOfMedia();
                }
            });
    // Once the length is known the watchdog allows that much and a margin.
    connect(&player_, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        if (active_ && ms > 0)
            watchdog_.start(static_cast<int>(std::min<qint64>(ms, 24LL * 3600 * 1000)) +
                            kOverrunMs);
    });
    connect(&watchdog_, &QTimer::timeout, this, [this] {
        if (!active_) return;
        player_.stop();
        fail();
    });
}

QtSoundOutput::~QtSoundOutput() {
    active_ = false;
    player_.stop();
}

void QtSoundOutput::fail() {
    if (starting_) {
        startFailed_ = true;
        return;
    }
    if (!active_) return;
    active_ = false;
    watchdog_.stop();
    emit failed();
}

bool QtSoundOutput::play(const QString& file) {
    active_ = false;
    watchdog_.stop();
    player_.stop();
    starting_ = true;
    startFailed_ = false;
    // A source equal to the current one would be ignored: clear it first so
    // every play starts from the beginning.
    player_.setSource(QUrl());
    player_.setSource(QUrl::fromLocalFile(file));
    if (!startFailed_) player_.play();
    starting_ = false;
    if (startFailed_) {
        player_.stop();
        return false;
    }
    active_ = true;
    watchdog_.start(kStartLimitMs);
    return true;
}

void QtSoundOutput::stop() {
    active_ = false;
    watchdog_.stop();
    player_.stop();
}

std::unique_ptr<SoundOutput> QtSoundOutput::create() {
    if (QMediaDevices::audioOutputs().isEmpty()) return nullptr;
    return std::make_unique<QtSoundOutput>();
}

// ---------------------------------------------------------------------------
// frmSound

frmSound::frmSound(Program& program, QtActionPerformer& performer)
    : p_(program), performer_(performer) {
    setObjectName("frmSound");
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing it must not end a program whose main window sits hidden in the tray.
    setAttribute(Qt::WA_QuitOnClose, false);
    cmdStopSound_ = new QPushButton(this);
    cmdStopSound_->setObjectName("cmdStopSound");
    cmdStopSound_->setText("Stop");
    connect(cmdStopSound_, &QPushButton::clicked, this, [this] { cmdStopSound_Click(); });
    connect(&tmr_, &QTimer::timeout, this, [this] { onTimer(); });
    loadedAt_ = p_.now();
    translate();
}

frmSound::~frmSound() {
    tmr_.stop();
    if (output_) output_->stop();
}

void frmSound::translate() { translateForm(this, p_.translation); }

std::string frmSound::pickFile(const std::string& pattern, RandomSource& random) {
    if (pattern.empty()) return {};
    const std::vector<std::string> files = listMatchingFiles(pattern);
    if (files.empty()) return {};
    return files[static_cast<std::size_t>(random.below(static_cast<int>(files.size())))];
}

int frmSound::hourChimeCount(DateTime now) {
    const int h = addToDate(now, 30, kMinutes).hour() % 12;
    return h == 0 ? 12 : h;
}

void frmSound::setSoundAction(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& action,
                              DateTime dueDate, bool timed, bool volumeSwitch, int volume,
                              const std::string& defaultSound) {
    alarm_ = alarm;
    action_ = action;
    volumeSwitch_ = volumeSwitch;
    volume_ = volume;
    const XMLNode& s = *action->settings;

    defaultFile_ = pickFile(defaultSound, p_.random);
    const std::string pattern = s.getString("s", 0, "");
    file_ = pickFile(pattern, p_.random);
    ownFile_ = !file_.empty();
    if (file_.empty()) {
        file_ = defaultFile_;
        // No file chosen means the default sound; a chosen one that is gone must be told.
        if (!pattern.empty()) ownSoundFailed(pattern, false);
    }

    repeatCount_ = 1;
    if (action->action == clsAction::kPlaySoundRepeatedly) {
        switch (s.getInteger("i", 1, 0)) {
            case 1:
                repeatCount_ = -1;
                break;
            case 2:
                repeatCount_ = hourChimeCount(p_.now());
                break;
            default:
                repeatCount_ = s.getInteger("i", 2, 1);
                break;
        }
        if (s.getInteger("i", 3, 0) == 1) {
            intervalMode_ = true;
            int ms = s.getLong("l", 0, kDefaultIntervalMs);
            // A stored interval of zero or less would start plays back to back
            // without end; take the default instead.
            if (ms <= 0) ms = kDefaultIntervalMs;
            tmr_.setInterval(ms);
            tmr_.start();
        }
    }

    QString title = qs(alarm->name) + " ";
    title += timed ? qs(formatDate(dueDate, p_.settings.df.ot, p_.ports.dateNames))
                   : qs(p_.translation.getText(kSection, 21));
    if (alarm->snoozing)
        title += " " + qs(p_.translation.getText(kSection,
                                                 dueDate == alarm->nextSnoozeAlarmDate ? 22 : 23));
    setWindowTitle(title);

    nextPlay();
}

void frmSound::nextPlay() {
    if (closed_) return;
    if (repeatCount_ != -1) {
        ++played_;
        if (played_ > repeatCount_) {
            finished_ = true;
            closePlayer();
            return;
        }
    }
    playOnce();
}

bool frmSound::tryMedia(const std::string& file) {
    if (file.empty() || !fileExists(file)) return false;
    if (!output_) {
        if (performer_.sound().makeOutput) output_ = performer_.sound().makeOutput();
        if (!output_) return false;  // no output device
        connect(output_.get(), &SoundOutput::endOfMedia, this, [this] { mediaPlayerDone(); });
        connect(output_.get(), &SoundOutput::failed, this, [this] { mediaPlayerError(); });
    }
    mediaPlayerUsed_ = true;
    if (output_->play(qs(file))) {
        playing_ = file;
        return true;
    }
    if (ownFile_ && file == file_) ownSoundFailed(file, true);
    // An output that has failed is not trusted with the next file.
    dropOutput();
    return false;
}

void frmSound::playOnce() {
    if (closed_) return;
    if (volumeSwitch_ && performer_.sound().volume) performer_.sound().volume->set(volume_);
    playing_.clear();
    if (tryMedia(file_) || tryMedia(defaultFile_)) return;
    beep();
}

void frmSound::beep() {
    if (performer_.sound().beep) performer_.sound().beep();
    // Without a player that works there is only the beep; the timer brings the
    // next play a second later. In interval mode the timer already brings it,
    // at the action's own interval.
    if (intervalMode_) return;
    tmr_.setInterval(kBeepIntervalMs);
    tmr_.start();
}

void frmSound::dropOutput() {
    if (!output_) return;
    output_->stop();
    output_->disconnect(this);
    // The output may be the sender of the signal being handled.
    output_.release()->deleteLater();
}

void frmSound::onTimer() {
    // Outside interval mode the timer only spaces the beeps.
    if (!intervalMode_) tmr_.stop();
    nextPlay();
}

void frmSound::mediaPlayerDone() {
    playing_.clear();
    dropOutput();
    if (!intervalMode_) nextPlay();
}

void frmSound::mediaPlayerError() {
    if (closed_) return;
    const std::string failed = playing_;
    playing_.clear();
    dropOutput();
    if (ownFile_ && !failed.empty() && failed == file_) ownSoundFailed(failed, true);
    // A file that cannot be decoded: the default sound once, through a fresh
    // output (a pipeline that failed may stay broken), and only then the beep,
    // which many desktops never sound.
    if (!failed.empty() && failed != defaultFile_ && tryMedia(defaultFile_)) return;
    beep();
}

void frmSound::ownSoundFailed(const std::string& file, bool found) {
    if (ownSoundFailed_) return;
    ownSoundFailed_ = true;
    p_.writeLog("Alarm \"" + (alarm_ ? alarm_->name : std::string()) + "\": the sound file \"" +
                file + "\" " + (found ? "cannot be played" : "was not found") +
                "; the default sound plays instead");
    if (frmAlarm* w = parentWindow) w->ownSoundFailed(file);
}

void frmSound::cmdStopSound_Click() {
    // A response to the alarm: the supervision keeps no re-alarm, so closing is all.
    closePlayer();
}

void frmSound::closePlayer() {
    if (closed_) return;
    closed_ = true;
    tmr_.stop();
    performer_.removePlayer(this);
    if (frmAlarm* w = parentWindow) {
        parentWindow = nullptr;
        w->soundWindow = nullptr;
        // A window that shows a message as well stays until it is answered;
        // so does one whose own sound could not be played, once the stand-in
        // has ended (which is easily missed, or never heard where beeps are silent).
        if (w->isSoundWindow && !(finished_ && w->keepsAfterSound())) {
            // The sound ran out with nobody there: the alarm is kept as missed.
            if (finished_ && w->timed && w->alrt && !p_.exiting) p_.missed.add(w->alrt, w->dueDate);
            w->closeWindow();
        }
    }
    dropOutput();
    if (performer_.sound().volume) performer_.sound().volume->restore();
    close();
}

void frmSound::closeEvent(QCloseEvent* event) {
    closePlayer();
    event->accept();
}

}  // namespace qv
