#include "importers/statements/accounts.h"

#include <memory>

#include "db/id_text_list.h"
#include "importers/statements/statement_codes.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

const std::array<const char*, kCaracteristicasConta> kColunasCarac = {"carac_Periodizavel",
                                                                      "carac_PeriodizCalc",
                                                                      "carac_EmMoeda",
                                                                      "carac_03",
                                                                      "carac_04",
                                                                      "carac_AfetadaPorLote",
                                                                      "carac_DoResumo",
                                                                      "carac_EhPorAcao",
                                                                      "carac_HideNaEsctreco",
                                                                      "carac_OferecePriBal",
                                                                      "carac_10",
                                                                      "carac_11",
                                                                      "carac_12",
                                                                      "carac_13",
                                                                      "carac_14",
                                                                      "carac_15"};

namespace {

// The definition on the current row of an account procedure's result set.
TContaBal LeConta(DsRef cmd) {
  TContaBal c;
  GetFieldInt(cmd, "id", &c.id);
  GetFieldStr(cmd, "Nome_Extenso", &c.Nome_Extenso);
  GetFieldStr(cmd, "Nome_Compacto", &c.Nome_Compacto);
  GetFieldInt(cmd, "Bloco", &c.Bloco);
  GetFieldInt(cmd, "OrdemNoBloco", &c.OrdemNoBloco);
  GetFieldInt(cmd, "Decimais", &c.Decimais);
  GetFieldInt(cmd, "Formatacao", &c.Formatacao);
  for (int i = 0; i < kCaracteristicasConta; ++i) {
    GetFieldBool(cmd, kColunasCarac[static_cast<size_t>(i)], &c.carac[static_cast<size_t>(i)]);
  }
  GetFieldInt(cmd, "comocalcular", &c.comocalcular);
  GetFieldInt(cmd, "comocalcular_Num", &c.comocalcular_Num);
  GetFieldBool(cmd, "HideNoZunInput", &c.HideNoZunInput);
  GetFieldInt(cmd, "BlocoPadraoNaDigitacao", &c.BlocoPadraoNaDigitacao);
  return c;
}

}  // namespace

bool TCacheContaBal::Valida(int32_t numero) const {
  return numero >= 0 && static_cast<size_t>(numero) < contas_.size() &&
         contas_[static_cast<size_t>(numero)].id == numero;
}

void TCacheContaBal::Guarda(const TContaBal& c) {
  if (c.id < 1) return;
  if (static_cast<size_t>(c.id) >= contas_.size()) contas_.resize(static_cast<size_t>(c.id) + 10);
  contas_[static_cast<size_t>(c.id)] = c;
}

TContaBal TCacheContaBal::Get(int32_t numero, int32_t fmtbal) {
  if (numero < 1) throw EZunInputException(kContaNumeroInvalido);
  if (!Valida(numero) && fmtbal >= 0) {
    if (static_cast<size_t>(fmtbal) >= formatos_lidos_.size()) {
      formatos_lidos_.resize(static_cast<size_t>(fmtbal) + 10, false);
    }
    if (!formatos_lidos_[static_cast<size_t>(fmtbal)]) {
      formatos_lidos_[static_cast<size_t>(fmtbal)] = true;
      ComComando("ContaBalDoFBalGet", [&](DsRef cmd) {
        ++leituras_;
        if (ExecStProcId(cmd, fmtbal, ModoStProc::kExecutaEAbre) != 0 || !cmd->Active()) return;
        for (cmd->Current().First(); !cmd->Current().Eof(); cmd->Current().Next()) {
          Guarda(LeConta(cmd));
        }
      });
    }
  }
  if (!Valida(numero)) {
    int32_t code = ComComando("ContaBalGet", [&](DsRef cmd) {
      ++leituras_;
      const int32_t r = ExecStProcId(cmd, numero, ModoStProc::kExecutaEAbre);
      if (r != 0) return r;
      if (!cmd->Active() || cmd->Current().Eof()) return kErrSemColunaResult;
      const TContaBal c = LeConta(cmd);
      if (c.id == numero) Guarda(c);
      return 0;
    });
    if (code == 0 && !Valida(numero)) code = kErrSemColunaResult;
    if (code != 0) {
      if (static_cast<size_t>(numero) < contas_.size()) {
        contas_[static_cast<size_t>(numero)] = TContaBal{};
      }
      throw EZunInputException(code);
    }
  }
  return contas_[static_cast<size_t>(numero)];
}

void TCacheContaBal::Forget(int32_t numero) {
  if (numero >= 0 && static_cast<size_t>(numero) < contas_.size()) {
    contas_[static_cast<size_t>(numero)] = TContaBal{};
  }
  formatos_lidos_.assign(formatos_lidos_.size(), false);
}

void TCacheContaBal::Limpa() {
  contas_.clear();
  formatos_lidos_.clear();
  leituras_ = 0;
}

TCacheContaBal& CacheContaBal() {
  static TCacheContaBal cache;
  return cache;
}

}  // namespace zun
