#include "toolbox/dbclient/parameter.h"

#include <cstring>

#include "toolbox/dbclient/errors.h"

namespace zun {

Parameter* Parameters::Find(const std::string& name) {
  // Names of another length never match: only same-length names are
  // compared, which keeps the look-up cheap on the call path. The search
  // goes outwards from the hint, so that a name a little ahead or behind
  // it is found after a few compares.
  // Letter case compared as strcasecmp does in the program's C locale.
  auto igual = [&](size_t i) {
    const std::string& p = items_[i].name;
    if (p.size() != name.size()) return false;
    if (std::memcmp(p.data(), name.data(), p.size()) == 0) return true;  // as written, mostly
    for (size_t k = 0; k < p.size(); ++k) {
      unsigned char a = static_cast<unsigned char>(p[k]), b = static_cast<unsigned char>(name[k]);
      if (a == b) continue;
      if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
      if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
      if (a != b) return false;
    }
    return true;
  };
  const size_t n = items_.size();
  const size_t h = proximo_ < n ? proximo_ : 0;
  for (size_t d = 0; d < n; ++d) {
    size_t i = h + d;
    if (i < n && igual(i)) {
      proximo_ = i + 1;
      return &items_[i];
    }
    if (d < h && igual(i = h - 1 - d)) {
      proximo_ = i + 1;
      return &items_[i];
    }
    if (h + d >= n && d >= h) break;
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
