// The object procedures of the embedded database: companies ("empresa"),
// their assets, one per share class ("ativo"), and the series of the assets
// ("anb"), with the look-ups from codes to ids, the company tree and the
// provisional-code register. Every write checks its references and the
// caller's rights ("@Pode..." parameters) and refuses with a code of its
// own; a refused call keeps nothing.
#include <string>
#include <utility>
#include <vector>

#include "embedded/codes.h"
#include "embedded/proc_inputs.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"

namespace zun {

namespace {

// Destination kinds from this one on need "@PodeTodosOsTiposDeBGL".
constexpr int32_t kPrimeiroTipoDeBGLRestrito = 6;

// One column of an object table and the parameter that carries it.
struct Coluna {
  const char* param;
  const char* col;
  DataType type;  // kInteger, kString or kBoolean
};

const std::vector<Coluna> kColunasEmp = {
    {"@cod", "cod", DataType::kString},
    {"@cnpj", "cnpj", DataType::kString},
    {"@pais", "pais", DataType::kInteger},
    {"@nome", "nome", DataType::kString},
    {"@moedabalLocal", "moedabal_local", DataType::kInteger},
    {"@moedabalSEC", "moedabal_sec", DataType::kInteger},
    {"@fmtbal", "fmtbal", DataType::kInteger},
    {"@fmtbal1", "fmtbal1", DataType::kInteger},
    {"@fmtbal2", "fmtbal2", DataType::kInteger},
    {"@fmtbal3", "fmtbal3", DataType::kInteger},
    {"@naics", "naics", DataType::kInteger},
    {"@moedaInformeFIDC", "moeda_informe_fidc", DataType::kInteger},
};

const std::vector<Coluna> kColunasAtv = {
    {"@emp", "emp", DataType::kInteger},
    {"@idclass", "idclass", DataType::kInteger},
    {"@vote", "vote", DataType::kInteger},
    {"@tipoobj", "tipoobj", DataType::kInteger},
};

// Every series column a caller may write ("serie_montada" is read only).
const std::vector<Coluna> kColunasAnb = {
    {"@acao", "acao", DataType::kInteger},
    {"@cod", "cod", DataType::kString},
    {"@bolsa", "bolsa", DataType::kInteger},
    {"@TipoDeBGLDestino", "tipo_de_bgl_destino", DataType::kInteger},
    {"@moedacot", "moedacot", DataType::kInteger},
    {"@PaisProCodZun", "pais_pro_cod_zun", DataType::kInteger},
    {"@FormatoDeCadastro", "formato_de_cadastro", DataType::kInteger},
    {"@cancelado", "cancelado", DataType::kBoolean},
    {"@TrazDadosDaEmp", "traz_dados_da_emp", DataType::kBoolean},
    {"@NaoAparecerNoZun", "nao_aparecer_no_zun", DataType::kBoolean},
    {"@IdCalendario", "id_calendario", DataType::kInteger},
    {"@DisableCopy", "disable_copy", DataType::kInteger},
    {"@TipoDeContrato", "tipo_de_contrato", DataType::kInteger},
    {"@MapaColonia", "mapa_colonia", DataType::kInteger},
    {"@OverrideGruposCampoCotacao", "override_grupos_campo_cotacao", DataType::kInteger},
};

// The parameter list of an object procedure: "@id" (in and out), the
// columns, then the extra parameters.
std::vector<ProcParam> Assinatura(const std::vector<Coluna>& cols, ParamDirection dir,
                                  std::vector<ProcParam> extra = {}) {
  std::vector<ProcParam> sig = {{"@id", DataType::kInteger, ParamDirection::kInputOutput}};
  for (const Coluna& c : cols) sig.push_back({c.param, c.type, dir});
  for (ProcParam& p : extra) sig.push_back(std::move(p));
  return sig;
}

// The value of column col of parameter param as the table stores it.
Value ValorDaColuna(const ProcContext& c, const Coluna& col) {
  switch (col.type) {
    case DataType::kString:
      return Value::String(InTexto(c, col.param));
    case DataType::kBoolean:
      return Value::Int(InBool(c, col.param) ? 1 : 0);
    default:
      return Value::Int(InInt(c, col.param));
  }
}

bool Existe(ProcContext& c, const std::string& sql, int32_t id) {
  return c.Query(sql, {Value::Int(id)}).RecordCount() > 0;
}

// -1 means none; anything else must be a currency.
bool MoedaOuNenhuma(ProcContext& c, int32_t id) {
  return id == -1 || Existe(c, "SELECT 1 FROM moeda WHERE id = ?", id);
}

// The stored row of id in table (columns in the order of cols), or an
// empty row when there is none.
std::vector<Value> LinhaGuardada(ProcContext& c, const char* table, const std::vector<Coluna>& cols,
                                 int32_t id) {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < cols.size(); ++i) sql += (i ? ", " : "") + std::string(cols[i].col);
  sql += std::string(" FROM ") + table + " WHERE id = ?";
  Recordset rs = c.Query(sql, {Value::Int(id)});
  if (rs.RecordCount() == 0) return {};
  return rs.rows()[0];
}

// Writes the columns of cols from the parameters: an insert that sets
// "@id" to the new row's id when id is 0, an update of row id otherwise.
void Grava(ProcContext& c, const char* table, const std::vector<Coluna>& cols, int32_t id) {
  std::vector<Value> binds;
  for (const Coluna& col : cols) binds.push_back(ValorDaColuna(c, col));
  std::string sql;
  if (id == 0) {
    std::string nomes, marcas;
    for (size_t i = 0; i < cols.size(); ++i) {
      nomes += (i ? ", " : "") + std::string(cols[i].col);
      marcas += i ? ", ?" : "?";
    }
    c.Exec(std::string("INSERT INTO ") + table + " (" + nomes + ") VALUES (" + marcas + ")", binds);
    c.Out("@id", Value::Int(static_cast<int32_t>(c.LastInsertId())));
    return;
  }
  sql = std::string("UPDATE ") + table + " SET ";
  for (size_t i = 0; i < cols.size(); ++i)
    sql += (i ? ", " : "") + std::string(cols[i].col) + " = ?";
  binds.push_back(Value::Int(id));
  c.Exec(sql + " WHERE id = ?", binds);
  c.Out("@id", Value::Int(id));
}

// Reads row "@id" of table into the output parameters of cols (and
// extra columns); unknown ids give codigo and leave the outputs NULL.
void Le(ProcContext& c, const char* table, const std::vector<Coluna>& cols, int32_t codigo) {
  const int32_t id = InInt(c, "@id");
  const std::vector<Value> row = LinhaGuardada(c, table, cols, id);
  if (row.empty()) {
    c.Return(codigo);
    return;
  }
  c.Out("@id", Value::Int(id));
  for (size_t i = 0; i < cols.size(); ++i) {
    const Value& v = row[i];
    c.Out(cols[i].param, cols[i].type == DataType::kBoolean ? Value::Bool(v.AsInt() != 0) : v);
  }
}

// ---- Companies --------------------------------------------------------

// The checks shared by the company add and write; 0 when the row may be
// written. old is the stored row (empty for a new company).
int32_t ChecaEmp(ProcContext& c, int32_t id, const std::vector<Value>& old) {
  const std::string cod = InTexto(c, "@cod");
  const int32_t pais = InInt(c, "@pais", -1);
  if (cod.empty()) return kErrDbCadCodEmpVazio;
  if (!Existe(c, "SELECT 1 FROM pais WHERE id = ?", pais)) return kErrDbCadPaisDesconhecido;
  for (const char* m : {"@moedabalLocal", "@moedabalSEC", "@moedaInformeFIDC"}) {
    if (!MoedaOuNenhuma(c, InInt(c, m, -1))) return kErrDbCadMoedaDesconhecida;
  }
  // Format 0 is none chosen; any other must exist.
  for (const char* f : {"@fmtbal", "@fmtbal1", "@fmtbal2", "@fmtbal3"}) {
    const int32_t fmt = InInt(c, f);
    if (fmt != 0 && !Existe(c, "SELECT 1 FROM fmt_bal WHERE id = ?", fmt)) {
      return kErrDbCadFmtBalDesconhecido;
    }
  }
  if (!old.empty() && old[2].AsInt() != pais && !InBool(c, "@PodeAlterarPaisDaEmp")) {
    return kErrDbCadSemDireitoPaisDaEmp;
  }
  // What only a statement source other than the local one may set: the
  // formats of sources 1 to 3 and the SEC currency.
  if (!InBool(c, "@PodeSourceDiferenteDeLocal")) {
    const struct {
      const char* param;
      size_t pos;
      int32_t novo;
    } restritos[] = {
        {"@moedabalSEC", 5, -1}, {"@fmtbal1", 7, 0}, {"@fmtbal2", 8, 0}, {"@fmtbal3", 9, 0}};
    for (const auto& r : restritos) {
      const int32_t antes = old.empty() ? r.novo : old[r.pos].AsInt();
      if (InInt(c, r.param, r.novo) != antes) return kErrDbCadSemDireitoSource;
    }
  }
  Recordset dup =
      c.Query("SELECT id FROM empresa WHERE pais = ? AND cod = ? COLLATE NOCASE AND id <> ?",
              {Value::Int(pais), Value::String(cod), Value::Int(id)});
  if (dup.RecordCount() > 0) return kErrDbCadEmpDuplicada;
  return 0;
}

void ObjEmpAddV3(ProcContext& c) {
  const int32_t e = ChecaEmp(c, 0, {});
  if (e != 0) return c.Return(e);
  Grava(c, "empresa", kColunasEmp, 0);
}

void ObjEmpPutV3(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  const std::vector<Value> old = LinhaGuardada(c, "empresa", kColunasEmp, id);
  if (old.empty()) return c.Return(kErrDbCadEmpDesconhecida);
  const int32_t e = ChecaEmp(c, id, old);
  if (e != 0) return c.Return(e);
  Grava(c, "empresa", kColunasEmp, id);
}

void ObjEmpGetV3(ProcContext& c) { Le(c, "empresa", kColunasEmp, kErrDbCadEmpDesconhecida); }

// Sets the company's statement format of one source when none is chosen
// yet (0).
void DefineFormatoBalDaEmpSeNulo(ProcContext& c) {
  const int32_t emp = InInt(c, "@emp");
  const int32_t source = InInt(c, "@sourcedobal", -1);
  const int32_t doc = InInt(c, "@TipoDocumentoBal", -1);
  const int32_t fmt = InInt(c, "@fmtbal");
  if (source < 0 || source > 3 || doc < 0 || doc > 7) return c.Return(kErrDbCadSourceOuDocInvalido);
  if (!Existe(c, "SELECT 1 FROM empresa WHERE id = ?", emp))
    return c.Return(kErrDbCadEmpDesconhecida);
  if (!Existe(c, "SELECT 1 FROM fmt_bal WHERE id = ?", fmt))
    return c.Return(kErrDbCadFmtBalDesconhecido);
  const std::string col = source == 0 ? "fmtbal" : "fmtbal" + std::to_string(source);
  c.Exec("UPDATE empresa SET " + col + " = ? WHERE id = ? AND " + col + " = 0",
         {Value::Int(fmt), Value::Int(emp)});
}

// "@idemp": the company of code "@cod" in country "@pais", 0 when none.
void GetIdEmp(ProcContext& c) {
  Recordset rs = c.Query("SELECT id FROM empresa WHERE pais = ? AND cod = ? COLLATE NOCASE",
                         {Value::Int(InInt(c, "@pais", -1)), Value::String(InTexto(c, "@cod"))});
  rs.First();
  c.Out("@idemp", Value::Int(rs.RecordCount() > 0 ? rs.Field(0).AsInt() : 0));
}

// ---- Assets -----------------------------------------------------------

int32_t ChecaAtv(ProcContext& c, int32_t id, const std::vector<Value>& old) {
  const int32_t emp = InInt(c, "@emp");
  const int32_t idclass = InInt(c, "@idclass");
  if (!Existe(c, "SELECT 1 FROM empresa WHERE id = ?", emp)) return kErrDbCadEmpDesconhecida;
  Recordset classe = c.Query("SELECT estrangeira FROM classe WHERE id = ?", {Value::Int(idclass)});
  if (classe.RecordCount() == 0) return kErrDbCadClasseDesconhecida;
  classe.First();
  if (!Existe(c, "SELECT 1 FROM vote_stat WHERE id = ?", InInt(c, "@vote", -1))) {
    return kErrDbCadVoteDesconhecido;
  }
  if (!Existe(c, "SELECT 1 FROM tipo_obj WHERE id = ?", InInt(c, "@tipoobj", -1))) {
    return kErrDbCadTipoObjDesconhecido;
  }
  if (!old.empty() && old[0].AsInt() != emp && !InBool(c, "@PodeMudarEmpDoAtv")) {
    return kErrDbCadSemDireitoEmpDoAtv;
  }
  const bool classe_nova = old.empty() || old[1].AsInt() != idclass;
  if (classe_nova && classe.Field(0).AsInt() != 0 && !InBool(c, "@PodeClasseEstrangeira")) {
    return kErrDbCadSemDireitoClasseEstrangeira;
  }
  Recordset dup = c.Query("SELECT id FROM ativo WHERE emp = ? AND idclass = ? AND id <> ?",
                          {Value::Int(emp), Value::Int(idclass), Value::Int(id)});
  if (dup.RecordCount() > 0) return kErrDbCadAtvDuplicado;
  return 0;
}

void ObjAtvAddV2(ProcContext& c) {
  const int32_t e = ChecaAtv(c, 0, {});
  if (e != 0) return c.Return(e);
  Grava(c, "ativo", kColunasAtv, 0);
}

void ObjAtvPutV2(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  const std::vector<Value> old = LinhaGuardada(c, "ativo", kColunasAtv, id);
  if (old.empty()) return c.Return(kErrDbCadAtvDesconhecido);
  const int32_t e = ChecaAtv(c, id, old);
  if (e != 0) return c.Return(e);
  Grava(c, "ativo", kColunasAtv, id);
}

void ObjAtvGetV2(ProcContext& c) { Le(c, "ativo", kColunasAtv, kErrDbCadAtvDesconhecido); }

// The asset of class code "@class" of the company of code "@emp" in
// country "@pais": 4170 no such company, 4171 no such class, 4172 the
// company has no asset of that class (company and class ids filled).
void GetIdAtvV2(ProcContext& c) {
  for (const char* p : {"@IdEmp", "@IdAtv", "@IdClass"}) c.Out(p, Value::Int(0));
  Recordset emp = c.Query("SELECT id FROM empresa WHERE pais = ? AND cod = ? COLLATE NOCASE",
                          {Value::Int(InInt(c, "@pais", -1)), Value::String(InTexto(c, "@emp"))});
  if (emp.RecordCount() == 0) return c.Return(kErrDbIdAtvEmpNaoAchada);
  Recordset classe = c.Query("SELECT id FROM classe WHERE cod = ? COLLATE NOCASE AND cod <> ''",
                             {Value::String(InTexto(c, "@class"))});
  if (classe.RecordCount() == 0) return c.Return(kErrDbIdAtvClasseNaoAchada);
  emp.First();
  classe.First();
  const Value id_emp = emp.Field(0);
  const Value id_class = classe.Field(0);
  c.Out("@IdEmp", id_emp);
  c.Out("@IdClass", id_class);
  Recordset atv = c.Query("SELECT id FROM ativo WHERE emp = ? AND idclass = ?", {id_emp, id_class});
  if (atv.RecordCount() == 0) return c.Return(kErrDbIdAtvSemAtivo);
  atv.First();
  c.Out("@IdAtv", atv.Field(0));
}

// ---- Series -----------------------------------------------------------

int32_t ChecaAnb(ProcContext& c, int32_t id, const std::vector<Value>& old) {
  const int32_t acao = InInt(c, "@acao");
  const int32_t tipo = InInt(c, "@TipoDeBGLDestino");
  const int32_t pais_cod = InInt(c, "@PaisProCodZun", -1);
  const int32_t contrato = InInt(c, "@TipoDeContrato", -1);
  if (InTexto(c, "@cod").empty()) return kErrDbCadCodAnbVazio;
  if (!Existe(c, "SELECT 1 FROM ativo WHERE id = ?", acao)) return kErrDbCadAtvDesconhecido;
  if (!Existe(c, "SELECT 1 FROM bolsa WHERE id = ?", InInt(c, "@bolsa", -1))) {
    return kErrDbCadBolsaDesconhecida;
  }
  if (tipo < 0 || tipo > 11) return kErrDbCadTipoDeBGLInvalido;
  if (!MoedaOuNenhuma(c, InInt(c, "@moedacot", -1))) return kErrDbCadMoedaDesconhecida;
  if (pais_cod != -1 && !Existe(c, "SELECT 1 FROM pais WHERE id = ?", pais_cod)) {
    return kErrDbCadPaisDesconhecido;
  }
  if (contrato != -1 && !Existe(c, "SELECT 1 FROM tipo_de_contrato WHERE id = ?", contrato)) {
    return kErrDbCadTipoDeContratoDesconhecido;
  }
  // The stored values the rights compare with (positions in kColunasAnb).
  const bool novo = old.empty();
  if (!novo && old[0].AsInt() != acao && !InBool(c, "@PodeMudarAtvDoAnb")) {
    return kErrDbCadSemDireitoAtvDoAnb;
  }
  if (tipo >= kPrimeiroTipoDeBGLRestrito && (novo || old[3].AsInt() != tipo) &&
      !InBool(c, "@PodeTodosOsTiposDeBGL")) {
    return kErrDbCadSemDireitoTipoDeBGL;
  }
  if (InBool(c, "@TrazDadosDaEmp") && (novo || old[8].AsInt() == 0) &&
      !InBool(c, "@PodeMarcarTrazDadosDaEmp")) {
    return kErrDbCadSemDireitoTrazDados;
  }
  if (InInt(c, "@IdCalendario") != (novo ? 0 : old[10].AsInt()) &&
      !InBool(c, "@PodeAlterarCalendario")) {
    return kErrDbCadSemDireitoCalendario;
  }
  Recordset dup = c.Query(
      "SELECT id FROM anb WHERE bolsa = ? AND cod = ? COLLATE NOCASE AND id <> ?",
      {Value::Int(InInt(c, "@bolsa", -1)), Value::String(InTexto(c, "@cod")), Value::Int(id)});
  if (dup.RecordCount() > 0) return kErrDbCadAnbDuplicado;
  return 0;
}

// The country a series' code belongs to: the one given, or (-1) the
// country of the series' company.
void DefinePaisProCodZun(ProcContext& c, int32_t id) {
  c.Exec(
      "UPDATE anb SET pais_pro_cod_zun = (SELECT e.pais FROM ativo a JOIN empresa e ON e.id = "
      "a.emp WHERE a.id = anb.acao) WHERE id = ? AND pais_pro_cod_zun = -1",
      {Value::Int(id)});
  Recordset rs = c.Query("SELECT pais_pro_cod_zun FROM anb WHERE id = ?", {Value::Int(id)});
  rs.First();
  c.Out("@PaisProCodZun", rs.Field(0));
}

void ObjAnbAdd(ProcContext& c) {
  const int32_t e = ChecaAnb(c, 0, {});
  if (e != 0) return c.Return(e);
  Grava(c, "anb", kColunasAnb, 0);
  DefinePaisProCodZun(c, static_cast<int32_t>(c.LastInsertId()));
}

void ObjAnbPut(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  const std::vector<Value> old = LinhaGuardada(c, "anb", kColunasAnb, id);
  if (old.empty()) return c.Return(kErrDbCadAnbDesconhecido);
  const int32_t e = ChecaAnb(c, id, old);
  if (e != 0) return c.Return(e);
  Grava(c, "anb", kColunasAnb, id);
  DefinePaisProCodZun(c, id);
}

void ObjAnbGet(ProcContext& c) {
  Le(c, "anb", kColunasAnb, kErrDbCadAnbDesconhecido);
  Recordset rs =
      c.Query("SELECT serie_montada FROM anb WHERE id = ?", {Value::Int(InInt(c, "@id"))});
  if (rs.RecordCount() == 0) return;
  rs.First();
  c.Out("@SerieMontada", Value::Bool(rs.Field(0).AsInt() != 0));
}

// The return value is the id of series "@cod" on exchange "@bolsa", 0 when
// there is none.
void GetIdAnb(ProcContext& c) {
  Recordset rs = c.Query("SELECT id FROM anb WHERE bolsa = ? AND cod = ? COLLATE NOCASE",
                         {Value::Int(InInt(c, "@bolsa", -1)), Value::String(InTexto(c, "@cod"))});
  if (rs.RecordCount() == 0) return;
  rs.First();
  c.Return(rs.Field(0).AsInt());
}

// The destination kind of series "@cod" on "@bolsa"; 4042 when the code is
// not registered on that exchange (the quote import skips such lines).
void GetTipoDeBGLDaAnb(ProcContext& c) {
  const std::vector<Value> serie = SerieDaBolsa(c, InInt(c, "@bolsa", -1), InTexto(c, "@cod"));
  if (serie.empty()) return c.Return(kErrDbTickerNaoRegistrado);
  c.Out("@TipoDeBGLDestino", serie[1]);
}

// The series "@ticker" on "@bolsa": its id, or 0 when there is none.
int32_t AnbDoTicker(ProcContext& c) {
  Recordset rs =
      c.Query("SELECT id FROM anb WHERE bolsa = ? AND cod = ? COLLATE NOCASE",
              {Value::Int(InInt(c, "@bolsa", -1)), Value::String(InTexto(c, "@ticker"))});
  if (rs.RecordCount() == 0) return 0;
  rs.First();
  return rs.Field(0).AsInt();
}

// Sets the destination kind of series "@ticker" on "@bolsa" to
// "@NovoTBGLDestino", with the right rule of ObjAnbPut.
void ImportAnbBGLDestino(ProcContext& c) {
  const int32_t id = AnbDoTicker(c);
  if (id == 0) return c.Return(kErrDbIdAnbNaoAchado);
  const int32_t tipo = InInt(c, "@NovoTBGLDestino", -1);
  if (tipo < 0 || tipo > 11) return c.Return(kErrDbCadTipoDeBGLInvalido);
  Recordset rs = c.Query("SELECT tipo_de_bgl_destino FROM anb WHERE id = ?", {Value::Int(id)});
  rs.First();
  if (tipo >= kPrimeiroTipoDeBGLRestrito && rs.Field(0).AsInt() != tipo &&
      !InBool(c, "@PodeTodosOsTiposDeBGL")) {
    return c.Return(kErrDbCadSemDireitoTipoDeBGL);
  }
  c.Exec("UPDATE anb SET tipo_de_bgl_destino = ? WHERE id = ?", {Value::Int(tipo), Value::Int(id)});
}

// Sets the ISIN of series "@ticker" on "@bolsa" to "@NovoISIN".
void ImportAnbISIN(ProcContext& c) {
  const int32_t id = AnbDoTicker(c);
  if (id == 0) return c.Return(kErrDbIdAnbNaoAchado);
  c.Exec("UPDATE anb SET isin = ? WHERE id = ?",
         {Value::String(InTexto(c, "@NovoISIN")), Value::Int(id)});
}

// "@Num": the series of the exchange and destination kind that are not
// cancelled.
void GetTotalAnbDessaBolsaTBGL(ProcContext& c) {
  Recordset rs = c.Query(
      "SELECT COUNT(*) FROM anb WHERE bolsa = ? AND tipo_de_bgl_destino = ? AND cancelado = 0",
      {Value::Int(InInt(c, "@bolsa", -1)), Value::Int(InInt(c, "@TipoDeBGLDestino", -1))});
  rs.First();
  c.Out("@Num", rs.Field(0));
}

// Return value 1 with the registered code and ids when "@cod_provis" is a
// registered provisional code, 0 otherwise.
void GetRegistroCodCVMparaAnbima(ProcContext& c) {
  Recordset rs = c.Query(
      "SELECT cod_anbima, idemp, idanb FROM registro_cod_provis WHERE cod_provis = ? "
      "COLLATE NOCASE",
      {Value::String(InTexto(c, "@cod_provis"))});
  if (rs.RecordCount() == 0) return;
  rs.First();
  c.Out("@cod_anbima", rs.Field(0));
  c.Out("@idemp", rs.Field(1));
  c.Out("@idanb", rs.Field(2));
  c.Return(1);
}

// The company's tree: one row per series, one per asset without series
// and one for a company without assets.
void ObjListDaEmp(ProcContext& c) {
  c.AddResult(c.Query(
      "SELECT e.id AS EmpId, e.cod AS EmpCod, e.pais AS EmpPais, e.nome AS EmpNome, "
      "COALESCE(a.id, 0) AS AtvId, COALESCE(a.vote, 0) AS AtvVote, COALESCE(s.id, 0) AS AnbId, "
      "COALESCE(s.cod, '') AS AnbCod, COALESCE(s.bolsa, 0) AS AnbBolsa, "
      "COALESCE(s.tipo_de_bgl_destino, 0) AS AnbTipoDeBGL, COALESCE(a.idclass, 0) AS AtvIdClass, "
      "COALESCE(s.cancelado, 0) AS AnbCancelado, COALESCE(a.tipoobj, 0) AS AtvTipoObj, "
      "COALESCE(s.moedacot, 0) AS AnbMoedaCot, COALESCE(s.tipo_de_contrato, 0) AS "
      "AnbTipoDeContrato "
      "FROM empresa e LEFT JOIN ativo a ON a.emp = e.id LEFT JOIN anb s ON s.acao = a.id "
      "WHERE e.id = ? ORDER BY a.id, s.id",
      {Value::Int(InInt(c, "@id"))}));
}

constexpr ParamDirection kIn = ParamDirection::kInput;
constexpr ParamDirection kOut = ParamDirection::kOutput;

ProcParam P(const char* name, DataType type = DataType::kInteger, ParamDirection d = kIn) {
  return {name, type, d};
}

}  // namespace

std::vector<Value> SerieDaBolsa(ProcContext& c, int32_t bolsa, const std::string& cod) {
  std::string chave(reinterpret_cast<const char*>(&bolsa), sizeof bolsa);
  for (const char ch : cod) chave += ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
  if (const std::vector<Value>* kept = c.Lembrado("anb", chave)) return *kept;
  Recordset rs =
      c.Query("SELECT id, tipo_de_bgl_destino FROM anb WHERE bolsa = ? AND cod = ? COLLATE NOCASE",
              {Value::Int(bolsa), Value::String(cod)});
  std::vector<Value> serie;
  if (rs.RecordCount() > 0) {
    rs.First();
    serie = {rs.Field(0), rs.Field(1)};
  }
  c.Lembra("anb", chave, serie);
  return serie;
}

void RegisterObjectProcedures() {
  const DataType B = DataType::kBoolean;
  const DataType S = DataType::kString;
  RegisterProcedure(
      "ObjEmpAddV3",
      Assinatura(kColunasEmp, kIn,
                 {P("@PodeAlterarPaisDaEmp", B), P("@PodeSourceDiferenteDeLocal", B)}),
      ObjEmpAddV3);
  RegisterProcedure(
      "ObjEmpPutV3",
      Assinatura(kColunasEmp, kIn,
                 {P("@PodeAlterarPaisDaEmp", B), P("@PodeSourceDiferenteDeLocal", B)}),
      ObjEmpPutV3);
  RegisterProcedure("ObjEmpGetV3", Assinatura(kColunasEmp, kOut), ObjEmpGetV3);
  RegisterProcedure(
      "ObjAtvAddV2",
      Assinatura(kColunasAtv, kIn, {P("@PodeMudarEmpDoAtv", B), P("@PodeClasseEstrangeira", B)}),
      ObjAtvAddV2);
  RegisterProcedure(
      "ObjAtvPutV2",
      Assinatura(kColunasAtv, kIn, {P("@PodeMudarEmpDoAtv", B), P("@PodeClasseEstrangeira", B)}),
      ObjAtvPutV2);
  RegisterProcedure("ObjAtvGetV2", Assinatura(kColunasAtv, kOut), ObjAtvGetV2);
  const std::vector<ProcParam> direitos_anb = {
      P("@PaisProCodZun", DataType::kInteger, ParamDirection::kInputOutput),
      P("@PodeMudarAtvDoAnb", B), P("@PodeTodosOsTiposDeBGL", B), P("@PodeMarcarTrazDadosDaEmp", B),
      P("@PodeAlterarCalendario", B)};
  std::vector<Coluna> sem_pais;  // "@PaisProCodZun" is in and out: among the rights
  for (const Coluna& col : kColunasAnb) {
    if (std::string(col.param) != "@PaisProCodZun") sem_pais.push_back(col);
  }
  RegisterProcedure("ObjAnbAdd", Assinatura(sem_pais, kIn, direitos_anb), ObjAnbAdd);
  RegisterProcedure("ObjAnbPut", Assinatura(sem_pais, kIn, direitos_anb), ObjAnbPut);
  RegisterProcedure("ObjAnbGet", Assinatura(kColunasAnb, kOut, {P("@SerieMontada", B, kOut)}),
                    ObjAnbGet);
  RegisterProcedure("DefineFormatoBalDaEmpSeNulo",
                    {P("@emp"), P("@sourcedobal"), P("@TipoDocumentoBal"), P("@fmtbal")},
                    DefineFormatoBalDaEmpSeNulo);
  RegisterProcedure("GetIdEmp", {P("@cod", S), P("@pais"), P("@idemp", DataType::kInteger, kOut)},
                    GetIdEmp);
  RegisterProcedure(
      "GetIdAtvV2",
      {P("@emp", S), P("@pais"), P("@class", S), P("@IdEmp", DataType::kInteger, kOut),
       P("@IdAtv", DataType::kInteger, kOut), P("@IdClass", DataType::kInteger, kOut)},
      GetIdAtvV2);
  RegisterProcedure("GetIdAnb", {P("@cod", S), P("@bolsa")}, GetIdAnb);
  RegisterProcedure("GetTipoDeBGLDaAnb",
                    {P("@cod", S), P("@bolsa"), P("@TipoDeBGLDestino", DataType::kInteger, kOut)},
                    GetTipoDeBGLDaAnb, /*read_only=*/true);
  RegisterProcedure("GetTotalAnbDessaBolsaTBGL",
                    {P("@bolsa"), P("@TipoDeBGLDestino"), P("@Num", DataType::kInteger, kOut)},
                    GetTotalAnbDessaBolsaTBGL, /*read_only=*/true);
  RegisterProcedure("GetRegistroCodCVMparaAnbima",
                    {P("@cod_provis", S), P("@cod_anbima", S, kOut),
                     P("@idemp", DataType::kInteger, kOut), P("@idanb", DataType::kInteger, kOut)},
                    GetRegistroCodCVMparaAnbima, /*read_only=*/true);
  RegisterProcedure(
      "ImportAnbBGLDestino",
      {P("@ticker", S), P("@bolsa"), P("@NovoTBGLDestino"), P("@PodeTodosOsTiposDeBGL", B)},
      ImportAnbBGLDestino);
  RegisterProcedure("ImportAnbISIN", {P("@ticker", S), P("@bolsa"), P("@NovoISIN", S)},
                    ImportAnbISIN);
  RegisterProcedure("ObjListDaEmp", {P("@id")}, ObjListDaEmp);
}

}  // namespace zun
