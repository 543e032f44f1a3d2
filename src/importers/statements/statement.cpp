#include "importers/statements/statement.h"

#include <cmath>
#include <stdexcept>

#include "toolbox/dbutil/accessors.h"

namespace zun {

namespace {

constexpr size_t kCelulasPorPeriodo = kMaxContaBal + 1;

size_t Indice(int periodo, int conta) {
  if (periodo < 0 || periodo >= kPeriodosBal || conta < 1 || conta > kMaxContaBal) {
    throw std::out_of_range("TBalanco cell " + std::to_string(periodo) + "/" +
                            std::to_string(conta));
  }
  return static_cast<size_t>(periodo) * kCelulasPorPeriodo + static_cast<size_t>(conta);
}

}  // namespace

TBalanco::TBalanco() : celulas_(kPeriodosBal * kCelulasPorPeriodo) { Limpa(); }

void TBalanco::Limpa() {
  id = 0;
  empresa = 0;
  dataref = 0;
  consolidado = 0;
  sourcedobal = 0;
  meses = 0;
  moeda = 0;
  datamoeda = 0;
  datadivulgacao = 0;
  DataUltAlteracao = 0;
  corrmon = 0;
  Incompleto = false;
  ChecagemFalhou = 0;
  AceitarFalhaNaChecagem = false;
  TipoDocumento = 0;
  LimpaValores();
}

void TBalanco::LimpaValores() {
  const TCelulaBal nula{NuloFloat(), false};
  for (TCelulaBal& c : celulas_) c = nula;
}

TCelulaBal& TBalanco::Celula(int periodo, int conta) { return celulas_[Indice(periodo, conta)]; }

const TCelulaBal& TBalanco::Celula(int periodo, int conta) const {
  return celulas_[Indice(periodo, conta)];
}

bool TBalanco::Nulo(int periodo, int conta) const { return EhNuloFloat(Valor(periodo, conta)); }

void TBalanco::SetValor(int periodo, int conta, double valor, bool calc_ou_rx) {
  celulas_[Indice(periodo, conta)] = TCelulaBal{valor, calc_ou_rx};
}

}  // namespace zun
