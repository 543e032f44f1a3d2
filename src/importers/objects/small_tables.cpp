#include "importers/objects/small_tables.h"

#include <string>

#include "db/reference_procs.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/text.h"

namespace zun {

namespace {

// Reads a record's fields in order from field 1; the first failing check
// makes every later read a no-op and Fim false.
class TLeitorDeCampos {
 public:
  explicit TLeitorDeCampos(tParserWrapper& p) : p_(p) { p_.SetIndex(1); }

  TLeitorDeCampos& Inteiro(int32_t* v) {
    if (ok_) ok_ = StrToIntOk(p_.NextField(), v);
    return *this;
  }
  TLeitorDeCampos& Texto(std::string* s) {
    if (ok_) p_.NextField(s);
    return *this;
  }
  TLeitorDeCampos& NaoVazio(std::string* s) {
    Texto(s);
    ok_ = ok_ && !s->empty();
    return *this;
  }
  // Whether every check passed and the record has no further field.
  bool Fim() {
    ok_ = ok_ && p_.NextField().empty();
    return ok_;
  }

 private:
  tParserWrapper& p_;
  bool ok_ = true;
};

// In the import pass, a record that passed its checks (ok) is written. The
// record's code: 0, or kErrRegistroRecusado when the checks or the write
// failed.
template <typename Escrita>
int32_t Grava(const TImpMain& imp, bool ok, Escrita escreve) {
  if (ok && !imp.ToNoCheck) ok = escreve() == 0;
  return ok ? 0 : kErrRegistroRecusado;
}

}  // namespace

void ImportaPais(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0;
  std::string cod, nome;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&id).NaoVazio(&cod).NaoVazio(&nome).Fim();
  *code = Grava(imp, ok, [&] { return PaisPut(id, cod, nome); });
}

void ImportaCurrency(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0, pais = 0;
  std::string cod, nome;
  const bool ok =
      TLeitorDeCampos(*imp.Parser).Inteiro(&id).NaoVazio(&cod).Inteiro(&pais).Texto(&nome).Fim();
  *code = Grava(imp, ok, [&] { return MoedaPut(id, cod, pais, nome); });
}

void ImportaBolsa(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0, pais = 0;
  std::string cod, codiso;
  const bool ok =
      TLeitorDeCampos(*imp.Parser).Inteiro(&id).Inteiro(&pais).NaoVazio(&cod).Texto(&codiso).Fim();
  *code = Grava(imp, ok, [&] { return BolsaPut(id, pais, cod, codiso); });
}

void ImportaVotingStatus(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0;
  std::string cod;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&id).NaoVazio(&cod).Fim();
  *code = Grava(imp, ok, [&] { return VoteStatPut(id, cod); });
}

void ImportaHideNoZunInput(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t conta = 0;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&conta).Fim();
  *code = Grava(imp, ok, [&] { return HideNoZunInputPut(conta); });
}

void ImportaBlocoPadraoNaDigitacao(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t num = 0, conta = 0;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&num).Inteiro(&conta).Fim();
  *code = Grava(imp, ok, [&] { return BlocoPadraoNaDigitacaoPut(num, conta); });
}

void ImportaIdentificacaoDeContas(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t identificacao = 0, conta = 0;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&identificacao).Inteiro(&conta).Fim();
  *code = Grava(imp, ok, [&] { return IdentificacaoDeContasPut(identificacao, conta); });
}

void ImportaOcoTipo(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0, seq = 0, nao_guardado = 0;
  std::string abrv, nome, lb1, lb2;
  const bool ok = TLeitorDeCampos(*imp.Parser)
                      .Inteiro(&id)
                      .Inteiro(&seq)
                      .Texto(&abrv)
                      .Texto(&nome)
                      .Inteiro(&nao_guardado)
                      .Texto(&lb1)
                      .Texto(&lb2)
                      .Fim() &&
                  !abrv.empty() && !nome.empty();
  *code = Grava(imp, ok, [&] { return OcoTipoPut(id, seq, abrv, lb2, lb1, nome); });
}

void ImportaTipoObj(TImpMain&, const TVariantes&, int32_t* code) {
  *code = kErrTipoObjNaoImportado;
}

void ImportaListChoice(TImpMain& imp, const TVariantes&, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  p.SetIndex(1);
  int32_t fc = 0;
  if (!StrToIntOk(p.NextField(), &fc)) {
    *code = kErrListChoiceInvalido;
    return;
  }
  const std::string entrada = Maiusculas(std::string(p.NextField()));
  constexpr std::string_view kDocId = "DOC-ID:";
  bool novo = false;
  int32_t id = 0;
  std::string doc;
  if (entrada == "NEW") {
    novo = true;
  } else if (entrada.starts_with(kDocId)) {
    doc = SoLetrasEDigitos(std::string_view(entrada).substr(kDocId.size()));
  } else if (!StrToIntOk(entrada, &id) || id < 1) {
    *code = kErrListChoiceInvalido;
    return;
  }
  std::string pt, en, es;
  p.NextField(&pt);
  p.NextField(&en);
  p.NextField(&es);
  if (en.empty()) en = pt;
  if (es.empty()) es = en;
  if (!imp.ToNoCheck) *code = AddListChoice(fc, novo, id, doc, pt, en, es);
}

}  // namespace zun
