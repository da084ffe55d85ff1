#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cstdint>
#include <ctime>
#include <limits>

#include "ui/qtplatform.h"

namespace qv {

namespace {

// The signals that ask the process to end, and the handlers they had before.
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previousActions[std::size(kEndSignals)];

// Written by the signal handler, read by the event loop. Only the handler's
// write end is touched from signal context.
int signalFds[2] = {-1, -1};

extern "C" void onEndSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up: losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(signalFds[0], &byte, 1);
    errno = savedErrno;
}

}  // namespace

SystemEvents::SystemEvents(QObject* parent, std::function<void(const std::string&)> logTo)
    : QObject(parent), log(std::move(logTo)) {
    setUpSignals();
    setUpClockWatch();
    setUpLogind();
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { emit sessionEnding(); });
    }
}

SystemEvents::~SystemEvents() {
    if (signalsInstalled_) {
        for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
            ::sigaction(kEndSignals[i], &previousActions[i], nullptr);
        }
        delete signalNotifier_;
        ::close(signalFds[0]);
        ::close(signalFds[1]);
        signalFds[0] = signalFds[1] = -1;
    }
    delete clockNotifier_;
    if (clockFd_ >= 0) ::close(clockFd_);
}

void SystemEvents::note(const std::string& text) const {
    if (log) log(text);
}

void SystemEvents::setUpSignals() {
    if (signalFds[0] >= 0) {
        note("SystemEvents: the end signals are already watched by another object");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalFds) != 0) {
        signalFds[0] = signalFds[1] = -1;
        note("SystemEvents: no socket pair for the end signals");
        return;
    }
    signalNotifier_ = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[64];
        bool any = false;
        while (::read(signalFds[1], buffer, sizeof buffer) > 0) any = true;
        if (any) emit terminateRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
        ::sigaction(kEndSignals[i], &action, &previousActions[i]);
    }
    signalsInstalled_ = true;
}

void SystemEvents::setUpClockWatch() {
    clockFd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (clockFd_ < 0) {
        note("SystemEvents: no timerfd to watch the wall clock");
        return;
    }
    if (!armClockWatch()) {
        note("SystemEvents: the wall-clock watch cannot be armed");
        ::close(clockFd_);
        clockFd_ = -1;
        return;
    }
    clockNotifier_ = new QSocketNotifier(clockFd_, QSocketNotifier::Read, this);
    connect(clockNotifier_, &QSocketNotifier::activated, this, [this] {
        std::uint64_t expirations = 0;
        const ssize_t n = ::read(clockFd_, &expirations, sizeof expirations);
        const bool changed = n < 0 && errno == ECANCELED;
        // A cancelled watch stays readable until armed again.
        if (n >= 0 || changed) armClockWatch();
        if (changed) emit clockChanged();
    });
}

// A timer at the end of time that the kernel cancels whenever the wall clock is set.
bool SystemEvents::armClockWatch() {
    itimerspec spec = {};
    spec.it_value.tv_sec = std::numeric_limits<time_t>::max();
    return ::timerfd_settime(clockFd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec,
                             nullptr) == 0;
}

void SystemEvents::setUpLogind() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        note("SystemEvents: no system bus; waking up is noticed at the next tick");
        return;
    }
    // Works whether or not logind runs now: the match follows the name's owner.
    if (!bus.connect(QStringLiteral("org.freedesktop.login1"),
                     QStringLiteral("/org/freedesktop/login1"),
                     QStringLiteral("org.freedesktop.login1.Manager"),
                     QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)))) {
        note("SystemEvents: cannot listen to logind");
    }
}

void SystemEvents::onPrepareForSleep(bool sleeping) {
    if (!sleeping) emit resumed();
}

}  // namespace qv
