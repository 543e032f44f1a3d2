// Typed reading of a procedure's input parameters with the database's NULL
// rules: NULL reads as 0, false or "" and texts lose their outer blanks.
//
// Thread-safety: as ProcContext (one call at a time).
#pragma once

#include <cstdint>
#include <string>

#include "embedded/procedure_catalog.h"
#include "foundation/text.h"

namespace zun {

// The integer value of parameter name; dflt when it is NULL.
inline int32_t InInt(const ProcContext& c, const char* name, int32_t dflt = 0) {
  const Value& v = c.In(name);
  return v.IsNull() ? dflt : v.AsInt();
}

// The boolean value of parameter name; false when it is NULL.
inline bool InBool(const ProcContext& c, const char* name) {
  const Value& v = c.In(name);
  return !v.IsNull() && v.AsBool();
}

// The text of parameter name without leading and trailing blanks; "" when
// it is NULL.
inline std::string InTexto(const ProcContext& c, const char* name) {
  const Value& v = c.In(name);
  return v.IsNull() ? std::string() : AparaBrancos(v.AsString());
}

}  // namespace zun
