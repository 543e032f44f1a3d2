// A borrowed reference to a command object, as the call helpers take it.
//
// Callers hold the command objects that TomaDataSet lends them in a
// std::unique_ptr; the helpers accept that holder, a plain pointer or a
// reference alike, without taking ownership.
//
// Thread-safety: a plain value type.
#pragma once

#include <memory>

#include "toolbox/dbclient/command.h"

namespace zun {

class DsRef {
 public:
  DsRef(Command* cmd) : cmd_(cmd) {}                               // NOLINT(runtime/explicit)
  DsRef(Command& cmd) : cmd_(&cmd) {}                              // NOLINT(runtime/explicit)
  DsRef(const std::unique_ptr<Command>& cmd) : cmd_(cmd.get()) {}  // NOLINT(runtime/explicit)

  Command* get() const { return cmd_; }
  Command* operator->() const { return cmd_; }
  Command& operator*() const { return *cmd_; }

 private:
  Command* cmd_;
};

}  // namespace zun
