#pragma once
// Command lines of alarms ("program|parameters|folder" and the keywords
// screensaver, shutdown, reboot, logoff, speak, tt) and the session commands.

#include <array>
#include <string>

#include "model/ports.h"
#include "xml/vector.h"

namespace qv {

class Program;
class Session;

class modSpecialCommands : public SystemCommands {
  public:
    explicit modSpecialCommands(Program& program);

    void runCommand(const std::string& commandLine) override;
    void startScreenSaver() override;
    // Each asks the session; once it has agreed, runs the exit path (without
    // ending the process) and ends the program.
    void shutDown() override;
    void reboot() override;
    void logOff() override;

    // One random file matching `file` when it is a pattern with matches, else
    // `file` itself, opened through the shell.
    bool openRandomFile(const std::string& file, const std::string& parameters,
                        const std::string& folder);
    bool shellOpen(const std::string& file, const std::string& parameters,
                   const std::string& folder);

    // The three fields of a command line (split at "|"; missing fields empty).
    static std::array<std::string, 3> splitCommandLine(const std::string& commandLine);
    // Files matching a wildcard pattern, as full paths in name order.
    static StringVector listMatchingFiles(const std::string& pattern);

    // Main-window texts said when the system refuses a session command.
    static constexpr int kShutDownRefused = 121;
    static constexpr int kRebootRefused = 122;
    static constexpr int kLogOffRefused = 123;

  private:
    void endSession(bool (Session::*command)(), int refusedText);

    Program& p_;
};

}  // namespace qv
