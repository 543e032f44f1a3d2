#include "embedded/plain_queue.h"

#include "embedded/import_files.h"
#include "embedded/procedure_catalog.h"
#include "embedded/reference_db.h"

namespace zun {
namespace {

// Counts the try and takes the entry in one statement, as the extended
// hand-out does, but leaves the lease number alone.
constexpr char kTakeNext[] =
    "UPDATE import_files SET importtries = importtries + 1, taken_until = ? WHERE id = ("
    "SELECT f.id FROM import_files f WHERE f.done = 0 AND f.conteudo IS NOT NULL AND "
    "f.prioridade <= ? AND f.importtries < ? AND (f.taken_until IS NULL OR f.taken_until < ?) "
    "ORDER BY f.prioridade, f.mom, f.id LIMIT 1) RETURNING id";

void PlainNext(ProcContext& c) {
  const Value& pri = c.In("@MaxPrioridade");
  const Value& tries = c.In("@MaxImportTries");
  Recordset menos_um = c.Query(
      "SELECT COUNT(*) FROM import_files "
      "WHERE (done = 1 AND (result IS NULL OR result <> 0)) OR importtries < 0");
  menos_um.First();
  const double now = AgoraGMT();
  Recordset taken =
      c.Query(kTakeNext,
              {Value::DateTime(now + kImportLeaseDays),
               Value::Int(pri.IsNull() ? kMaxPrioridadeDeDia : pri.AsInt()),
               Value::Int(tries.IsNull() ? kImportMaxTries : tries.AsInt()), Value::DateTime(now)});
  Recordset row;
  int32_t result = kImportFilesNothing;
  if (taken.RecordCount() != 0) {
    taken.First();
    row = c.Query(
        "SELECT f.uid AS Uid, f.id AS Id, f.prioridade, u.name AS Name, f.mom, f.filename, "
        "f.importtries, f.conteudo FROM import_files f JOIN users u ON u.uid = f.uid "
        "WHERE f.id = ?",
        {taken.Field(0)});
    result = row.RecordCount() != 0 ? 0 : kErrImportFileOwnerUnknown;
  }
  Recordset status({"result", "CountMenosUm"});
  status.AddRow({Value::Int(result), menos_um.Field(0)});
  c.AddResult(std::move(status));
  if (result == 0) c.AddResult(std::move(row));
}

void PlainResult(ProcContext& c) {
  const Value& id = c.In("@id");
  const Value& res = c.In("@res");
  Recordset entry = c.Query("SELECT done FROM import_files WHERE id = ?", {id});
  if (id.IsNull() || entry.RecordCount() == 0) return c.Return(kErrImportFileUnknownId);
  if (res.IsNull()) return c.Return(kErrImportFileNoResult);
  entry.First();
  if (entry.Field(0).AsInt() != 0) return c.Return(kErrImportFileAlreadyDone);
  const Value& apaga = c.In("@ApagaConteudo");
  c.Exec(
      "UPDATE import_files SET result = ?, result_mom = ?, done = ?, taken_until = NULL, "
      "conteudo = CASE WHEN ? THEN NULL ELSE conteudo END WHERE id = ?",
      {res, Value::DateTime(AgoraGMT()), Value::Int(res.AsInt() == 0 ? 1 : 0),
       Value::Int(!apaga.IsNull() && apaga.AsBool() ? 1 : 0), id});
}

}  // namespace

const std::vector<std::string>& ProcedimentosDasFerramentas() {
  static const std::vector<std::string> kNomes = {
      "ImportFilesLista",  "ImportFilesGet",     "ImportFilesErrosGet", "ImportFilesAdd",
      "ImportFilesRepete", "ImportFilesCancela", "ImportFilesPurga"};
  return kNomes;
}

const std::vector<std::string>& ProcedimentosAcrescentados() {
  static const std::vector<std::string> kNomes = [] {
    std::vector<std::string> n = {"ImportFilesNext", "ImportFilesResult", "ImportFilesRenova",
                                  "ImportFilesErros", "ImportFilesMarca"};
    n.insert(n.end(), ProcedimentosDasFerramentas().begin(), ProcedimentosDasFerramentas().end());
    return n;
  }();
  return kNomes;
}

void RegisterPlainQueueProcedures() {
  for (const std::string& nome : ProcedimentosAcrescentados()) UnregisterProcedure(nome);
  RegisterProcedure(
      "ImportFilesNext",
      {{"@MaxPrioridade", DataType::kInteger}, {"@MaxImportTries", DataType::kInteger}}, PlainNext);
  RegisterProcedure("ImportFilesResult",
                    {{"@id", DataType::kInteger},
                     {"@res", DataType::kInteger},
                     {"@ApagaConteudo", DataType::kBoolean}},
                    PlainResult);
}

}  // namespace zun
