// quorvane-plugin PLUGIN_FILE [REQUEST]: tries a plug-in component the way
// the program loads it. Without a request it prints the component's discovery
// answer and its plug-ins; with one (XML text, or "-" for standard input) it
// sends the request through the program's host and prints the answer.
// Exit 0 on an answer, 1 when the file does not load, 2 on no answer.

#include <QApplication>
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

int usage() {
    std::cerr << "usage: quorvane-plugin PLUGIN_FILE [REQUEST | -]\n";
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
    if (argc < 2 || argc > 3) return usage();
    auto app = makeApplication(argc, argv);
    const std::string file =
        QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath().toStdString();

    qv::clsPlugIn host;
    qv::clsPlugIn::Hooks hooks;
    hooks.languageName = [] { return std::string("English"); };
    host.setHooks(std::move(hooks));
    if (!host.discoverComponent(file)) {
        for (const auto& e : host.loadErrors()) std::cerr << e.file << ": " << e.error << "\n";
        return 1;
    }
    const std::string component = qv::baseNameOf(file);

    if (argc == 2) {
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

    std::string request = argv[2];
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
