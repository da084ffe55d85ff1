// A stand-in desktop notification service for the end-to-end test: owns
// org.freedesktop.Notifications on the session bus and writes every call it
// gets to the file named on its command line, one line each. With a second
// argument (an action key such as "stop") it answers every notification
// with that action a second after showing it, as a user clicking it would.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    FakeNotifications(const QString& logFile, const QString& answer)
        : log_(logFile), answer_(answer) {}

  public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        (void)icon, (void)timeout;
        const uint id = replaces != 0 ? replaces : ++last_;
        write(QStringLiteral("Notify %1 app=%2 summary=%3 body=%4 urgency=%5 actions=%6")
                  .arg(id)
                  .arg(app, summary, body)
                  .arg(hints.value(QStringLiteral("urgency")).toInt())
                  .arg(actions.join(QLatin1Char(','))));
        if (!answer_.isEmpty() && actions.contains(answer_)) {
            QTimer::singleShot(1000, this, [this, id] {
                write(QStringLiteral("ActionInvoked %1 %2").arg(id).arg(answer_));
                QDBusMessage signal =
                    QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                               QStringLiteral("org.freedesktop.Notifications"),
                                               QStringLiteral("ActionInvoked"));
                signal << id << answer_;
                QDBusConnection::sessionBus().send(signal);
            });
        }
        return id;
    }
    void CloseNotification(uint id) { write(QStringLiteral("CloseNotification %1").arg(id)); }
    QString GetServerInformation(QString& vendor, QString& version, QString& spec) {
        vendor = QStringLiteral("Quorvane tests");
        version = QStringLiteral("1");
        spec = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }

  private:
    void write(const QString& line) {
        QFile f(log_);
        if (f.open(QIODevice::Append)) f.write(line.toUtf8() + '\n');
    }
    QString log_;
    QString answer_;
    uint last_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    FakeNotifications fake(QString::fromLocal8Bit(argv[1]),
                           argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications")))
        return 1;
    return app.exec();
}

#include "fakenotifications.moc"
