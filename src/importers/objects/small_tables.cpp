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
  // Whether every check passed and the record has no further field (not
  // even an empty one).
  bool Fim() {
    ok_ = ok_ && p_.CurrentIndex() >= p_.Count();
    return ok_;
  }

 private:
  tParserWrapper& p_;
  bool ok_ = true;
};

// In the import pass, a record that passed its checks is written; ok tells
// whether the write returned 0.
template <typename Escrita>
void Grava(bool to_no_check, bool* ok, Escrita escreve) {
  if (*ok && !to_no_check) *ok = escreve() == 0;
}

}  // namespace

void ImportaPais(tParserWrapper& p, bool to_no_check, const TVariantes&, bool* ok) {
  int32_t id = 0;
  std::string cod, nome;
  *ok = TLeitorDeCampos(p).Inteiro(&id).NaoVazio(&cod).NaoVazio(&nome).Fim();
  Grava(to_no_check, ok, [&] { return PaisPut(id, cod, nome); });
}

void ImportaCurrency(tParserWrapper& p, bool to_no_check, const TVariantes&, bool* ok) {
  int32_t id = 0, pais = 0;
  std::string cod, nome;
  *ok = TLeitorDeCampos(p).Inteiro(&id).NaoVazio(&cod).Inteiro(&pais).Texto(&nome).Fim();
  Grava(to_no_check, ok, [&] { return MoedaPut(id, cod, pais, nome); });
}

void ImportaBolsa(tParserWrapper& p, bool to_no_check, const TVariantes&, bool* ok) {
  int32_t id = 0, pais = 0;
  std::string cod, codiso;
  *ok = TLeitorDeCampos(p).Inteiro(&id).Inteiro(&pais).NaoVazio(&cod).Texto(&codiso).Fim();
  Grava(to_no_check, ok, [&] { return BolsaPut(id, pais, cod, codiso); });
}

void ImportaVotingStatus(tParserWrapper& p, bool to_no_check, const TVariantes&, bool* ok) {
  int32_t id = 0;
  std::string cod;
  *ok = TLeitorDeCampos(p).Inteiro(&id).NaoVazio(&cod).Fim();
  Grava(to_no_check, ok, [&] { return VoteStatPut(id, cod); });
}

void ImportaHideNoZunInput(tParserWrapper& p, bool to_no_check, const TVariantes&, bool* ok) {
  int32_t conta = 0;
  *ok = TLeitorDeCampos(p).Inteiro(&conta).Fim();
  Grava(to_no_check, ok, [&] { return HideNoZunInputPut(conta); });
}

void ImportaBlocoPadraoNaDigitacao(tParserWrapper& p, bool to_no_check, const TVariantes&,
                                   bool* ok) {
  int32_t num = 0, conta = 0;
  *ok = TLeitorDeCampos(p).Inteiro(&num).Inteiro(&conta).Fim();
  Grava(to_no_check, ok, [&] { return BlocoPadraoNaDigitacaoPut(num, conta); });
}

void ImportaIdentificacaoDeContas(tParserWrapper& p, bool to_no_check, const TVariantes&,
                                  bool* ok) {
  int32_t identificacao = 0, conta = 0;
  *ok = TLeitorDeCampos(p).Inteiro(&identificacao).Inteiro(&conta).Fim();
  Grava(to_no_check, ok, [&] { return IdentificacaoDeContasPut(identificacao, conta); });
}

void ImportaOcoTipo(tParserWrapper& p, bool to_no_check, const TVariantes&, bool* ok) {
  int32_t id = 0, seq = 0, nao_guardado = 0;
  std::string abrv, nome, lb1, lb2;
  *ok = TLeitorDeCampos(p)
            .Inteiro(&id)
            .Inteiro(&seq)
            .Texto(&abrv)
            .Texto(&nome)
            .Inteiro(&nao_guardado)
            .Texto(&lb1)
            .Texto(&lb2)
            .Fim() &&
        !abrv.empty() && !nome.empty();
  Grava(to_no_check, ok, [&] { return OcoTipoPut(id, seq, abrv, lb2, lb1, nome); });
}

void ImportaTipoObj(tParserWrapper&, bool, const TVariantes&, int32_t* code) {
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
