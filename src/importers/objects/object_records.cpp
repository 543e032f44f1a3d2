#include "importers/objects/object_records.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "db/global_state.h"
#include "db/naics.h"
#include "db/object_lookups.h"
#include "db/objects.h"
#include "db/user_context.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "importers/objects/field_checks.h"
#include "importers/objects/object_codes.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

// "ImportAnbBGLDestino": a kind outside 0..11 (a kind from 6 on that the
// series does not have, without the right, is kSemDireitoTipoDeBGL).
constexpr int32_t kTipoDeBGLInvalido = 50525;
constexpr int32_t kPrimeiroTipoDeBGLRestrito = 6;

// The checks shared by the series records: field count (errado when it is
// not 4, with the line message), ticker and exchange. 0 when they pass.
[[nodiscard]] int32_t ChecaSerie(TImpMain& imp, int32_t errado, int32_t* bolsa) {
  tParserWrapper& p = *imp.Parser;
  if (p.Count() != 4) {
    imp.ErrMsg("Invalid # of fields : " + std::to_string(p.Count()));
    return errado;
  }
  if (p.Field(1).empty()) {
    imp.ErrMsg("Empty <ticker>");
    return kErrSerieStatusTicker;
  }
  if (!IdDaLista(p.Field(2), EnumBolsa.get(), bolsa)) {
    imp.ErrMsg("Invalid <exchange>");
    return kErrSerieStatusBolsa;
  }
  return 0;
}

// The check pass's look-up of the record's series: 0 (also for a series an
// "*OBJSERIE" line before this one adds), or the series procedures' 4178 for
// one that is not registered; *tipo its destination kind (0 when unknown).
[[nodiscard]] int32_t AchaSerie(TImpMain& imp, int32_t bolsa, uint8_t* tipo) {
  const std::string ticker(imp.Parser->Field(1));
  const int32_t e = GetTipoDeBGLDaAnb(ticker, bolsa, tipo);
  if (e != kErrTickerNaoRegistrado) return e;
  // A series an earlier line of the file adds is there in the import pass.
  return imp.DefinidoAntes("*OBJSERIE", ticker, imp.lnn - 1) ? 0 : kErrRegistroNaoAchado;
}

// Calls the series procedure proc with the record's ticker, the exchange
// and the further parameters extra.
[[nodiscard]] int32_t ChamaSerie(TImpMain& imp, const char* proc, int32_t bolsa,
                                 std::initializer_list<std::pair<const char*, Value>> extra) {
  return ComComando(proc, [&](DsRef cmd) {
    cmd->Params().ParamByName("@ticker").value = Value::String(std::string(imp.Parser->Field(1)));
    cmd->Params().ParamByName("@bolsa").value = Value::Int(bolsa);
    for (const auto& [nome, valor] : extra) cmd->Params().ParamByName(nome).value = valor;
    return ExecStProc(cmd, ModoStProc::kExecuta);
  });
}

// An asset type field: 0 when it is absent or "-" (*faltou := true) or an
// id of lista (stored in *destino), else erro.
[[nodiscard]] int32_t CampoDeAtivo(std::string_view s, tIntStgList* lista, int32_t erro,
                                   int32_t* destino, bool* faltou) {
  if (s.empty() || s == "-") {
    *faltou = true;
    return 0;
  }
  return IdDaLista(s, lista, destino) ? 0 : erro;
}

}  // namespace

void ImportaNaics(TImpMain& imp, const TVariantes& v, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  if (p.Count() != 4) {
    *code = kErrNaicsNumCampos;
    return;
  }
  const std::string cod(p.Field(1));
  const std::string pais(p.Field(2));
  int32_t pais_id = 0, lido = 0;
  int16_t naics = 0;
  if (cod.empty() || cod == "-") {
    *code = kErrNaicsCodEmp;
  } else if (!StrToIntOk(pais, &pais_id)) {
    *code = kErrNaicsPais;
  } else if (!StrToIntOk(p.Field(3), &lido)) {
    *code = kErrNaicsNaoInteiro;
  } else if (!Naics16(lido, &naics) || !NaicsValido(naics)) {
    *code = kErrNaicsInvalido;
  }
  if (*code != 0) return;
  const int32_t id = GetIdEmp(cod, pais, code);
  if (*code != 0) return;
  TObjEmp emp;
  *code = ObjEmpGet(id, &emp);
  if (*code != 0 || imp.ToNoCheck) return;
  int16_t atual = 0;
  if (v.SoSe && Naics16(emp.naics, &atual) && NaicsDescendeDe(atual, naics)) {
    return;
  }
  emp.naics = naics;
  *code = ObjEmpPut(emp);
}

void ImportaSerieStatus(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t bolsa = 0, novo = 0;
  *code = ChecaSerie(imp, kErrSerieStatusNumCampos, &bolsa);
  if (*code != 0) return;
  if (!StrToIntOk(imp.Parser->Field(3), &novo)) {
    imp.ErrMsg("Invalid NewStatus");
    *code = kErrSerieStatusNovo;
    return;
  }
  if (imp.ToNoCheck) {
    // What the procedure would refuse, found by reading. A series the file
    // itself adds is not there yet: it is left to the import pass.
    uint8_t tipo = 0;
    const int32_t achou = AchaSerie(imp, bolsa, &tipo);
    if (achou != 0) *code = achou;
    if (*code == 0 && (novo < 0 || novo > 11)) *code = kTipoDeBGLInvalido;
    if (*code == 0 && achou == 0 && novo >= kPrimeiroTipoDeBGLRestrito && novo != tipo &&
        !PodeTodosOsTiposDeBGL()) {
      *code = kSemDireitoTipoDeBGL;
    }
    return;
  }
  *code = ChamaSerie(imp, "ImportAnbBGLDestino", bolsa,
                     {{"@NovoTBGLDestino", Value::Int(novo)},
                      {"@PodeTodosOsTiposDeBGL", Value::Bool(PodeTodosOsTiposDeBGL())}});
}

void ImportaIsin(TImpMain& imp, const TVariantes&, int32_t* code) {
  int32_t bolsa = 0;
  *code = ChecaSerie(imp, kErrIsinNumCampos, &bolsa);
  if (*code == 0 && imp.ToNoCheck) {
    uint8_t tipo = 0;
    *code = AchaSerie(imp, bolsa, &tipo);
  }
  if (*code != 0 || imp.ToNoCheck) return;
  const std::string isin(imp.Parser->Field(3).substr(0, 12));
  *code = ChamaSerie(imp, "ImportAnbISIN", bolsa, {{"@NovoISIN", Value::String(isin)}});
}

void ImportaObjClass(TImpMain& imp, const TVariantes&, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  if (p.Count() < 4 || p.Count() > 6) {
    *code = kErrObjClassNumCampos;
    return;
  }
  int32_t id_class = 0, id_atv = 0, id_emp = 0;
  *code = GetIdAtv(std::string(p.Field(1)), std::string(p.Field(2)), std::string(p.Field(3)),
                   &id_class, &id_atv, &id_emp, false);
  TObjAtv atv;
  const bool novo = *code == kErrGetIdAtvSemAtivo;
  if (novo) {
    atv.emp = id_emp;
    atv.idclass = id_class;
    atv.vote = -1;
    atv.tipoobj = -1;
    *code = 0;
  } else if (*code == 0) {
    *code = ObjAtvGet(id_atv, &atv);
  }
  if (*code != 0) return;
  bool faltou = false;
  *code = CampoDeAtivo(p.Field(4), EnumTipoObj.get(), kErrObjClassTipoObj, &atv.tipoobj, &faltou);
  if (*code == 0) {
    *code = CampoDeAtivo(p.Field(5), EnumVote.get(), kErrObjClassVote, &atv.vote, &faltou);
  }
  // A new class needs both fields, already in the check pass.
  if (*code == 0 && novo && faltou) *code = kErrObjClassIncompleto;
  if (*code != 0 || imp.ToNoCheck) return;
  *code = novo ? ObjAtvAdd(&atv) : ObjAtvPut(atv);
}

}  // namespace zun
