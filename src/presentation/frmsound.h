#pragma once
// The sound player of a sound action: picks the file, plays it through a sound
// output, repeats it by count, forever or as an hour chime (optionally at a
// fixed interval), falls back to the default sound and then to a beep, and
// raises the volume while it plays. It belongs to one alarm window: closing
// either closes the other.

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "base/datetime.h"
#include "base/random.h"
#include "model/alarm.h"
#include "model/clsaction.h"

class QPushButton;

namespace qv {

class Program;
class QtActionPerformer;
class frmAlarm;
class AlarmVolume;

// Plays one file once and says when it has ended or failed. A failure while
// play() runs makes it return false instead of signalling.
class SoundOutput : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    // Starts `file` from its beginning (stopping whatever played); false when
    // it could not be started.
    virtual bool play(const QString& file) = 0;
    virtual void stop() = 0;

  signals:
    void endOfMedia();
    void failed();
};

// QMediaPlayer with its QAudioOutput. Every play has a watchdog: a backend
// that never reports the end of the stream counts as failed.
class QtSoundOutput : public SoundOutput {
    Q_OBJECT
  public:
    // Time allowed to start a stream whose length is not known yet, and the
    // overrun allowed past a known length.
    static constexpr int kStartLimitMs = 20000;
    static constexpr int kOverrunMs = 10000;

    explicit QtSoundOutput(QObject* parent = nullptr);
    ~QtSoundOutput() override;
    bool play(const QString& file) override;
    void stop() override;

    // A new output, or null when the system has no audio output device.
    static std::unique_ptr<SoundOutput> create();

  private:
    void fail();

    QMediaPlayer player_;
    QAudioOutput audio_;
    QTimer watchdog_;
    bool active_ = false;
    bool starting_ = false;
    bool startFailed_ = false;
};

// What the players share; owned by the action performer, replaced by tests.
struct SoundServices {
    // A new output for one player; null when there is no output device.
    std::function<std::unique_ptr<SoundOutput>()> makeOutput;
    std::function<void()> beep;
    // Null: the volume is left alone.
    AlarmVolume* volume = nullptr;
};

class frmSound : public QWidget {
    Q_OBJECT
  public:
    frmSound(Program& program, QtActionPerformer& performer);
    ~frmSound() override;

    // The window that started the player (`parent`); either side
    // clears it before closing the other.
    QPointer<frmAlarm> parentWindow;

    // Sets everything up and starts the first play.
    void setSoundAction(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& action,
                        DateTime dueDate, bool timed, bool volumeSwitch, int volume,
                        const std::string& defaultSound);
    // The output reached the end of the stream, or failed.
    void mediaPlayerDone();
    void mediaPlayerError();
    // The stop button: a response to the alarm, then the player closes.
    void cmdStopSound_Click();
    // Stops the sound, closes the parent window, restores the volume. Safe to
    // call more than once.
    void closePlayer();
    void translate();

    // A file matching `pattern` ("folder/name*.wav", a plain file name), picked
    // with `random`; empty when none matches.
    static std::string pickFile(const std::string& pattern, RandomSource& random);
    // Plays of mode 2 at `now`: the hour of now + 30 minutes on a 12-hour clock.
    static int hourChimeCount(DateTime now);

    int played() const { return played_; }
    int repeatCount() const { return repeatCount_; }
    bool finished() const { return finished_; }
    bool intervalMode() const { return intervalMode_; }
    bool closed() const { return closed_; }
    const std::string& file() const { return file_; }
    const std::string& defaultFile() const { return defaultFile_; }
    QTimer* timer() { return &tmr_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void nextPlay();
    void playOnce();
    // Starts `file` on the output (made when there is none); false when it
    // is missing or does not start.
    bool tryMedia(const std::string& file);
    void beep();
    // The action's own sound cannot be played (`found`: the file is there but
    // does not decode): said in the log and to the window, once per player.
    void ownSoundFailed(const std::string& file, bool found);
    void dropOutput();
    void onTimer();

    Program& p_;
    QtActionPerformer& performer_;
    AlarmPtr alarm_;
    std::shared_ptr<clsAction> action_;
    int played_ = 0;
    int repeatCount_ = 1;
    bool finished_ = false;
    bool intervalMode_ = false;
    std::string file_;
    // `file_` is the action's own (not the default sound taken for it).
    bool ownFile_ = false;
    bool ownSoundFailed_ = false;
    std::string defaultFile_;
    // The file the output plays now; empty between plays.
    std::string playing_;
    std::unique_ptr<SoundOutput> output_;
    bool mediaPlayerUsed_ = false;
    bool volumeSwitch_ = false;
    int volume_ = 100;
    DateTime loadedAt_;
    bool closed_ = false;
    QTimer tmr_;
    QPushButton* cmdStopSound_ = nullptr;
};

}  // namespace qv
