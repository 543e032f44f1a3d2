#include "database/procedure_sets.h"

namespace zun {

void RegisterReferenceProcedures() {}

}  // namespace zun
