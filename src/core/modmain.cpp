#include "core/modmain.h"

#include "core/program.h"

namespace qv {

modMain::modMain(Program& program) : p_(program) {}

}  // namespace qv
