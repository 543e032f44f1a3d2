// The three levels of securities as records, and the procedures that add,
// read and write them: the company (TObjEmp), its assets or share classes
// (TObjAtv) and the series traded on an exchange (TObjAnb); the company's
// tree of assets and series (ObjListDaEmp) and the assets of a company as
// roots of its class tree (ObjListRoot).
//
// Every operation takes its command object from the session Db and gives it
// back before returning. The nine Add/Get/Put operations never raise: an
// exception while they work becomes their error code (the code it carries,
// or the operation's default) with a log line naming the place.
//
// Thread-safety: none; main thread only, like Db.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zun {

// A company. Statement currencies and formats are kept per statement
// source; only moedabal[0] ("@moedabalLocal") and moedabal[2]
// ("@moedabalSEC") reach the database.
struct TObjEmp {
  int32_t id = 0;  // 0 while new
  std::string cod;
  int32_t pais = -1;
  std::string cnpj;
  std::string nome;
  std::array<int32_t, 8> moedabal = {-1, -1, -1, -1, -1, -1, -1, -1};
  std::array<int32_t, 4> fmtbal = {};
  int32_t naics = 0;
  int32_t moedaInformeFIDC = 0;
};

// An asset: one share class of a company.
struct TObjAtv {
  int32_t id = 0;
  int32_t emp = 0;      // company id
  int32_t idclass = 0;  // EnumClasses
  int32_t vote = 0;     // EnumVote
  int32_t tipoobj = 0;  // EnumTipoObj
};

// A series: an asset traded under a code on one exchange.
struct TObjAnb {
  int32_t id = 0;
  int32_t acao = 0;  // asset id
  std::string cod;
  int32_t bolsa = -1;  // EnumBolsa
  uint8_t TipoDeBGLDestino = 0;
  int32_t moedacot = -1;
  int32_t PaisProCodZun = -1;
  int32_t FormatoDeCadastro = 0;
  bool cancelado = false;
  bool TrazDadosDaEmp = false;
  bool NaoAparecerNoZun = false;
  bool SerieMontada = false;  // read only
  int32_t IdCalendario = 0;
  int32_t DisableCopy = 0;
  int32_t TipoDeContrato = -1;  // EnumTipoDeContrato
  int32_t MapaColonia = 0;
  int32_t OverrideGruposCampoCotacao = 0;
};

// One row of a company's tree; the parts of a level whose id is 0 stay
// empty.
struct TObjListItem {
  int32_t empId = 0;
  std::string empCod;
  int32_t empPais = 0;
  int32_t atvId = 0;
  int32_t atvIdClass = 0;
  uint8_t atvTipoObj = 0;
  int32_t anbId = 0;
  std::string anbCod;
  int32_t anbBolsa = 0;
  uint8_t anbTipoDeBGL = 0;
  bool anbCancelado = false;
  int32_t Coluna13 = 0;  // carried as the database gives them
  int32_t Coluna14 = 0;
};

// An asset of a company as a root of its class tree.
struct TObjListRoot {
  int32_t AtvId = 0;
  int32_t EmpId = 0;
  int32_t AtvIdClass = 0;
  int32_t AtvTipoObj = 0;
};

// Adds a company ("ObjEmpAddV3") and sets emp->id. Place "DbObjEmpAdd
// passo:" + step reached, default 3673.
[[nodiscard]] int32_t ObjEmpAdd(TObjEmp* emp);
// Reads company id ("ObjEmpGetV3") into *emp; its currencies and
// moedaInformeFIDC are zeroed first. The outputs are read even when the
// call fails. Place "DbObjEmpGet", default 3674.
[[nodiscard]] int32_t ObjEmpGet(int32_t id, TObjEmp* emp);
// Writes a company ("ObjEmpPutV3"). Place "DbObjEmpPut", default 3675.
[[nodiscard]] int32_t ObjEmpPut(const TObjEmp& emp);

// Asset operations ("ObjAtvAddV2", "ObjAtvGetV2", "ObjAtvPutV2"); places
// "DbObjAtvAdd", "DbObjAtvGet", "DbObjAtvPut", defaults 3677, 3678, 3679.
[[nodiscard]] int32_t ObjAtvAdd(TObjAtv* atv);
[[nodiscard]] int32_t ObjAtvGet(int32_t id, TObjAtv* atv);
[[nodiscard]] int32_t ObjAtvPut(const TObjAtv& atv);

// Series operations ("ObjAnbAdd", "ObjAnbGet", "ObjAnbPut"). Add sets id
// and PaisProCodZun, Put sets PaisProCodZun. A Get whose call succeeds but
// gives a negative PaisProCodZun logs it and returns 3807. Places
// "DbObjAnbAdd atv:<acao> cod:<cod> bolsa:<bolsa>", "DbObjAnbGet",
// "DbObjAnbPut", defaults 3681, 3682, 3683.
[[nodiscard]] int32_t ObjAnbAdd(TObjAnb* anb);
[[nodiscard]] int32_t ObjAnbGet(int32_t id, TObjAnb* anb);
[[nodiscard]] int32_t ObjAnbPut(TObjAnb* anb);

// The parameter that carries the statement format of source: "@fmtbal"
// for 0, "@fmtbal1" .. "@fmtbal3" for 1 .. 3. A source above 3 stops the
// program (RunError250, naming contexto).
std::string NomeParamFmtBal(int source, const std::string& contexto);

// Sets the company's statement format for source when it has none yet
// ("DefineFormatoBalDaEmpSeNulo"). The callers ignore the result; it is
// returned for the log. Never raises.
[[nodiscard]] int32_t DefineFormatoBalDaEmpSeNulo(int32_t emp, int32_t source,
                                                  int32_t tipo_documento, int32_t fmtbal);

// The company's statement format of source (ObjEmpGet): 4461 for a source
// of 4 or more, or below 0 (logged); *fmtbal is 0 on any error.
[[nodiscard]] int32_t GetFmtBalDaEmp(int32_t emp, int32_t source, int32_t* fmtbal);

// The tree of the company that id belongs to: nivel 0 or below, id is a
// series; 1, an asset; 2, a company; 3 or more gives 15252. Runs
// "ObjListDaEmp" on a command object of its own (not from the cache).
[[nodiscard]] int32_t ObjListDaEmp(int32_t nivel, int32_t id, std::vector<TObjListItem>* itens);

// The assets of company emp_id (the view ObjListRoot).
[[nodiscard]] int32_t ObjListRoot(int32_t emp_id, std::vector<TObjListRoot>* itens);

}  // namespace zun
