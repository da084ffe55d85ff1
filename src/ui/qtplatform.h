#pragma once
// The Qt side of the core's ports: clock and supervision timer, the desktop
// session, the shell, the single-instance guard, system colours, date names
// and the system's language number; and the system events that make the
// supervision tick at once or run the exit path.

#include <QLocalServer>
#include <QLocale>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

#include "base/colors.h"
#include "base/dateformat.h"
#include "core/coreports.h"

class QSocketNotifier;
class QLocalSocket;

namespace qv {

// Local wall-clock time.
class QtClock : public SupervisionClock {
  public:
    DateTime now() const override;
    double secondsSinceMidnight() const override;
    int utcOffsetSeconds() const override;
};

// The supervision's one-shot timer on Qt's precise timer.
class QtSupervisionTimer : public QObject, public SupervisionTimer {
    Q_OBJECT
  public:
    explicit QtSupervisionTimer(QObject* parent = nullptr);

    void setInterval(int milliseconds) override;
    int interval() const override;
    void start() override;
    void stop() override;
    bool isActive() const override;

    // Called once each time the timer runs out.
    std::function<void()> onTick;

  private:
    QTimer timer_;
};

// Events of the system the program reacts to: the computer woke up, the wall
// clock was set, the process was asked to end (SIGTERM, SIGINT, SIGHUP), the
// desktop session is ending. Only one object should exist at a time: it owns
// the process's handlers of those signals while it lives.
class SystemEvents : public QObject {
    Q_OBJECT
  public:
    // `log` receives the sources that cannot be watched here; may be empty.
    explicit SystemEvents(QObject* parent = nullptr,
                          std::function<void(const std::string&)> log = {});
    ~SystemEvents() override;

    std::function<void(const std::string&)> log;

  signals:
    void resumed();
    void clockChanged();
    void terminateRequested();
    void sessionEnding();

  private slots:
    void onPrepareForSleep(bool sleeping);

  private:
    void setUpSignals();
    void setUpClockWatch();
    bool armClockWatch();
    void setUpLogind();
    void note(const std::string& text) const;

    int clockFd_ = -1;
    QSocketNotifier* clockNotifier_ = nullptr;
    QSocketNotifier* signalNotifier_ = nullptr;
    bool signalsInstalled_ = false;
};

// Session commands over D-Bus, each with the desktops' fallbacks in turn.
class QtSession : public Session {
  public:
    void startScreenSaver() override;
    bool powerOff() override;
    bool reboot() override;
    bool logOff() override;

    // Where failures are written; may be empty.
    std::function<void(const std::string&)> log;
    // How long one D-Bus call may take before the next fallback is tried.
    int callTimeoutMs = 10000;
};

// Opens programs, documents, folders and web addresses.
class QtShell : public Shell {
  public:
    bool open(const std::string& file, const std::string& parameters,
              const std::string& folder) override;
};

// One instance per program folder: a lock file there, and a local server a
// second start knocks at to have the running instance show itself.
class QtSingleInstance : public QObject, public SingleInstance {
    Q_OBJECT
  public:
    explicit QtSingleInstance(const QString& programFolder, QObject* parent = nullptr);
    ~QtSingleInstance() override;

    bool acquire() override;

    // The local server's name for a program folder (the same for every start
    // from that folder by this user).
    static QString serverName(const QString& programFolder);

    std::function<void(const std::string&)> log;

  signals:
    void showRequested();

  private:
    void onNewConnection();
    void note(const std::string& text) const;

    QString folder_;
    QLockFile lock_;
    QLocalServer server_;
};

// The desktop's colours by the classic index, in stored form (red in the low byte).
class QtSystemColors : public SystemColors {
  public:
    std::int32_t sysColor(int index) const override;
};

// Weekday and month names of a locale (the system's by default).
class QtDateNames : public DateNames {
  public:
    explicit QtDateNames(const QLocale& locale = QLocale::system(), bool standalone = false);
    std::string dayName(int weekday, bool abbreviated) const override;
    std::string monthName(int month, bool abbreviated) const override;

  private:
    QLocale locale_;
    bool standalone_;
};

// The Windows language number of a locale as the language files' "msid"
// keeps it (1033 English US, 1031 German, ...); -1 when not known.
int languageIdFromLocale(const QLocale& locale);

}  // namespace qv
