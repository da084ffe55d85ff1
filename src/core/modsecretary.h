#pragma once
// The personal assistant: after a period away from the computer it greets the
// user and tells how many alarms lie ahead.

#include <string>

#include "base/datetime.h"

namespace qv {

class Program;

class modSecretary {
public:
    explicit modSecretary(Program& program);

    void runAssistant();
    // A random variant of "assistant" text `number`.
    std::string getAssistantText(int number);
    // The same read as a whole number (0 when it is not one).
    int getAssistantNumber(int number);
    void tellBlock(DateTime now, int block);

    DateTime lastAssistantRun = kDayZero;

private:
    Program& p_;
};

}  // namespace qv
