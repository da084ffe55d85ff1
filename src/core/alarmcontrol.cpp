#include "core/alarmcontrol.h"

#include "core/program.h"

namespace qv {

alarmControl::alarmControl(Program& program) : p_(program) {}

}  // namespace qv
