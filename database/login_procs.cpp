#include "database/procedure_sets.h"

namespace zun {

void RegisterLoginProcedures() {}

}  // namespace zun
