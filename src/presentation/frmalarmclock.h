#pragma once
// The alarm-clock window: an analogue clock that rings (action type 17, or the
// menu), snoozes on a click and stops by itself after the ring time.

#include <QImage>
#include <QWidget>
#include <memory>
#include <utility>
#include <vector>

#include "base/datetime.h"

class QLabel;
class QTimer;
class QMediaPlayer;
class QAudioOutput;

namespace qv {

class Program;

// The looping ring. The real one plays the compiled-in WAV; tests fake it.
class RingSound {
  public:
    virtual ~RingSound() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

// Plays ":/sounds/ring.wav" with QMediaPlayer, starting it again at each end.
class ResourceRingSound : public RingSound {
  public:
    ResourceRingSound();
    ~ResourceRingSound() override;
    void start() override;
    void stop() override;
    bool playing() const { return playing_; }
    // Ends of the sound reached so far (each one restarts it).
    int loops() const { return loops_; }

  private:
    void ensurePlayer();
    std::unique_ptr<QMediaPlayer> player_;
    std::unique_ptr<QAudioOutput> output_;
    bool playing_ = false;
    int loops_ = 0;
};

class frmAlarmClock : public QWidget {
    Q_OBJECT
  public:
    enum State { kIdle = 0, kRinging = 1, kSnoozing = 2 };
    // The drawing's own coordinates: the clock centre and the size of a face.
    static constexpr int kCentreX = 320;
    static constexpr int kCentreY = 256;
    static constexpr int kFaceWidth = 640;
    static constexpr int kFaceHeight = 512;
    static constexpr int kFaceCount = 2;

    explicit frmAlarmClock(Program& p, QWidget* parent = nullptr);
    ~frmAlarmClock() override;

    // Stores the face and shows the window (modeless).
    void showAlarmClock(int face = 0);
    // Rings: shows the window, ring end = now + "acmm" minutes, sound on.
    void soundAlarmClock();
    // Ends ringing (stop-all); nothing unless ringing.
    void stopSounding();
    void translate();

    // A click on the window: a ringing clock snoozes for "acst" minutes.
    void snooze();
    // A click on lblSnoozing: a snoozing clock goes idle.
    void stopSnoozing();
    // A double click: a clock that is not idle snoozes and rings again at once.
    void doubleClicked();
    // tmrTimer's tick.
    void timerTick();

    int state() const { return state_; }
    int face() const { return face_; }
    DateTime ringEnd() const { return ringEnd_; }
    DateTime snoozeEnd() const { return snoozeEnd_; }
    int drawnMinute() const { return drawnMinute_; }
    QLabel* snoozingLabel() const { return lblSnoozing_; }
    QTimer* timer() const { return tmrTimer_; }
    void setRingSound(std::unique_ptr<RingSound> sound);

    // Hour and minute hand angles in radians, clockwise on screen from
    // 3 o'clock (so -pi/2 points at 12).
    static std::pair<double, double> handAngles(int hour, int minute);
    // The artwork: face `index` and the hands (0 hour, 1 minute), each hand
    // pointing upwards with its pivot 17 pixels below its bottom middle.
    static QImage faceImage(int index);
    static QImage handImage(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QSize sizeHint() const override;

  private:
    void bringToFront();

    Program& p_;
    int face_ = 0;
    int state_ = kIdle;
    DateTime snoozeEnd_ = kNever;
    DateTime ringEnd_ = kNever;
    int drawnMinute_ = -1;
    QLabel* lblSnoozing_ = nullptr;
    QTimer* tmrTimer_ = nullptr;
    std::unique_ptr<RingSound> sound_;
    std::vector<QImage> faces_;
    QImage hands_[2];
};

}  // namespace qv
