// QuorvaneKeepAwake: a general-purpose plug-in that keeps the computer from
// going to sleep by itself while it runs, so the alarms sound on time. It
// takes a logind inhibitor ("sleep:idle") and, when its settings ask for it,
// the screen saver's inhibitor too. Its one setting (keep the screen on) is
// edited in its settings control and stored by the program with its running
// state.

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QObject>
#include <QVBoxLayout>
#include <QWidget>
#include <QXmlStreamReader>
#include <optional>

#include "plugins/pluginlanguage.h"
#include "quorvane/iplugin.h"

namespace {

const QString kName = QStringLiteral("KeepAwake");
const QString kControl = QStringLiteral("KeepAwakeSettingsControl");

// ---- the request -------------------------------------------------------------

struct Request {
    QString plugin, method, language;
    std::optional<bool> screen;  // "scr" of a "sett" element, when one came
};

Request readRequest(const QString& text) {
    Request r;
    QXmlStreamReader xml(text);
    bool inSettings = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("sett"))
            inSettings = false;
        if (token != QXmlStreamReader::StartElement) continue;
        const auto name = xml.name();
        if (name == QLatin1String("sett")) {
            inSettings = true;
            if (!r.screen) r.screen = false;
        } else if (inSettings && name == QLatin1String("scr")) {
            r.screen = xml.readElementText().trimmed() != QLatin1String("0");
        } else if (name == QLatin1String("plugin")) {
            r.plugin = xml.readElementText();
        } else if (name == QLatin1String("method")) {
            r.method = xml.readElementText();
        } else if (name == QLatin1String("language")) {
            r.language = xml.readElementText();
        }
    }
    return r;
}

QString answer(const QString& children) { return "<xml>" + children + "</xml>"; }
QString element(const QString& name, const QString& text) {
    return "<" + name + ">" + text.toHtmlEscaped() + "</" + name + ">";
}
QString settingsElement(bool screen) {
    return QStringLiteral("<sett><scr>%1</scr></sett>").arg(screen ? 1 : 0);
}

QString text(const QString& language, const char* key) {
    return pluginText("QuorvaneKeepAwake", "KeepAwake", language, key);
}

// ---- the state: one for the component, since every call has its own object --

struct State {
    bool screen = false;  // also keep the screen on
    bool active = false;
    QDBusUnixFileDescriptor sleepLock;  // held open while active
    std::optional<uint> screenCookie;
    QString lastError;
} state;

void releaseLocks() {
    if (state.screenCookie) {
        QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                             QStringLiteral("/org/freedesktop/ScreenSaver"),
                             QStringLiteral("org.freedesktop.ScreenSaver"),
                             QDBusConnection::sessionBus());
        saver.call(QStringLiteral("UnInhibit"), *state.screenCookie);
        state.screenCookie.reset();
    }
    state.sleepLock = QDBusUnixFileDescriptor();  // closes the descriptor
    state.active = false;
}

// Takes what the settings ask for; all or nothing.
bool takeLocks(const QString& language) {
    releaseLocks();
    const QString why = text(language, "why");
    QDBusInterface logind(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    const QDBusReply<QDBusUnixFileDescriptor> lock =
        logind.call(QStringLiteral("Inhibit"), QStringLiteral("sleep:idle"),
                    QStringLiteral("Quorvane"), why, QStringLiteral("block"));
    if (!lock.isValid() || !lock.value().isValid()) {
        state.lastError = lock.error().message();
        return false;
    }
    state.sleepLock = lock.value();
    if (state.screen) {
        QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                             QStringLiteral("/org/freedesktop/ScreenSaver"),
                             QStringLiteral("org.freedesktop.ScreenSaver"),
                             QDBusConnection::sessionBus());
        const QDBusReply<uint> cookie =
            saver.call(QStringLiteral("Inhibit"), QStringLiteral("Quorvane"), why);
        if (!cookie.isValid()) {
            state.lastError = cookie.error().message();
            releaseLocks();
            return false;
        }
        state.screenCookie = cookie.value();
    }
    state.active = true;
    state.lastError.clear();
    return true;
}

// ---- the settings control and its dialog -----------------------------------

class SettingsControl : public QWidget, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    SettingsControl() : screen_(new QCheckBox(this)) {
        setObjectName(kControl);
        screen_->setObjectName(QStringLiteral("chkScreen"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(screen_);
        screen_->setChecked(state.screen);
    }
    QString MethodCall(const QString& request) override {
        const Request r = readRequest(request);
        screen_->setText(text(r.language, "screen"));
        if (r.method == QLatin1String("SetSettings")) {
            screen_->setChecked(r.screen.value_or(false));
            return answer(QStringLiteral("<success>-1</success>"));
        }
        if (r.method == QLatin1String("GetSettings"))
            return answer("<result>" + settingsElement(screen_->isChecked()) + "</result>");
        return answer({});
    }

  private:
    QCheckBox* screen_;
};

// The plug-in's settings window: the control, OK and Cancel. A new setting
// takes effect at once when the plug-in runs.
void showSettings(const QString& language) {
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("frmKeepAwakeSettings"));
    dialog.setWindowTitle(text(language, "title"));
    auto* control = new SettingsControl;
    control->MethodCall("<xml><method>SetSettings</method><params>" +
                        element("language", language) + settingsElement(state.screen) +
                        "</params></xml>");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(control);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return;
    const Request chosen =
        readRequest(control->MethodCall(QStringLiteral("<xml><method>GetSettings</method></xml>")));
    const bool screen = chosen.screen.value_or(false);
    if (screen == state.screen) return;
    state.screen = screen;
    if (state.active && !takeLocks(language)) {
        QMessageBox::warning(
            nullptr, text(language, "title"),
            text(language, "failed").replace(QLatin1String("#1"), state.lastError));
    }
}

// ---- the plug-in ------------------------------------------------------------

class KeepAwakePlugIn : public QObject, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    QString MethodCall(const QString& request) override {
        const Request r = readRequest(request);
        if (r.plugin == QLatin1String("PlugInInfo") && r.method == QLatin1String("GetPlugIns"))
            return answer("<plugins><plugin><type>GeneralPurposePlugIn</type><name>" + kName +
                          "</name></plugin></plugins>");
        if (r.plugin != kName) return answer(element("error", "unknown plug-in " + r.plugin));
        const QString& m = r.method;
        if (m == QLatin1String("GetName")) return answer(element("name", text(r.language, "name")));
        if (m == QLatin1String("GetGPPMenuCaption"))
            return answer(element("menucaption", text(r.language, "menucaption")));
        if (m == QLatin1String("Run")) {
            if (!takeLocks(r.language))
                return answer(element(
                    "error",
                    text(r.language, "failed").replace(QLatin1String("#1"), state.lastError)));
            return answer(QStringLiteral("<success>-1</success>"));
        }
        if (m == QLatin1String("Quit")) {
            releaseLocks();
            return answer(QStringLiteral("<success>-1</success>"));
        }
        if (m == QLatin1String("GetStatus"))
            return answer(
                element("active", state.active ? QStringLiteral("-1") : QStringLiteral("0")));
        if (m == QLatin1String("GetSettings")) return answer(settingsElement(state.screen));
        if (m == QLatin1String("SetSettings")) {
            state.screen = r.screen.value_or(false);
            return answer(QStringLiteral("<success>-1</success>"));
        }
        if (m == QLatin1String("GetSettingsControlName")) return answer(element("name", kControl));
        if (m == QLatin1String("ShowSettings")) {
            showSettings(r.language);
            return answer({});
        }
        if (m == QLatin1String("ShowAbout") || m == QLatin1String("ShowHelp")) {
            QMessageBox::information(
                nullptr, text(r.language, "name"),
                text(r.language, m == QLatin1String("ShowAbout") ? "about" : "help"));
            return answer({});
        }
        return answer({});
    }
};

class KeepAwakeFactory : public QObject, public quorvane::IPlugInFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_PLUGIN_IID)
    Q_INTERFACES(quorvane::IPlugInFactory)

  public:
    QObject* create(const QString& className) override {
        if (className == QLatin1String("PlugIn")) return new KeepAwakePlugIn;
        if (className == kControl) return new SettingsControl;
        return nullptr;
    }
};

}  // namespace

#include "quorvanekeepawake.moc"
