#include "toolbox/dbclient/parameter.h"

#include <strings.h>

#include "toolbox/dbclient/errors.h"

namespace zun {

Parameter* Parameters::Find(const std::string& name) {
  // Names of another length never match: only same-length names are
  // compared, which keeps the look-up cheap on the call path.
  const size_t n = items_.size();
  if (proximo_ >= n) proximo_ = 0;
  for (size_t k = 0, i = proximo_; k < n; ++k, i = i + 1 == n ? 0 : i + 1) {
    Parameter& p = items_[i];
    if (p.name.size() == name.size() && strcasecmp(p.name.c_str(), name.c_str()) == 0) {
      proximo_ = i + 1;
      return &p;
    }
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
