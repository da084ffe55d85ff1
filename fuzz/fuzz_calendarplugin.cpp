// The calendar plug-in as the host calls it: the fuzzer's bytes are the
// calendar file of a synchronised group, and the request is the one the host
// sends for "Synchronize" (the first byte picks appointments or tasks and
// "only future items"). The answer must be one well-formed "result" holding
// either the group or the reason there is none; the conversion's budget
// keeps every input within the run's time limit.
#include <QCoreApplication>
#include <QObject>
#include <QPluginLoader>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "quorvane/iplugin.h"
#include "xml/xmlnode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quorvane::IPlugIn* plugIn = [] {
        static QPluginLoader loader(QStringLiteral(QUORVANE_OUTLOOK_MODULE));
        auto* factory = qobject_cast<quorvane::IPlugInFactory*>(loader.instance());
        if (!factory) std::abort();
        QObject* object = factory->create(QStringLiteral("PlugIn"));
        auto* p = object ? qobject_cast<quorvane::IPlugIn*>(object) : nullptr;
        if (!p) std::abort();
        return p;
    }();
    static const std::string file =
        (std::filesystem::temp_directory_path() / "quorvane_fuzz_calendar.ics").string();
    if (size == 0) return 0;
    const bool tasks = data[0] & 1;
    const bool futureOnly = data[0] & 2;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const std::string request =
        std::string("<xml><plugin>") +
        (tasks ? "OutlookTaskSynchronizer" : "OutlookAppointmentSynchronizer") +
        "</plugin><method>Synchronize</method><params><language>English</language>"
        "<syst><i></i><i>" +
        (futureOnly ? "1" : "0") + "</i><path>" + qv::XMLNode::stringToXMLString(file) +
        "</path></syst><algr><name>Calendar</name></algr></params></xml>";
    const QString answer = plugIn->MethodCall(QString::fromStdString(request));
    auto root = qv::XMLNode::Create();
    if (root->initializeFromXML(answer.toStdString()) || root->name != "result") std::abort();
    const bool hasGroup = root->getNodeIndex("algr", 0) >= 0;
    const bool hasError = !root->getString("error").empty();
    if (hasGroup == hasError) std::abort();
    return 0;
}
