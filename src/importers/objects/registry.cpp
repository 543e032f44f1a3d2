#include "importers/objects/registry.h"

#include <string>

#include "db/indicators.h"
#include "db/object_lookups.h"
#include "db/objects.h"
#include "engine/codes.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/log.h"
#include "importers/objects/object_codes.h"

namespace zun {

namespace {

// What a provisional code contains.
constexpr char kProvis[] = "-provis";

std::string Str(int64_t v) { return std::to_string(v); }

// The head of a registry line: the object, the indicator, the value text
// and the date (0 = none).
struct TCabecalho {
  int32_t IdEAA = 0;
  int32_t IdIndica = 0;
  std::string Valor;
  double Data = 0;
};

// An indicator field: an integer with a definition; else erro (or the
// definitions' read code).
[[nodiscard]] int32_t LeIndicador(std::string_view campo, int32_t erro, int32_t* id) {
  if (!StrToIntOk(campo, id)) return erro;
  int32_t e = 0;
  const DefIndicador* def = DefIndicadores().PegaDef(*id, &e);
  if (e != 0) return e;
  return def == nullptr ? erro : 0;
}

// The indicator, value and date fields from field i on; nothing may follow.
[[nodiscard]] int32_t LeIndicadorValorData(tParserWrapper& p, int32_t i, int32_t erro_ind,
                                           int32_t erro_valor, int32_t erro_data, TCabecalho* h) {
  int32_t e = LeIndicador(p.Field(i), erro_ind, &h->IdIndica);
  if (e != 0) return e;
  h->Valor.assign(p.Field(i + 1));
  if (h->Valor.empty()) return erro_valor;
  if (p.Count() > i + 2 && !StrToDateOk(p.Field(i + 2), &h->Data)) {
    h->Data = 0;
    return erro_data;
  }
  return p.Count() > i + 3 ? kErrCamposDemais : 0;
}

// The registered id a provisional code stands for (*id; 0 when it is not
// registered); true when it is registered.
bool Resgata(const std::string& cod, uint8_t eaa, int32_t* id) {
  if (cod.find(kProvis) == std::string::npos) return false;
  std::string registrado;
  int32_t id_emp = 0, id_anb = 0;
  if (!GetRegistroCodCVMparaAnbima(cod, &registrado, &id_emp, &id_anb)) return false;
  *id = eaa == kEaaAnb ? id_anb : id_emp;
  return true;
}

// The head shared by the direct and the REPEATDATE forms; the checks stop
// at the first error.
[[nodiscard]] int32_t LeCabecalhoDoRegistro(tParserWrapper& p, uint8_t eaa, TCabecalho* h) {
  const std::string f1(p.Field(1));
  const std::string f2(p.Field(2));
  int32_t e = 0;
  int32_t campo_ind = 3;
  if (eaa == kEaaAnb) {
    h->IdEAA = GetIdAnb(f1, f2, &e);
    if (e == kErrRegistroNaoAchado && Resgata(f1, eaa, &h->IdEAA)) e = 0;
    if (e == 0 && h->IdEAA < 1) e = kErrRegSerieSemId;
  } else if (eaa == kEaaAtv) {
    int32_t id_class = 0, id_emp = 0;
    e = GetIdAtv(f1, f2, std::string(p.Field(3)), &id_class, &h->IdEAA, &id_emp, true);
    if (e == 0 && h->IdEAA < 1) e = kErrRegClasseSemId;
    campo_ind = 4;
  } else {
    h->IdEAA = GetIdEmp(f1, f2, &e);
    if (e == kErrGetIdEmpSemId && Resgata(f1, eaa, &h->IdEAA)) e = 0;
    if (e == 0 && h->IdEAA < 1) e = kErrRegEmpSemId;
  }
  if (e != 0) return e;
  return LeIndicadorValorData(p, campo_ind, kErrRegIndicador, kErrRegValorVazio, kErrRegData, h);
}

// An unknown series becomes a warning line message; the line succeeds.
void AvisaSerieDesconhecida(TImpMain& imp, int32_t* code) {
  if (*code != kErrRegistroNaoAchado) return;
  imp.ErrMsg("Warning: " + Str(kErrRegistroNaoAchado) + " Ticker:" +
             std::string(imp.Parser->Field(1)) + ", Bolsa:" + std::string(imp.Parser->Field(2)));
  *code = 0;
}

}  // namespace

void ImportaRegistro(TImpMain& imp, const TVariantes& v, int32_t* code) {
  const auto eaa = static_cast<uint8_t>(v.Nivel);
  TCabecalho h;
  *code = LeCabecalhoDoRegistro(*imp.Parser, eaa, &h);
  if (*code == 0 && imp.ToNoCheck) {
    uint8_t achado = eaa;
    int32_t e = 0;
    const bool achou = AchaFormatoDoIndicador(h.IdIndica, h.IdEAA, eaa, &e, &achado);
    if (!achou || achado != eaa) {
      *code = e != 0 ? e : kErrRegForaDoFormato;
      Loga("IIDEAA erro:" + Str(*code) + " IdIndica:" + Str(h.IdIndica) + " IdEAA:" + Str(h.IdEAA) +
           " EAA:" + NomeCurtoDoEaa(eaa) + " TaNoFormatoCadastro:" + (achou ? "Y" : "N") +
           " TaEmAlgumaApres:" + NomeCurtoDoEaa(achado));
    }
    if (*code == 0) *code = ConfereValorDoIndicador(eaa, h.IdIndica, h.Valor, v.AdicionaItemSeNovo);
  }
  if (*code == 0 && !imp.ToNoCheck) {
    *code =
        EscreveValorDoIndicador(h.IdEAA, eaa, h.IdIndica, h.Valor, h.Data, v.AdicionaItemSeNovo);
  }
  AvisaSerieDesconhecida(imp, code);
}

void RepeteRegistro(TImpMain& imp, const TVariantes& v, int32_t* code) {
  const auto eaa = static_cast<uint8_t>(v.Nivel);
  TCabecalho h;
  double origem = 0;
  *code = LeCabecalhoDoRegistro(*imp.Parser, eaa, &h);
  if (*code == 0 && (!StrToDateOk(h.Valor, &origem) || EhDataZero(origem))) {
    *code = kErrRegDataOrigem;
  }
  if (*code == 0 && EhDataZero(h.Data)) *code = kErrRegDataDestino;
  if (*code == 0) {
    TPegaValorDumIndicadorNumaData pega;
    pega.IdEAA = h.IdEAA;
    pega.EAA = eaa;
    pega.IdIndica = h.IdIndica;
    pega.Data = origem;
    bool nulo = true;
    double numero = 0, data = 0;
    std::string texto;
    *code = pega.Pega(&nulo, &numero, &texto, &data);
    if (*code == 0 && !imp.ToNoCheck) {
      TPoeValorNumIndicadorNumaData poe;
      poe.IdEAA = h.IdEAA;
      poe.EAA = eaa;
      poe.IdIndica = h.IdIndica;
      poe.Data = h.Data;
      *code = poe.Poe(nulo, texto, data, numero);
    }
  }
  AvisaSerieDesconhecida(imp, code);
}

void ImportaRegistroDaSerie(TImpMain& imp, const TVariantes& v, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  TCabecalho h;
  const int32_t id_anb = GetIdAnb(std::string(p.Field(1)), std::string(p.Field(2)), code);
  if (*code == 0 && id_anb < 1) *code = kErrEaaRegSerieSemId;
  if (*code == 0) {
    *code =
        LeIndicadorValorData(p, 3, kErrEaaRegIndicador, kErrEaaRegValorVazio, kErrEaaRegData, &h);
  }
  TObjAnb anb;
  TObjAtv atv;
  TObjEmp emp;
  if (*code == 0) *code = ObjAnbGet(id_anb, &anb);
  if (*code == 0) *code = ObjAtvGet(anb.acao, &atv);
  if (*code == 0) *code = ObjEmpGet(atv.emp, &emp);
  uint8_t achado = kEaaAnb;
  if (*code == 0) {
    int32_t e = 0;
    const bool achou = AchaFormatoDoIndicador(h.IdIndica, id_anb, kEaaAnb, &e, &achado);
    if (!achou) {
      *code = e != 0 ? e : kErrEaaRegForaDoFormato;
      Loga("IIDEAA erro:" + Str(*code) + " IdIndica:" + Str(h.IdIndica) + " IdAnb:" + Str(id_anb) +
           " ProcurandoPorEAA.Id[EAA]:" + Str(id_anb) + " Pais:" + Str(9) +
           " EAA:" + NomeCurtoDoEaa(kEaaAnb) + " TaEmAlgumaApres:" + (achou ? "Y" : "N"));
    }
  }
  if (*code == 0 && imp.ToNoCheck) {
    *code = ConfereValorDoIndicador(achado, h.IdIndica, h.Valor, v.AdicionaItemSeNovo);
  }
  if (*code == 0 && !imp.ToNoCheck) {
    const int32_t id = achado == kEaaAnb ? id_anb : achado == kEaaAtv ? anb.acao : atv.emp;
    *code = EscreveValorDoIndicador(id, achado, h.IdIndica, h.Valor, h.Data, v.AdicionaItemSeNovo);
  }
  if (!v.SeExiste) AvisaSerieDesconhecida(imp, code);
}

}  // namespace zun
