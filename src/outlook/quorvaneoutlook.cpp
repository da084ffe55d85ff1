// QuorvaneOutlook: the calendar plug-in. Two importers and two synchronisers
// turn the appointments and tasks of an iCalendar file into alarm groups; the
// component, plug-in and control names are the ones stored in users' group
// files, so they stay as they are.

#include <dlfcn.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <map>
#include <utility>

#include "base/folders.h"
#include "base/inifile.h"
#include "outlook/calendarfetch.h"
#include "outlook/daysoffread.h"
#include "outlook/icalimport.h"
#include "quorvane/iplugin.h"
#include "xml/xmlnode.h"

namespace {

using qv::XMLNode;
using qv::XMLNodePtr;
using qv::outlook::ItemKind;

constexpr const char* kVersion = "1.0.0";
constexpr const char* kSection = "OutlookImporter";

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

// ---- Language ----------------------------------------------------------------

// The folder this component was loaded from: its language files lie beside it.
std::string componentFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&componentFolder), &info) && info.dli_fname)
        return ss(QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath());
    return {};
}

// The current language, taken from every request.
struct Language {
    std::string name;

    std::string file() const {
        const std::string folder = componentFolder();
        const std::string own = folder + "/QuorvaneOutlook_" + name + ".lng";
        if (!name.empty() && QFileInfo::exists(qs(own))) return own;
        return folder + "/QuorvaneOutlook_English.lng";
    }
    std::string get(const std::string& section, const std::string& key,
                    const std::string& def) const {
        return qv::getPrivateProfileString(section, key, def, file());
    }
    std::string text(int n) const {
        const std::string key = "s" + std::to_string(n);
        return get(kSection, key, "String [" + std::string(kSection) + "] " + key + " not found");
    }
    QString qtext(int n) const { return qs(text(n)); }
};

// Per thread: the host runs synchronisations on worker threads while its own
// thread may ask for names and descriptions, each request with its language.
Language& language() {
    thread_local Language l;
    return l;
}

// A window's caption and the captions of its buttons, check boxes, option
// buttons and labels from the section of the window's name.
void translate(QWidget* w, const std::string& section) {
    const Language& l = language();
    w->setWindowTitle(qs(l.get(section, section, ss(w->windowTitle()))));
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        b->setText(qs(l.get(section, ss(b->objectName()), ss(b->text()))));
    for (QLabel* lb : w->findChildren<QLabel*>())
        lb->setText(qs(l.get(section, ss(lb->objectName()), ss(lb->text()))));
}

QString fill(QString text, std::initializer_list<int> values) {
    int i = 1;
    for (int v : values) text.replace("#" + QString::number(i++), QString::number(v));
    return text;
}

bool haveWindows() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

void messageBox(const QString& text, QMessageBox::Icon icon) {
    if (!haveWindows()) return;  // a program without windows just gets the answer
    QMessageBox box(icon, QStringLiteral("Quorvane"), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);  // names and errors from the file, never markup
    box.exec();
}

// ---- The calendar files --------------------------------------------------------

// The desktop calendar service's own files.
QString desktopCalendar(ItemKind kind) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data + (kind == ItemKind::Tasks ? "/evolution/tasks/system/tasks.ics"
                                           : "/evolution/calendar/system/calendar.ics");
}

std::string shortDateTime(qv::DateTime d) {
    const QDateTime t(QDate(d.year(), d.month(), d.day()), QTime(d.hour(), d.minute(), d.second()));
    return ss(QLocale::system().toString(t, QLocale::ShortFormat));
}

qv::DateTime localNow() { return qv::currentLocalTime(); }

// The alarm group of the file, or the error text to show.
struct Converted {
    qv::outlook::BuildResult result;
    QString error;
};

constexpr int kMaxCalendarMB = static_cast<int>(qv::outlook::kMaxCalendarBytes / (1024 * 1024));

// A calendar's text, from a file or an address, as the alarm group.
Converted convertText(const QByteArray& bytes, ItemKind kind, bool importing, bool futureOnly,
                      const std::string& groupName) {
    Converted c;
    qv::outlook::BuildOptions o;
    o.kind = kind;
    o.importing = importing;
    o.futureOnly = futureOnly;
    o.now = localNow();
    o.groupName = groupName;
    o.text = [](int n) { return language().text(n); };
    o.shortDateTime = shortDateTime;
    c.result = qv::outlook::buildGroup(bytes.toStdString(), o);
    switch (c.result.error) {
        case qv::outlook::BuildError::None:
            break;
        case qv::outlook::BuildError::NotICalendar:
            c.error = language().qtext(16);
            break;
        case qv::outlook::BuildError::Truncated:
            c.error = language().qtext(17);
            break;
        case qv::outlook::BuildError::Unreadable:
            c.error = language().qtext(18);
            break;
        case qv::outlook::BuildError::TooLarge:
            c.error = fill(language().qtext(26), {kMaxCalendarMB});
            break;
        case qv::outlook::BuildError::TooCostly:
            c.error = language().qtext(27).replace("#n", qs(c.result.givenUpName));
            break;
    }
    return c;
}

Converted convert(const QString& path, ItemKind kind, bool importing, bool futureOnly,
                  const std::string& groupName) {
    Converted c;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        c.error = path.isEmpty() ? language().qtext(21) : path + ": " + file.errorString();
        return c;
    }
    // Read one byte past the limit, never more: a device or a growing file
    // has no size to trust.
    const QByteArray bytes = file.read(static_cast<qint64>(qv::outlook::kMaxCalendarBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        c.error = path + ": " + file.errorString();
        return c;
    }
    if (static_cast<std::size_t>(bytes.size()) > qv::outlook::kMaxCalendarBytes) {
        c.error = fill(language().qtext(26), {kMaxCalendarMB});
        return c;
    }
    return convertText(bytes, kind, importing, futureOnly, groupName);
}

// ---- Online calendars ------------------------------------------------------------

// Where the last copies of online calendars are kept: the program folder.
// Portable, that is the folder above this component's (a file named
// "portable" lies there); installed, the user's data folder.
QString programFolder() {
    const QString plugIns = qs(componentFolder());
    if (!plugIns.isEmpty()) {
        const QString above = QFileInfo(plugIns).absolutePath();
        if (QFileInfo(above + "/portable").isFile()) return above;
    }
    const std::string data = qv::Folders::dataHomeFromEnvironment();
    return data.empty() ? QString() : qs(data) + "/quorvane";
}

qv::outlook::FetchOptions fetchOptions() {
    qv::outlook::FetchOptions o;
    o.maxBytes = static_cast<qint64>(qv::outlook::kMaxCalendarBytes);
    // QUORVANE_CALENDAR_TIMEOUT_MS shortens (never lengthens) the wait for a
    // server, for tests and slow-to-fail setups.
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("QUORVANE_CALENDAR_TIMEOUT_MS", &ok);
    if (ok && ms > 0 && ms < o.timeoutMs) o.timeoutMs = ms;
    return o;
}

// Why a fetch failed, naming the address only by its host. The same cause
// always gives the same text: the program tells a failure once, until it changes.
QString fetchFailureText(const qv::outlook::FetchResult& f, const QString& shown,
                         const qv::outlook::FetchOptions& o) {
    using qv::outlook::FetchFailure;
    QString text;
    switch (f.failure) {
        case FetchFailure::NotAllowed:
            text = language().qtext(30);
            break;
        case FetchFailure::BadAddress:
            text = language().qtext(31);
            break;
        case FetchFailure::Unreachable:
            text = language().qtext(32);
            break;
        case FetchFailure::Timeout:
            text = fill(language().qtext(33), {(o.timeoutMs + 999) / 1000});
            break;
        case FetchFailure::Tls:
            text = language().qtext(35);
            break;
        case FetchFailure::TooLarge:
            text = fill(language().qtext(36), {kMaxCalendarMB});
            break;
        case FetchFailure::UnsafeRedirect:
            text = language().qtext(37);
            break;
        case FetchFailure::TooManyRedirects:
            text = language().qtext(38);
            break;
        case FetchFailure::HttpStatus:
        case FetchFailure::None:  // an answer of "not modified" without a copy to keep
            text = fill(language().qtext(34), {f.status});
            break;
        case FetchFailure::Other:
            text = language().qtext(40);
            break;
    }
    return text.replace("#a", shown);
}

// The calendar at `address` as the alarm group. With a cache folder the last
// good copy is kept there: an unchanged calendar is not fetched again, and
// when the fetch fails (or brings no calendar) the group follows that copy and
// `warning` says why. Nothing fetched is trusted beyond what the conversion
// of a file checks.
Converted convertAddress(const QString& address, ItemKind kind, bool importing, bool futureOnly,
                         const std::string& groupName, const QString& cacheFolder,
                         QString& warning) {
    using namespace qv::outlook;
    const QString shown = displayAddress(address);
    const FetchOptions options = fetchOptions();
    const CalendarCache cache(cacheFolder, address);
    CalendarCache::Copy copy;
    const bool haveCopy = cache.load(copy, options.maxBytes);
    const FetchResult f =
        fetchCalendar(calendarUrl(address), haveCopy ? copy.validators : Validators{}, options);
    if (f.failure == FetchFailure::None && f.notModified && haveCopy)
        return convertText(copy.body, kind, importing, futureOnly, groupName);
    QString failure;
    if (f.failure == FetchFailure::None && !f.notModified) {
        Converted c = convertText(f.body, kind, importing, futureOnly, groupName);
        if (c.error.isEmpty()) {
            cache.store({f.body, f.validators});
            return c;
        }
        failure = shown + ": " + c.error;
    } else {
        failure = fetchFailureText(f, shown, options);
    }
    if (haveCopy) {
        Converted c = convertText(copy.body, kind, importing, futureOnly, groupName);
        if (c.error.isEmpty()) {
            warning = language().qtext(13) + " " + failure + " " + language().qtext(39);
            return c;
        }
    }
    Converted c;
    c.error = failure;
    return c;
}

void addCounts(XMLNode& result, const qv::outlook::BuildResult& r) {
    result.addLong("converted", r.converted);
    result.addLong("approximated", r.approximated);
    result.addLong("skipped", r.skipped);
    if (r.givenUp > 0) result.addLong("givenup", r.givenUp);
    if (r.repaired > 0) result.addLong("repaired", r.repaired);
}

// ---- The import dialog -----------------------------------------------------------

class frmMain : public QDialog {
  public:
    QLineEdit* txtName;
    QRadioButton* optFolder[3];
    QLineEdit* txtAddress;
    QCheckBox* chkFutureOnly;

    explicit frmMain(const QString& name) {
        setObjectName("frmMain");
        setWindowTitle("Calendar Importer");
        auto* lblName = new QLabel("Alarm group &name:", this);
        lblName->setObjectName("lblName");
        txtName = new QLineEdit(name, this);
        txtName->setObjectName("txtName");
        lblName->setBuddy(txtName);
        optFolder[0] = new QRadioButton("Import from the &desktop's calendar", this);
        optFolder[0]->setObjectName("optFolder(0)");
        optFolder[1] = new QRadioButton("&Choose a calendar file", this);
        optFolder[1]->setObjectName("optFolder(1)");
        optFolder[2] = new QRadioButton("From a calendar &address (https:// or webcal://):", this);
        optFolder[2]->setObjectName("optFolder(2)");
        txtAddress = new QLineEdit(this);
        txtAddress->setObjectName("txtAddress");
        txtAddress->setEnabled(false);
        connect(optFolder[2], &QRadioButton::toggled, txtAddress, &QLineEdit::setEnabled);
        optFolder[0]->setChecked(true);
        chkFutureOnly = new QCheckBox("Only import &future items", this);
        chkFutureOnly->setObjectName("chkFutureOnly");
        chkFutureOnly->setChecked(true);
        auto* lblNote = new QLabel(this);
        lblNote->setObjectName("lblNote");
        lblNote->setWordWrap(true);
        auto* cmdOk = new QPushButton("&Ok", this);
        cmdOk->setObjectName("cmdOk");
        cmdOk->setDefault(true);
        auto* cmdCancel = new QPushButton("&Cancel", this);
        cmdCancel->setObjectName("cmdCancel");
        connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
        connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

        auto* layout = new QVBoxLayout(this);
        layout->addWidget(lblName);
        layout->addWidget(txtName);
        layout->addWidget(optFolder[0]);
        layout->addWidget(optFolder[1]);
        layout->addWidget(optFolder[2]);
        layout->addWidget(txtAddress);
        layout->addWidget(chkFutureOnly);
        layout->addWidget(lblNote);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(cmdOk);
        buttons->addWidget(cmdCancel);
        layout->addLayout(buttons);
        translate(this, "frmMain");
    }
};

QString chooseFile(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, language().qtext(23), QDir::homePath(),
                                        language().qtext(22) + ";;* (*)");
}

// ---- The plug-ins ------------------------------------------------------------------

XMLNodePtr emptyResult() { return XMLNode::Create("result"); }

std::string importGroups(ItemKind kind) {
    auto result = emptyResult();
    auto groups = XMLNode::Create("alarmgroups");
    result->addNode(groups);
    if (!haveWindows()) return result->toString();
    const int nameText = kind == ItemKind::Tasks ? 6 : 4;
    frmMain dialog(language().qtext(nameText));
    if (dialog.exec() != QDialog::Accepted) return result->toString();
    const bool futureOnly = dialog.chkFutureOnly->isChecked();
    const std::string groupName = ss(dialog.txtName->text());
    Converted c;
    if (dialog.optFolder[2]->isChecked()) {
        const QString address = dialog.txtAddress->text().trimmed();
        dialog.hide();
        if (address.isEmpty()) {
            c.error = language().qtext(41);
        } else {
            // Imported once: no copy is kept.
            QString unused;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            c = convertAddress(address, kind, true, futureOnly, groupName, QString(), unused);
            QApplication::restoreOverrideCursor();
        }
    } else {
        QString path;
        if (dialog.optFolder[0]->isChecked() && QFileInfo::exists(desktopCalendar(kind)))
            path = desktopCalendar(kind);
        else
            path = chooseFile(&dialog);
        dialog.hide();
        if (path.isEmpty()) return result->toString();  // nothing chosen: nothing to import
        c = convert(path, kind, true, futureOnly, groupName);
    }
    if (!c.error.isEmpty()) {
        messageBox(language().qtext(13) + " " + c.error, QMessageBox::NoIcon);
        return result->toString();
    }
    groups->addNode(c.result.group);
    addCounts(*result, c.result);
    if (c.result.approximated > 0 || c.result.skipped > 0 || c.result.givenUp > 0 ||
        c.result.repaired > 0) {
        // Only the counts that say something.
        QString summary = fill(language().qtext(19), {c.result.converted});
        if (c.result.approximated > 0)
            summary += " " + fill(language().qtext(24), {c.result.approximated});
        if (c.result.skipped > 0) summary += " " + fill(language().qtext(25), {c.result.skipped});
        if (c.result.repaired > 0)
            summary += " " + fill(language().qtext(42), {c.result.repaired});
        if (c.result.givenUp > 0)
            summary += " " + fill(language().qtext(29), {c.result.givenUp})
                                 .replace("#n", qs(c.result.givenUpName));
        messageBox(summary, QMessageBox::Information);
    }
    return result->toString();
}

std::string synchronizeGroup(ItemKind kind, const XMLNode& params) {
    auto result = emptyResult();
    const XMLNodePtr syst = params.getNode("syst");
    const bool futureOnly = syst->getInteger("i", 1, 1) == 1;
    const QString address = qs(syst->getString("url")).trimmed();
    QString warning;
    Converted c;
    if (!address.isEmpty()) {
        c = convertAddress(address, kind, false, futureOnly, {}, programFolder(), warning);
    } else {
        QString path = qs(syst->getString("path"));
        if (path.isEmpty() && QFileInfo::exists(desktopCalendar(kind)))
            path = desktopCalendar(kind);
        c = convert(path, kind, false, futureOnly, {});
    }
    // A synchronisation replaces all the group's alarms: one item left out
    // would silence its reminders, so the whole calendar is given up instead.
    if (c.error.isEmpty() && c.result.givenUp > 0)
        c.error = language().qtext(28).replace("#n", qs(c.result.givenUpName));
    if (!c.error.isEmpty()) {
        // No group in the answer: the group keeps the alarms it has. The host
        // tells the user; this may run on a worker thread, without windows.
        result->addString("error", ss(language().qtext(13) + " " + c.error));
        if (c.result.givenUp > 0) result->addLong("givenup", c.result.givenUp);
        return result->toString();
    }
    result->addNode(c.result.group);
    addCounts(*result, c.result);
    // The alarms come from the last copy of an online calendar: the group is
    // replaced, and the host tells the user why it is not the current one.
    if (!warning.isEmpty()) result->addString("warning", ss(warning));
    return result->toString();
}

// ---- Days off ----------------------------------------------------------------------

// The days-off items of a calendar file or address between "from" and "to":
// "<result><days><item>...</item>...</days></result>", with a "warning" when
// they come from the last copy of an online calendar, or "<result><error>".
std::string daysOffOf(const XMLNode& params) {
    using namespace qv::outlook;
    auto result = emptyResult();
    const QString source = qs(params.getString("src")).trimmed();
    const qv::DateTime from = params.getDate("from", 0, qv::DateTime::fromParts(2000, 1, 1));
    const qv::DateTime to = params.getDate("to", 0, qv::DateTime::fromParts(2100, 1, 1));
    QString error, warning;
    DaysOffReading reading;
    auto readText = [&](const QByteArray& bytes) {
        reading = readDaysOff(bytes.toStdString(), from, to);
        switch (reading.error) {
            case BuildError::None:
                return QString();
            case BuildError::Truncated:
                return language().qtext(17);
            case BuildError::Unreadable:
                return language().qtext(18);
            case BuildError::TooLarge:
                return fill(language().qtext(26), {kMaxCalendarMB});
            default:
                return language().qtext(16);
        }
    };
    if (source.isEmpty()) {
        error = language().qtext(21);
    } else if (isCalendarAddress(source)) {
        // As a synchronised group's calendar: the last good copy is kept, and
        // stands in while the server cannot be reached.
        const QString shown = displayAddress(source);
        const FetchOptions options = fetchOptions();
        const CalendarCache cache(programFolder(), source);
        CalendarCache::Copy copy;
        const bool haveCopy = cache.load(copy, options.maxBytes);
        const FetchResult f =
            fetchCalendar(calendarUrl(source), haveCopy ? copy.validators : Validators{}, options);
        if (f.failure == FetchFailure::None && f.notModified && haveCopy) {
            error = readText(copy.body);
        } else {
            QString failure;
            if (f.failure == FetchFailure::None && !f.notModified) {
                failure = readText(f.body);
                if (failure.isEmpty()) cache.store({f.body, f.validators});
                else failure = shown + ": " + failure;
            } else {
                failure = fetchFailureText(f, shown, options);
            }
            if (!failure.isEmpty()) {
                if (haveCopy && readText(copy.body).isEmpty())
                    warning = failure;
                else
                    error = failure;
            }
        }
    } else {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)) {
            error = file.errorString();
        } else {
            const QByteArray bytes = file.read(static_cast<qint64>(kMaxCalendarBytes) + 1);
            error = file.error() != QFileDevice::NoError ? file.errorString() : readText(bytes);
        }
    }
    if (!error.isEmpty()) {
        result->addString("error", ss(error));
        return result->toString();
    }
    auto days = XMLNode::Create("days");
    for (const qv::DayOffItem& item : reading.items) days->addNode(qv::dayOffItemToXML(item));
    result->addNode(days);
    if (!warning.isEmpty()) result->addString("warning", ss(warning));
    return result->toString();
}

class plugin : public QObject, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    QString MethodCall(const QString& request) override {
        const XMLNodePtr root = XMLNode::createFromXML(ss(request));
        const std::string name = root->getString("plugin");
        const std::string method = root->getString("method");
        const XMLNodePtr params = root->getNode("params");
        language().name = params->getString("language");
        if (name == "PlugInInfo") {
            if (method != "GetPlugIns") return {};
            return QStringLiteral(
                "<result><plugins>"
                "<plugin><type>ImportPlugIn</type><name>OutlookAppointmentImporter</name></plugin>"
                "<plugin><type>ImportPlugIn</type><name>OutlookTaskImporter</name></plugin>"
                "<plugin><type>SynchronizationPlugIn</type><name>OutlookAppointmentSynchronizer</"
                "name></plugin>"
                "<plugin><type>SynchronizationPlugIn</type><name>OutlookTaskSynchronizer</name></"
                "plugin>"
                "</plugins></result>");
        }
        if (name == "OutlookAppointmentImporter")
            return qs(importer(ItemKind::Appointments, method));
        if (name == "OutlookTaskImporter") return qs(importer(ItemKind::Tasks, method));
        if (name == "OutlookAppointmentSynchronizer")
            return qs(synchronizer(ItemKind::Appointments, method, *params));
        if (name == "OutlookTaskSynchronizer")
            return qs(synchronizer(ItemKind::Tasks, method, *params));
        return {};
    }

  private:
    static bool common(const std::string& method, XMLNode& result) {
        const Language& l = language();
        if (method == "ShowAbout")
            messageBox(l.qtext(20) + " " + kVersion, QMessageBox::Information);
        else if (method == "ShowHelp")
            messageBox(l.qtext(2), QMessageBox::Information);
        else if (method == "ShowSettings")
            messageBox(l.qtext(3), QMessageBox::Information);
        else
            return false;
        (void)result;
        return true;
    }

    static std::string importer(ItemKind kind, const std::string& method) {
        const bool tasks = kind == ItemKind::Tasks;
        if (method == "GetAlarmgroups") return importGroups(kind);
        auto result = emptyResult();
        if (method == "GetName")
            result->addString("name", language().text(tasks ? 5 : 1));
        else if (method == "GetImpMenuCaption")
            result->addString("menucaption", language().text(tasks ? 6 : 4));
        else
            common(method, *result);
        return result->toString();
    }

    static std::string synchronizer(ItemKind kind, const std::string& method,
                                    const XMLNode& params) {
        const bool tasks = kind == ItemKind::Tasks;
        if (method == "Synchronize") return synchronizeGroup(kind, params);
        if (method == "GetDaysOff" && !tasks) return daysOffOf(params);
        auto result = emptyResult();
        if (method == "GetName") {
            result->addString("name", language().text(tasks ? 10 : 7));
        } else if (method == "GetSynchInfo") {
            result->addString("description", language().text(tasks ? 11 : 8));
            result->addString("shortdescription", language().text(tasks ? 12 : 9));
        } else if (method == "GetSynchSettingsControlName") {
            result->addString("name", "OutlookSynchSettingsControl");
        } else {
            common(method, *result);
        }
        return result->toString();
    }
};

// ---- The synchronisation settings control ------------------------------------------

// Placed in the alarm group properties. Stores in the group's "syst": "i"
// (second occurrence) 1 or 0 for "only future items", and either "path", the
// calendar file to read (none: the desktop's calendar), or "url", the address
// of an online calendar. Each is written only when set.
class OutlookSynchSettingsControl : public QWidget, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    OutlookSynchSettingsControl() {
        setObjectName("OutlookSynchSettingsControl");
        chkFutureOnly_ = new QCheckBox("Only import future items", this);
        chkFutureOnly_->setObjectName("chkFutureOnly");
        chkFutureOnly_->setChecked(true);
        optFile_ = new QRadioButton("Calendar &file (empty: the desktop's calendar):", this);
        optFile_->setObjectName("optFile");
        txtFile_ = new QLineEdit(this);
        txtFile_->setObjectName("txtFile");
        auto* cmdBrowse = new QPushButton("...", this);
        cmdBrowse->setObjectName("cmdBrowse");
        optAddress_ = new QRadioButton("Calendar &address (https:// or webcal://):", this);
        optAddress_->setObjectName("optAddress");
        txtAddress_ = new QLineEdit(this);
        txtAddress_->setObjectName("txtAddress");
        auto* source = new QButtonGroup(this);
        source->addButton(optFile_);
        source->addButton(optAddress_);
        optFile_->setChecked(true);
        txtAddress_->setEnabled(false);
        connect(optFile_, &QRadioButton::toggled, txtFile_, &QLineEdit::setEnabled);
        connect(optFile_, &QRadioButton::toggled, cmdBrowse, &QPushButton::setEnabled);
        connect(optAddress_, &QRadioButton::toggled, txtAddress_, &QLineEdit::setEnabled);
        auto* lblNote = new QLabel(
            "Note that the conversion to alarm groups may not be perfect. Please check the alarm "
            "group for inconsistencies.",
            this);
        lblNote->setObjectName("lblNote");
        lblNote->setWordWrap(true);
        connect(cmdBrowse, &QPushButton::clicked, this, [this] {
            const QString path = chooseFile(this);
            if (!path.isEmpty()) txtFile_->setText(path);
        });
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(chkFutureOnly_);
        layout->addWidget(optFile_);
        auto* row = new QHBoxLayout;
        row->addWidget(txtFile_);
        row->addWidget(cmdBrowse);
        layout->addLayout(row);
        layout->addWidget(optAddress_);
        layout->addWidget(txtAddress_);
        layout->addWidget(lblNote);
        lblNote_ = lblNote;
        keepRoom();
    }

    QString MethodCall(const QString& request) override {
        const XMLNodePtr root = XMLNode::createFromXML(ss(request));
        const std::string method = root->getString("method");
        const XMLNodePtr params = root->getNode("params");
        if (method == "SetSettings") {
            language().name = params->getString("language");
            // The host renames the control it places; its texts keep their section.
            translate(this, "OutlookSynchSettingsControl");
            keepRoom();
            const XMLNodePtr syst = params->getNode("syst");
            chkFutureOnly_->setChecked(syst->getInteger("i", 1, 1) == 1);
            txtFile_->setText(qs(syst->getString("path")));
            const QString address = qs(syst->getString("url"));
            txtAddress_->setText(address);
            (address.isEmpty() ? optFile_ : optAddress_)->setChecked(true);
            return qs(emptyResult()->toString());
        }
        if (method == "GetSettings") {
            auto syst = XMLNode::Create("syst");
            syst->setInteger("i", chkFutureOnly_->isChecked() ? 1 : 0, 1);
            // Only the chosen source: the other field's text is not kept.
            if (optAddress_->isChecked()) {
                const QString address = txtAddress_->text().trimmed();
                if (!address.isEmpty()) syst->addString("url", ss(address));
            } else {
                const QString path = txtFile_->text().trimmed();
                if (!path.isEmpty()) syst->addString("path", ss(path));
            }
            auto result = emptyResult();
            result->addNode(syst);
            return qs(result->toString());
        }
        return {};
    }

  private:
    // The dialog that holds the control may be narrow: the wrapped note gets
    // the lines it needs there, and nothing is squeezed below its height.
    void keepRoom() {
        const int noteHeight = lblNote_->heightForWidth(220);
        lblNote_->setMinimumHeight(noteHeight > 0 ? noteHeight : lblNote_->sizeHint().height());
        setMinimumHeight(layout()->sizeHint().height());
    }

    QLabel* lblNote_;
    QCheckBox* chkFutureOnly_;
    QRadioButton* optFile_;
    QLineEdit* txtFile_;
    QRadioButton* optAddress_;
    QLineEdit* txtAddress_;
};

class QuorvaneOutlookFactory : public QObject, public quorvane::IPlugInFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_PLUGIN_IID)
    Q_INTERFACES(quorvane::IPlugInFactory)

  public:
    QObject* create(const QString& className) override {
        if (className == QLatin1String("PlugIn")) return new plugin;
        if (className == QLatin1String("OutlookSynchSettingsControl") && haveWindows())
            return new OutlookSynchSettingsControl;
        return nullptr;
    }
};

}  // namespace

#include "quorvaneoutlook.moc"
