#include "embedded/queue_admin.h"

#include "embedded/import_files.h"
#include "embedded/procedure_catalog.h"
#include "embedded/reference_db.h"

namespace zun {

// The service takes priorities above 5 only from 03:00 to 07:59 (server
// time), and an entry at most kImportMaxTries times.
const char kSqlDaFila[] = R"(
WITH e AS (
  SELECT f.*, u.name AS user_name,
    CASE
      WHEN f.done = 1 AND f.result = 0 THEN 'succeeded'
      WHEN f.done = 0 AND f.taken_until > strftime('%Y-%m-%d %H:%M:%f', 'now') THEN 'importing'
      WHEN f.done = 0 AND f.conteudo IS NOT NULL AND f.importtries < ?1 THEN 'waiting'
      ELSE 'failed'
    END AS state
  FROM import_files f JOIN users u ON u.uid = f.uid),
q AS (
  SELECT id, user_name AS user, prioridade AS priority, mom AS queued, filename,
    importtries AS tries, result, CASE WHEN conteudo IS NULL THEN 'N' ELSE 'Y' END AS content,
    state,
    CASE
      WHEN state = 'succeeded' THEN 'imported at ' || result_mom || ' GMT'
      WHEN state = 'importing' THEN 'a run is importing it (taken until ' || taken_until || ' GMT)'
      WHEN state = 'waiting' AND prioridade > 5 THEN 'priority ' || prioridade ||
        ' is above 5: waits for the 03:00-07:59 window (server time)'
      WHEN state = 'waiting' AND result IS NOT NULL THEN 'failed with ' || result ||
        '; the next run tries it again (' || importtries || ' of ' || ?1 || ' tries used)'
      WHEN state = 'waiting' THEN 'waits for the next run'
      WHEN done = 1 THEN 'marked done with result ' || IFNULL(result, 'none') || ' by hand'
      WHEN conteudo IS NULL THEN 'failed with ' || IFNULL(result, 'none') ||
        '; its content was deleted: queue the file again'
      WHEN result IS NULL THEN 'its last try ended with its process; the next run records 50106'
      ELSE 'failed with ' || result || ' and used its ' || importtries ||
        ' tries; zuninput-db retry ' || id || ' offers it once more'
    END AS why
  FROM e
  WHERE (?2 = 0 OR (result IS NOT NULL AND result <> 0)) AND (?3 = 0 OR state = 'waiting')
    AND (?4 IS NULL OR user_name = ?4 COLLATE NOCASE))
)";

const char kSqlDosErros[] =
    "SELECT importtry AS try, line, code, reason, msg AS message, linetext AS text "
    "FROM import_file_errors WHERE id = ?1 AND (?2 IS NULL OR importtry = ?2) "
    "ORDER BY importtry, rowid";
const char kSqlDosErrosSemTentativa[] =
    "SELECT 0 AS try, line, 0 AS code, '' AS reason, msg AS message, '' AS text "
    "FROM import_file_errors WHERE id = ?1 AND (?2 IS NULL OR ?2 = 0) ORDER BY rowid";

namespace {

// The connection's current user: uid and whether an administrator (uid 0:
// no longer in the users table).
struct Quem {
  int64_t uid = 0;
  bool admin = false;
};
Quem UsuarioAtual(ProcContext& c) {
  Recordset rs =
      c.Query("SELECT uid, is_admin FROM users WHERE name = ?", {Value::String(c.CurrentUser())});
  if (rs.RecordCount() == 0) return {};
  rs.First();
  return {rs.Field(0).AsInt64(), rs.Field(1).AsInt() != 0};
}

// The entry "@id" as the current user may see it: 0 and its row (done,
// succeeded, content deleted, tries, being imported), or the code.
int32_t Entrada(ProcContext& c, Recordset* rs) {
  *rs = c.Query(
      "SELECT done, done = 1 AND result = 0, conteudo IS NULL, importtries, "
      "taken_until IS NOT NULL AND taken_until > strftime('%Y-%m-%d %H:%M:%f', 'now'), uid "
      "FROM import_files WHERE id = ?",
      {c.In("@id")});
  if (rs->RecordCount() == 0) return kErrImportFileUnknownId;
  rs->First();
  const Quem q = UsuarioAtual(c);
  return q.admin || (q.uid != 0 && rs->Field(5).AsInt64() == q.uid) ? 0 : kErrImportFileNotYours;
}

void Lista(ProcContext& c) {
  const Quem q = UsuarioAtual(c);
  const std::string estado = c.In("@estado").IsNull() ? "" : c.In("@estado").AsString();
  // An owner sees their own entries whatever "@usuario" asks for.
  const Value usuario = q.admin ? c.In("@usuario") : Value::String(c.CurrentUser());
  c.AddResult(c.Query(std::string(kSqlDaFila) + "SELECT * FROM q ORDER BY id",
                      {Value::Int(kImportMaxTries), Value::Int(estado == "failed" ? 1 : 0),
                       Value::Int(estado == "waiting" ? 1 : 0), usuario}));
}

void Get(ProcContext& c) {
  Recordset e;
  if (const int32_t code = Entrada(c, &e)) return c.Return(code);
  if (e.Field(2).AsInt() != 0) return c.Return(kErrImportFileNoContent);
  c.AddResult(c.Query("SELECT id, conteudo FROM import_files WHERE id = ?", {c.In("@id")}));
}

void ErrosGet(ProcContext& c) {
  Recordset e;
  if (const int32_t code = Entrada(c, &e)) return c.Return(code);
  const bool por_tentativa =
      c.Query("SELECT 1 FROM pragma_table_info('import_file_errors') WHERE name = 'importtry'")
          .RecordCount() != 0;
  c.AddResult(c.Query(por_tentativa ? kSqlDosErros : kSqlDosErrosSemTentativa,
                      {c.In("@id"), c.In("@try")}));
}

void Add(ProcContext& c) {
  const Quem q = UsuarioAtual(c);
  Recordset dono = c.Query("SELECT uid FROM users WHERE name = ?", {c.In("@usuario")});
  if (dono.RecordCount() == 0) return c.Return(kErrImportFileNoUser);
  dono.First();
  if (!q.admin && dono.Field(0).AsInt64() != q.uid) return c.Return(kErrImportFileNotYours);
  const Value& pri = c.In("@prioridade");
  c.Exec(
      "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo) "
      "VALUES (?, ?, strftime('%Y-%m-%d %H:%M:%S', 'now'), ?, ?)",
      {dono.Field(0), pri.IsNull() ? Value::Int(kMaxPrioridadeDeDia) : pri, c.In("@filename"),
       c.In("@conteudo")});
  c.Out("@id", Value::Int(static_cast<int32_t>(c.LastInsertId())));
}

// One try short of the service's limit: the next run takes the entry once
// and, should it fail again, reports it as having used its tries. An entry
// with a try left is left as it is ("@repetida" 0).
void Repete(ProcContext& c) {
  Recordset e;
  if (const int32_t code = Entrada(c, &e)) return c.Return(code);
  if (e.Field(0).AsInt() != 0) return c.Return(kErrImportFileAlreadyDone);
  if (e.Field(2).AsInt() != 0) return c.Return(kErrImportFileNoContent);
  if (e.Field(4).AsInt() != 0) return c.Return(kErrImportFileBeingImported);
  const bool repete = e.Field(3).AsInt() >= kImportMaxTries;
  if (repete) {
    c.Exec(
        "UPDATE import_files SET importtries = ?, result = NULL, result_mom = NULL, "
        "taken_until = NULL WHERE id = ?",
        {Value::Int(kImportMaxTries - 1), c.In("@id")});
  }
  c.Out("@repetida", Value::Bool(repete));
}

void Cancela(ProcContext& c) {
  Recordset e;
  if (const int32_t code = Entrada(c, &e)) return c.Return(code);
  if (e.Field(1).AsInt() != 0) return c.Return(kErrImportFileAlreadyDone);
  if (e.Field(4).AsInt() != 0) return c.Return(kErrImportFileBeingImported);
  c.Exec("DELETE FROM import_file_errors WHERE id = ?", {c.In("@id")});
  c.Exec("DELETE FROM import_files WHERE id = ?", {c.In("@id")});
}

void Purga(ProcContext& c) {
  if (!UsuarioAtual(c).admin) return c.Return(kErrImportFileNotYours);
  c.Exec(
      "DELETE FROM import_file_errors WHERE id IN (SELECT id FROM import_files "
      "WHERE done = 1 AND result = 0 AND result_mom < ?)",
      {c.In("@antes")});
  c.Out("@apagadas", Value::Int(c.Exec("DELETE FROM import_files WHERE done = 1 AND result = 0 AND "
                                       "result_mom < ?",
                                       {c.In("@antes")})));
}

}  // namespace

void RegisterQueueAdminProcedures() {
  constexpr DataType I = DataType::kInteger, S = DataType::kString;
  constexpr ParamDirection O = ParamDirection::kOutput;
  RegisterProcedure("ImportFilesLista", {{"@estado", S}, {"@usuario", S}}, Lista, true);
  RegisterProcedure("ImportFilesGet", {{"@id", I}}, Get, true);
  RegisterProcedure("ImportFilesErrosGet", {{"@id", I}, {"@try", I}}, ErrosGet, true);
  RegisterProcedure("ImportFilesAdd",
                    {{"@usuario", S},
                     {"@prioridade", I},
                     {"@filename", S},
                     {"@conteudo", DataType::kBinary},
                     {"@id", I, O}},
                    Add);
  RegisterProcedure("ImportFilesRepete", {{"@id", I}, {"@repetida", DataType::kBoolean, O}},
                    Repete);
  RegisterProcedure("ImportFilesCancela", {{"@id", I}}, Cancela);
  RegisterProcedure("ImportFilesPurga", {{"@antes", DataType::kDateTime}, {"@apagadas", I, O}},
                    Purga);
}

}  // namespace zun
