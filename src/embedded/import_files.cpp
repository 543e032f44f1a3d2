#include "embedded/import_files.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "embedded/procedure_catalog.h"
#include "embedded/reference_db.h"
#include "foundation/tab_fields.h"
#include "toolbox/dbclient/errors.h"

namespace zun {

double AgoraGMT() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // Day 0 is 1899-12-30; the Unix epoch is day 25569.
  return 25569.0 + (static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9) / 86400.0;
}

bool LoginEhAdministrador(ProcContext& c) {
  Recordset rs =
      c.Query("SELECT is_admin FROM users WHERE name = ?", {Value::String(c.LoginUser())});
  if (rs.RecordCount() == 0) return false;
  rs.First();
  return rs.Field(0).AsInt() != 0;
}

namespace {

// Entries in a state ImportFilesResult never leaves them in (marked imported
// without a successful result, or a negative try count): a non-zero count
// means the queue was changed behind the service's back. The WHERE clause is
// that of the partial index import_files_menos_um (schema.sql): keep them
// equal, or the count reads the whole table on every hand-out.
int32_t CountMenosUm(ProcContext& c) {
  Recordset rs = c.Query(
      "SELECT COUNT(*) FROM import_files "
      "WHERE (done = 1 AND (result IS NULL OR result <> 0)) OR importtries < 0");
  rs.First();
  return rs.Field(0).AsInt();
}

Recordset Status(int32_t result, int32_t count_menos_um) {
  Recordset rs({"result", "CountMenosUm"});
  rs.AddRow({Value::Int(result), Value::Int(count_menos_um)});
  return rs;
}

// Picks, counts the try and takes the entry in one statement, so the
// choice and the increment cannot be separated by another connection
// whatever the caller's transaction mode. An entry taken by a process that
// has not recorded its outcome yet is skipped until its lease expires (a
// failed try leaves tries below the maximum, and without the lease a second
// process would import the same file while the first still works on it).
// An entry whose content was deleted is never handed out: it would import
// as an empty file and pass. Within a priority, entries with fewer tries
// come first: a file that failed waits behind the files not tried yet, so
// one bad file does not head the queue run after run (and a run that goes
// on after a failed file imports the others before its next try).
constexpr char kTakeNext[] =
    "UPDATE import_files SET importtries = importtries + 1, taken_until = ?, lease = lease + 1 "
    "WHERE id = ("
    "SELECT f.id FROM import_files f WHERE f.done = 0 AND f.conteudo IS NOT NULL AND "
    "f.prioridade <= ? AND f.importtries < ? AND "
    "(f.taken_until IS NULL OR f.taken_until < ?) "
    "ORDER BY f.prioridade, f.importtries, f.mom, f.id LIMIT 1) "
    "RETURNING id, lease";

// An entry whose lease ran out without an outcome: its process died. An
// entry whose import pass committed lines is taken again, before any other
// entry, whatever its priority and without a try (a resume: a kill is not
// the file's fault, and the lines applied must not wait for a later day's
// priorities nor count as a failure) when its last hand-out committed more,
// or when fewer than @MaxImportTries hand-outs in a row, this one counted,
// died without committing more (a machine that fails twice). Else, on its
// last try, it is taken for the caller to record the failure: a file that
// kills the process every time at the same place ends there, and the
// position only grows, so resumes end. Should that caller die too, the entry
// comes back after its new lease. (f, r: the entry and its position; the
// parameter: @MaxImportTries.)
#define ZUN_RETOMAVEL                                    \
  "(f.conteudo IS NOT NULL AND r.linha IS NOT NULL AND " \
  "(r.linha > COALESCE(r.desde, -1) OR COALESCE(r.mortes, 0) + 1 < ?))"
constexpr char kTakeDead[] =
    "UPDATE import_files SET taken_until = ?, lease = lease + 1 WHERE id = ("
    "SELECT f.id FROM import_files f LEFT JOIN import_files_retoma r ON r.id = f.id "
    "WHERE f.done = 0 AND f.taken_until IS NOT NULL AND f.taken_until < ? AND "
    "(f.importtries >= ? OR " ZUN_RETOMAVEL
    ") "
    "ORDER BY f.prioridade, f.mom, f.id LIMIT 1) "
    "RETURNING id, lease";

// Whether the entry just taken by kTakeDead is handed out for the record of
// its failure rather than resumed.
constexpr char kParaORegistro[] =
    "SELECT 1 FROM import_files f LEFT JOIN import_files_retoma r ON r.id = f.id "
    "WHERE f.id = ? AND NOT COALESCE(" ZUN_RETOMAVEL ", 0)";
#undef ZUN_RETOMAVEL

// The table where import passes say where they stand (schema.sql, word for
// word): made, or given the columns it lacks, on a hand-out in a database
// made before them.
constexpr char kTabelaDeRetomada[] =
    "CREATE TABLE IF NOT EXISTS import_files_retoma ("
    "id INTEGER PRIMARY KEY REFERENCES import_files(id) ON DELETE CASCADE, "
    "lease INTEGER NOT NULL, linha INTEGER, erro INTEGER, erros INTEGER, gbol INTEGER, "
    "pedido TEXT, desde INTEGER, mortes INTEGER, aplicadas INTEGER, puladas INTEGER, "
    "mensagens TEXT)";

// Makes the table, or adds the columns an older one lacks (one look at its
// columns per hand-out).
void AsseguraTabelaDeRetomada(ProcContext& c) {
  Recordset cols = c.Query("SELECT name FROM pragma_table_info('import_files_retoma')");
  if (cols.RecordCount() == 0) {
    c.Exec(kTabelaDeRetomada);
    return;
  }
  std::string tem;
  for (cols.First(); !cols.Eof(); cols.Next()) tem += " " + cols.Field(0).AsString() + " ";
  for (const char* col : {"desde INTEGER", "mortes INTEGER", "aplicadas INTEGER", "puladas INTEGER",
                          "mensagens TEXT"}) {
    const std::string nome(col, std::strchr(col, ' '));
    if (tem.find(" " + nome + " ") == std::string::npos) {
      c.Exec(std::string("ALTER TABLE import_files_retoma ADD COLUMN ") + col);
    }
  }
}

// The second result set of "ImportFilesNext": the entry and its owner.
Recordset EntryRow(ProcContext& c, const Value& id) {
  return c.Query(
      "SELECT f.uid AS Uid, f.id AS Id, f.prioridade, u.name AS Name, f.mom, f.filename, "
      "f.importtries, f.conteudo, f.lease, r.linha AS retoma_linha, r.erro AS retoma_erro, "
      "r.erros AS retoma_erros, r.gbol AS retoma_gbol, r.pedido AS retoma_pedido, "
      "r.aplicadas AS retoma_aplicadas, r.puladas AS retoma_puladas, "
      "r.mensagens AS retoma_mensagens "
      "FROM import_files f JOIN users u ON u.uid = f.uid "
      "LEFT JOIN import_files_retoma r ON r.id = f.id WHERE f.id = ?",
      {id});
}

void ImportFilesNext(ProcContext& c) {
  // Another user's entry would be imported, stored and mailed under this
  // login: only an administrator may take entries. Nothing is counted.
  if (!LoginEhAdministrador(c)) {
    c.AddResult(Status(kErrImportFilesNotAdmin, 0));
    return;
  }
  const Value& pri = c.In("@MaxPrioridade");
  const Value& tries = c.In("@MaxImportTries");
  const int32_t max_pri = pri.IsNull() ? kMaxPrioridadeDeDia : pri.AsInt();
  const int32_t max_tries = tries.IsNull() ? kImportMaxTries : tries.AsInt();
  const int32_t count_menos_um = CountMenosUm(c);
  AsseguraTabelaDeRetomada(c);
  const double now = AgoraGMT();
  const Value lease_end = Value::DateTime(now + kImportLeaseDays);
  Recordset dead = c.Query(
      kTakeDead, {lease_end, Value::DateTime(now), Value::Int(max_tries), Value::Int(max_tries)});
  const bool retomada_ou_morto = dead.RecordCount() != 0;
  Recordset taken = retomada_ou_morto
                        ? std::move(dead)
                        : c.Query(kTakeNext, {lease_end, Value::Int(max_pri), Value::Int(max_tries),
                                              Value::DateTime(now)});
  if (taken.RecordCount() == 0) {
    c.AddResult(Status(kImportFilesNothing, count_menos_um));
    return;
  }
  taken.First();
  const Value id = taken.Field(0);
  const bool morto =
      retomada_ou_morto && c.Query(kParaORegistro, {id, Value::Int(max_tries)}).RecordCount() != 0;
  // The new hand-out alone may say where the import pass stands; where an
  // earlier one left it stays, and is where this one starts. A row left
  // means that hand-out died (an outcome deletes it): it died without
  // committing lines, or the count of such deaths starts again.
  c.Exec(
      "INSERT INTO import_files_retoma (id, lease) VALUES (?, ?) "
      "ON CONFLICT (id) DO UPDATE SET lease = excluded.lease, desde = linha, "
      "mortes = CASE WHEN linha > COALESCE(desde, -1) THEN 0 ELSE COALESCE(mortes, 0) + 1 END",
      {id, taken.Field(1)});
  Recordset row = EntryRow(c, id);
  if (row.RecordCount() == 0) {
    // The owner is gone (possible only with foreign keys off): importing
    // under another identity would be wrong. The try stays counted, so the
    // entry does not block the queue for good; the failure is its outcome,
    // so the entry is not held for the caller.
    c.Exec("UPDATE import_files SET result = ?, result_mom = ?, taken_until = NULL WHERE id = ?",
           {Value::Int(kErrImportFileOwnerUnknown), Value::DateTime(now), id});
    c.AddResult(Status(kErrImportFileOwnerUnknown, count_menos_um));
    return;
  }
  c.AddResult(Status(morto ? kErrImportFileProcessDied : 0, count_menos_um));
  c.AddResult(std::move(row));
}

// Whether @lease (when given) is the entry's latest hand-out, not yet
// ended by an outcome.
bool TemOLease(ProcContext& c, const Value& id) {
  const Value& lease = c.In("@lease");
  if (lease.IsNull()) return true;
  Recordset rs =
      c.Query("SELECT 1 FROM import_files WHERE id = ? AND lease = ? AND taken_until IS NOT NULL",
              {id, lease});
  return rs.RecordCount() != 0;
}

void ImportFilesResult(ProcContext& c) {
  const Value& id = c.In("@id");
  const Value& res = c.In("@res");
  const Value& apaga = c.In("@ApagaConteudo");
  Recordset entry = c.Query("SELECT done FROM import_files WHERE id = ?", {id});
  if (id.IsNull() || entry.RecordCount() == 0) {
    c.Return(kErrImportFileUnknownId);
    return;
  }
  // Without a result the outcome is unknown: recording it as success would
  // drop a file that may have failed.
  if (res.IsNull()) {
    c.Return(kErrImportFileNoResult);
    return;
  }
  entry.First();
  // A process whose lease ran out and whose entry was taken again must not
  // overwrite the outcome of the one that holds it now, nor learn of it
  // anything but that the entry is no longer its own.
  if (!TemOLease(c, id)) {
    c.Return(kErrImportFileLeaseLost);
    return;
  }
  // A success is final: a late outcome must not put the entry back in line.
  if (entry.Field(0).AsInt() != 0) {
    c.Return(kErrImportFileAlreadyDone);
    return;
  }
  const int32_t code = res.AsInt();
  const bool apaga_conteudo = !apaga.IsNull() && apaga.AsBool();
  c.Exec(
      "UPDATE import_files SET result = ?, result_mom = ?, done = ?, taken_until = NULL, "
      "conteudo = CASE WHEN ? THEN NULL ELSE conteudo END WHERE id = ?",
      {Value::Int(code), Value::DateTime(AgoraGMT()), Value::Int(code == 0 ? 1 : 0),
       Value::Int(apaga_conteudo ? 1 : 0), id});
  c.Exec("DELETE FROM import_files_retoma WHERE id = ?", {id});
}

// The columns schema 15 added to import_file_errors (schema.sql, word for
// word): made on the first store in a database made before them.
constexpr const char* kColunasDeErros[] = {
    "ALTER TABLE import_file_errors ADD COLUMN importtry INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE import_file_errors ADD COLUMN code INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE import_file_errors ADD COLUMN reason TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE import_file_errors ADD COLUMN linetext TEXT NOT NULL DEFAULT ''"};

// The most rows one try keeps (the service sends at most 1,000 messages and
// a line that counts the rest).
constexpr size_t kMaxErrosPorTentativa = 1001;

// Stores the line messages of an entry's current try (its importtries),
// replacing only an earlier store of the same try: the tries before keep
// theirs. "@linhas" holds one message a line: its line number, code, the
// code's reason, the message and the line's text, separated by tabs (a line
// number and a message alone are taken too). Only the holder of the
// entry's latest lease may (before or after its outcome); nothing changes
// otherwise.
void ImportFilesErros(ProcContext& c) {
  const Value& id = c.In("@id");
  Recordset entry = c.Query("SELECT importtries FROM import_files WHERE id = ?", {id});
  if (id.IsNull() || entry.RecordCount() == 0) {
    c.Return(kErrImportFileUnknownId);
    return;
  }
  // The holder records its outcome first: the lease it held stays the
  // entry's until the next hand-out.
  const Value& lease = c.In("@lease");
  if (!lease.IsNull() &&
      c.Query("SELECT 1 FROM import_files WHERE id = ? AND lease = ?", {id, lease}).RecordCount() ==
          0) {
    c.Return(kErrImportFileLeaseLost);
    return;
  }
  entry.First();
  const Value tentativa = Value::Int(entry.Field(0).AsInt());
  try {
    c.Query("SELECT importtry, code, reason, linetext FROM import_file_errors LIMIT 0");
  } catch (const ProviderError&) {
    for (const char* sql : kColunasDeErros) {
      try {
        c.Exec(sql);
      } catch (const ProviderError&) {
        // Added already.
      }
    }
  }
  c.Exec("DELETE FROM import_file_errors WHERE id = ? AND importtry = ?", {id, tentativa});
  const Value& v = c.In("@linhas");
  const std::string linhas = v.IsNull() ? std::string() : v.AsString();
  size_t guardadas = 0;
  ParaCadaLinhaDeCampos(linhas, [&](std::vector<std::string>& campos) {
    if (campos.size() == 2) campos = {campos[0], "0", "", campos[1], ""};
    if (campos.size() != 5) return true;
    c.Exec(
        "INSERT INTO import_file_errors (id, importtry, line, code, reason, msg, linetext) "
        "VALUES (?, ?, ?, ?, ?, ?, ?)",
        {id, tentativa, Value::Int(std::atoi(campos[0].c_str())),
         Value::Int(std::atoi(campos[1].c_str())), Value::String(campos[2]),
         Value::String(campos[3]), Value::String(campos[4])});
    return ++guardadas < kMaxErrosPorTentativa;
  });
}

// Renews the lease of an entry being imported, for as long as the caller
// holds it: 30 minutes from now.
void ImportFilesRenova(ProcContext& c) {
  const int changed = c.Exec(
      "UPDATE import_files SET taken_until = ? WHERE id = ? AND lease = ? AND done = 0 AND "
      "taken_until IS NOT NULL",
      {Value::DateTime(AgoraGMT() + kImportLeaseDays), c.In("@id"), c.In("@lease")});
  if (changed == 0) c.Return(kErrImportFileLeaseLost);
}

// Where the caller's import pass of the entry stands, written in the
// transaction that commits the lines before @linha: the next try goes on
// from there. Refuses (50107) a caller whose hand-out is no longer the
// entry's latest, or whose entry has its outcome.
void ImportFilesMarca(ProcContext& c) {
  const int changed = c.Exec(
      "UPDATE import_files_retoma SET linha = ?, erro = ?, erros = ?, gbol = ?, pedido = ?, "
      "aplicadas = ?, puladas = ?, mensagens = COALESCE(?, mensagens) WHERE id = ? AND lease = ?",
      {c.In("@linha"), c.In("@erro"), c.In("@erros"), c.In("@gbol"), c.In("@pedido"),
       c.In("@aplicadas"), c.In("@puladas"), c.In("@mensagens"), c.In("@id"), c.In("@lease")});
  if (changed == 0) c.Return(kErrImportFileLeaseLost);
}

}  // namespace

void RegisterImportFilesProcedures() {
  RegisterProcedure(
      "ImportFilesNext",
      {{"@MaxPrioridade", DataType::kInteger}, {"@MaxImportTries", DataType::kInteger}},
      ImportFilesNext);
  RegisterProcedure("ImportFilesResult",
                    {{"@id", DataType::kInteger},
                     {"@res", DataType::kInteger},
                     {"@ApagaConteudo", DataType::kBoolean},
                     {"@lease", DataType::kInteger}},
                    ImportFilesResult);
  RegisterProcedure("ImportFilesMarca",
                    {{"@id", DataType::kInteger},
                     {"@lease", DataType::kInteger},
                     {"@linha", DataType::kInteger},
                     {"@erro", DataType::kInteger},
                     {"@erros", DataType::kInteger},
                     {"@gbol", DataType::kInteger},
                     {"@pedido", DataType::kString},
                     {"@aplicadas", DataType::kInteger},
                     {"@puladas", DataType::kInteger},
                     {"@mensagens", DataType::kString}},
                    ImportFilesMarca);
  RegisterProcedure(
      "ImportFilesErros",
      {{"@id", DataType::kInteger}, {"@lease", DataType::kInteger}, {"@linhas", DataType::kString}},
      ImportFilesErros);
  RegisterProcedure("ImportFilesRenova",
                    {{"@id", DataType::kInteger}, {"@lease", DataType::kInteger}},
                    ImportFilesRenova);
}

}  // namespace zun
