#include "core/statistics.h"

#include "core/program.h"

namespace qv {

Statistics::Statistics(Program& program) : p_(program) {}

}  // namespace qv
