#include "importers/ownership/share_base.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <set>
#include <string_view>
#include <utility>

#include "db/global_state.h"
#include "db/object_lookups.h"
#include "db/texto_na_lingua.h"
#include "db/user_context.h"
#include "engine/codes.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

// The value and status parameters (and columns) of each slot.
constexpr const char* kNomeDoValor[kNumSlotsBac] = {"Total", "EmTesouraria", "ExTesouraria"};
constexpr const char* kNomeDoStatus[kNumSlotsBac] = {"StatTot", "StatEm", "StatEx"};

constexpr uint8_t kStatusImportado = 2;
constexpr uint8_t kStatusDerivado = 5;
constexpr uint8_t kStatusPassadoAoFilho = 11;

bool Finito(double v) { return std::isfinite(v); }

// The invalid mark a value has by itself.
bool InvalidoPorSi(double v) { return !Finito(v) || v < 0; }

// Equal within a relative tolerance of 1e-8; two NaN are equal.
bool IguaisNaTolerancia(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (a == b) return true;
  return std::fabs(2 * (a - b)) / (std::fabs(a) + std::fabs(b)) <= 1e-8;
}

// Same value and status (NaN equal to NaN); Invalido is not compared.
bool MesmoValor(const TValorBac& a, const TValorBac& b) {
  const bool igual = (std::isnan(a.Valor) && std::isnan(b.Valor)) || a.Valor == b.Valor;
  return igual && a.Status == b.Status;
}

// Sets a derived value v with status s into slot; with checa, a slot that
// has a value and differs from v (or v negative) is marked invalid first.
void PoeDerivado(TValorBac* slot, double v, uint8_t s, bool checa) {
  if (checa && TemValorBac(*slot) && !(v >= 0 && IguaisNaTolerancia(v, slot->Valor))) {
    slot->Invalido = true;
  }
  if (StatusDado(slot->Status) || slot->Invalido) return;
  if (Finito(v)) slot->Valor = v;
  slot->Status = s;
  slot->Invalido = InvalidoPorSi(v);
}

// N is TUmaClasseNaBac or its const form.
template <typename N, typename F>
void PreOrdem(N* no, const F& f) {
  f(no);
  for (auto& filho : no->Filhos) PreOrdem(static_cast<N*>(filho.get()), f);
}

template <typename F>
void PosOrdem(TUmaClasseNaBac* no, const F& f) {
  for (auto& filho : no->Filhos) PosOrdem(filho.get(), f);
  f(no);
}

// Rule 1: total = in treasury + outside treasury within one class.
void Regra1(TUmaClasseNaBac* c, bool checa) {
  auto& v = c->Valores;
  const bool tem[kNumSlotsBac] = {TemValorBac(v[kTotal]), TemValorBac(v[kEmTesouraria]),
                                  TemValorBac(v[kExTesouraria])};
  const int validos = tem[0] + tem[1] + tem[2];
  if (checa && validos == 3) {
    if (v[kEmTesouraria].Valor + v[kExTesouraria].Valor == v[kTotal].Valor) return;
    const bool todos_dados =
        StatusDado(v[0].Status) && StatusDado(v[1].Status) && StatusDado(v[2].Status);
    for (TValorBac& s : v) {
      if (todos_dados || !StatusDado(s.Status)) s.Invalido = true;
    }
  } else if (validos == 2) {
    if (!tem[kEmTesouraria]) {
      PoeDerivado(&v[kEmTesouraria], v[kTotal].Valor - v[kExTesouraria].Valor, kStatusDerivado,
                  true);
    } else if (!tem[kExTesouraria]) {
      PoeDerivado(&v[kExTesouraria], v[kTotal].Valor - v[kEmTesouraria].Valor, kStatusDerivado,
                  true);
    } else {
      PoeDerivado(&v[kTotal], v[kEmTesouraria].Valor + v[kExTesouraria].Valor, kStatusDerivado,
                  true);
    }
  } else if (tem[kTotal] && v[kTotal].Valor == 0) {
    for (TValorBac& s : v) PoeDerivado(&s, 0, kStatusDerivado, true);
  }
}

// Rule 2: a parent whose children all have slot i gets their sum.
void Regra2(TUmaClasseNaBac* c, int i) {
  if (c->Filhos.empty()) return;
  double soma = 0;
  for (const auto& f : c->Filhos) {
    if (!TemValorBac(f->Valores[i])) return;
    soma += f->Valores[i].Valor;
  }
  PoeDerivado(&c->Valores[i], soma, kStatusDerivado, true);
}

// Rule 3: a parent with a single child hands its given values down.
void Regra3(TUmaClasseNaBac* c) {
  if (c->Filhos.size() != 1) return;
  TUmaClasseNaBac* filho = c->Filhos[0].get();
  for (int i = 0; i < kNumSlotsBac; ++i) {
    TValorBac& p = c->Valores[i];
    TValorBac& f = filho->Valores[i];
    if (p.Status < 1 || p.Status > 3 || p.Invalido) continue;
    if (!StatusComValor(f.Status)) {
      PoeDerivado(&f, p.Valor, kStatusDerivado, true);
    } else if (!f.Invalido && (!StatusDado(f.Status) || f.Status == p.Status)) {
      // The value statuses that are not given are 5, 11 and 13..22.
      if (!StatusDado(f.Status)) f.Status = p.Status;
      p.Status = kStatusPassadoAoFilho;
    }
  }
}

std::string Numero(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

// The class id of a group's class field: "#" + integer, or a class name
// in the user's language, else in any of the three languages; -1 when
// none.
int32_t IdDaClasse(const std::string& campo) {
  int32_t id = -1;
  if (campo.size() > 1 && campo[0] == '#' && StrToIntOk(std::string_view(campo).substr(1), &id)) {
    return id;
  }
  id = EnumClasses->IdDoTextoNaLingua(campo);
  if (id >= 0) return id;
  for (int n = 1; n <= 3; ++n) {
    for (const IntStgItem& it : EnumClasses->Itens) {
      if (CampoDoTexto(n, it.Texto) == campo) return it.Id;
    }
  }
  return -1;
}

// One group of a line: the class and the slots it gives (status 2).
struct TGrupo {
  int32_t IdClass = 0;
  std::array<TValorBac, kNumSlotsBac> Valores{};
};

// A value field into slot: "-" (or empty) leaves it not given.
bool LeValor(const std::string& campo, TValorBac* slot, std::string* mensagem) {
  if (campo.empty() || campo == "-") return true;
  double v = 0;
  if (!StrToFloatOk(campo, &v)) {
    *mensagem = "Invalid field <" + campo + ">";
    return false;
  }
  slot->Valor = v;
  slot->Status = kStatusImportado;
  return true;
}

// The import pass of a checked line; without grava only what the write
// would refuse before writing (the classes outside the company's tree).
[[nodiscard]] int32_t GravaLinha(int32_t emp, double data, uint8_t source,
                                 const std::vector<TGrupo>& grupos, bool so_atualiza, bool grava) {
  TListaBaseAcionaria lista(emp, source);
  int32_t e = lista.Le();
  if (e != 0) return e;
  TBaseAcionaria* base = lista.PegaBase(data, true);
  if (!so_atualiza) base->Limpa();
  for (size_t g = 0; g < grupos.size(); ++g) {
    TUmaClasseNaBac* c = base->Procura(grupos[g].IdClass);
    if (c == nullptr) {
      Loga("ImpBac: IndBac:" + std::to_string(g) + " nao existe classe " +
           std::to_string(grupos[g].IdClass));
      return kErrBacClasseForaDaBase;
    }
    for (int i = 0; i < kNumSlotsBac; ++i) {
      if (grupos[g].Valores[i].Status == kStatusImportado) c->Valores[i] = grupos[g].Valores[i];
    }
  }
  if (!grava) return 0;
  base->Deriva();
  return base->Grava();
}

}  // namespace

bool StatusDado(uint8_t status) {
  return status == 1 || status == 2 || status == 3 || status == 7 || status >= 23;
}

bool StatusComValor(uint8_t status) {
  return status == 1 || status == 2 || status == 3 || status == 5 || status == 11 ||
         (status >= 13 && status <= 22);
}

bool TemValorBac(const TValorBac& v) {
  return StatusComValor(v.Status) && !v.Invalido && Finito(v.Valor);
}

// ---- Tree ----------------------------------------------------------------

TNoDeArvoreDeClasses::TNoDeArvoreDeClasses(TBaseAcionaria* base, int32_t id_class,
                                           bool pode_ter_bac)
    : Base(base), IdClass(id_class), PodeTerBac(pode_ter_bac) {}

TNoDeArvoreDeClasses::~TNoDeArvoreDeClasses() = default;

bool TUmaClasseNaBac::TemValor(bool recursive, bool aceitaZero) const {
  for (const TValorBac& v : Valores) {
    if (StatusComValor(v.Status) && (aceitaZero || v.Valor != 0)) return true;
  }
  if (recursive) {
    for (const auto& f : Filhos) {
      if (f->TemValor(true, aceitaZero)) return true;
    }
  }
  return false;
}

// ---- One base ------------------------------------------------------------

TBaseAcionaria::TBaseAcionaria(TListaBaseAcionaria* lista, int32_t id_emp, double data,
                               uint8_t source)
    : Lista(lista), IdEmp(id_emp), Data(std::floor(data)), Source(source), Raiz(this, 0, false) {
  if (lista->IdEmp != id_emp) RunError250("TBA.C OE<>HE");
  for (const TObjListRoot& r : lista->Classes()) {
    if (!EnumTipoObj->TemMarcaF3M(r.AtvTipoObj, "[TBA.PCDA:PodeTerBac]")) continue;
    TUmaClasseNaBac* c = AdicionaClasse(r.AtvIdClass, true);
    c->PodeTerBac = true;
    c->AtvId = r.AtvId;
  }
}

TUmaClasseNaBac* TBaseAcionaria::Procura(int32_t id_class) {
  TUmaClasseNaBac* achou = nullptr;
  PreOrdem(&Raiz, [&](TUmaClasseNaBac* c) {
    if (achou == nullptr && c->IdClass == id_class) achou = c;
  });
  return achou;
}

TUmaClasseNaBac* TBaseAcionaria::AdicionaClasse(int32_t id_class, bool pode_ter_bac) {
  if (TUmaClasseNaBac* c = Procura(id_class)) return c;
  // The chain of parents up to the first one in the tree; a parent met
  // twice (circular parents) or unknown ends the chain at the root.
  std::vector<int32_t> cadeia = {id_class};
  std::set<int32_t> vistos = {id_class};
  TUmaClasseNaBac* mae = &Raiz;
  for (;;) {
    const IntStgItem* item = EnumClasses->ItemDoId(cadeia.back());
    const int32_t pai = item == nullptr ? 0 : item->Campo3;
    if (pai == 0 || !vistos.insert(pai).second) break;
    if (TUmaClasseNaBac* no = Procura(pai)) {
      mae = no;
      break;
    }
    cadeia.push_back(pai);
  }
  for (auto it = cadeia.rbegin(); it != cadeia.rend(); ++it) {
    mae->Filhos.push_back(std::make_unique<TUmaClasseNaBac>(this, *it, false));
    mae = mae->Filhos.back().get();
  }
  mae->PodeTerBac = pode_ter_bac;
  return mae;
}

void TBaseAcionaria::Limpa() {
  PreOrdem(&Raiz, [](TUmaClasseNaBac* c) {
    for (TValorBac& v : c->Valores) v = TValorBac{};
  });
}

void TBaseAcionaria::Deriva() {
  PreOrdem(&Raiz, [](TUmaClasseNaBac* c) {
    for (TValorBac& v : c->Valores) {
      if (!StatusDado(v.Status)) {
        v.Valor = 0;
        v.Status = 0;
      }
      v.Invalido = InvalidoPorSi(v.Valor);
    }
  });
  for (int vez = 0; vez < 3; ++vez) {
    PreOrdem(&Raiz, [](TUmaClasseNaBac* c) { Regra1(c, false); });
    for (int i : {kExTesouraria, kEmTesouraria, kTotal}) {
      PosOrdem(&Raiz, [i](TUmaClasseNaBac* c) { Regra2(c, i); });
    }
    PreOrdem(&Raiz, [](TUmaClasseNaBac* c) { Regra1(c, true); });
    PreOrdem(&Raiz, Regra3);
  }
}

bool TBaseAcionaria::Mudou() const {
  bool mudou = false;
  PreOrdem(&Raiz, [&](const TUmaClasseNaBac* c) {
    if (c->IdClass == 0) return;
    for (int i = 0; i < kNumSlotsBac; ++i) {
      if (!MesmoValor(c->Valores[i], c->Lidos[i])) mudou = true;
    }
  });
  return mudou;
}

namespace {

// "PutBaseAcionaria" for class c of base b.
[[nodiscard]] int32_t PutClasse(const TBaseAcionaria& b, const TUmaClasseNaBac& c,
                                bool del_outras) {
  return ChamaComGuarda(
      "PutBaseAcionaria", "PutBaseAcionaria", kErrChamada, [&](DsRef cmd, int32_t* code) {
        SetParamInt(cmd, "@IdEmp", b.IdEmp);
        SetParamDateTime(cmd, "@Data", b.Data);
        SetParamInt(cmd, "@Source", b.Source);
        SetParamInt(cmd, "@IdClass", c.IdClass);
        for (int i = 0; i < kNumSlotsBac; ++i) {
          const TValorBac& v = c.Valores[i];
          const bool ok = Finito(v.Valor);
          SetParamFloat(cmd, std::string("@") + kNomeDoValor[i], ok ? v.Valor : 0);
          SetParamInt(cmd, std::string("@") + kNomeDoStatus[i], ok ? v.Status : 0);
        }
        SetParamBool(cmd, "@DelOutrasClasses", del_outras);
        SetParamBool(cmd, "@MigracaoNaoMandaLog", false);
        *code = ExecStProc(cmd, ModoStProc::kExecuta);
      });
}

}  // namespace

int32_t TBaseAcionaria::Grava() {
  if (!Mudou()) return 0;
  // One transaction for the whole base: the first class written deletes
  // the others, so a failure midway must leave the stored base as it was.
  Transacao transacao;
  const int32_t e = GravaClasses();
  transacao.Termina(e == 0);
  return e;
}

int32_t TBaseAcionaria::GravaClasses() {
  int32_t e = 0;
  bool gravou = false;
  PreOrdem(&Raiz, [&](TUmaClasseNaBac* c) {
    if (e != 0 || c->IdClass == 0) return;
    bool nao_zero = false;
    for (const TValorBac& v : c->Valores) nao_zero = nao_zero || (Finito(v.Valor) && v.Valor != 0);
    if (!c->TemValor(false, true) || !(c->PodeTerBac || nao_zero)) return;
    e = PutClasse(*this, *c, !gravou);
    if (e == 0) {
      gravou = true;
      return;
    }
    std::string nome;
    try {
      nome = TextoNaLingua(EnumClasses->TextoDoId(c->IdClass, true));
    } catch (const std::exception&) {
      nome = "?";
    }
    const auto& v = c->Valores;
    auto slot = [](const TValorBac& s) { return Numero(s.Valor) + "/" + std::to_string(s.Status); };
    Loga("T1CnB.SDb Erro: " + std::to_string(e) + " empresa " + std::to_string(IdEmp) + " " +
         DataIso(Data) + " Src:" + std::to_string(Source) + " classe " +
         std::to_string(c->IdClass) + "/" + nome + " [" + slot(v[kTotal]) + "=" +
         slot(v[kEmTesouraria]) + "+" + slot(v[kExTesouraria]) + "]");
  });
  if (e != 0 || gravou) return e;
  return ChamaComGuarda("DelBaseAcionaria", "DelBaseAcionaria", kErrChamada,
                        [&](DsRef cmd, int32_t* code) {
                          SetParamInt(cmd, "@IdEmp", IdEmp);
                          SetParamDateTime(cmd, "@Data", Data);
                          SetParamInt(cmd, "@Source", Source);
                          *code = ExecStProc(cmd, ModoStProc::kExecuta);
                        });
}

// ---- The bases of a company ------------------------------------------------

TListaBaseAcionaria::TListaBaseAcionaria(int32_t id_emp, uint8_t source)
    : IdEmp(id_emp), Source(source) {}

const std::vector<TObjListRoot>& TListaBaseAcionaria::Classes() {
  if (!classes_lidas_) {
    classes_lidas_ = true;
    const int32_t e = ObjListRoot(IdEmp, &classes_);
    if (e != 0) throw EDBException(e);
  }
  return classes_;
}

int32_t TListaBaseAcionaria::Le() {
  Bases.clear();
  return ChamaComGuarda(
      "GetBaseAcDaEmp", "TListaBaseAcionaria.Le", kErrChamada, [&](DsRef cmd, int32_t* code) {
        SetParamInt(cmd, "@IdEmp", IdEmp);
        SetParamInt(cmd, "@Source", Source);
        SetParamNull(cmd, "@Data");
        *code = ExecStProc(cmd, ModoStProc::kLeResult);
        if (*code != 0) return;
        Classes();
        cmd->NextRecordset();
        TBaseAcionaria* base = nullptr;
        if (cmd->Active()) {
          Recordset& rs = cmd->Current();
          for (rs.First(); !rs.Eof(); rs.Next()) {
            if (FieldInt(cmd, "IdEmp") != IdEmp) {
              *code = kErrBacOutraEmpresa;
              return;
            }
            double data = 0;
            uint8_t source = 0;
            GetFieldDateTime(cmd, "Data", &data);
            GetFieldByte(cmd, "Source", &source);
            data = std::floor(data);
            if (base == nullptr || base->Data != data || base->Source != source) {
              Bases.push_back(std::make_unique<TBaseAcionaria>(this, IdEmp, data, source));
              base = Bases.back().get();
            }
            TUmaClasseNaBac* c = base->AdicionaClasse(FieldInt(cmd, "IdClass"), false);
            for (int i = 0; i < kNumSlotsBac; ++i) {
              TValorBac& v = c->Valores[i];
              GetFieldFloat(cmd, kNomeDoValor[i], &v.Valor);
              GetFieldByte(cmd, kNomeDoStatus[i], &v.Status);
              v.Invalido = InvalidoPorSi(v.Valor);
              if (v.Status == 4) v.Status = kStatusDerivado;
              c->Lidos[i] = v;
              if (v.Status == 10) v = TValorBac{};
            }
          }
        }
        std::stable_sort(Bases.begin(), Bases.end(),
                         [](const auto& a, const auto& b) { return a->Data < b->Data; });
        if (cmd->NextRecordset()) *code = LerResult(cmd, false);
      });
}

TBaseAcionaria* TListaBaseAcionaria::PegaBase(double data, bool cria) {
  data = std::floor(data);
  for (auto it = Bases.rbegin(); it != Bases.rend(); ++it) {
    if ((*it)->Data == data) return it->get();
  }
  if (!cria) return nullptr;
  Bases.push_back(std::make_unique<TBaseAcionaria>(this, IdEmp, data, Source));
  TBaseAcionaria* nova = Bases.back().get();
  std::stable_sort(Bases.begin(), Bases.end(),
                   [](const auto& a, const auto& b) { return a->Data < b->Data; });
  return nova;
}

// ---- The records -----------------------------------------------------------

void ImportaBaseAcionaria(tParserWrapper& parser, bool EhPassoDeCheck, std::string* mensagem,
                          int32_t* code, bool SoAtualiza) {
  auto campo = [&](int i) { return std::string(parser.Field(i)); };
  const std::string cod = campo(1);
  if (cod.empty()) {
    *mensagem = "Empty <company>";
    *code = kErrBacEmpresaVazia;
    return;
  }
  const std::string pais = campo(2);
  int32_t pais_id = -1;
  try {
    if (!StrToIntOk(pais, &pais_id) || !EnumPais || EnumPais->IndexOfId(pais_id) < 0) {
      *code = kErrImpPaisDesconhecido;
      return;
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpBac pais", code, x, kErrImpPaisDesconhecido);
    return;
  }
  double data = 0;
  if (!StrToDateOk(campo(3), &data) || EhDataZero(data)) {
    *mensagem = "Invalid date: <" + campo(3) + ">";
    *code = kErrBacData;
    return;
  }
  int32_t source = -1;
  if (!StrToIntOk(campo(4), &source) || source < 0 || source > 7) {
    *mensagem = "Invalid <source>";
    *code = kErrBacSource;
    return;
  }
  std::vector<TGrupo> grupos;
  int i = 5;
  try {
    for (; i + 3 <= parser.Count(); i += 3) {
      TGrupo g;
      const std::string classe = campo(i);
      g.IdClass = IdDaClasse(classe);
      if (EnumClasses->IndexOfId(g.IdClass) < 0) {
        *mensagem =
            "Unknown class #" + std::to_string(g.IdClass) + " \"" + classe + "\"" + " pais:" + pais;
        *code = kErrBacClasse;
        return;
      }
      const std::string tipo = Maiusculas(campo(i + 1));
      const bool so_total = tipo == "TOTAL" || tipo == "ISSUED";
      const bool ok = so_total ? LeValor(campo(i + 2), &g.Valores[kTotal], mensagem)
                               : LeValor(campo(i + 1), &g.Valores[kEmTesouraria], mensagem) &&
                                     LeValor(campo(i + 2), &g.Valores[kExTesouraria], mensagem);
      if (!ok) {
        *code = kErrBacValor;
        return;
      }
      grupos.push_back(g);
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpBac classes", code, x, kErrChamada);
    return;
  }
  if (parser.Count() - 1 != 4 + 3 * static_cast<int>(grupos.size())) {
    *code = kErrBacNumCampos;
    return;
  }
  // The line's own fields are valid; now what the database knows: the
  // company, and the user's right to a source other than 0.
  const int32_t emp = GetIdEmp(cod, pais, code);
  if (*code != 0) return;
  if (emp < 1) {
    *code = kErrBacEmpresaInvalida;
    return;
  }
  if (EhPassoDeCheck && source != 0 && !PodeSourceDiferenteDeLocal()) {
    // The base procedures refuse another source to a user without the right.
    *code = kErrBacSemDireitoSource;
    return;
  }
  try {
    *code =
        GravaLinha(emp, data, static_cast<uint8_t>(source), grupos, SoAtualiza, !EhPassoDeCheck);
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpBac", code, x, kErrChamada);
  }
}

void ImportaLinhaDeBase(TImpMain& imp, const TVariantes& v, int32_t* code) {
  std::string mensagem;
  ImportaBaseAcionaria(*imp.Parser, imp.ToNoCheck, &mensagem, code, v.Atualiza);
  if (!mensagem.empty()) imp.ErrMsg(mensagem);
}

}  // namespace zun
