#include "ui/qtdesktop.h"

#include <errno.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <cstring>

#include "presentation/qtstrings.h"

namespace qv {

// ---- Folder watcher ---------------------------------------------------------------------

QtFolderWatcher::QtFolderWatcher(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    recheck_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &QtFolderWatcher::fire);
    connect(&recheck_, &QTimer::timeout, this, &QtFolderWatcher::fire);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
            &QtFolderWatcher::somethingChanged);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &QtFolderWatcher::somethingChanged);
}

void QtFolderWatcher::watch(const std::string& folder) {
    const QStringList old = watcher_.files() + watcher_.directories();
    if (!old.isEmpty()) watcher_.removePaths(old);
    settle_.stop();
    recheck_.stop();
    folder_ = qs(folder);
    if (folder_.isEmpty()) return;
    watcher_.addPath(folder_);
    watchFiles();
}

void QtFolderWatcher::watchFiles() {
    if (folder_.isEmpty()) return;
    // The folder itself reports files added, removed and renamed; a file
    // written in place is only reported by a watch on the file.
    const QStringList names =
        QDir(folder_).entryList({QStringLiteral("usg_*.agx")}, QDir::Files | QDir::Hidden);
    QStringList missing;
    const QStringList watched = watcher_.files();
    for (const QString& name : names) {
        const QString path = QDir(folder_).filePath(name);
        if (!watched.contains(path)) missing << path;
    }
    if (!missing.isEmpty()) watcher_.addPaths(missing);
}

void QtFolderWatcher::somethingChanged() {
    if (folder_.isEmpty()) return;
    settle_.start();
}

void QtFolderWatcher::recheckIn(int milliseconds) {
    if (folder_.isEmpty()) return;
    recheck_.start(milliseconds);
}

void QtFolderWatcher::fire() {
    if (folder_.isEmpty()) return;
    watchFiles();
    // A dialog may be editing an alarm of the very group that changed: the
    // group is replaced once it is closed, not under it.
    if (QApplication::activeModalWidget()) {
        recheck_.start(kModalWaitMs);
        return;
    }
    if (changed) changed();
}

// ---- Notification area coming up -------------------------------------------------------

// The X11 way: a tray manager that takes the selection _NET_SYSTEM_TRAY_S<n>
// sends MANAGER to the root window (to clients listening for structure changes).
class TrayAppearanceWatcher::X11Filter : public QAbstractNativeEventFilter {
  public:
    X11Filter(TrayAppearanceWatcher* owner, xcb_connection_t* c) : owner_(owner) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
        if (!screen) return;
        manager_ = atom(c, "MANAGER");
        // The default screen's tray; Qt uses screen 0 of the display it opened.
        tray_ = atom(c, "_NET_SYSTEM_TRAY_S0");
        // Added to what this client already listens for on the root window.
        const xcb_window_t root = screen->root;
        xcb_get_window_attributes_reply_t* attrs =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr);
        const std::uint32_t mask =
            (attrs ? attrs->your_event_mask : 0) | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        std::free(attrs);
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (manager_ == XCB_NONE || type != "xcb_generic_event_t") return false;
        const auto* e = static_cast<const xcb_generic_event_t*>(message);
        if ((e->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto* cm = reinterpret_cast<const xcb_client_message_event_t*>(e);
        if (cm->type == manager_ && cm->format == 32 && cm->data.data32[1] == tray_)
            QMetaObject::invokeMethod(owner_, "announced", Qt::QueuedConnection);
        return false;
    }

  private:
    static xcb_atom_t atom(xcb_connection_t* c, const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : XCB_NONE;
        std::free(r);
        return a;
    }
    TrayAppearanceWatcher* owner_;
    xcb_atom_t manager_ = XCB_NONE;
    xcb_atom_t tray_ = XCB_NONE;
};

TrayAppearanceWatcher::TrayAppearanceWatcher(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // The StatusNotifier way (KDE, GNOME's extension, XFCE, Wayland panels).
        auto* services =
            new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                    QDBusServiceWatcher::WatchForRegistration, this);
        connect(services, &QDBusServiceWatcher::serviceRegistered, this,
                &TrayAppearanceWatcher::announced);
        bus.connect(QString(), QStringLiteral("/StatusNotifierWatcher"),
                    QStringLiteral("org.kde.StatusNotifierWatcher"),
                    QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(announced()));
    }
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* c = x11->connection()) {
            x11_ = new X11Filter(this, c);
            qGuiApp->installNativeEventFilter(x11_);
        }
    }
}

TrayAppearanceWatcher::~TrayAppearanceWatcher() {
    if (x11_ && qGuiApp) qGuiApp->removeNativeEventFilter(x11_);
    delete x11_;
}

void TrayAppearanceWatcher::announced() {
    // Qt learns of the new tray from the same event: asked once it has, and
    // once more a moment later for a panel still setting itself up.
    QTimer::singleShot(0, this, &TrayAppearanceWatcher::mayHaveAppeared);
    QTimer::singleShot(1000, this, &TrayAppearanceWatcher::mayHaveAppeared);
}

// ---- Wake timer ------------------------------------------------------------------------

namespace {

// How the wall clock's local time maps to the seconds since the epoch, today.
std::int64_t epochSeconds(DateTime moment) { return toQDateTime(moment).toSecsSinceEpoch(); }

}  // namespace

LinuxWakeTimer::LinuxWakeTimer() {
    fd_ = ::timerfd_create(CLOCK_REALTIME_ALARM, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        reason_ = error == EPERM
                      ? "the program does not hold the capability CAP_WAKE_ALARM"
                      : std::string("the system offers no wake-up alarm: ") + std::strerror(error);
        return;
    }
    if (!hasWakeClock()) reason_ = "no real-time clock here can wake the computer";
    // Once it ran out it stays readable until read: read it, nothing more (the
    // supervision looks at the time itself when the computer wakes up).
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, [fd = fd_] {
        std::uint64_t expirations = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd, &expirations, sizeof expirations);
    });
}

LinuxWakeTimer::~LinuxWakeTimer() {
    delete notifier_;
    if (fd_ >= 0) ::close(fd_);
}

bool LinuxWakeTimer::arm(DateTime moment) {
    if (fd_ < 0) return false;
    itimerspec spec = {};
    spec.it_value.tv_sec = static_cast<time_t>(epochSeconds(moment));
    // Zero would disarm it: a moment before 1970 is a moment long gone.
    if (spec.it_value.tv_sec <= 0) spec.it_value.tv_sec = 1;
    return ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr) == 0;
}

void LinuxWakeTimer::disarm() {
    if (fd_ < 0) return;
    const itimerspec off = {};
    ::timerfd_settime(fd_, 0, &off, nullptr);
}

bool LinuxWakeTimer::hasWakeClock() {
    // The kernel wakes the computer through a real-time clock that has an alarm.
    const QDir rtc(QStringLiteral("/sys/class/rtc"));
    for (const QString& name : rtc.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFileInfo::exists(rtc.filePath(name + QStringLiteral("/wakealarm")))) return true;
    return false;
}

LinuxWakeTimer::Availability LinuxWakeTimer::availability() {
    const int fd = ::timerfd_create(CLOCK_REALTIME_ALARM, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return errno == EPERM ? Availability::kNoCapability : Availability::kNotSupported;
    ::close(fd);
    // Without a clock that can wake it the timer runs, but the computer sleeps on.
    return hasWakeClock() ? Availability::kAvailable : Availability::kNotSupported;
}

bool LinuxWakeTimer::hasWakeCapability() {
    __user_cap_header_struct header = {};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[CAP_WAKE_ALARM / 32].effective & (1u << (CAP_WAKE_ALARM % 32))) != 0;
}

// ---- Sleep inhibitor -------------------------------------------------------------------

SleepInhibitor::SleepInhibitor(QObject* parent) : QObject(parent) {}

SleepInhibitor::~SleepInhibitor() { release(); }

bool SleepInhibitor::take() {
    if (fd_ >= 0) return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        if (log) log("Sleep: no system bus; the state is not recorded before sleep");
        return false;
    }
    if (!listening_) {
        listening_ = bus.connect(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
            this, SLOT(onPrepareForSleep(bool)));
    }
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    m << QStringLiteral("sleep") << QStringLiteral("Quorvane")
      << QStringLiteral("Recording the alarm supervision before sleep") << QStringLiteral("delay");
    // Short: logind answers at once or is not there.
    const QDBusMessage reply = bus.call(m, QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (log) log("Sleep: logind gave no inhibitor: " + ss(reply.errorName()));
        return false;
    }
    const QDBusUnixFileDescriptor fd = reply.arguments().first().value<QDBusUnixFileDescriptor>();
    if (!fd.isValid()) return false;
    // The descriptor object closes its own copy; ours is held until sleep.
    fd_ = ::dup(fd.fileDescriptor());
    return fd_ >= 0;
}

void SleepInhibitor::release() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

void SleepInhibitor::onPrepareForSleep(bool sleeping) {
    if (sleeping) {
        if (beforeSleep) beforeSleep();
        // Closing it lets the computer go to sleep.
        release();
    } else {
        take();
    }
}

}  // namespace qv
