// quorvane-agenda: prints the coming alarm moments of alarm-group files.

#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/agenda.h"
#include "base/colors.h"
#include "base/dateformat.h"
#include "base/folders.h"
#include "base/largepages.h"
#include "base/random.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "model/ports.h"

namespace {

class SystemClock : public qv::Clock {
public:
    qv::DateTime now() const override { return qv::currentLocalTime(); }
};

}  // namespace

int main(int argc, char** argv) {
    // The alarms are built in a few megabytes at once, by threads whose heaps
    // start this large and are advised for large pages (see readGroupFiles).
    qv::growHeapsInLargeSteps(std::size_t{16} << 20);
    std::error_code ec;
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    const qv::Folders folders = qv::Folders::detect(exe, qv::Folders::installedShareDir(exe),
                                                    qv::Folders::dataHomeFromEnvironment());
    qv::RandomSource random(1);
    qv::modTranslation translation(folders, random);
    qv::SettingsValues settings;
    translation.setLanguage(settings.lng);
    qv::FixedSystemColors systemColours;
    qv::modColors colours(folders, systemColours);
    qv::EnglishDateNames names;
    SystemClock clock;
    qv::PlugInCaller noPlugIns;  // answers every call empty: the tool calls no plug-in
    qv::SilentPerformer performer;
    qv::NoSystemCommands commands;
    qv::ModelContext ctx{translation, colours, settings, names, clock, noPlugIns, performer,
                         commands,    "",      false,    0,     {},    {},        {}};

    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return qv::runAgenda(args, ctx, std::cout, std::cerr, /*processEnds=*/true);
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << "quorvane-agenda: out of memory\n";
        return 1;
    }
}
