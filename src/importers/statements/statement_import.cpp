#include "importers/statements/statement_import.h"

#include <exception>
#include <string_view>

#include "db/object_lookups.h"
#include "db/objects.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "importers/statements/accounts.h"
#include "importers/statements/check_balanco.h"
#include "importers/statements/statement.h"
#include "importers/statements/statement_format.h"
#include "importers/statements/statement_store.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {

namespace {

// An optional small integer field: empty means 0; else an integer (code
// nao_inteiro) within 0..max (code fora).
[[nodiscard]] int32_t LeFaixa(std::string_view campo, int32_t max, int32_t nao_inteiro,
                              int32_t fora, int32_t* v) {
  *v = 0;
  if (campo.empty()) return 0;
  if (!StrToIntOk(campo, v)) return nao_inteiro;
  return *v < 0 || *v > max ? fora : 0;
}

// One statement block being read.
class TLeitorDeBalanco {
 public:
  TLeitorDeBalanco(TImpMain& imp, const TVariantes& v) : imp_(imp), v_(v) {}

  [[nodiscard]] int32_t Importa();

 private:
  void LeChave();
  void LeBloco();
  void LeLinha(const std::string& tok);
  void LeValor(const std::string& tok);
  void Grava();
  std::string Nome() const { return cod_ + "/" + pais_; }

  TImpMain& imp_;
  const TVariantes& v_;
  tParserWrapper& p_ = *imp_.Parser;
  int32_t code_ = 0;
  bool msg_dada_ = false;
  bool fim_ = false;
  std::string cod_, pais_;
  int32_t emp_ = 0;
  int32_t periodo_ = 0;
  int32_t fmt1_ = -1, fmt2_ = -1;
  TBalanco bal_;
  TBalanco gravado_;
};

int32_t TLeitorDeBalanco::Importa() {
  bal_.Limpa();
  try {
    LeChave();
    if (code_ == 0) LeBloco();
    if (code_ == 0 && emp_ == 0) code_ = kBalSemEmpresa;
    if (code_ == 0 && !imp_.ToNoCheck) Grava();
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpBal " + Nome(), &code_, x, kBalExcecao);
    imp_.ErrMsg("ImpBal " + Nome() + " error:" + std::to_string(code_));
    msg_dada_ = true;
  }
  // Drop the rest of a block an error stopped.
  while (!fim_) {
    std::string linha;
    const bool leu = imp_.LinhaDoBloco(false, &linha);
    const std::string tok = Maiusculas(p_.Field(0));
    fim_ = !leu || tok == "END" || tok.empty();
  }
  if (code_ != 0 && !msg_dada_) {
    imp_.ErrMsg("ImpBal error:" + std::to_string(code_) + " " + Nome());
  }
  return code_;
}

void TLeitorDeBalanco::LeChave() {
  p_.Field(1, &cod_);
  p_.Field(2, &pais_);
  if (pais_.empty()) {
    code_ = kBalSemPais;
    return;
  }
  int32_t erro = 0;
  emp_ = GetIdEmp(cod_, pais_, &erro);
  if (erro != 0) {
    imp_.ErrMsg("ImpBal " + Nome() + " not found error:" + std::to_string(erro) + "(->3956)");
    msg_dada_ = true;
    code_ = kBalEmpNaoAchada;
    return;
  }
  bal_.empresa = emp_;
  if (!StrToDateOk(p_.Field(3), &bal_.dataref)) {
    code_ = kBalDataRef;
    return;
  }
  if (EhDataZero(bal_.dataref)) {
    // The statement's header procedure refuses it.
    code_ = kBalSemDataRef;
    return;
  }
  bool consolidado = false;
  if (!StrToBoolOk(p_.Field(4), &consolidado)) {
    code_ = kBalConsolidado;
    return;
  }
  bal_.consolidado = consolidado ? 1 : 0;
  int32_t source = 0, tipo_doc = 0;
  code_ = LeFaixa(p_.Field(5), 7, kBalSourceNaoInteiro, kBalSourceForaDaFaixa, &source);
  if (code_ != 0) return;
  code_ = LeFaixa(p_.Field(6), 1, kBalTipoDocNaoInteiro, kBalTipoDocForaDaFaixa, &tipo_doc);
  if (code_ != 0) return;
  if (!p_.Field(7).empty()) {
    code_ = kBalCampoDemais;
    return;
  }
  bal_.sourcedobal = static_cast<uint8_t>(source);
  bal_.TipoDocumento = static_cast<uint8_t>(tipo_doc);
  if (imp_.ToNoCheck || (!v_.SeMaisNovo && !v_.Atualiza)) return;
  // The stored statement: compared with for "*FSIFNEWER", the starting
  // point for "*FSUPDATE". None stored (3585) leaves it cleared; any other
  // failure fails the block, which would otherwise replace a statement it
  // could not read.
  const int32_t lido =
      BalGetPelaDataCons(emp_, bal_.dataref, bal_.consolidado != 0, tipo_doc, source, &gravado_);
  if (lido != 0) gravado_.Limpa();
  if (lido != 0 && lido != kBalNaoGuardado) {
    code_ = lido;
    return;
  }
  if (v_.Atualiza && lido == 0) bal_ = gravado_;
}

void TLeitorDeBalanco::LeBloco() {
  while (code_ == 0 && !fim_) {
    std::string linha;
    if (!imp_.LinhaDoBloco(false, &linha) && imp_.Erro != 0) {
      // The frame refused the line and said why; the block ends with it.
      code_ = imp_.Erro;
      msg_dada_ = true;
      fim_ = true;
      return;
    }
    LeLinha(Maiusculas(p_.Field(0)));
  }
}

void TLeitorDeBalanco::LeLinha(const std::string& tok) {
  // Header items: token, the field they set and the code of a bad field.
  auto data = [&](double* dst, int32_t erro) {
    if (!StrToDateOk(p_.Field(1), dst)) code_ = erro;
  };
  auto inteiro = [&](int32_t* dst, int32_t erro) {
    if (!StrToIntOk(p_.Field(1), dst)) code_ = erro;
  };
  if (tok == "END") {
    fim_ = true;
  } else if (tok.empty()) {
    // The end of the file, or a line with an empty first field: the rest of
    // the block (up to its "END") is dropped like after any other error.
    code_ = kBalTokVazio;
  } else if (tok == "CURRENCYDT") {
    data(&bal_.datamoeda, kBalCurrencyDt);
  } else if (tok == "FORMAT") {
    inteiro(&fmt1_, kBalFormat);
    if (!StrToIntOk(p_.Field(2), &fmt2_)) fmt2_ = -1;
  } else if (tok == "MONTHS") {
    inteiro(&bal_.meses, kBalMonths);
  } else if (tok == "MONCORR") {
    inteiro(&bal_.corrmon, kBalMonCorr);
  } else if (tok == "PUBLISHDT" || tok == "REPORTED") {
    data(&bal_.datadivulgacao, kBalPublishDt);
  } else if (tok == "CURRENCY") {
    inteiro(&bal_.moeda, kBalCurrency);
  } else if (tok == "RETIFDT") {
    data(&bal_.DataUltAlteracao, kBalRetifDt);
  } else if (tok == "FY") {
    periodo_ = 0;
  } else if (tok == "3M") {
    periodo_ = 1;
  } else if (tok[0] == '@') {
    LeValor(tok);
  } else {
    imp_.ErrMsg("ImpBal tok invalido <" + tok + ">");
    msg_dada_ = true;
    code_ = kBalTokInvalido;
  }
}

void TLeitorDeBalanco::LeValor(const std::string& tok) {
  int32_t conta = 0;
  if (!StrToIntOk(std::string_view(tok).substr(1), &conta)) {
    code_ = kBalContaNaoInteira;
    return;
  }
  if (conta < 1 || conta > kMaxContaBal) {
    code_ = kBalContaForaDaFaixa;
    return;
  }
  if (CacheContaBal().Get(conta, -1).Bloco == 5) {
    code_ = kBalContaDoBloco5;
    return;
  }
  int32_t periodo = periodo_;
  int32_t i = 1;
  if (Maiusculas(p_.Field(i)) == "3M") periodo = 1, ++i;
  if (Maiusculas(p_.Field(i)) == "FY") periodo = 0, ++i;
  double valor = 0;
  // Nothing may follow the value: "@1010 1 234 567" is not 1.
  if (!StrToFloatOk(p_.Field(i), &valor) || !p_.Field(i + 1).empty()) {
    code_ = kBalValor;
    return;
  }
  bal_.SetValor(periodo, conta, valor, false);
}

void TLeitorDeBalanco::Grava() {
  const int32_t source = bal_.sourcedobal;
  // Format 0 is "no format" (no format has that id): "FORMAT 0" chooses
  // nothing, and a company holding 0 has none, so format number 2 never
  // equals it. The setting's result is not the record's: a company it did
  // not reach is read below as it stands (the call logs its failure).
  if (fmt1_ > 0) (void)DefineFormatoBalDaEmpSeNulo(emp_, source, bal_.TipoDocumento, fmt1_);
  int32_t fmt = -1;
  if (GetFmtBalDaEmp(emp_, source, &fmt) != 0 || fmt == 0) fmt = -1;
  if (fmt2_ >= 0 && fmt2_ == fmt) {
    code_ = kBalFormato2;
    return;
  }
  if (fmt >= 0) {
    // A format that does not load would leave the statement unchecked and
    // stored as passed: the block fails with the load's code.
    TFormatoBal formato;
    code_ = CarregaFormatoBal(fmt, &formato);
    if (code_ != 0) {
      // The statement is fine: its company's format is not (an account of
      // it outside the plan), and the owner must be told which.
      imp_.ErrMsgDoRegistro("ImpBal " + Nome() + " error:" + std::to_string(code_) +
                            ": the statement format " + std::to_string(fmt) +
                            " does not load (an account of *APRESFBAL " + std::to_string(fmt) +
                            " is not in the account plan, or it cannot be read)");
      msg_dada_ = true;
      return;
    }
    ChecaBalanco(formato, bal_);
  }
  // The warning is Windows-1252 text, like the files and the log.
  if (v_.SeMaisNovo && gravado_.id != 0 && bal_.datadivulgacao < gravado_.datadivulgacao) {
    imp_.Msg("Warning: registro ignorado empresa " + Nome() + " Balan\xE7o de " +
             DataIso(bal_.dataref) + " data divulgacao " + DataIso(bal_.datadivulgacao) +
             " \xE9 mais antiga do que " + DataIso(gravado_.datadivulgacao));
    return;
  }
  code_ = DbBalPut(&bal_, v_.NovaBase);
}

}  // namespace

void ImportaBalanco(TImpMain& imp, const TVariantes& v, int32_t* code) {
  *code = TLeitorDeBalanco(imp, v).Importa();
}

}  // namespace zun
