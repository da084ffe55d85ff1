#include "core/modsecretary.h"

#include "core/program.h"

namespace qv {

modSecretary::modSecretary(Program& program) : p_(program) {}

}  // namespace qv
