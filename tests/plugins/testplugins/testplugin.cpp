// Plug-in components for the host's tests, one per TEST_KIND: a well-behaved
// one of every type, one with a foreign interface id, one whose answers are
// broken XML and one that throws.

#include <QFile>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>
#include <QXmlStreamReader>
#include <stdexcept>
#include <utility>

#include "quorvane/iplugin.h"

#define KIND_GOOD 1
#define KIND_WRONG_IID 2
#define KIND_BAD_XML 3
#define KIND_THROWS 4

namespace {

[[maybe_unused]] bool keeperActive = false;
// The name of the group the Groups plug-in was last given.
[[maybe_unused]] QString lastExported;
[[maybe_unused]] QString lastShown;

struct Request {
    QString plugin, method, language, path;
};

Request readRequest(const QString& text) {
    Request r;
    QXmlStreamReader xml(text);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const auto name = xml.name();
        if (name == QLatin1String("plugin"))
            r.plugin = xml.readElementText();
        else if (name == QLatin1String("method"))
            r.method = xml.readElementText();
        else if (name == QLatin1String("language"))
            r.language = xml.readElementText();
        else if (name == QLatin1String("path"))
            r.path = xml.readElementText();
    }
    return r;
}

QString wrap(const QString& children) { return "<xml>" + children + "</xml>"; }

QString discovery() {
#if TEST_KIND == KIND_GOOD || TEST_KIND == KIND_WRONG_IID
    return wrap(
        "<plugins>"
        "<plugin><type>FileExportPlugIn</type><name>Files</name></plugin>"
        "<plugin><type>NoSuchType</type><name>Odd</name></plugin>"
        "<plugin><type>FileImportPlugIn</type><name>Files</name></plugin>"
        "<plugin><type>ActionPlugIn</type><name>Act</name></plugin>"
        "<plugin><type>FileExportPlugIn</type><name>Files</name></plugin>"
        "<plugin><type>SynchronizationPlugIn</type><name>Sync</name></plugin>"
        "<plugin><type>GeneralPurposePlugIn</type><name>Keeper</name></plugin>"
        "<plugin><type>ImportPlugIn</type><name>Groups</name></plugin>"
        "<plugin><type>ExportPlugIn</type><name>Groups</name></plugin>"
        "</plugins>");
#elif TEST_KIND == KIND_BAD_XML
    return wrap(
        "<plugins><plugin><type>GeneralPurposePlugIn</type><name>Bad</name></plugin>"
        "<plugin><type>ActionPlugIn</type><name>BadAct</name></plugin></plugins>");
#else
    return wrap(
        "<plugins><plugin><type>ActionPlugIn</type><name>Thrower</name></plugin></plugins>");
#endif
}

QString answer(const QString& request) {
    const Request r = readRequest(request);
    if (r.plugin == QLatin1String("PlugInInfo")) return discovery();
#if TEST_KIND == KIND_BAD_XML
    return "<xml><name>half an answer</xml>";
#elif TEST_KIND == KIND_THROWS
    throw std::runtime_error("plug-in failure");
#else
    const QString& m = r.method;
    if (r.plugin == QLatin1String("Echo"))
        return wrap("<request>" + request.toHtmlEscaped() + "</request>");
    if (r.plugin == QLatin1String("Files")) {
        if (m == QLatin1String("GetExpFileFormats") || m == QLatin1String("GetImpFileFormats"))
            return wrap("<filters>Test groups (*.tqx)</filters><extensions>*.tqx</extensions>");
        if (m == QLatin1String("SaveAlarmgroupToFile")) {
            const qsizetype from = request.indexOf("<algr>");
            const qsizetype to = request.lastIndexOf("</algr>");
            QFile f(r.path);
            if (from < 0 || to < from || !f.open(QIODevice::WriteOnly)) return wrap({});
            f.write(request.mid(from, to + 7 - from).toUtf8());
            return wrap("<success>-1</success>");
        }
        if (m == QLatin1String("GetAlarmgroupFromFile")) {
            QFile f(r.path);
            if (!f.open(QIODevice::ReadOnly)) return wrap({});
            return wrap(QString::fromUtf8(f.readAll()));
        }
    }
    if (r.plugin == QLatin1String("Act")) {
        if (m == QLatin1String("GetActionInfo"))
            return wrap("<shortdescription>Act in " + r.language +
                        "</shortdescription><category>Tests</category>"
                        "<description>Acts &lt;b&gt;boldly&lt;/b&gt;</description>");
        if (m == QLatin1String("GetName")) return wrap("<name>Acting &lt;i&gt;</name>");
        if (m == QLatin1String("GetSettingsControlName")) return wrap("<name>ActSettings</name>");
        if (m == QLatin1String("Execute"))
            return request.contains("<alrm>") ? wrap("<success>-1</success>")
                                              : wrap("<error>no alarm</error>");
    }
    if (r.plugin == QLatin1String("Sync")) {
        if (m == QLatin1String("GetSynchSettingsControlName"))
            return wrap("<name>SyncSettings</name>");
        if (m == QLatin1String("GetSynchInfo"))
            return wrap("<shortdescription>Sync</shortdescription>");
        if (m == QLatin1String("Synchronize"))
            return wrap(
                "<algr><name>Synced</name><alrm><name>From the plug-in</name></alrm>"
                "</algr>");
    }
    if (r.plugin == QLatin1String("Groups")) {
        if (m == QLatin1String("GetImpMenuCaption"))
            return wrap("<menucaption>Import &amp; &lt;b&gt;more&lt;/b&gt;</menucaption>");
        if (m == QLatin1String("GetAlarmgroups"))
            return wrap(
                "<alarmgroups><algr><name>First</name></algr>"
                "<algr><name>Second</name><alrm><name>Inside</name></alrm></algr>"
                "</alarmgroups>");
        if (m == QLatin1String("SetAlarmGroups")) {
            QXmlStreamReader xml(request);
            while (!xml.atEnd()) {
                if (xml.readNext() == QXmlStreamReader::StartElement &&
                    xml.name() == QLatin1String("algr")) {
                    while (xml.readNextStartElement()) {
                        if (xml.name() == QLatin1String("name")) {
                            lastExported = xml.readElementText();
                            break;
                        }
                        xml.skipCurrentElement();
                    }
                    break;
                }
            }
            return wrap({});
        }
        if (m == QLatin1String("LastExport"))
            return wrap("<name>" + lastExported.toHtmlEscaped() + "</name>");
    }
    // The plug-ins window's calls, remembered for the test to ask.
    if (m == QLatin1String("ShowSettings") || m == QLatin1String("ShowAbout") ||
        m == QLatin1String("ShowHelp")) {
        lastShown = r.plugin + " " + m + " " + r.language;
        return wrap({});
    }
    if (m == QLatin1String("LastShown"))
        return wrap("<name>" + lastShown.toHtmlEscaped() + "</name>");
    if (r.plugin == QLatin1String("Keeper")) {
        if (m == QLatin1String("Run") || m == QLatin1String("Quit")) {
            keeperActive = m == QLatin1String("Run");
            return wrap("<success>-1</success>");
        }
        if (m == QLatin1String("GetStatus"))
            return wrap(keeperActive ? "<active>-1</active>" : "<active>0</active>");
    }
    return wrap({});
#endif
}

class TestPlugIn : public QObject, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)
  public:
    QString MethodCall(const QString& request) override { return answer(request); }
};

// A settings control with one field: the Sync plug-in's "file" in "syst",
// the Act plug-in's "s" in "sett".
class SettingsControl : public QWidget, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)
  public:
    SettingsControl(QString root, QString field)
        : root_(std::move(root)), field_(std::move(field)) {
        edit_ = new QLineEdit(this);
        edit_->setObjectName("txtField");
        (new QVBoxLayout(this))->addWidget(edit_);
    }
    QString MethodCall(const QString& request) override {
        const Request r = readRequest(request);
        if (r.method == QLatin1String("SetSettings")) {
            QXmlStreamReader xml(request);
            while (!xml.atEnd())
                if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == field_)
                    edit_->setText(xml.readElementText());
            return wrap({});
        }
        // A control that has nothing usable to give, as a broken one would.
        if (r.method == QLatin1String("GetSettings") && edit_->text() == QLatin1String("no answer"))
            return {};
        if (r.method == QLatin1String("GetSettings"))
            return wrap("<" + root_ + "><" + field_ + ">" + edit_->text().toHtmlEscaped() + "</" +
                        field_ + "></" + root_ + ">");
        return wrap({});
    }

  private:
    QString root_, field_;
    QLineEdit* edit_;
};

class TestFactory : public QObject, public quorvane::IPlugInFactory {
    Q_OBJECT
#if TEST_KIND == KIND_WRONG_IID
    Q_PLUGIN_METADATA(IID "org.example.SomethingElse/1")
#else
    Q_PLUGIN_METADATA(IID QUORVANE_PLUGIN_IID)
#endif
    Q_INTERFACES(quorvane::IPlugInFactory)
  public:
    QObject* create(const QString& className) override {
        if (className == QLatin1String("PlugIn")) return new TestPlugIn;
        if (className == QLatin1String("SyncSettings")) return new SettingsControl("syst", "file");
        if (className == QLatin1String("ActSettings")) return new SettingsControl("sett", "s");
        return nullptr;
    }
};

}  // namespace

#include "testplugin.moc"
