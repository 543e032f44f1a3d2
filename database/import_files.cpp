#include "database/import_files.h"

#include <ctime>

#include "toolbox/dbclient/sqlite/procedure_catalog.h"

namespace zun {


double AgoraGMT() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // Day 0 is 1899-12-30; the Unix epoch is day 25569.
  return 25569.0 + (static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9) / 86400.0;
}

namespace {

// Entries marked imported whose recorded result is a failure: they cannot
// occur through ImportFilesResult, so a non-zero count means the queue was
// changed behind the service's back.
int32_t CountMenosUm(ProcContext& c) {
  Recordset rs = c.Query("SELECT COUNT(*) FROM import_files WHERE done = 1 AND result <> 0");
  rs.First();
  return rs.Field(0).AsInt();
}

Recordset Status(int32_t result, int32_t count_menos_um) {
  Recordset rs({"result", "CountMenosUm"});
  rs.AddRow({Value::Int(result), Value::Int(count_menos_um)});
  return rs;
}

void ImportFilesNext(ProcContext& c) {
  const int32_t max_pri = c.In("@MaxPrioridade").IsNull() ? 5 : c.In("@MaxPrioridade").AsInt();
  const int32_t max_tries =
      c.In("@MaxImportTries").IsNull() ? 2 : c.In("@MaxImportTries").AsInt();
  const int32_t count_menos_um = CountMenosUm(c);
  Recordset pick = c.Query(
      "SELECT f.id FROM import_files f WHERE f.done = 0 AND f.prioridade <= ? AND "
      "f.importtries < ? ORDER BY f.prioridade, f.mom, f.id LIMIT 1",
      {Value::Int(max_pri), Value::Int(max_tries)});
  if (pick.RecordCount() == 0) {
    c.AddResult(Status(4072, count_menos_um));
    return;
  }
  pick.First();
  const Value id = pick.Field(0);
  c.Exec("UPDATE import_files SET importtries = importtries + 1 WHERE id = ?", {id});
  Recordset row = c.Query(
      "SELECT f.uid AS Uid, f.id AS Id, f.prioridade, u.name AS Name, f.mom, f.filename, "
      "f.importtries, f.conteudo FROM import_files f JOIN users u ON u.uid = f.uid "
      "WHERE f.id = ?",
      {id});
  c.AddResult(Status(0, count_menos_um));
  c.AddResult(std::move(row));
}

void ImportFilesResult(ProcContext& c) {
  const Value& apaga = c.In("@ApagaConteudo");
  const bool apaga_conteudo = !apaga.IsNull() && apaga.AsBool();
  const int32_t res = c.In("@res").IsNull() ? 0 : c.In("@res").AsInt();
  const int changed = c.Exec(
      "UPDATE import_files SET result = ?, result_mom = ?, done = ?, "
      "conteudo = CASE WHEN ? THEN NULL ELSE conteudo END WHERE id = ?",
      {Value::Int(res), Value::DateTime(AgoraGMT()), Value::Int(res == 0 ? 1 : 0),
       Value::Int(apaga_conteudo ? 1 : 0), c.In("@id")});
  // An id that is not in the queue.
  if (changed == 0) c.Return(50101);
}

}  // namespace

void RegisterImportFilesProcedures() {
  RegisterProcedure("ImportFilesNext",
                    {{"@MaxPrioridade", DataType::kInteger}, {"@MaxImportTries", DataType::kInteger}},
                    ImportFilesNext);
  RegisterProcedure("ImportFilesResult",
                    {{"@id", DataType::kInteger},
                     {"@res", DataType::kInteger},
                     {"@ApagaConteudo", DataType::kBoolean}},
                    ImportFilesResult);
}

}  // namespace zun
