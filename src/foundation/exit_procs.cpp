#include "foundation/exit_procs.h"

#include <algorithm>

#include "foundation/log.h"

namespace zun {
namespace {

std::vector<Procedimento>& Pilha() {
  static std::vector<Procedimento> stack;
  return stack;
}

}  // namespace

void TCallBackList::Retira(Procedimento proc) {
  itens_.erase(std::remove(itens_.begin(), itens_.end(), proc), itens_.end());
}

void TCallBackList::ChamaTodos(const std::string& tag) {
  if (calling_) {
    again_ = true;
    return;
  }
  int repeticoes = 0;
  calling_ = true;
  do {
    again_ = false;
    if (++repeticoes > 10) {
      RunError250("TCBL.CA TCallBackList RC:" + std::to_string(repeticoes) + " " + tag);
    }
    // Index loop: a callback may add to the list while it runs.
    for (size_t i = 0; i < itens_.size(); ++i) {
      if (itens_[i] != nullptr) itens_[i]();
    }
  } while (again_);
  calling_ = false;
}

void Adiciona(TCallBackList* list, Procedimento proc, const std::string& name) {
  if (list == nullptr) RunError250("TCBL.A nil " + name);
  list->Adiciona(proc);
}

void AdicionaExitProc(Procedimento proc) {
  if (Pilha().empty()) Loga("Basic2.RoubaOChainDeExitProcs");
  Pilha().push_back(proc);
}

void RodaTodasAsExitProcs() {
  LogaVerbose("*Basic2.RodaTodasAsExitProcs");
  if (!Pilha().empty()) Loga("Basic2.RodaTodasAsExitProcs rodando");
  while (!Pilha().empty()) {
    Procedimento proc = Pilha().back();
    Pilha().pop_back();
    if (proc != nullptr) proc();
  }
  LogaVerbose("*Basic2.RodaTodasAsExitProcs end");
}

}  // namespace zun
