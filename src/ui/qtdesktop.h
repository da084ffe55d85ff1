#pragma once
// What today's Linux desktops need beyond the classic program: the folder
// watcher of a shared alarm folder, the wake timer that brings the computer
// out of sleep for an alarm, and logind's sleep inhibitor that gives the
// supervision a moment to record its state before the computer sleeps.

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "core/coreports.h"

class QSocketNotifier;

namespace qv {

// Watches a folder and its group files; calls back once for a burst of changes.
class QtFolderWatcher : public QObject, public FolderWatcher {
    Q_OBJECT
  public:
    // The quiet moment that ends a burst (a synchronisation service writes a
    // file, renames it, sets its times...).
    static constexpr int kSettleMs = 500;
    // How often it looks again while a modal dialog is open.
    static constexpr int kModalWaitMs = 1000;

    explicit QtFolderWatcher(QObject* parent = nullptr);

    void watch(const std::string& folder) override;
    void recheckIn(int milliseconds) override;

  private:
    void somethingChanged();
    void fire();
    // Files replaced by a rename are new files to the watcher: watched again.
    void watchFiles();

    QFileSystemWatcher watcher_;
    QString folder_;
    QTimer settle_;
    QTimer recheck_;
};

// Tells when a notification area may have come up, from the events that
// announce one, so nobody has to look again and again: a StatusNotifier
// watcher or host registering on the session bus, or an X11 tray manager
// taking its selection (the MANAGER message on the root window).
class TrayAppearanceWatcher : public QObject {
    Q_OBJECT
  public:
    explicit TrayAppearanceWatcher(QObject* parent = nullptr);
    ~TrayAppearanceWatcher() override;

  signals:
    void mayHaveAppeared();

  private slots:
    void announced();

  private:
    class X11Filter;
    X11Filter* x11_ = nullptr;
};

// CLOCK_REALTIME_ALARM through timerfd: needs the capability CAP_WAKE_ALARM.
class LinuxWakeTimer : public WakeTimer {
  public:
    LinuxWakeTimer();
    ~LinuxWakeTimer() override;
    LinuxWakeTimer(const LinuxWakeTimer&) = delete;
    LinuxWakeTimer& operator=(const LinuxWakeTimer&) = delete;

    std::string unavailableReason() const override { return reason_; }
    bool arm(DateTime moment) override;
    void disarm() override;

    // Whether this process holds CAP_WAKE_ALARM in its effective set.
    static bool hasWakeCapability();
    // Whether a wake timer can be made here, and if not, why.
    enum class Availability { kAvailable, kNoCapability, kNotSupported };
    static Availability availability();
    // Whether a real-time clock with a wake-up alarm is there.
    static bool hasWakeClock();

  private:
    int fd_ = -1;
    std::string reason_;
    QSocketNotifier* notifier_ = nullptr;
};

// A logind "delay" inhibitor: the computer goes to sleep only once `beforeSleep`
// has run (or logind's delay ran out). Taken again after waking up.
class SleepInhibitor : public QObject {
    Q_OBJECT
  public:
    explicit SleepInhibitor(QObject* parent = nullptr);
    ~SleepInhibitor() override;

    // Takes the inhibitor (and listens for sleep); false when logind is not there.
    bool take();
    void release();
    bool held() const { return fd_ >= 0; }

    std::function<void()> beforeSleep;
    std::function<void(const std::string&)> log;

  private slots:
    void onPrepareForSleep(bool sleeping);

  private:
    int fd_ = -1;
    bool listening_ = false;
};

}  // namespace qv
