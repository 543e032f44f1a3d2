#include "toolbox/dbclient/parameter.h"

#include <strings.h>

#include "toolbox/dbclient/errors.h"

namespace zun {

Parameter* Parameters::Find(const std::string& name) {
  // Names of another length never match: only same-length names are
  // compared, which keeps the look-up cheap on the call path.
  for (Parameter& p : items_) {
    if (p.name.size() == name.size() && strcasecmp(p.name.c_str(), name.c_str()) == 0) return &p;
  }
  return nullptr;
}

const Parameter* Parameters::Find(const std::string& name) const {
  return const_cast<Parameters*>(this)->Find(name);
}

Parameter& Parameters::ParamByName(const std::string& name) {
  Parameter* p = Find(name);
  if (p == nullptr) throw DatasetError("Parameter <" + name + "> not found");
  return *p;
}

const Parameter& Parameters::ParamByName(const std::string& name) const {
  return const_cast<Parameters*>(this)->ParamByName(name);
}

Parameter* Parameters::ReturnValue() {
  for (Parameter& p : items_) {
    if (p.direction == ParamDirection::kReturnValue) return &p;
  }
  return nullptr;
}

const Parameter* Parameters::ReturnValue() const {
  return const_cast<Parameters*>(this)->ReturnValue();
}

}  // namespace zun
