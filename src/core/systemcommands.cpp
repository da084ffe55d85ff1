#include "core/systemcommands.h"

#include <cctype>

#include "base/folders.h"
#include "core/program.h"

namespace qv {

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The time teller takes "keyword \"template\"[ \"date\"]". A second field that
// already is such a command (now, unt, sin or cus, a blank and a quote) goes
// through as written, so a command line can tell the time until a moment; any
// other text is a template for the present moment. An empty field gives an
// empty template, for which the time teller uses its default sentence.
std::string timeTellerCommand(const std::string& field) {
    for (const char* keyword : {"now \"", "unt \"", "sin \"", "cus \""})
        if (field.rfind(keyword, 0) == 0) return field;
    return "now \"" + field + "\"";
}

}  // namespace

modSpecialCommands::modSpecialCommands(Program& program) : p_(program) {}

std::array<std::string, 3> modSpecialCommands::splitCommandLine(const std::string& commandLine) {
    std::array<std::string, 3> fields;
    std::size_t from = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t bar = commandLine.find('|', from);
        fields[i] =
            commandLine.substr(from, bar == std::string::npos ? std::string::npos : bar - from);
        if (bar == std::string::npos) break;
        from = bar + 1;
    }
    return fields;
}

void modSpecialCommands::runCommand(const std::string& commandLine) {
    const auto fields = splitCommandLine(commandLine);
    const std::string keyword = lowerAscii(fields[0]);
    if (keyword == "screensaver") {
        startScreenSaver();
    } else if (keyword == "shutdown") {
        shutDown();
    } else if (keyword == "reboot") {
        reboot();
    } else if (keyword == "logoff") {
        logOff();
    } else if (keyword == "speak") {
        p_.ports.performer.speak(fields[1]);
    } else if (keyword == "tt") {
        p_.ports.performer.tellTime(timeTellerCommand(fields[1]));
    } else {
        // Whether the shell could open it is of no concern to an alarm.
        (void)openRandomFile(fields[0], fields[1], fields[2]);
    }
}

void modSpecialCommands::startScreenSaver() { p_.ports.session.startScreenSaver(); }

// The system is asked first: only once it has taken the request does the
// program end (through the exit path, which the session's own end signal then
// finds done). A refusal leaves the program running, and says so.
void modSpecialCommands::endSession(bool (Session::*command)(), int refusedText) {
    if (!(p_.ports.session.*command)()) {
        const std::string text = p_.translation.getMainText(refusedText);
        if (p_.ctx.log) p_.ctx.log(text);
        p_.ports.ui.showNotice(text);
        return;
    }
    // Nothing is asked: the computer is going down regardless, and a question
    // would only stand in its way. What cannot be written is logged.
    (void)p_.main.exitProgram(false, false);
    p_.ports.ui.quit();
}

void modSpecialCommands::shutDown() { endSession(&Session::powerOff, kShutDownRefused); }

void modSpecialCommands::reboot() { endSession(&Session::reboot, kRebootRefused); }

void modSpecialCommands::logOff() { endSession(&Session::logOff, kLogOffRefused); }

StringVector modSpecialCommands::listMatchingFiles(const std::string& pattern) {
    StringVector files;
    if (pattern.empty()) return files;
    // Stored command lines come from Windows with "\" in their paths.
    for (auto& path : qv::listMatchingFiles(toSlashPath(pattern))) files.addString(std::move(path));
    return files;
}

bool modSpecialCommands::openRandomFile(const std::string& file, const std::string& parameters,
                                        const std::string& folder) {
    // Only a name with wildcards picks among files, and only in a folder the
    // action names (its own path or the working folder): a relative pattern is
    // never matched in the folder the program was started from.
    const std::string path = toSlashPath(file);
    const bool wildcards = path.find_first_of("*?") != std::string::npos;
    std::string pattern;
    if (wildcards && !path.empty() && path.front() == '/')
        pattern = path;
    else if (wildcards && !folder.empty())
        pattern = toSlashPath(folder) + "/" + path;
    const StringVector matches = listMatchingFiles(pattern);
    if (matches.numberOfElements() == 0) return shellOpen(file, parameters, folder);
    // Seeded from the time of day (with its milliseconds), so each sounding
    // picks afresh.
    p_.random.seed(static_cast<std::uint32_t>(p_.ports.clock.secondsSinceMidnight() * 1000));
    const int pick = p_.random.below(matches.numberOfElements());
    return shellOpen(matches.stringAt(pick), parameters, folder);
}

bool modSpecialCommands::shellOpen(const std::string& file, const std::string& parameters,
                                   const std::string& folder) {
    return p_.ports.shell.open(file, parameters, folder);
}

}  // namespace qv
