#include "importers/objects/small_tables.h"

#include <algorithm>
#include <string>

#include "db/global_state.h"
#include "db/id_text_list.h"
#include "db/reference_procs.h"
#include "db/reference_tables.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/text.h"
#include "importers/statements/statement.h"

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

// A record that passed its checks (ok) is, in the check pass, confirmed:
// confere tells whether the write would be accepted, as far as the lists
// read show it; in the import pass, written. The record's code: 0, or
// kErrRegistroRecusado when the checks, the confirmation or the write
// failed.
template <typename Confere, typename Escrita>
[[nodiscard]] int32_t Grava(const TImpMain& imp, bool ok, Confere confere, Escrita escreve) {
  if (ok) ok = imp.ToNoCheck ? confere() : escreve() == 0;
  return CodigoDoOk(ok);
}

// The account numbers the account settings take: those of the statement grid.
bool ContaValida(int32_t conta) { return conta >= 1 && conta <= kMaxContaBal; }

// Whether cod is the two- or three-letter code of country id.
bool CodigoDoPaisDado(int32_t id, const std::string& cod) {
  if (id < 0 || id >= kNumPaises) return false;
  const CodigoDePais& c = CodigoDoPais(id);
  const std::string n = std::to_string(id);
  const std::string cod2 =
      *c.cod2 ? c.cod2 : std::string(2 - std::min<size_t>(2, n.size()), '0') + n;
  const std::string cod3 = *c.cod3 ? c.cod3 : std::string(3 - n.size(), '0') + n;
  return ComparaSemCaixa(cod, cod2) == 0 || ComparaSemCaixa(cod, cod3) == 0;
}

// Whether lista holds id.
bool Tem(const std::unique_ptr<tIntStgList>& lista, int32_t id) {
  return lista && lista->IndexOfId(id) >= 0;
}

// Whether an item of lista other than id has the text (letter case aside):
// the table's codes are unique.
bool DeOutro(const std::unique_ptr<tIntStgList>& lista, const std::string& texto, int32_t id) {
  if (!lista) return false;
  lista->IndexOfId(id);  // reads the list when it is unread
  for (const IntStgItem& it : lista->Itens) {
    if (it.Id != id && ComparaSemCaixa(it.Texto, AparaBrancos(texto)) == 0) return true;
  }
  return false;
}

// What "AddListChoice" would refuse, found in the list: a type without a
// list, no name, an entry that does not exist, a document of another entry.
[[nodiscard]] int32_t ConfereListChoice(int32_t fc, bool novo, int32_t id, const std::string& doc,
                                        const std::string& pt, const std::string& en,
                                        const std::string& es) {
  constexpr int32_t kSemLista = 50410, kDesconhecida = 50411, kDocRepetido = 50412,
                    kSemNome = 50413;
  if (fc < 0 || fc >= kNumFormatosCampo || !TemListaDeValores(fc) || !ListasDeValores[fc]) {
    return kSemLista;
  }
  if (AparaBrancos(pt).empty() && AparaBrancos(en).empty() && AparaBrancos(es).empty()) {
    return kSemNome;
  }
  tIntStgListMultiLng& lista = *ListasDeValores[fc];
  const int32_t dono = doc.empty() ? -1 : lista.IdDoTexto2(doc);
  if (!novo && id < 1 && doc.empty()) return kDesconhecida;
  if (dono > 0 && (novo || (id >= 1 && dono != id))) return kDocRepetido;
  if (!novo && id >= 1 && lista.IndexOfId(id) < 0) return kDesconhecida;
  return 0;
}

}  // namespace

void ImportaPais(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0;
  std::string cod, nome;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&id).NaoVazio(&cod).NaoVazio(&nome).Fim();
  // Only the names of known countries change, named by one of their codes
  // (those of the program's table, which the login checks against the
  // database's; an id without codes has its number as both).
  *code = Grava(
      imp, ok, [&] { return Tem(EnumPais, id) && CodigoDoPaisDado(id, cod); },
      [&] { return PaisPut(id, cod, nome); });
}

void ImportaCurrency(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0, pais = 0;
  std::string cod, nome;
  const bool ok =
      TLeitorDeCampos(*imp.Parser).Inteiro(&id).NaoVazio(&cod).Inteiro(&pais).Texto(&nome).Fim();
  // Only the names of known currencies change; symbol and country stay.
  *code = Grava(
      imp, ok,
      [&] {
        return Tem(EnumMoeda, id) && Tem(EnumPais, pais) &&
               EnumMoeda->Itens[EnumMoeda->IndexOfId(id)].Campo2 == pais && EnumAbrevMoeda &&
               ComparaSemCaixa(EnumAbrevMoeda->TextoDoId(id, false), cod) == 0;
      },
      [&] { return MoedaPut(id, cod, pais, nome); });
}

void ImportaBolsa(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0, pais = 0;
  std::string cod, codiso;
  const bool ok =
      TLeitorDeCampos(*imp.Parser).Inteiro(&id).Inteiro(&pais).NaoVazio(&cod).Texto(&codiso).Fim();
  *code = Grava(
      imp, ok, [&] { return id >= 0 && Tem(EnumPais, pais) && !DeOutro(EnumBolsa, cod, id); },
      [&] { return BolsaPut(id, pais, cod, codiso); });
}

void ImportaVotingStatus(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t id = 0;
  std::string cod;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&id).NaoVazio(&cod).Fim();
  *code = Grava(
      imp, ok, [&] { return id >= 0 && !DeOutro(EnumVote, cod, id); },
      [&] { return VoteStatPut(id, cod); });
}

void ImportaHideNoZunInput(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t conta = 0;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&conta).Fim();
  *code = Grava(
      imp, ok, [&] { return ContaValida(conta); }, [&] { return HideNoZunInputPut(conta); });
}

void ImportaBlocoPadraoNaDigitacao(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t num = 0, conta = 0;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&num).Inteiro(&conta).Fim();
  *code = Grava(
      imp, ok,
      [&] {
        // A block that is stored, or that a line before this one defines.
        return ContaValida(conta) &&
               (num == 0 || (num > 0 && (Tem(EnumBlocoDeContaBal, num) ||
                                         imp.DefinidoAntes("*BLOCOCBAL", num, imp.lnn - 1))));
      },
      [&] { return BlocoPadraoNaDigitacaoPut(num, conta); });
}

void ImportaIdentificacaoDeContas(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t identificacao = 0, conta = 0;
  const bool ok = TLeitorDeCampos(*imp.Parser).Inteiro(&identificacao).Inteiro(&conta).Fim();
  *code = Grava(
      imp, ok, [&] { return ContaValida(conta) && identificacao >= 0; },
      [&] { return IdentificacaoDeContasPut(identificacao, conta); });
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
  *code = Grava(
      imp, ok, [&] { return id >= 0 && !DeOutro(EnumOcoAbrv, abrv, id); },
      [&] { return OcoTipoPut(id, seq, abrv, lb2, lb1, nome); });
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
  if (imp.ToNoCheck) {
    *code = ConfereListChoice(fc, novo, id, doc, pt, en, es);
    return;
  }
  *code = AddListChoice(fc, novo, id, doc, pt, en, es);
}

}  // namespace zun
