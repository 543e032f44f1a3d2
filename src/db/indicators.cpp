#include "db/indicators.h"

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <exception>
#include <memory>
#include <string_view>

#include "db/codes.h"
#include "db/global_state.h"
#include "db/objects.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

// Strict dates count days from this day in 16 bits.
constexpr int kAnoBaseDataCurta = 1920;
constexpr double kMaxDiasDataCurta = 65535;

// The short-date pattern of the program's format settings: a date field
// holding this very text means no date.
constexpr char kPadraoDataCurta[] = "yyyy-mm-dd";

// Procedures and id parameter of each object kind.
struct ProcsDoEaa {
  const char* nome_curto;
  const char* put;
  const char* get;
};
constexpr ProcsDoEaa kProcs[] = {
    {"anb", "PutValorDoIndicadorDoAnbNaData", "GetIndicadorDoAnbNaData"},
    {"atv", "PutValorDoIndicadorDoAtvNaData", "GetIndicadorDoAtvNaData"},
    {"emp", "PutValorDoIndicadorDaEmpNaData", "GetIndicadorDaEmpNaData"},
};

std::unique_ptr<TListaDefIndicador> g_defs;
std::vector<FormatoDeCadastro> g_formatos;
std::vector<RegraDeFormatoDeCadastro> g_regras;
std::vector<LinhaDeFormato> g_linhas;

std::string Str(int64_t v) { return std::to_string(v); }

// Reads a list that answers in the mode 1 shape (status, rows, final
// status), calling linha on each row. Returns 0 or the first failure.
template <typename F>
[[nodiscard]] int32_t LeLista(const std::string& proc, F linha) {
  return ChamaComGuarda(proc, proc + ".Le", kErrChamada, [&](DsRef cmd, int32_t* code) {
    *code = ExecStProc(cmd, ModoStProc::kLeResult);
    if (*code != 0) return;
    cmd->NextRecordset();
    if (cmd->Active()) {
      Recordset& rs = cmd->Current();
      for (rs.First(); !rs.Eof() && *code == 0; rs.Next()) *code = linha(cmd);
    }
    if (*code != 0) return;
    cmd->NextRecordset();
    *code = LerResult(cmd, false);
  });
}

bool EhListaOu32(int fc) { return TemListaDeValores(fc); }

// A number read in full from s with "." as the decimal point.
bool LeDouble(const std::string& s, double* v) {
  if (s.empty()) return false;
  const char* ini = s.data();
  if (*ini == '+') ++ini;
  const char* fim = s.data() + s.size();
  const auto [p, ec] = std::from_chars(ini, fim, *v, std::chars_format::general);
  return ec == std::errc() && p == fim && std::isfinite(*v);
}

bool Digitos(std::string_view s) {
  if (s.empty()) return false;
  for (char ch : s) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
  }
  return true;
}

// "yyyy?mm?dd" with the same separator at 5 and 8 (one of seps, or any
// character that is not a letter or digit when seps is empty) forming a
// real date.
bool LeData(const std::string& s, const char* seps, double* dt) {
  if (s.size() != 10) return false;
  const char sep = s[4];
  if (s[7] != sep) return false;
  if (seps[0] != '\0') {
    if (std::string_view(seps).find(sep) == std::string_view::npos) return false;
  } else if (LetraOuDigitoCp1252(static_cast<unsigned char>(sep))) {
    return false;
  }
  const std::string_view v(s);
  if (!Digitos(v.substr(0, 4)) || !Digitos(v.substr(5, 2)) || !Digitos(v.substr(8, 2))) {
    return false;
  }
  return TryEncodeDate(std::stoi(s.substr(0, 4)), std::stoi(s.substr(5, 2)),
                       std::stoi(s.substr(8, 2)), dt);
}

// The choice list of field type fc, read; nullptr when it has none or
// cannot be read (*e then holds the read's code).
tIntStgListMultiLng* ListaDoTipo(int fc, int32_t* e) {
  if (fc < 0 || fc >= kNumFormatosCampo) return nullptr;
  tIntStgListMultiLng* lista = ListasDeValores[static_cast<size_t>(fc)].get();
  if (lista == nullptr) return nullptr;
  try {
    lista->GaranteLido();
  } catch (const std::exception& x) {
    CodigoDaExcecao("TIDE.SFS lista FC:" + Str(fc), e, x, kErrChamada);
    return nullptr;
  }
  return lista;
}

// The id of the item one of whose names (any language) is nome, ignoring
// letter case; -1.
int32_t IdDoNome(tIntStgList* lista, const std::string& nome) {
  for (const IntStgItem& it : lista->Itens) {
    size_t ini = 0;
    while (ini <= it.Texto.size()) {
      size_t fim = it.Texto.find('|', ini);
      if (fim == std::string::npos) fim = it.Texto.size();
      if (ComparaSemCaixa(AparaBrancos(it.Texto.substr(ini, fim - ini)), nome) == 0) return it.Id;
      ini = fim + 1;
    }
  }
  return -1;
}

// With so_confere a name the list would add is accepted (id 0) and nothing
// is added.
[[nodiscard]] int32_t SetFromLista(const DefIndicador& def, const std::string& texto,
                                   bool pode_incluir_item, bool so_confere, TValorDeIndicador* v) {
  const int fc = def.FC;
  int32_t e = 0;
  tIntStgListMultiLng* lista = ListaDoTipo(fc, &e);
  if (e != 0) return e;
  int32_t id = -1;
  const std::string t = AparaBrancos(texto);
  static constexpr std::string_view kDocId = "doc-id:";
  if (!t.empty() && t[0] == '#') {
    if (!StrToIntOk(t.substr(1), &id)) return kErrIndListaIdNaoInteiro;
    if (lista == nullptr || lista->IndexOfId(id) < 0) return kErrIndListaIdFora;
  } else if (t.compare(0, kDocId.size(), kDocId) == 0) {
    const std::string doc = AparaBrancos(t.substr(kDocId.size()));
    if (doc.empty()) return kErrIndListaDocIdVazio;
    if (lista != nullptr) id = lista->IdDoTexto2(doc);
  } else if (lista != nullptr) {
    id = IdDoNome(lista, t);
    if (id < 0 && pode_incluir_item && lista->PodeAdicionar() && so_confere) {
      id = 0;
    } else if (id < 0 && pode_incluir_item && lista->PodeAdicionar()) {
      int32_t e_add = 0;
      const int32_t novo = lista->AdicionaItem(t, &e_add, "[IndDeEAA.SetFromSt CLV]");
      if (e_add == 0) id = novo;
    }
  }
  if (id < 0) {
    Loga("TIDE.SFS DI#" + Str(def.Id) + " FC:" + Str(fc) + " <" + texto + "> res:" + Str(id) +
         " error:" + Str(kErrIndListaItemDesconhecido));
    return kErrIndListaItemDesconhecido;
  }
  v->Numero = id;
  return 0;
}

}  // namespace

const char* NomeCurtoDoEaa(uint8_t eaa) { return eaa <= kEaaEmp ? kProcs[eaa].nome_curto : ""; }

int32_t TListaDefIndicador::GaranteLido() {
  if (lido_) return 0;
  defs_.clear();
  const int32_t e = LeLista("GetTodosDefIndicador", [this](DsRef cmd) {
    DefIndicador d;
    GetFieldInt(cmd, "Id", &d.Id);
    GetFieldByte(cmd, "FC", &d.FC);
    if (d.Id < 1) return kErrDefIndicadorIdInvalido;
    AdicionaLocal(d);
    return 0;
  });
  // A failed read is read again on the next use: an empty list would make
  // every later indicator of the run an undefined one.
  lido_ = e == 0;
  if (e != 0) {
    defs_.clear();
    Loga("TLDI.GaranteLido erro:" + Str(e));
  }
  return e;
}

void TListaDefIndicador::AdicionaLocal(const DefIndicador& def) {
  lido_ = true;
  if (def.Id < 1) return;
  if (static_cast<size_t>(def.Id) >= defs_.size()) defs_.resize(static_cast<size_t>(def.Id) + 1);
  defs_[static_cast<size_t>(def.Id)] = def;
}

const DefIndicador* TListaDefIndicador::PegaDef(int32_t id, int32_t* e) {
  *e = GaranteLido();
  // An id beyond the definitions read has none; the array is not grown for
  // it, so that an id taken from an import line cannot make it huge.
  if (*e != 0 || id < 1 || static_cast<size_t>(id) >= defs_.size()) return nullptr;
  const DefIndicador& d = defs_[static_cast<size_t>(id)];
  if (d.Id == 0) return nullptr;
  if (d.Id != id) {
    Loga("TLDI.GPII pediu:" + Str(id) + " achou:" + Str(d.Id));
    *e = kErrDefIndicadorInterno;
    return nullptr;
  }
  return &d;
}

TListaDefIndicador& DefIndicadores() {
  if (!g_defs) g_defs = std::make_unique<TListaDefIndicador>();
  return *g_defs;
}

void InstalaDefIndicadores() {
  DefIndicadoresHooks.Recria = [] { g_defs = std::make_unique<TListaDefIndicador>(); };
  DefIndicadoresHooks.Libera = [] {
    g_defs.reset();
    g_formatos.clear();
    g_regras.clear();
    g_linhas.clear();
  };
}

namespace {

[[nodiscard]] int32_t Interpreta(const DefIndicador& def, const std::string& texto, bool estrito,
                                 bool pode_incluir_item, bool so_confere, TValorDeIndicador* v) {
  TValorDeIndicador r;
  r.Numero = NuloFloat();
  r.Texto = texto;
  const std::string t = AparaBrancos(texto);
  if (t.empty() || t == "-") {
    *v = r;
    return 0;
  }
  r.Nulo = false;
  const int fc = def.FC;
  int32_t e = 0;
  if (EhListaOu32(fc)) {
    e = SetFromLista(def, texto, pode_incluir_item, so_confere, &r);
  } else if (fc == 0 || fc == 1) {
    int32_t n = 0;
    if (StrToIntOk(t, &n)) {
      r.Numero = n;
    } else {
      e = kErrIndInteiro;
    }
  } else if (fc == 3) {
    // the text as it is
  } else if (fc == 5 || fc == 15 || fc == 16) {
    std::string s = t;
    if (!estrito) {
      const lconv* lc = std::localeconv();
      const std::string milhar = lc->thousands_sep != nullptr ? lc->thousands_sep : "";
      const std::string decimal = lc->decimal_point != nullptr ? lc->decimal_point : ".";
      if (!milhar.empty()) {
        for (size_t p = s.find(milhar); p != std::string::npos; p = s.find(milhar, p)) {
          s.erase(p, milhar.size());
        }
      }
      if (decimal != ".") {
        const size_t p = s.find(decimal);
        if (p != std::string::npos) s.replace(p, decimal.size(), ".");
      }
    }
    double n = 0;
    if (!estrito && (s.empty() || s == "-")) {
      r.Nulo = true;
    } else if (LeDouble(s, &n)) {
      r.Numero = n;
    } else {
      e = kErrIndFloat;
    }
  } else if (fc == 9) {
    int32_t id = -1;
    try {
      if (EnumAbrevMoeda) id = EnumAbrevMoeda->IdDoTexto(t, 0, true);
    } catch (const std::exception& x) {
      CodigoDaExcecao("TIDE.SFS moeda", &e, x, kErrChamada);
    }
    int32_t n = -1;
    if (id < 0 && t[0] == '#' && StrToIntOk(t.substr(1), &n)) id = n;
    if (e == 0 && id < 0) {
      e = kErrIndMoeda;
      Loga("TIDE.SFS moeda DI#" + Str(def.Id) + " FC:" + Str(fc) + " <" + texto +
           "> res:" + Str(id) + " error:" + Str(e));
    }
    if (e == 0) r.Numero = id;
  } else if (fc == 21 || fc == 38) {
    bool reconhecido = false;
    const bool b = StrToBoolean(t, &reconhecido);
    if (reconhecido) {
      r.Numero = b ? 1 : 0;
    } else {
      e = kErrIndBooleano;
    }
  } else if (fc == 28) {
    double dt = 0;
    if (estrito) {
      double base = 0;
      TryEncodeDate(kAnoBaseDataCurta, 1, 1, &base);
      if (!LeData(t, "", &dt) || dt < base || dt - base > kMaxDiasDataCurta) dt = 0;
    } else if (ComparaSemCaixa(t, kPadraoDataCurta) != 0 && !LeData(t, "-.", &dt)) {
      e = kErrIndDataNaoStrict;
      Loga(Str(e) + " - IndUtil.InternalSetFromString -  data " + texto +
           " informada n\343o \351 valida");
    }
    if (e == 0 && dt == 0) e = kErrIndDataZero;
    r.Data = dt;
  } else {
    e = kErrIndTipoDesconhecido;
    Loga("TIDE.SFS FC:" + Str(fc) + " erro <" + texto + ">");
  }
  if (e == 0) *v = r;
  return e;
}

}  // namespace

int32_t InternalSetFromString(const DefIndicador& def, const std::string& texto, bool estrito,
                              bool pode_incluir_item, TValorDeIndicador* v) {
  return Interpreta(def, texto, estrito, pode_incluir_item, false, v);
}

namespace {

// The definition a value of indicator id_indica is read by, the
// definitions read on first use; null with *e set (the read's code, or
// kErrIndIdSemDefinicao) when there is none.
const DefIndicador* DefinicaoParaValor(int32_t id_indica, int32_t* e) {
  TListaDefIndicador& defs = DefIndicadores();
  *e = defs.GaranteLido();
  if (*e != 0) return nullptr;
  const DefIndicador* def = nullptr;
  if (id_indica >= 0 && id_indica < defs.Conta()) def = defs.PegaDef(id_indica, e);
  if (*e != 0) return nullptr;
  if (def == nullptr) *e = kErrIndIdSemDefinicao;
  return def;
}

}  // namespace

int32_t ConfereValorDoIndicador(uint8_t eaa, int32_t id_indica, const std::string& texto,
                                bool pode_incluir_item) {
  if (eaa == kEaaEmp && id_indica == 9) return 0;
  int32_t e = 0;
  const DefIndicador* def = DefinicaoParaValor(id_indica, &e);
  if (def == nullptr) return e;
  TValorDeIndicador v;
  return Interpreta(*def, texto, true, pode_incluir_item, true, &v);
}

int32_t TPoeValorNumIndicadorNumaData::SetFromString(const std::string& texto, bool estrito,
                                                     bool pode_incluir_item) {
  int32_t e = 0;
  const DefIndicador* def = DefinicaoParaValor(IdIndica, &e);
  if (def == nullptr) return e;
  TValorDeIndicador v;
  e = InternalSetFromString(*def, texto, estrito, pode_incluir_item, &v);
  if (e != 0) return e;
  return Poe(v.Nulo, v.Texto, v.Data, v.Numero);
}

int32_t TPoeValorNumIndicadorNumaData::Poe(bool nulo, const std::string& texto, double data,
                                           double numero) {
  if (EAA > kEaaEmp) return kErrIndEaaInvalido;
  TListaDefIndicador& defs = DefIndicadores();
  int32_t e = defs.GaranteLido();
  if (e != 0) return e;
  if (IdIndica < 1 || IdIndica >= defs.Conta()) return kErrIndIdForaDaLista;
  const DefIndicador* def = defs.PegaDef(IdIndica, &e);
  if (e != 0) return e;
  if (def == nullptr) return kErrIndSemDefinicao;
  const std::string proc = kProcs[EAA].put;
  if (proc.empty()) return kErrIndSemProcedimento;
  const int fc = def->FC;
  return ChamaComGuarda(proc, "TIDE.Poe " + proc, kErrChamada, [&](DsRef cmd, int32_t* code) {
    SetParamInt(cmd, std::string("@") + kProcs[EAA].nome_curto, IdEAA);
    SetParamInt(cmd, "@idindica", IdIndica);
    SetParamDateTime(cmd, "@datainivigencia", Data);
    SetParamNull(cmd, "@valornum");
    SetParamNull(cmd, "@valordt");
    SetParamNull(cmd, "@valorst");
    if (!nulo) {
      if (fc == 3) {
        const std::string t = AparaBrancos(texto);
        if (!t.empty() && t != "-") SetParamStr(cmd, "@valorst", t);
      } else if (fc == 27 || fc == 28) {
        SetParamDateTime(cmd, "@valordt", data);
      } else {
        SetParamFloat(cmd, "@valornum", numero);
      }
    }
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
  });
}

int32_t TPegaValorDumIndicadorNumaData::Pega(bool* nulo, double* numero, std::string* texto,
                                             double* data) {
  *nulo = true;
  *numero = NuloFloat();
  texto->clear();
  *data = 0;
  if (EAA > kEaaEmp) return kErrIndEaaInvalido;
  int32_t e = 0;
  const DefIndicador* def = DefIndicadores().PegaDef(IdIndica, &e);
  if (e != 0) return e;
  const std::string proc = kProcs[EAA].get;
  return ChamaComGuarda(proc, "TIDE.Pega " + proc, kErrChamada, [&](DsRef cmd, int32_t* code) {
    SetParamInt(cmd, std::string("@") + kProcs[EAA].nome_curto, IdEAA);
    SetParamInt(cmd, "@idindica", IdIndica);
    SetParamDateTime(cmd, "@dataVigencia", Data);
    *code = ExecStProc(cmd, ModoStProc::kLeResult);
    if (*code != 0) return;
    cmd->NextRecordset();
    Recordset& rs = cmd->Current();
    rs.First();
    GetFieldStr(cmd, "valorst", texto);
    GetFieldFloat(cmd, "valornum", numero);
    GetFieldDateTime(cmd, "valordt", data);
    if (def != nullptr) {
      const char* coluna = def->FC == 3                     ? "valorst"
                           : def->FC == 27 || def->FC == 28 ? "valordt"
                                                            : "valornum";
      *nulo = rs.FieldByName(coluna).IsNull();
    }
    cmd->NextRecordset();
    *code = LerResult(cmd, false);
  });
}

int32_t EscreveValorDoIndicador(int32_t id_eaa, uint8_t eaa, int32_t id_indica,
                                const std::string& texto, double data, bool pode_incluir_item) {
  if (eaa == kEaaEmp && id_indica == 9) {
    TObjEmp emp;
    int32_t e = ObjEmpGet(id_eaa, &emp);
    if (e != 0) return e;
    const std::string t = AparaBrancos(texto);
    emp.cnpj = t == "-" ? "" : t;
    return ObjEmpPut(emp);
  }
  TPoeValorNumIndicadorNumaData p;
  p.IdEAA = id_eaa;
  p.EAA = eaa;
  p.IdIndica = id_indica;
  p.Data = data;
  return p.SetFromString(texto, true, pode_incluir_item);
}

namespace {

// Fills an empty array with the rows of proc, each read by le; an array
// whose read failed is left empty.
template <typename T, typename F>
[[nodiscard]] int32_t CarregaSeVazio(const std::string& proc, std::vector<T>* itens, F le) {
  if (!itens->empty()) return 0;
  const int32_t e = LeLista(proc, [&](DsRef cmd) {
    T item;
    le(cmd, &item);
    itens->push_back(std::move(item));
    return 0;
  });
  if (e != 0) itens->clear();
  return e;
}

}  // namespace

int32_t CarregaFormatosDeCadastro() {
  int32_t e =
      CarregaSeVazio("FormatoDeCadastroList", &g_formatos, [](DsRef cmd, FormatoDeCadastro* f) {
        GetFieldInt(cmd, "Id", &f->Id);
        GetFieldInt(cmd, "Pais", &f->Pais);
        GetFieldInt(cmd, "Ordem", &f->Ordem);
        GetFieldStr(cmd, "TituloPT", &f->TituloPT);
        GetFieldStr(cmd, "TituloEN", &f->TituloEN);
        GetFieldStr(cmd, "TituloES", &f->TituloES);
      });
  if (e == 0) {
    e = CarregaSeVazio("RegraDeFormatoDeCadastroList", &g_regras,
                       [](DsRef cmd, RegraDeFormatoDeCadastro* r) {
                         GetFieldByte(cmd, "TipoObj", &r->TipoObj);
                         GetFieldByte(cmd, "Pais", &r->Pais);
                         GetFieldInt(cmd, "IdFDC", &r->IdFDC);
                       });
  }
  if (e == 0) {
    e = CarregaSeVazio("LinhaDeFormatoList", &g_linhas, [](DsRef cmd, LinhaDeFormato* l) {
      GetFieldInt(cmd, "IdFDC", &l->IdFDC);
      GetFieldInt(cmd, "IdLinha", &l->IdLinha);
      GetFieldByte(cmd, "EAA", &l->EAA);
      GetFieldByte(cmd, "TipoLinhaFormato", &l->TipoLinhaFormato);
      GetFieldInt(cmd, "P1", &l->P1);
      GetFieldStr(cmd, "StrPT", &l->StrPT);
      GetFieldStr(cmd, "StrEN", &l->StrEN);
      GetFieldStr(cmd, "StrES", &l->StrES);
      GetFieldBool(cmd, "VisivelNoZun", &l->VisivelNoZun);
    });
  }
  if (e != 0) Loga("TIDE.CarregaFormatosDeCadastro erro:" + Str(e));
  return e;
}

const std::vector<FormatoDeCadastro>& FormatosDeCadastro() { return g_formatos; }
const std::vector<RegraDeFormatoDeCadastro>& RegrasDeFormatoDeCadastro() { return g_regras; }
const std::vector<LinhaDeFormato>& LinhasDeFormato() { return g_linhas; }

int32_t IndicadoresDoFormato(int32_t id_fdc, int32_t tipo_obj, int32_t pais,
                             const std::set<uint8_t>& eaas, TParesEaaIndicador* pares) {
  pares->clear();
  if (const int32_t e = CarregaFormatosDeCadastro(); e != 0) return e;
  auto existe = [](int32_t id) {
    for (const FormatoDeCadastro& f : g_formatos) {
      if (f.Id == id) return true;
    }
    return false;
  };
  int32_t fdc = id_fdc;
  if (id_fdc != 0) {
    if (!existe(id_fdc)) {
      Loga("Erro:" + Str(kErrFormatoIdFdc) +
           " N\343o foi encontrado nenhum formato de cadastro para" + " IdFDC:" + Str(id_fdc));
      return kErrFormatoIdFdc;
    }
  } else {
    fdc = 0;
    for (const RegraDeFormatoDeCadastro& r : g_regras) {
      if (r.TipoObj == tipo_obj && r.Pais == pais) {
        fdc = r.IdFDC;
        break;
      }
    }
    if (fdc == 0 || !existe(fdc)) {
      Loga("Erro:" + Str(kErrFormatoRegra) +
           " N\343o foi encontrado nenhum formato de cadastro para o TipoObj:" + Str(tipo_obj) +
           " Pais:" + Str(pais) + " IdFDC:" + Str(id_fdc));
      return kErrFormatoRegra;
    }
  }
  for (const LinhaDeFormato& l : g_linhas) {
    if (l.IdFDC != fdc || l.TipoLinhaFormato != 2 || eaas.count(l.EAA) == 0) continue;
    const std::pair<uint8_t, int32_t> par(l.EAA, l.P1);
    bool repetido = false;
    for (const auto& p : *pares) repetido = repetido || p == par;
    if (!repetido) pares->push_back(par);
  }
  return 0;
}

bool AchaFormatoDoIndicador(int32_t id_indica, int32_t id_eaa, uint8_t eaa, int32_t* e,
                            uint8_t* eaa_achado) {
  *e = 0;
  *eaa_achado = eaa;
  std::vector<TObjListItem> itens;
  *e = ObjListDaEmp(eaa, id_eaa, &itens);
  if (*e != 0) {
    Loga("Erro:" + Str(*e) + " " + "PegaListaObjDoIdEAA. " + "AIdEAA:" + Str(id_eaa) +
         " AEAA:" + Str(eaa) + " AIdIndica" + Str(id_indica));
    return false;
  }
  static const std::set<uint8_t> kTodos = {kEaaAnb, kEaaAtv, kEaaEmp};
  TParesEaaIndicador pares;
  // An object of a kind without a registration format does not hide the
  // indicator of the others: its failure counts only when none holds it.
  int32_t sem_regra = 0;
  for (const TObjListItem& it : itens) {
    // Only the object itself and the objects it belongs to.
    if ((eaa == kEaaAnb && it.anbId != id_eaa) || (eaa == kEaaAtv && it.atvId != id_eaa)) {
      continue;
    }
    if (it.empId == 0 || it.atvId == 0) continue;
    int32_t id_fdc = 0;
    if (it.anbId != 0) {
      TObjAnb anb;
      *e = ObjAnbGet(it.anbId, &anb);
      if (*e != 0) return false;
      id_fdc = anb.FormatoDeCadastro;
    }
    TParesEaaIndicador do_objeto;
    *e = IndicadoresDoFormato(id_fdc, it.atvTipoObj, it.empPais, kTodos, &do_objeto);
    if (*e == kErrFormatoRegra) {
      sem_regra = *e;
      *e = 0;
      continue;
    }
    if (*e != 0) return false;
    pares.insert(pares.end(), do_objeto.begin(), do_objeto.end());
  }
  bool achou = false;
  for (const auto& [k, ind] : pares) {
    if (ind != id_indica) continue;
    if (!achou) *eaa_achado = k;
    achou = true;
    if (k == eaa) {
      *eaa_achado = k;
      break;
    }
  }
  if (!achou) *e = sem_regra;
  return achou;
}

bool IndicadorNoFormato(int32_t id_indica, int32_t id_eaa, uint8_t eaa, int32_t* e) {
  uint8_t achado = eaa;
  return AchaFormatoDoIndicador(id_indica, id_eaa, eaa, e, &achado) && achado == eaa;
}

namespace {

struct GrupoDeLinha {
  int32_t id;
  const char* nomes;
};

// Texts in Windows-1252.
constexpr GrupoDeLinha kGruposDeLinha[] = {
    {10, "Registro (Anbima)|Fund facts (Anbima)|Datos generales (Anbima)"},
    {20, "Taxa de admin (Anbima)|Management fee (Anbima)|Comisiones (Anbima)"},
    {30, "Movimenta\347\343o (Anbima)|Turnover (Anbima)|Movimiento (Anbima)"},
    {40, "Outros|Other|Otros"},
    {1, "Registro|Fund facts|Datos generales"},
    {2, "Taxa de administra\347\343o|Management fee|Comisiones"},
    {3, "Movimenta\347\343o|Turnover|Movimiento"},
    {41, "Outros (Anbima)|Other (Anbima)|Otros (Anbima)"},
    {31, "Dados cadastrais (CVM)|Registration data (CVM)|Datos catastrales (CVM)"},
    {32,
     "Dados extra\355dos do regulamento|Data extracted from fund regulation|"
     "Informaci\363n extra\355da del reglamento del fondo"},
    {4, "Emissor|Issuer|Emisor"},
    {5, "Ativo|Security|Activo"},
    {6, "Negocia\347\343o|Trading|Negociaci\363n"},
};

}  // namespace

const char* NomeDoGrupoDeLinha(int32_t id) {
  for (const GrupoDeLinha& g : kGruposDeLinha) {
    if (g.id == id) return g.nomes;
  }
  return "";
}

std::vector<int32_t> IdsDosGruposDeLinha() {
  std::vector<int32_t> ids;
  for (const GrupoDeLinha& g : kGruposDeLinha) ids.push_back(g.id);
  return ids;
}

}  // namespace zun
