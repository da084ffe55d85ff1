#pragma once
// quorvane-agenda: lists the coming alarm moments of alarm-group files, the
// way the supervision walks them, one line per alarm:
//     yyyy/mm/dd hh:nn:ss <TAB> group name <TAB> alarm name
// It only reads: no file is written, renamed or deleted and no plug-in called.

#include <iosfwd>
#include <string>
#include <vector>

#include "model/ports.h"

namespace qv {

// Runs the tool on the arguments (without the program name). Returns the exit
// status: 0 when every PATH was read, 1 when one could not be, 2 for bad arguments.
// With `processEnds`, the caller ends the process right after: the alarms read
// are then left for the system to take back with it, rather than freed one by
// one (for ten thousand alarms that takes a noticeable part of the run).
int runAgenda(const std::vector<std::string>& args, ModelContext& ctx, std::ostream& out,
              std::ostream& err, bool processEnds = false);

}  // namespace qv
