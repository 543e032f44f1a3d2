// The reference procedures of the embedded database: the enumerations the
// service reads at login (rows: id, text and further integer columns, as the
// id-text lists read them), the field-format choice lists, the party read,
// the quote bulletin requests and the data log.
#include <string>
#include <utility>
#include <vector>

#include "embedded/codes.h"
#include "embedded/import_files.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"
#include "embedded/quote_procs.h"

namespace zun {

namespace {

// The plain enumerations: no parameter, the rows are the only result set.
struct Enumeracao {
  const char* proc;
  const char* sql;
};

const Enumeracao kEnumeracoes[] = {
    {"EnumPais", "SELECT id, nome FROM pais ORDER BY id"},
    {"EnumPaisCod", "SELECT id, cod FROM pais ORDER BY id"},
    {"EnumBaseDeDadosComercializavel", "SELECT id, nome FROM base_comercializavel ORDER BY id"},
    {"EnumMoeda", "SELECT id, nome, pais FROM moeda ORDER BY id"},
    {"EnumAbrevMoeda", "SELECT id, cod FROM moeda ORDER BY id"},
    {"EnumFmtBal", "SELECT id, nome FROM fmt_bal ORDER BY id"},
    {"EnumBolsa", "SELECT id, cod, pais FROM bolsa ORDER BY id"},
    {"EnumVote", "SELECT id, cod FROM vote_stat ORDER BY id"},
    {"EnumTipoObj", "SELECT id, nome, 0 AS campo2, marca FROM tipo_obj ORDER BY id"},
    {"EnumOcoAbrv", "SELECT id, abrv FROM oco_tipo ORDER BY id"},
    {"EnumOcoNome", "SELECT id, nome FROM oco_tipo ORDER BY id"},
    {"EnumBlocoDeContaBal", "SELECT id, nome FROM bloco_conta_bal ORDER BY id"},
    {"EnumClasses", "SELECT id, nome, 0 AS campo2, mae FROM classe ORDER BY id"},
    {"EnumTipoAplicacao", "SELECT id, nome FROM tipo_aplicacao ORDER BY id"},
    {"EnumPfItemTipoClassificacao", "SELECT id, nome FROM pf_item_tipo_classificacao ORDER BY id"},
    {"EnumTipoDeContrato", "SELECT id, nome FROM tipo_de_contrato ORDER BY id"},
};

Recordset Status(int32_t result) {
  Recordset rs({"result"});
  rs.AddRow({Value::Int(result)});
  return rs;
}

int32_t IntOuZero(const Value& v) { return v.IsNull() ? 0 : v.AsInt(); }

// Countries assigned to the user the connection works as.
void EnumPaisDoUsr(ProcContext& c) {
  c.AddResult(
      c.Query("SELECT p.id, p.nome FROM usuario_pais up JOIN users u ON u.uid = up.uid "
              "JOIN pais p ON p.id = up.pais WHERE u.name = ? ORDER BY p.id",
              {Value::String(c.CurrentUser())}));
}

// A status result set, then the choice list of "@formatocampo": id, the
// three names joined by "|", three zero columns and the document code.
void GetCampoListaDeValores(ProcContext& c) {
  const int32_t fc = IntOuZero(c.In("@formatocampo"));
  Recordset rows = c.Query(
      "SELECT id, nome_pt || '|' || nome_en || '|' || nome_es AS nome, 0 AS campo2, "
      "0 AS campo3, 0 AS campo4, id_doc FROM campo_lista_valores WHERE formatocampo = ? "
      "ORDER BY id",
      {Value::Int(fc)});
  c.AddResult(Status(0));
  c.AddResult(std::move(rows));
}

// Adds an item to the choice list of "@formatocampo" with the next free id.
void AddItemCampoListaValores(ProcContext& c) {
  const int32_t fc = IntOuZero(c.In("@formatocampo"));
  Recordset next =
      c.Query("SELECT COALESCE(MAX(id), 0) + 1 FROM campo_lista_valores WHERE formatocampo = ?",
              {Value::Int(fc)});
  next.First();
  const int32_t id = next.Field(0).AsInt();
  auto texto = [&](const char* name) {
    const Value& v = c.In(name);
    return Value::String(v.IsNull() ? "" : v.AsString());
  };
  c.Exec(
      "INSERT INTO campo_lista_valores (formatocampo, id, nome_pt, nome_en, nome_es) "
      "VALUES (?, ?, ?, ?, ?)",
      {Value::Int(fc), Value::Int(id), texto("@ItemNamePT"), texto("@ItemNameEN"),
       texto("@ItemNameES")});
  c.Out("@ItemId", Value::Int(id));
}

// One party with one row per document (docpais and doc_id NULL when it has
// none); 4178 when the party does not exist.
void AcionistaGet(ProcContext& c) {
  Recordset rs = c.Query(
      "SELECT a.id, a.pais, a.nome, a.doc, a.eh_acionista AS EhAcionista, "
      "a.eh_aplicacao AS EhAplicacao, "
      "1 + (SELECT COUNT(*) FROM acionista_nome n WHERE n.id = a.id) AS qtnomes, "
      "d.docpais, d.doc_id FROM acionista a LEFT JOIN acionista_doc d ON d.id = a.id "
      "WHERE a.id = ? ORDER BY d.docpais, d.doc_id",
      {c.In("@id")});
  if (rs.RecordCount() == 0) {
    c.Return(kErrDbAcionistaNaoAchado);
    return;
  }
  c.AddResult(std::move(rs));
}

// Records a quote bulletin request; a priority below 1 asks with the usual
// priority 1.
void ReqGBol(ProcContext& c) {
  int32_t pri = IntOuZero(c.In("@Prioridade"));
  if (pri < 1) pri = 1;
  const Value& motivo = c.In("@Motivo");
  c.Exec("INSERT INTO reqgbol (prioridade, motivo, user_name, mom) VALUES (?, ?, ?, ?)",
         {Value::Int(pri), Value::String(motivo.IsNull() ? "" : motivo.AsString()),
          Value::String(c.CurrentUser()), Value::DateTime(AgoraGMT())});
}

// Hands out the pending bulletin requests: "@Prioridade" is the most urgent
// pending priority (0 when none), and they are marked served.
void GetReqGBol(ProcContext& c) {
  Recordset rs = c.Query("SELECT COALESCE(MIN(prioridade), 0) FROM reqgbol WHERE served = 0");
  rs.First();
  const int32_t pri = rs.Field(0).AsInt();
  c.Exec("UPDATE reqgbol SET served = 1 WHERE served = 0");
  c.Out("@Prioridade", Value::Int(pri));
}

// One entry of the data log; "@date" and "@txt" may be NULL. A quote
// bulletin entry (tip 42) is checked first and asks for a bulletin.
void DataLogAdd(ProcContext& c) {
  for (const char* name : {"@tip", "@oid", "@aux"}) {
    if (c.In(name).IsNull()) {
      c.Return(kErrDbDataLogNulo);
      return;
    }
  }
  if (c.In("@tip").AsInt() == kDataLogBoletim) {
    const int32_t e = EntradaDeBoletim(c);
    if (e != 0) return c.Return(e);
  }
  c.Exec(
      "INSERT INTO data_log (tip, oid, aux, date, txt, user_name, mom) "
      "VALUES (?, ?, ?, ?, ?, ?, ?)",
      {c.In("@tip"), c.In("@oid"), c.In("@aux"), c.In("@date"), c.In("@txt"),
       Value::String(c.CurrentUser()), Value::DateTime(AgoraGMT())});
}

}  // namespace

void RegisterReferenceProcedures() {
  for (const Enumeracao& e : kEnumeracoes) {
    const std::string sql = e.sql;
    RegisterProcedure(e.proc, {}, [sql](ProcContext& c) { c.AddResult(c.Query(sql)); });
  }
  RegisterProcedure("EnumPaisDoUsr", {}, EnumPaisDoUsr);
  RegisterProcedure("GetCampoListaDeValores", {{"@formatocampo", DataType::kInteger}},
                    GetCampoListaDeValores);
  RegisterProcedure("AddItemCampoListaValores",
                    {{"@formatocampo", DataType::kInteger},
                     {"@ItemNamePT", DataType::kString},
                     {"@ItemNameEN", DataType::kString},
                     {"@ItemNameES", DataType::kString},
                     {"@ItemId", DataType::kInteger, ParamDirection::kOutput}},
                    AddItemCampoListaValores);
  RegisterProcedure("AcionistaGet", {{"@id", DataType::kInteger}}, AcionistaGet);
  RegisterProcedure("ReqGBol",
                    {{"@Prioridade", DataType::kInteger}, {"@Motivo", DataType::kString}}, ReqGBol);
  RegisterProcedure("GetReqGBol", {{"@Prioridade", DataType::kInteger, ParamDirection::kOutput}},
                    GetReqGBol);
  RegisterProcedure("DataLogAdd",
                    {{"@tip", DataType::kInteger},
                     {"@oid", DataType::kInteger},
                     {"@aux", DataType::kInteger},
                     {"@date", DataType::kDateTime},
                     {"@txt", DataType::kString}},
                    DataLogAdd);
}

}  // namespace zun
