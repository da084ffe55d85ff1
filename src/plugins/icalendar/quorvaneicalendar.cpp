// QuorvaneICalendar: the file export plug-in "iCalendar". It saves an alarm
// group as an .ics file so that other calendars can show its alarms; alarms
// whose timing iCalendar cannot state exactly are left out and counted in the
// answer (<exported>, <skipped>, <inactive>) and, in the program, told to
// the user.

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QMessageBox>
#include <QObject>
#include <QSaveFile>
#include <QString>

#include "icalexport.h"
#include "plugins/pluginlanguage.h"
#include "quorvane/iplugin.h"
#include "xml/xmlparser.h"

namespace {

QString text(const QString& language, const char* key) {
    return pluginText("QuorvaneICalendar", "iCalendar", language, key);
}

QString answer(const QString& children) { return "<xml>" + children + "</xml>"; }

qv::DateTime localNow() {
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime h = t.time();
    return qv::DateTime::fromParts(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second());
}

QString saveToFile(const qv::XMLNode& params, const QString& language) {
    const int pathIndex = params.getNodeIndex("path");
    const int groupIndex = params.getNodeIndex("algr");
    if (pathIndex < 0 || groupIndex < 0) return answer({});
    const QString path = QString::fromStdString(params.getNodeAt(pathIndex)->Value.str());
    if (path.isEmpty()) return answer({});
    const qv::ical::ExportResult r =
        qv::ical::exportGroup(*params.getNodeAt(groupIndex), localNow());

    QSaveFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(r.text);
    if (r.text.empty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
        !file.commit())
        return answer({});
    // Told only where there is someone to tell: not in a tool or a test.
    if (r.skipped > 0 && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QMessageBox::information(
            nullptr, text(language, "title"),
            text(language, "skipped").replace(QLatin1String("#1"), QString::number(r.skipped)));
    }
    return answer(QStringLiteral("<success>-1</success><exported>%1</exported>"
                                 "<skipped>%2</skipped><inactive>%3</inactive>")
                      .arg(r.exported)
                      .arg(r.skipped)
                      .arg(r.inactive));
}

class ICalendarPlugIn : public QObject, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    QString MethodCall(const QString& request) override {
        qv::XMLNode root;
        if (qv::XMLParser::parse(request.toStdString(), root)) return answer({});
        const std::string plugin = root.getString("plugin");
        const std::string method = root.getString("method");
        if (plugin == "PlugInInfo" && method == "GetPlugIns")
            return answer(
                "<plugins><plugin><type>FileExportPlugIn</type><name>iCalendar</name></plugin>"
                "</plugins>");
        if (plugin != "iCalendar") return answer({});
        const int paramsIndex = root.getNodeIndex("params");
        const QString language = QString::fromStdString(
            paramsIndex >= 0 ? root.getNodeAt(paramsIndex)->getString("language") : "");
        if (method == "GetName") return answer("<name>iCalendar</name>");
        if (method == "GetExpFileFormats")
            return answer("<filters>" + text(language, "filter").toHtmlEscaped() +
                          "</filters><extensions>*.ics</extensions>");
        if (method == "SaveAlarmgroupToFile" && paramsIndex >= 0)
            return saveToFile(*root.getNodeAt(paramsIndex), language);
        return answer({});
    }
};

class ICalendarFactory : public QObject, public quorvane::IPlugInFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_PLUGIN_IID)
    Q_INTERFACES(quorvane::IPlugInFactory)

  public:
    QObject* create(const QString& className) override {
        if (className == QLatin1String("PlugIn")) return new ICalendarPlugIn;
        return nullptr;
    }
};

}  // namespace

#include "quorvaneicalendar.moc"
