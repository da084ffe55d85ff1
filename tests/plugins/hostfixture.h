#pragma once
// A program whose plug-in port is the real host, over a PlugIns folder that
// holds the components a test asks for.

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/corefixture.h"
#include "plugins/clsplugin.h"

namespace qv::test {

// Records the busy cursor together with the call-in-progress flag it came with.
class BusyUI : public FakeUI {
  public:
    const bool* modalOpen = nullptr;
    std::vector<std::pair<bool, bool>> busyCalls;  // (busy, modalOpen at that moment)
    void setBusy(bool b) override {
        FakeUI::setBusy(b);
        busyCalls.emplace_back(b, modalOpen && *modalOpen);
    }
};

struct HostFixture {
    TempFolder folder;
    FakeClock clock;
    FakeTimer timer;
    BusyUI ui;
    clsPlugIn host;
    RecordingPerformer performer;
    FakeSession session;
    FakeShell shell;
    FakeInstance instance;
    FixedSystemColors systemColours;
    EnglishDateNames names;
    std::unique_ptr<Program> program;

    // `components`: file names from the test build ("QuorvaneTestGood.so") or,
    // with a leading "bin:", from the program's own PlugIns folder.
    explicit HostFixture(const std::vector<std::string>& components) {
        EXPECT_TRUE(writeFile(folder.file("English.lng"), kTestLanguage));
        std::filesystem::create_directories(folder.file("PlugIns"));
        for (const std::string& c : components) {
            const bool shipped = c.rfind("bin:", 0) == 0;
            const std::string name = shipped ? c.substr(4) : c;
            const std::filesystem::path from =
                std::filesystem::path(shipped ? QUORVANE_BUILD_PLUGINS : QUORVANE_TEST_PLUGINS) /
                name;
            std::filesystem::copy_file(from, folder.file("PlugIns/" + name));
        }
        program = std::make_unique<Program>(Folders::forFolder(folder.path()),
                                            CorePorts{clock, timer, ui, host, performer, session,
                                                      shell, instance, systemColours, names});
        program->translation.setLanguage("English");
        ui.modalOpen = &program->modalOpen;
        host.attach(*program);
    }
    Program& p() { return *program; }
    std::vector<std::string> list(int type) const {
        const StringVector& v = host.plugIns(type);
        return {v.begin(), v.end()};
    }
};

}  // namespace qv::test
