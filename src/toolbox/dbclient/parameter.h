// Command parameters: name (with "@" as the provider reports it), data type,
// direction, value and, where the provider reports them, size, precision and
// scale; and the ordered list a command holds.
//
// Thread-safety: plain value types, except that a look-up by name (even on a
// const list) moves the list's search hint: one thread at a time per list.
#pragma once

#include <string>
#include <vector>

#include "toolbox/dbclient/value.h"

namespace zun {

enum class ParamDirection { kInput = 1, kOutput = 2, kInputOutput = 3, kReturnValue = 4 };

struct Parameter {
  std::string name;
  DataType type = DataType::kEmpty;
  ParamDirection direction = ParamDirection::kInput;
  Value value;
  // Characters or bytes of text and binary parameters, digits of numbers;
  // 0 when the provider gave none.
  int size = 0;
  int precision = 0;
  int scale = 0;
};

class Parameters {
 public:
  Parameters() = default;
  explicit Parameters(std::vector<Parameter> items) : items_(std::move(items)) {}

  int Count() const { return static_cast<int>(items_.size()); }
  Parameter& operator[](int i) { return items_[static_cast<size_t>(i)]; }
  const Parameter& operator[](int i) const { return items_[static_cast<size_t>(i)]; }

  // The parameter named name (letter case ignored), nullptr when none.
  // Names are unique in a list (as providers describe them). The search
  // starts after the last parameter found and goes outwards, so that a
  // caller that goes through the list about in its order finds each name
  // after a compare or two.
  Parameter* Find(const std::string& name);
  const Parameter* Find(const std::string& name) const;
  // As Find, but a missing name raises DatasetError ("Parameter <name> not
  // found").
  Parameter& ParamByName(const std::string& name);
  const Parameter& ParamByName(const std::string& name) const;

  // The parameter whose direction is kReturnValue, nullptr when none.
  Parameter* ReturnValue();
  const Parameter* ReturnValue() const;

  void Add(Parameter p) { items_.push_back(std::move(p)); }
  std::vector<Parameter>& items() { return items_; }
  const std::vector<Parameter>& items() const { return items_; }

 private:
  std::vector<Parameter> items_;
  mutable size_t proximo_ = 0;  // where the next search by name starts
};

}  // namespace zun
