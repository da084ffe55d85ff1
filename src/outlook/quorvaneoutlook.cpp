// QuorvaneOutlook: the calendar plug-in. Two importers and two synchronisers
// turn the appointments and tasks of an iCalendar file into alarm groups; the
// component, plug-in and control names are the ones stored in users' group
// files, so they stay as they are.

#include <dlfcn.h>

#include <QAbstractButton>
#include <QApplication>
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

#include "base/inifile.h"
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
        c.error = fill(language().qtext(26),
                       {static_cast<int>(qv::outlook::kMaxCalendarBytes / (1024 * 1024))});
        return c;
    }
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
            c.error = fill(language().qtext(26),
                           {static_cast<int>(qv::outlook::kMaxCalendarBytes / (1024 * 1024))});
            break;
        case qv::outlook::BuildError::TooCostly:
            c.error = language().qtext(27).replace("#n", qs(c.result.givenUpName));
            break;
    }
    return c;
}

void addCounts(XMLNode& result, const qv::outlook::BuildResult& r) {
    result.addLong("converted", r.converted);
    result.addLong("approximated", r.approximated);
    result.addLong("skipped", r.skipped);
    if (r.givenUp > 0) result.addLong("givenup", r.givenUp);
}

// ---- The import dialog -----------------------------------------------------------

class frmMain : public QDialog {
  public:
    QLineEdit* txtName;
    QRadioButton* optFolder[2];
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
    QString path;
    if (dialog.optFolder[0]->isChecked() && QFileInfo::exists(desktopCalendar(kind)))
        path = desktopCalendar(kind);
    else
        path = chooseFile(&dialog);
    dialog.hide();
    if (path.isEmpty()) return result->toString();  // nothing chosen: nothing to import
    const Converted c =
        convert(path, kind, true, dialog.chkFutureOnly->isChecked(), ss(dialog.txtName->text()));
    if (!c.error.isEmpty()) {
        messageBox(language().qtext(13) + " " + c.error, QMessageBox::NoIcon);
        return result->toString();
    }
    groups->addNode(c.result.group);
    addCounts(*result, c.result);
    if (c.result.approximated > 0 || c.result.skipped > 0 || c.result.givenUp > 0) {
        // Only the counts that say something.
        QString summary = fill(language().qtext(19), {c.result.converted});
        if (c.result.approximated > 0)
            summary += " " + fill(language().qtext(24), {c.result.approximated});
        if (c.result.skipped > 0) summary += " " + fill(language().qtext(25), {c.result.skipped});
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
    QString path = qs(syst->getString("path"));
    if (path.isEmpty() && QFileInfo::exists(desktopCalendar(kind))) path = desktopCalendar(kind);
    Converted c = convert(path, kind, false, futureOnly, {});
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
// (second occurrence) 1 or 0 for "only future items", and "path", the calendar
// file to read (empty: the desktop's calendar).
class OutlookSynchSettingsControl : public QWidget, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    OutlookSynchSettingsControl() {
        setObjectName("OutlookSynchSettingsControl");
        chkFutureOnly_ = new QCheckBox("Only import future items", this);
        chkFutureOnly_->setObjectName("chkFutureOnly");
        chkFutureOnly_->setChecked(true);
        auto* lblFile = new QLabel("Calendar file (empty: the desktop's calendar):", this);
        lblFile->setObjectName("lblFile");
        txtFile_ = new QLineEdit(this);
        txtFile_->setObjectName("txtFile");
        lblFile->setBuddy(txtFile_);
        auto* cmdBrowse = new QPushButton("...", this);
        cmdBrowse->setObjectName("cmdBrowse");
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
        layout->addWidget(lblFile);
        auto* row = new QHBoxLayout;
        row->addWidget(txtFile_);
        row->addWidget(cmdBrowse);
        layout->addLayout(row);
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
            return qs(emptyResult()->toString());
        }
        if (method == "GetSettings") {
            auto syst = XMLNode::Create("syst");
            syst->setInteger("i", chkFutureOnly_->isChecked() ? 1 : 0, 1);
            const QString path = txtFile_->text().trimmed();
            if (!path.isEmpty()) syst->addString("path", ss(path));
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
    QLineEdit* txtFile_;
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
