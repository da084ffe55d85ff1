#include "core/program.h"

#include <filesystem>

#include "base/files.h"

namespace qv {

Program::Program(const Folders& f, const CorePorts& p)
    : folders(f),
      ports(p),
      random(static_cast<std::uint32_t>(p.clock.secondsSinceMidnight() * 1000)),
      translation(folders, random),
      colours(folders, p.systemColours),
      columnLayouts(SettingsStore::builtInColumnLayouts()),
      ctx{translation, colours,   settings,   p.dateNames, p.clock, p.plugIns,
          p.performer, commands,  std::string(), false,    0,       {}},
      commands(*this),
      settingsStore(*this),
      control(*this),
      main(*this),
      statistics(*this),
      secretary(*this),
      folderSync(*this),
      wake(*this) {
    translation.setLanguage(settings.lng);
    colours.setSchemeName(settings.cls);
    ctx.log = [this](const std::string& line) { writeLog(line); };
}

void Program::writeLog(const std::string& line) {
    // Failures nobody needs to see at once go to "quorvane.log" in the program
    // folder; it is started afresh once it passes a megabyte.
    const std::string path = programFile("quorvane.log");
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) > (1u << 20) && !ec)
        std::filesystem::rename(path, path + ".old", ec);
    (void)appendToFile(path, toStoredText(now()) + " " + line + "\n");
}

std::string Program::alarmGroupFolder() const {
    std::string folder = settings.agp;
    const std::string token = "<app_path>";
    for (std::size_t at = folder.find(token); at != std::string::npos;
         at = folder.find(token, at + folders.programFolder.size()))
        folder.replace(at, token.size(), folders.programFolder);
    folder = toSlashPath(folder);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string Program::programFile(const std::string& name) const {
    return folders.programFolder + "/" + name;
}

}  // namespace qv
