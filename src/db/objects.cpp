#include "db/objects.h"

#include <memory>

#include "db/codes.h"
#include "db/user_context.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

void PoeEmp(DsRef cmd, const TObjEmp& e) {
  SetParamInt(cmd, "@id", e.id);
  SetParamStr(cmd, "@cod", e.cod);
  SetParamStr(cmd, "@cnpj", e.cnpj);
  SetParamInt(cmd, "@pais", e.pais);
  SetParamStr(cmd, "@nome", e.nome);
  SetParamInt(cmd, "@moedabalLocal", e.moedabal[0]);
  SetParamInt(cmd, "@moedabalSEC", e.moedabal[2]);
  for (int s = 0; s < 4; ++s) {
    SetParamInt(cmd, NomeParamFmtBal(s, "PoeEmp"), e.fmtbal[static_cast<size_t>(s)]);
  }
  SetParamInt(cmd, "@naics", e.naics);
  SetParamBool(cmd, "@PodeAlterarPaisDaEmp", PodeAlterarPaisDaEmp());
  SetParamBool(cmd, "@PodeSourceDiferenteDeLocal", PodeSourceDiferenteDeLocal());
  SetParamInt(cmd, "@moedaInformeFIDC", e.moedaInformeFIDC);
}

void LeEmp(DsRef cmd, TObjEmp* e) {
  e->moedabal.fill(0);
  e->moedaInformeFIDC = 0;
  GetParamInt(cmd, "@id", &e->id);
  GetParamStr(cmd, "@cod", &e->cod);
  GetParamStr(cmd, "@cnpj", &e->cnpj);
  GetParamInt(cmd, "@pais", &e->pais);
  GetParamStr(cmd, "@nome", &e->nome);
  GetParamInt(cmd, "@moedabalLocal", &e->moedabal[0]);
  GetParamInt(cmd, "@moedabalSEC", &e->moedabal[2]);
  for (int s = 0; s < 4; ++s) {
    GetParamInt(cmd, NomeParamFmtBal(s, "LeEmp"), &e->fmtbal[static_cast<size_t>(s)]);
  }
  GetParamInt(cmd, "@naics", &e->naics);
  GetParamInt(cmd, "@moedaInformeFIDC", &e->moedaInformeFIDC);
}

void PoeAtv(DsRef cmd, const TObjAtv& a) {
  SetParamInt(cmd, "@id", a.id);
  SetParamInt(cmd, "@emp", a.emp);
  SetParamInt(cmd, "@idclass", a.idclass);
  SetParamInt(cmd, "@vote", a.vote);
  SetParamInt(cmd, "@tipoobj", a.tipoobj);
  SetParamBool(cmd, "@PodeMudarEmpDoAtv", PodeMudarEmpDoAtv());
  SetParamBool(cmd, "@PodeClasseEstrangeira", PodeClasseEstrangeira());
}

void LeAtv(DsRef cmd, TObjAtv* a) {
  GetParamInt(cmd, "@id", &a->id);
  GetParamInt(cmd, "@emp", &a->emp);
  GetParamInt(cmd, "@idclass", &a->idclass);
  GetParamInt(cmd, "@vote", &a->vote);
  GetParamInt(cmd, "@tipoobj", &a->tipoobj);
}

void PoeAnb(DsRef cmd, const TObjAnb& s) {
  SetParamInt(cmd, "@id", s.id);
  SetParamInt(cmd, "@acao", s.acao);
  SetParamStr(cmd, "@cod", s.cod);
  SetParamInt(cmd, "@bolsa", s.bolsa);
  SetParamInt(cmd, "@TipoDeBGLDestino", s.TipoDeBGLDestino);
  SetParamInt(cmd, "@moedacot", s.moedacot);
  SetParamInt(cmd, "@PaisProCodZun", s.PaisProCodZun);
  SetParamInt(cmd, "@FormatoDeCadastro", s.FormatoDeCadastro);
  SetParamBool(cmd, "@cancelado", s.cancelado);
  SetParamBool(cmd, "@TrazDadosDaEmp", s.TrazDadosDaEmp);
  SetParamBool(cmd, "@NaoAparecerNoZun", s.NaoAparecerNoZun);
  SetParamInt(cmd, "@IdCalendario", s.IdCalendario);
  SetParamInt(cmd, "@DisableCopy", s.DisableCopy);
  SetParamInt(cmd, "@TipoDeContrato", s.TipoDeContrato);
  SetParamInt(cmd, "@MapaColonia", s.MapaColonia);
  SetParamInt(cmd, "@OverrideGruposCampoCotacao", s.OverrideGruposCampoCotacao);
  SetParamBool(cmd, "@PodeMudarAtvDoAnb", PodeMudarAtvDoAnb());
  SetParamBool(cmd, "@PodeTodosOsTiposDeBGL", PodeTodosOsTiposDeBGL());
  SetParamBool(cmd, "@PodeMarcarTrazDadosDaEmp", PodeMarcarTrazDadosDaEmp());
  SetParamBool(cmd, "@PodeAlterarCalendario", PodeAlterarCalendario());
}

void LeAnb(DsRef cmd, TObjAnb* s) {
  GetParamInt(cmd, "@id", &s->id);
  GetParamInt(cmd, "@acao", &s->acao);
  GetParamStr(cmd, "@cod", &s->cod);
  GetParamInt(cmd, "@bolsa", &s->bolsa);
  GetParamByte(cmd, "@TipoDeBGLDestino", &s->TipoDeBGLDestino);
  GetParamInt(cmd, "@moedacot", &s->moedacot);
  GetParamInt(cmd, "@PaisProCodZun", &s->PaisProCodZun);
  GetParamInt(cmd, "@FormatoDeCadastro", &s->FormatoDeCadastro);
  GetParamBool(cmd, "@cancelado", &s->cancelado);
  GetParamBool(cmd, "@TrazDadosDaEmp", &s->TrazDadosDaEmp);
  GetParamBool(cmd, "@NaoAparecerNoZun", &s->NaoAparecerNoZun);
  GetParamBool(cmd, "@SerieMontada", &s->SerieMontada);
  GetParamInt(cmd, "@IdCalendario", &s->IdCalendario);
  GetParamInt(cmd, "@DisableCopy", &s->DisableCopy);
  GetParamInt(cmd, "@TipoDeContrato", &s->TipoDeContrato);
  GetParamInt(cmd, "@MapaColonia", &s->MapaColonia);
  GetParamInt(cmd, "@OverrideGruposCampoCotacao", &s->OverrideGruposCampoCotacao);
}

}  // namespace

int32_t ObjEmpAdd(TObjEmp* emp) {
  int passo = 0;
  int32_t code = 0;
  try {
    ComComando("ObjEmpAddV3", [&](DsRef cmd) {
      PoeEmp(cmd, *emp);
      passo = 1;
      code = ExecStProc(cmd, ModoStProc::kExecuta);
      passo = 2;
      if (code == 0) GetParamInt(cmd, "@id", &emp->id);
      passo = 3;
    });
  } catch (const std::exception& x) {
    CodigoDaExcecao("DbObjEmpAdd passo:" + std::to_string(passo), &code, x, kErrObjEmpAdd);
  }
  return code;
}

int32_t ObjEmpGet(int32_t id, TObjEmp* emp) {
  return ChamaComGuarda("ObjEmpGetV3", "DbObjEmpGet", kErrObjEmpGet, [&](DsRef cmd, int32_t* code) {
    *code = ExecStProcId(cmd, id, ModoStProc::kExecuta);
    LeEmp(cmd, emp);
  });
}

int32_t ObjEmpPut(const TObjEmp& emp) {
  return ChamaComGuarda("ObjEmpPutV3", "DbObjEmpPut", kErrObjEmpPut, [&](DsRef cmd, int32_t* code) {
    PoeEmp(cmd, emp);
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
  });
}

int32_t ObjAtvAdd(TObjAtv* atv) {
  return ChamaComGuarda("ObjAtvAddV2", "DbObjAtvAdd", kErrObjAtvAdd, [&](DsRef cmd, int32_t* code) {
    PoeAtv(cmd, *atv);
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
    if (*code == 0) GetParamInt(cmd, "@id", &atv->id);
  });
}

int32_t ObjAtvGet(int32_t id, TObjAtv* atv) {
  return ChamaComGuarda("ObjAtvGetV2", "DbObjAtvGet", kErrObjAtvGet, [&](DsRef cmd, int32_t* code) {
    *code = ExecStProcId(cmd, id, ModoStProc::kExecuta);
    LeAtv(cmd, atv);
  });
}

int32_t ObjAtvPut(const TObjAtv& atv) {
  return ChamaComGuarda("ObjAtvPutV2", "DbObjAtvPut", kErrObjAtvPut, [&](DsRef cmd, int32_t* code) {
    PoeAtv(cmd, atv);
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
  });
}

int32_t ObjAnbAdd(TObjAnb* anb) {
  const std::string place = "DbObjAnbAdd atv:" + std::to_string(anb->acao) + " cod:" + anb->cod +
                            " bolsa:" + std::to_string(anb->bolsa);
  return ChamaComGuarda("ObjAnbAdd", place, kErrObjAnbAdd, [&](DsRef cmd, int32_t* code) {
    PoeAnb(cmd, *anb);
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
    if (*code == 0) {
      GetParamInt(cmd, "@id", &anb->id);
      GetParamInt(cmd, "@PaisProCodZun", &anb->PaisProCodZun);
    }
  });
}

int32_t ObjAnbGet(int32_t id, TObjAnb* anb) {
  return ChamaComGuarda("ObjAnbGet", "DbObjAnbGet", kErrObjAnbGet, [&](DsRef cmd, int32_t* code) {
    *code = ExecStProcId(cmd, id, ModoStProc::kExecuta);
    LeAnb(cmd, anb);
    if (*code == 0 && anb->PaisProCodZun < 0) {
      Loga("ObjAnbGet id:" + std::to_string(id) + " " + Apara(anb->cod) + "/" +
           std::to_string(anb->bolsa) + " PaisProCodZun:" + std::to_string(anb->PaisProCodZun));
      *code = kErrAnbSemPaisProCodZun;
    }
  });
}

int32_t ObjAnbPut(TObjAnb* anb) {
  return ChamaComGuarda("ObjAnbPut", "DbObjAnbPut", kErrObjAnbPut, [&](DsRef cmd, int32_t* code) {
    PoeAnb(cmd, *anb);
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
    if (*code == 0) GetParamInt(cmd, "@PaisProCodZun", &anb->PaisProCodZun);
  });
}

std::string NomeParamFmtBal(int source, const std::string& contexto) {
  if (source > 3) {
    RunError250("NomeParamFmtBal sdb:" + std::to_string(source) + " > high:3 " + contexto);
  }
  return source <= 0 ? std::string("@fmtbal") : "@fmtbal" + std::to_string(source);
}

int32_t DefineFormatoBalDaEmpSeNulo(int32_t emp, int32_t source, int32_t tipo_documento,
                                    int32_t fmtbal) {
  return ChamaComGuarda("DefineFormatoBalDaEmpSeNulo", "DefineFormatoBalDaEmpSeNulo", kErrChamada,
                        [&](DsRef cmd, int32_t* code) {
                          SetParamInt(cmd, "@emp", emp);
                          SetParamInt(cmd, "@sourcedobal", source);
                          SetParamInt(cmd, "@TipoDocumentoBal", tipo_documento);
                          SetParamInt(cmd, "@fmtbal", fmtbal);
                          *code = ExecStProc(cmd, ModoStProc::kExecuta);
                        });
}

int32_t GetFmtBalDaEmp(int32_t emp, int32_t source, int32_t* fmtbal) {
  *fmtbal = 0;
  TObjEmp e;
  int32_t code = ObjEmpGet(emp, &e);
  // A negative source has no format either; it is refused the same way.
  if (code == 0 && (source >= 4 || source < 0)) {
    Loga("GFBDE SDB:" + std::to_string(source) + " > high:3");
    code = kErrFmtBalSourceFora;
  }
  if (code == 0) *fmtbal = e.fmtbal[static_cast<size_t>(source)];
  return code;
}

int32_t ObjListDaEmp(int32_t nivel, int32_t id, std::vector<TObjListItem>* itens) {
  itens->clear();
  if (nivel >= 3) return kErrObjListNivel;
  int32_t code = 0;
  int32_t emp = id;
  if (nivel <= 0) {
    TObjAnb anb;
    code = ObjAnbGet(id, &anb);
    id = anb.acao;
  }
  if (code == 0 && nivel <= 1) {
    TObjAtv atv;
    code = ObjAtvGet(id, &atv);
    emp = atv.emp;
  }
  if (code != 0) return code;
  try {
    if (!Db) return kErrSemDb;
    // Its own command object: the rows are walked while no cached object
    // of the same procedure may be lent out again.
    Command cmd(Db.get(), CommandType::kStoredProc, "ObjListDaEmp");
    cmd.SetCommandTimeout(TAdoDataBaseCustomizado::kDsCommandTimeout);
    SetParamInt(cmd, "@id", emp);
    code = ExecStProc(cmd, ModoStProc::kExecutaEAbre);
    if (code != 0 || !cmd.Active()) return code;
    Recordset& rs = cmd.Current();
    for (rs.First(); !rs.Eof(); rs.Next()) {
      TObjListItem it;
      auto inteiro = [&rs](int col) {
        const Value& v = rs.Field(col);
        return v.IsNull() ? 0 : v.AsInt();
      };
      auto byte = [&](int col) {
        const int32_t v = inteiro(col);
        if (v < 0 || v > 255) throw EDBException(kErrByteForaNoCampo);
        return static_cast<uint8_t>(v);
      };
      it.empId = inteiro(0);
      it.atvId = inteiro(4);
      it.anbId = inteiro(6);
      if (it.empId != 0) {
        it.empCod = Apara(rs.Field(1).AsString());
        it.empPais = inteiro(2);
      }
      if (it.atvId != 0) {
        it.atvIdClass = inteiro(10);
        it.atvTipoObj = byte(12);
      }
      if (it.anbId != 0) {
        it.anbCod = Apara(rs.Field(7).AsString());
        it.anbBolsa = inteiro(8);
        it.anbTipoDeBGL = byte(9);
        it.anbCancelado = inteiro(11) != 0;
        it.Coluna13 = inteiro(13);
        it.Coluna14 = inteiro(14);
      }
      itens->push_back(std::move(it));
    }
  } catch (const std::exception& x) {
    itens->clear();
    CodigoDaExcecao("ObjListDaEmp", &code, x, kErrChamada);
  }
  return code;
}

int32_t ObjListRoot(int32_t emp_id, std::vector<TObjListRoot>* itens) {
  itens->clear();
  const int32_t code = ChamaComGuarda(
      "select * from ObjListRoot where [EmpId]=" + std::to_string(emp_id), "ObjListRoot",
      kErrChamada,
      [&](DsRef cmd, int32_t*) {
        cmd->Open();
        if (!cmd->Active()) return;
        for (cmd->Current().First(); !cmd->Current().Eof(); cmd->Current().Next()) {
          TObjListRoot r;
          GetFieldInt(cmd, "AtvId", &r.AtvId);
          GetFieldInt(cmd, "EmpId", &r.EmpId);
          GetFieldInt(cmd, "AtvIdClass", &r.AtvIdClass);
          GetFieldInt(cmd, "AtvTipoObj", &r.AtvTipoObj);
          itens->push_back(r);
        }
      },
      CommandType::kText);
  if (code != 0) itens->clear();
  return code;
}

}  // namespace zun
