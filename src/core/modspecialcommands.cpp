#include "core/modspecialcommands.h"

#include "core/program.h"

namespace qv {

modSpecialCommands::modSpecialCommands(Program& program) : p_(program) {}

}  // namespace qv
