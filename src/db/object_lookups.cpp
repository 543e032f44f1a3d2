#include "db/object_lookups.h"

#include <algorithm>
#include <memory>

#include "db/codes.h"
#include "foundation/text.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

std::unique_ptr<TCacheEmpPais> g_cache;

// A country id given as text: an integer in 0..79.
bool PaisValido(const std::string& texto, int32_t* pais) {
  return StrToIntOk(texto, pais) && *pais >= 0 && *pais <= 79;
}

// A company or class code that names something.
bool CodigoDado(const std::string& cod) { return !cod.empty() && cod != "-"; }

bool Menor(const TCacheEmpPais::Item& a, int32_t pais, const std::string& cod) {
  if (a.pais != pais) return a.pais < pais;
  return ComparaSemCaixa(a.cod, cod) < 0;
}

}  // namespace

void TCacheEmpPais::Carrega() {
  itens_.clear();
  ComComando(
      "select pais, cod, id from empresa order by pais, cod",
      [this](DsRef cmd) {
        cmd->Open();
        if (!cmd->Active()) return;
        Recordset& rs = cmd->Current();
        for (rs.First(); !rs.Eof(); rs.Next()) {
          Item it;
          GetFieldInt(cmd, "pais", &it.pais);
          GetFieldStr(cmd, "cod", &it.cod);
          GetFieldInt(cmd, "id", &it.id);
          itens_.push_back(std::move(it));
        }
      },
      CommandType::kText);
  // The database's collation need not order codes as the search compares
  // them (letter case, accented letters, the text's encoding): order them
  // here, keeping the database's order among codes that compare equal.
  std::stable_sort(itens_.begin(), itens_.end(),
                   [](const Item& a, const Item& b) { return Menor(a, b.pais, b.cod); });
}

int32_t TCacheEmpPais::Procura(int32_t pais, const std::string& cod) const {
  const std::string chave = Apara(cod);
  auto it =
      std::lower_bound(itens_.begin(), itens_.end(), chave,
                       [pais](const Item& a, const std::string& c) { return Menor(a, pais, c); });
  if (it == itens_.end() || it->pais != pais || ComparaSemCaixa(it->cod, chave) != 0) return 0;
  return it->id;
}

const TCacheEmpPais* CacheEmpPais() { return g_cache.get(); }

void LiberaCacheEmpPais() { g_cache.reset(); }

int32_t GetIdEmp(const std::string& cod, const std::string& pais, int32_t* erro) {
  *erro = 0;
  int32_t id_pais = 0;
  if (!PaisValido(pais, &id_pais)) {
    *erro = kErrGetIdEmpPais;
    return 0;
  }
  int32_t id = 0;
  *erro = ComComando("GetIdEmp", [&](DsRef cmd) {
    SetParamStr(cmd, "@cod", cod);
    SetParamInt(cmd, "@pais", id_pais);
    const int32_t e = ExecStProc(cmd, ModoStProc::kExecuta);
    if (e == 0) GetParamInt(cmd, "@idemp", &id);
    return e;
  });
  if (*erro == 0 && id < 1) *erro = kErrGetIdEmpSemId;
  return *erro == 0 ? id : 0;
}

int32_t GetIdEmpCache(const std::string& cod, const std::string& pais, int32_t* erro) {
  *erro = 0;
  if (!g_cache) {
    auto cache = std::make_unique<TCacheEmpPais>();
    cache->Carrega();
    g_cache = std::move(cache);
  }
  int32_t id_pais = 0;
  if (!PaisValido(pais, &id_pais)) {
    *erro = kErrGetIdEmpPais;
    return 0;
  }
  const int32_t id = g_cache->Procura(id_pais, cod);
  if (id <= 0) {
    *erro = kErrGetIdEmpSemId;
    return 0;
  }
  return id;
}

int32_t GetIdAnb(const std::string& cod, const std::string& bolsa, int32_t* erro) {
  *erro = 0;
  int32_t id_bolsa = 0;
  if (!StrToIntOk(bolsa, &id_bolsa)) {
    *erro = kErrGetIdAnbBolsa;
    return 0;
  }
  bool falhou = false;
  const int32_t id = ComComando("GetIdAnb", [&](DsRef cmd) {
    SetParamStr(cmd, "@cod", cod);
    SetParamInt(cmd, "@bolsa", id_bolsa);
    // The return value is the id, and a failed call also answers with a
    // number: only a call that set the return value gave an id.
    Parameter* retorno = cmd->Params().ReturnValue();
    if (retorno != nullptr) retorno->value = Value::Null();
    const int32_t r = ExecStProc(cmd, ModoStProc::kExecuta);
    falhou = retorno == nullptr || retorno->value.IsNull() || retorno->value.AsInt() != r;
    return r;
  });
  if (falhou) {
    *erro = id;
    return 0;
  }
  if (id < 1) {
    // The return value is the id; what is not an id is no series.
    *erro = kErrRegistroNaoAchado;
    return 0;
  }
  return id;
}

int32_t GetIdAtv(const std::string& cod_emp, const std::string& pais, const std::string& cod_classe,
                 int32_t* id_class, int32_t* id_atv, int32_t* id_emp, bool provis) {
  *id_class = *id_atv = *id_emp = 0;
  int32_t id_pais = 0;
  if (!CodigoDado(cod_emp)) return kErrGetIdAtvSemCodEmp;
  if (!PaisValido(pais, &id_pais)) return kErrGetIdAtvPais;
  if (!CodigoDado(cod_classe)) return kErrGetIdAtvSemCodClasse;
  return ComComando("GetIdAtvV2", [&](DsRef cmd) {
    auto chama = [&](const std::string& emp) {
      SetParamStr(cmd, "@emp", emp);
      SetParamInt(cmd, "@pais", id_pais);
      SetParamStr(cmd, "@class", cod_classe);
      return ExecStProc(cmd, ModoStProc::kExecuta);
    };
    int32_t e = chama(cod_emp);
    std::string registrado;
    int32_t emp_reg = 0, anb_reg = 0;
    if (provis && e == kErrGetIdAtvEmpNaoAchada && cod_emp.find("-provis") != std::string::npos &&
        GetRegistroCodCVMparaAnbima(cod_emp, &registrado, &emp_reg, &anb_reg)) {
      e = chama(registrado);
    }
    if (e == 0 || e == kErrGetIdAtvSemAtivo) {
      GetParamInt(cmd, "@IdEmp", id_emp);
      GetParamInt(cmd, "@IdAtv", id_atv);
      GetParamInt(cmd, "@IdClass", id_class);
    }
    return e;
  });
}

bool GetRegistroCodCVMparaAnbima(const std::string& provis, std::string* cod, int32_t* id_emp,
                                 int32_t* id_anb) {
  return ComComando("GetRegistroCodCVMparaAnbima", [&](DsRef cmd) {
    SetParamStr(cmd, "@cod_provis", provis);
    if (ExecStProc(cmd, ModoStProc::kExecuta) != 1) return false;
    GetParamStr(cmd, "@cod_anbima", cod);
    GetParamInt(cmd, "@idemp", id_emp);
    GetParamInt(cmd, "@idanb", id_anb);
    return true;
  });
}

int32_t GetTipoDeBGLDaAnb(const std::string& cod, int32_t bolsa, uint8_t* tipo) {
  *tipo = 0;
  int32_t valor = 0;
  int32_t e = ComComando("GetTipoDeBGLDaAnb", [&](DsRef cmd) {
    SetParamStr(cmd, "@cod", cod);
    SetParamInt(cmd, "@bolsa", bolsa);
    const int32_t r = ExecStProc(cmd, ModoStProc::kExecuta);
    if (r == 0) GetParamInt(cmd, "@TipoDeBGLDestino", &valor);
    return r;
  });
  if (e == 0 && (valor < 0 || valor > 11)) e = kErrGetTipoDeBGLFora;
  if (e == 0) *tipo = static_cast<uint8_t>(valor);
  return e;
}

int32_t GetTotalAnbDessaBolsaTBGL(int32_t bolsa, int32_t tipo, int32_t* num) {
  *num = 0;
  int32_t valor = 0;
  const int32_t e = ComComando("GetTotalAnbDessaBolsaTBGL", [&](DsRef cmd) {
    SetParamInt(cmd, "@bolsa", bolsa);
    SetParamInt(cmd, "@TipoDeBGLDestino", tipo);
    const int32_t r = ExecStProc(cmd, ModoStProc::kExecuta);
    if (r == 0) GetParamInt(cmd, "@Num", &valor);
    return r;
  });
  if (e == 0) *num = valor;
  return e;
}

}  // namespace zun
