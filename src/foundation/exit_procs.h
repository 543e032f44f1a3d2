// Broadcast callback lists and the shutdown stack.
//
// TCallBackList fires parameterless callbacks in order; a broadcast requested
// while one runs makes the running one repeat, and an 11th repetition is a
// fatal stop (a runaway broadcast). The shutdown stack collects exit
// procedures and runs them last-first at the end of the process.
//
// Thread-safety: not locked; used from the main thread only.
#pragma once

#include <string>
#include <vector>

namespace zun {

using Procedimento = void (*)();

class TCallBackList {
 public:
  // Appends proc.
  void Adiciona(Procedimento proc) { itens_.push_back(proc); }
  // Removes every occurrence of proc.
  void Retira(Procedimento proc);
  // Calls every callback in order; see the header comment for repetition.
  void ChamaTodos(const std::string& tag);

 private:
  std::vector<Procedimento> itens_;
  bool calling_ = false;
  bool again_ = false;
};

// Adiciona on a list that may be missing: a missing list is fatal
// ("TCBL.A nil " + name).
void Adiciona(TCallBackList* list, Procedimento proc, const std::string& name);

// Collects an exit procedure; RodaTodasAsExitProcs runs them last-first.
void AdicionaExitProc(Procedimento proc);

// Runs the collected exit procedures, the last collected first, and empties
// the stack. A procedure may collect another, which then runs next.
void RodaTodasAsExitProcs();

}  // namespace zun
