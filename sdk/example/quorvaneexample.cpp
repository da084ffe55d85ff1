// QuorvaneExample: the smallest useful plug-in component. It offers a
// general-purpose plug-in "Greeter" (Run, Quit, GetStatus) and an action
// plug-in "Note" that succeeds whenever an alarm runs it. Copy it to start
// your own.

#include <QObject>
#include <QString>
#include <QXmlStreamReader>

#include "quorvane/iplugin.h"

namespace {

// Whether the Greeter runs: one state for the component, since the program
// asks a fresh object for the status it started on another.
bool greeterActive = false;

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

struct Request {
    QString plugin, method, language;
};

// The plug-in name, the method and the language of a request. Unknown
// elements are skipped, so a later version's parameters do no harm.
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
    }
    return r;
}

QString answer(const QString& children) { return "<xml>" + children + "</xml>"; }

QString greeter(const Request& r) {
    const bool german = r.language == QLatin1String("Deutsch");
    if (r.method == QLatin1String("GetName")) return answer("<name>Greeter</name>");
    if (r.method == QLatin1String("GetGPPMenuCaption"))
        return answer(german ? "<menucaption>Begrüßer</menucaption>"
                             : "<menucaption>Greeter</menucaption>");
    if (r.method == QLatin1String("Run")) {
        greeterActive = true;
        return answer("<success>-1</success>");
    }
    if (r.method == QLatin1String("Quit")) {
        greeterActive = false;
        return answer("<success>-1</success>");
    }
    if (r.method == QLatin1String("GetStatus"))
        return answer(greeterActive ? "<active>-1</active>" : "<active>0</active>");
    return answer({});
}

QString note(const Request& r) {
    if (r.method == QLatin1String("GetName")) return answer("<name>Note</name>");
    if (r.method == QLatin1String("GetActionInfo"))
        return answer(
            "<shortdescription>Example note</shortdescription>"
            "<category>Examples</category>"
            "<description>Does nothing, successfully.</description>");
    if (r.method == QLatin1String("Execute")) return answer("<success>-1</success>");
    if (r.method == QLatin1String("GetSettingsControlName")) return answer("<name></name>");
    return answer({});
}

class ExamplePlugIn : public QObject, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    QString MethodCall(const QString& request) override {
        const Request r = readRequest(request);
        if (r.plugin == QLatin1String("PlugInInfo") && r.method == QLatin1String("GetPlugIns"))
            return answer(
                "<plugins>"
                "<plugin><type>GeneralPurposePlugIn</type><name>Greeter</name></plugin>"
                "<plugin><type>ActionPlugIn</type><name>Note</name></plugin>"
                "</plugins>");
        if (r.plugin == QLatin1String("Greeter")) return greeter(r);
        if (r.plugin == QLatin1String("Note")) return note(r);
        return answer("<error>" + escaped("unknown plug-in " + r.plugin) + "</error>");
    }
};

class ExampleFactory : public QObject, public quorvane::IPlugInFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_PLUGIN_IID)
    Q_INTERFACES(quorvane::IPlugInFactory)

  public:
    QObject* create(const QString& className) override {
        if (className == QLatin1String("PlugIn")) return new ExamplePlugIn;
        return nullptr;
    }
};

}  // namespace

#include "quorvaneexample.moc"
