#pragma once
// quorvane-add: sets an alarm from the command line. The running program gets
// it over the session bus; when none runs, the group file is written here, the
// way the program writes it (atomically), with the program folder locked so
// that the program cannot start meanwhile. It prints the alarm's first moment.
//
//     quorvane-add --in 25m Tea
//     quorvane-add --at "2027/01/04 07:30" Dentist
//     quorvane-add --at 07:30 --every day --weekdays mo-fr "Get up"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/folders.h"
#include "core/alarmrequest.h"

namespace qv {

// What the command line asks for, as texts for the bus and read for the file.
struct AddArguments {
    std::string when;  // "in 25m" or a moment
    std::string every;
    std::string weekdays;
    std::string message;
    std::string group;
    AlarmRequest request;  // the same, read
};

// The running program's answer.
struct HandOver {
    enum Result { kNotRunning, kAdded, kRefused, kFailed };
    Result result = kNotRunning;
    std::string first;  // kAdded: the first moment as the program wrote it
    std::string error;  // kRefused, kFailed: why
};

// The outside world of the tool; tests put their own in.
struct AddEnvironment {
    Folders folders;
    std::function<DateTime()> now;
    // Gives the alarm to the running program.
    std::function<HandOver(const AddArguments&)> handToProgram;
    // Locks the program folder as the running program does: 0 locked (no
    // program runs, and none starts until unlocked), 1 a program holds it,
    // 2 the folder cannot hold a lock (the program runs without one too).
    std::function<int()> lockProgramFolder;
    std::function<void()> unlockProgramFolder;
    // Waits that long; without it a program that holds its lock but does not
    // answer yet is not waited for.
    std::function<void(int milliseconds)> pause;
};

// How long a program that is still starting (its start may ask the user a
// question first) is waited for, and how often it is asked again.
inline constexpr int kStartWaitMs = 30000;
inline constexpr int kStartAskEveryMs = 250;

// Reads the arguments (without the program name). Returns -1 to go on, else
// the exit status (help and version printed: 0; bad arguments: 2).
int parseAddArguments(const std::vector<std::string>& args, AddArguments& parsed, std::ostream& out,
                      std::ostream& err);

// Runs the tool. Exit status: 0 the alarm was set, 1 it could not be (the
// program does not answer, a file could not be read or written), 2 bad
// arguments.
int runAdd(const std::vector<std::string>& args, AddEnvironment& env, std::ostream& out,
           std::ostream& err);

// Without the program: the alarm added to its group's file in the alarm-group
// folder the settings name (the group created when there is none). Returns
// the exit status and prints as runAdd does.
int addToGroupFile(const AddArguments& parsed, AddEnvironment& env, std::ostream& out,
                   std::ostream& err);

}  // namespace qv
