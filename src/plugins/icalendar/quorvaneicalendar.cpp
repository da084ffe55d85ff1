// QuorvaneICalendar: the file export plug-in "iCalendar". It saves an alarm
// group as an .ics file so that other calendars can show its alarms; alarms
// whose timing iCalendar cannot state exactly are left out and counted in the
// answer (<exported>, <skipped>, <inactive>).

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QSaveFile>
#include <QString>

#include "icalexport.h"
#include "quorvane/iplugin.h"
#include "xml/xmlparser.h"

namespace {

QString answer(const QString& children) { return "<xml>" + children + "</xml>"; }

qv::DateTime localNow() {
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime h = t.time();
    return qv::DateTime::fromParts(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second());
}

QString saveToFile(const qv::XMLNode& params) {
    const int pathIndex = params.getNodeIndex("path");
    const int groupIndex = params.getNodeIndex("algr");
    if (pathIndex < 0 || groupIndex < 0) return answer({});
    const QString path = QString::fromStdString(params.getNodeAt(pathIndex)->Value);
    if (path.isEmpty()) return answer({});
    const qv::ical::ExportResult r =
        qv::ical::exportGroup(*params.getNodeAt(groupIndex), localNow());

    QSaveFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(r.text);
    if (r.text.empty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
        !file.commit())
        return answer({});
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
        const bool german =
            paramsIndex >= 0 && root.getNodeAt(paramsIndex)->getString("language") == "Deutsch";
        if (method == "GetName") return answer("<name>iCalendar</name>");
        if (method == "GetExpFileFormats")
            return answer(german ? QStringLiteral("<filters>iCalendar-Kalender (*.ics)</filters>"
                                                  "<extensions>*.ics</extensions>")
                                 : QStringLiteral("<filters>iCalendar calendar (*.ics)</filters>"
                                                  "<extensions>*.ics</extensions>"));
        if (method == "SaveAlarmgroupToFile" && paramsIndex >= 0)
            return saveToFile(*root.getNodeAt(paramsIndex));
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
