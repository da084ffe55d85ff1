// quorvane-plugin PLUGIN_FILE [REQUEST]: tries a plug-in component the way
// the program loads it. Without a request it prints the component's discovery
// answer and its plug-ins; with one (XML text, or "-" for standard input) it
// sends the request through the program's host and prints the answer.
// Exit 0 on an answer, 1 when the file does not load, 2 on no answer.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "plugins/clsplugin.h"
#include "xml/xmlnode.h"

namespace {

constexpr const char* kUsage = "usage: quorvane-plugin PLUGIN_FILE [REQUEST | -]\n";
int usage() {
    std::cerr << kUsage;
    return 64;
}

// Widgets need a display; without one the component still answers requests
// that show no window.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    const bool display =
        std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
    if (display) return std::make_unique<QApplication>(argc, argv);
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    auto app = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-plugin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Loads a Quorvane plug-in component (Quorvane*.so) the way the program does.\n"
        "Without a request it prints the component's discovery answer and, one line\n"
        "each, its plug-ins' type, identifier and name. With a request (XML text, or\n"
        "- to read it from standard input) it sends the request and prints the answer.\n"
        "Exit status: 0 with an answer, 1 when the file does not load, 2 when there is\n"
        "no answer, 64 for bad arguments."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PLUGIN_FILE"),
                                 QStringLiteral("the component's library file"));
    parser.addPositionalArgument(QStringLiteral("REQUEST"),
                                 QStringLiteral("an XML request, or - for standard input"),
                                 QStringLiteral("[REQUEST | -]"));
    // A request is XML and may hold anything: only what comes before the
    // component's file can be an option.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::cerr << "quorvane-plugin: " << qPrintable(parser.errorText()) << "\n";
        return usage();
    }
    if (parser.isSet(help)) {
        std::cout << qPrintable(parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        std::cout << "quorvane-plugin " << QUORVANE_VERSION << "\n";
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 1 || positional.size() > 2) return usage();
    const std::string file = QFileInfo(positional.at(0)).absoluteFilePath().toStdString();

    qv::clsPlugIn host;
    qv::clsPlugIn::Hooks hooks;
    hooks.languageName = [] { return std::string("English"); };
    host.setHooks(std::move(hooks));
    if (!host.discoverComponent(file)) {
        for (const auto& e : host.loadErrors()) std::cerr << e.file << ": " << e.error << "\n";
        return 1;
    }
    const std::string component = qv::baseNameOf(file);

    if (positional.size() == 1) {
        QObject* object = host.createObject(component, "PlugIn");
        std::cout << host.plugInMethodCall(object, qv::clsPlugIn::kDiscoveryRequest) << "\n";
        delete object;
        for (int type = 0; type < qv::clsPlugIn::kTypeCount; ++type) {
            for (const std::string& id : host.plugIns(type)) {
                std::cout << qv::clsPlugIn::typeText(type) << "\t" << id << "\t"
                          << host.commonMethodCall(id, "GetName", "name") << "\n";
            }
        }
        return 0;
    }

    std::string request = positional.at(1).toStdString();
    if (request == "-") {
        request.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }
    QObject* object = host.createObject(component, "PlugIn");
    const std::string answer = host.plugInMethodCall(object, request);
    delete object;
    if (answer.empty()) {
        std::cerr << "no answer (empty, not well-formed XML, or the plug-in failed)\n";
        return 2;
    }
    std::cout << answer << "\n";
    return 0;
}
