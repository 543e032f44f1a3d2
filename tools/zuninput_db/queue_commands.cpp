#include "zuninput_db/queue_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "embedded/queue_admin.h"
#include "zuninput_db/output.h"
#include "zuninput_db/sqlite_file.h"

namespace zun::dbtool {

std::string NoEntry(int64_t id) { return "no queue entry " + std::to_string(id); }

namespace {

std::string BaseName(const std::string& p) {
  std::string s = p;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  const size_t slash = s.find_last_of('/');
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

}  // namespace

ArquivoParaAFila LeArquivoParaAFila(const Args& a) {
  Allow(a, {"--user", "--priority", "--as"});
  WordCount(a, 2, "file to queue");
  const std::string file = a.words[1];
  if (!a.Has("--user") || a.Get("--user").empty()) throw UsageError("enqueue needs --user NAME");
  const int32_t priority =
      a.Has("--priority") ? ParseInt(a.Get("--priority"), "--priority") : kMaxPrioridadeDeDia;
  if (priority > kMaxPrioridadeDeNoite) {
    throw UsageError("--priority must be at most " + std::to_string(kMaxPrioridadeDeNoite) +
                     ": the service never takes a higher one");
  }
  const std::string shown = a.Has("--as") ? a.Get("--as") : BaseName(file);
  if (shown.empty()) throw UsageError("--as needs a name");
  // The name reaches the log and the mails: a line break would forge lines.
  for (const unsigned char c : shown) {
    if (c < 32 || c == 127) throw UsageError("the file name may not hold control characters");
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) {
    throw Failure("cannot read " + file + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) throw Failure("not a regular file: " + file);
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Failure("cannot read " + file + ": " + std::strerror(errno));
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Failure("cannot read " + file);
  return {content, priority, shown};
}

int Enqueue(const Args& a, const std::string& path) {
  const auto [content, priority, shown] = LeArquivoParaAFila(a);
  const std::string& file = a.words[1];
  DbFile db(path);
  if (content.size() > static_cast<size_t>(sqlite3_limit(db.handle(), SQLITE_LIMIT_LENGTH, -1))) {
    throw Failure("the file is too large for the queue: " + file);
  }
  Stmt find{db.Prepare("SELECT uid FROM users WHERE name = ?")};
  sqlite3_bind_text(find.st, 1, a.Get("--user").c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(find.st) != SQLITE_ROW) throw Failure("no user " + a.Get("--user"));
  const int64_t uid = sqlite3_column_int64(find.st, 0);
  // mom: the queue time in GMT, as the service reads it.
  Stmt add{
      db.Prepare("INSERT INTO import_files (uid, prioridade, mom, filename, conteudo) "
                 "VALUES (?, ?, strftime('%Y-%m-%d %H:%M:%S', 'now'), ?, ?)")};
  sqlite3_bind_int64(add.st, 1, uid);
  sqlite3_bind_int(add.st, 2, priority);
  sqlite3_bind_text(add.st, 3, shown.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_blob(add.st, 4, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(add.st) != SQLITE_DONE) {
    throw Failure(std::string("cannot queue the file: ") + sqlite3_errmsg(db.handle()));
  }
  std::cout << sqlite3_last_insert_rowid(db.handle()) << "\n";
  return 0;
}

int Queue(const Args& a, const std::string& path) {
  Allow(a, {"--json", "--failed", "--waiting", "--user"});
  WordCount(a, 1, "");
  DbFile db(path);
  const std::string select =
      a.Has("--json")
          ? "SELECT json_group_array(json_object('id', id, 'user', user, 'priority', priority, "
            "'queued', queued, 'filename', filename, 'tries', tries, 'result', result, "
            "'content', json(CASE content WHEN 'Y' THEN 'true' ELSE 'false' END), 'state', state, "
            "'why', why)) AS queue FROM (SELECT * FROM q "
            "ORDER BY id)"
          : "SELECT * FROM q ORDER BY id";
  Stmt st{db.Prepare(kSqlDaFila + select)};
  sqlite3_bind_int(st.st, 1, kImportMaxTries);
  sqlite3_bind_int(st.st, 2, a.Has("--failed") ? 1 : 0);
  sqlite3_bind_int(st.st, 3, a.Has("--waiting") ? 1 : 0);
  if (a.Has("--user")) {
    sqlite3_bind_text(st.st, 4, a.Get("--user").c_str(), -1, SQLITE_TRANSIENT);
  }
  if (!a.Has("--json")) {
    PrintRows(db, st.st, std::cout);
    return 0;
  }
  if (sqlite3_step(st.st) != SQLITE_ROW) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
  std::cout << reinterpret_cast<const char*>(sqlite3_column_text(st.st, 0)) << "\n";
  return 0;
}

int Show(const Args& a, const std::string& path) {
  Allow(a, {});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Stmt st{db.Prepare("SELECT conteudo IS NULL, conteudo FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(st.st, 1, id);
  if (sqlite3_step(st.st) != SQLITE_ROW) throw Failure(NoEntry(id));
  if (sqlite3_column_int(st.st, 0) != 0) {
    throw Failure("the content of entry " + std::to_string(id) +
                  " was deleted (its local copy was kept in the service's -PathIF directory)");
  }
  const void* bytes = sqlite3_column_blob(st.st, 1);
  std::cout.write(static_cast<const char*>(bytes), sqlite3_column_bytes(st.st, 1));
  std::cout.flush();
  if (!std::cout) throw Failure("cannot write the content to standard output");
  return 0;
}

// What retry and cancel need to know of an entry; raises Failure when there
// is no entry id.
struct EstadoDaEntrada {
  bool feito = false;         // marked done (by its import or by hand)
  bool sucesso = false;       // imported successfully: final
  bool sem_conteudo = false;  // its stored content was deleted
  int tries = 0;
  bool importando = false;  // a run holds its lease
};

EstadoDaEntrada LeEstadoDaEntrada(DbFile& db, int64_t id) {
  Stmt st{
      db.Prepare("SELECT done, done = 1 AND result = 0, conteudo IS NULL, importtries, "
                 "taken_until IS NOT NULL AND taken_until > strftime('%Y-%m-%d %H:%M:%f', 'now') "
                 "FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(st.st, 1, id);
  if (sqlite3_step(st.st) != SQLITE_ROW) throw Failure(NoEntry(id));
  return {sqlite3_column_int(st.st, 0) != 0, sqlite3_column_int(st.st, 1) != 0,
          sqlite3_column_int(st.st, 2) != 0, sqlite3_column_int(st.st, 3),
          sqlite3_column_int(st.st, 4) != 0};
}

int Retry(const Args& a, const std::string& path) {
  Allow(a, {});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Transaction tx(db);
  const EstadoDaEntrada e = LeEstadoDaEntrada(db, id);
  const std::string entry = "entry " + std::to_string(id);
  if (e.feito) throw Failure(entry + " was imported successfully; a success is final");
  if (e.sem_conteudo) {
    throw Failure(entry + " has no stored content any more; queue the file again");
  }
  if (e.importando) throw Failure(entry + " is being imported right now");
  const int tries = e.tries;
  if (tries < kImportMaxTries) {
    std::cout << entry << " is still offered (" << tries << " of " << kImportMaxTries
              << " tries used)\n";
    return 0;
  }
  // One try short of the service's limit: the next run takes the entry once
  // and, should it fail again, reports it as having used its tries.
  Stmt upd{
      db.Prepare("UPDATE import_files SET importtries = ?, result = NULL, result_mom = NULL, "
                 "taken_until = NULL WHERE id = ?")};
  sqlite3_bind_int(upd.st, 1, kImportMaxTries - 1);
  sqlite3_bind_int64(upd.st, 2, id);
  ChangeOne(db, upd.st);
  tx.Commit();
  std::cout << entry << " offered once more\n";
  return 0;
}

// The line messages the service kept with an entry, each try's (or try
// N's), oldest try first; a file made before the try's columns has one try, shown
// as 0.
int Errors(const Args& a, const std::string& path) {
  Allow(a, {"--try"});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Stmt e{db.Prepare("SELECT 1 FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(e.st, 1, id);
  if (sqlite3_step(e.st) != SQLITE_ROW) throw Failure(NoEntry(id));
  Stmt has{
      db.Prepare("SELECT 1 FROM pragma_table_info('import_file_errors') WHERE name = 'importtry'")};
  Stmt st{db.Prepare(sqlite3_step(has.st) == SQLITE_ROW ? kSqlDosErros : kSqlDosErrosSemTentativa)};
  sqlite3_bind_int64(st.st, 1, id);
  if (a.Has("--try")) sqlite3_bind_int(st.st, 2, ParseInt(a.Get("--try"), "--try"));
  PrintRows(db, st.st, std::cout);
  return 0;
}

// The line messages of entries no longer in the queue (a file of a schema
// before 12 has none).
void DropOrphanErrors(DbFile& db) {
  Stmt has{db.Prepare("SELECT 1 FROM sqlite_master WHERE name = 'import_file_errors'")};
  if (sqlite3_step(has.st) != SQLITE_ROW) return;
  Stmt st{
      db.Prepare("DELETE FROM import_file_errors WHERE id NOT IN (SELECT id FROM import_files)")};
  if (sqlite3_step(st.st) != SQLITE_DONE) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
}

// Deletes an entry that has not succeeded and that no run is importing.
int Cancel(const Args& a, const std::string& path) {
  Allow(a, {});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Transaction tx(db);
  const EstadoDaEntrada e = LeEstadoDaEntrada(db, id);
  const std::string entry = "entry " + std::to_string(id);
  if (e.sucesso) throw Failure(entry + " was imported successfully; purge removes old entries");
  if (e.importando) throw Failure(entry + " is being imported right now");
  Stmt del{db.Prepare("DELETE FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(del.st, 1, id);
  ChangeOne(db, del.st);
  DropOrphanErrors(db);
  tx.Commit();
  std::cout << entry << " cancelled\n";
  return 0;
}

// purge's --before as "yyyy-mm-dd hh:nn:ss" (GMT); a date the calendar does
// not have is refused.
std::string AntesDoPurge(const Args& a) {
  Allow(a, {"--before"});
  WordCount(a, 1, "");
  if (!a.Has("--before")) throw UsageError("purge needs --before DATE");
  std::string before = a.Get("--before");
  if (before.size() == 10) before += " 00:00:00";
  sqlite3* mem = nullptr;
  sqlite3_open(":memory:", &mem);
  struct Fecha {
    sqlite3* db;
    ~Fecha() { sqlite3_close_v2(db); }
  } fecha{mem};
  sqlite3_stmt* check_st = nullptr;
  // A date the calendar does not have (February 30) comes back changed.
  sqlite3_prepare_v2(mem, "SELECT datetime(?, '+0 seconds') IS ?", -1, &check_st, nullptr);
  Stmt check{check_st};
  sqlite3_bind_text(check.st, 1, before.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(check.st, 2, before.c_str(), -1, SQLITE_TRANSIENT);
  if (before.size() != 19 || sqlite3_step(check.st) != SQLITE_ROW ||
      sqlite3_column_int(check.st, 0) == 0) {
    throw UsageError("--before takes yyyy-mm-dd or \"yyyy-mm-dd hh:nn:ss\", not <" +
                     a.Get("--before") + ">");
  }
  return before;
}

int Purge(const Args& a, const std::string& path) {
  const std::string before = AntesDoPurge(a);
  DbFile db(path);
  Stmt del{db.Prepare("DELETE FROM import_files WHERE done = 1 AND result = 0 AND result_mom < ?")};
  sqlite3_bind_text(del.st, 1, before.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(del.st) != SQLITE_DONE) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
  const int deleted = sqlite3_changes(db.handle());
  DropOrphanErrors(db);
  std::cout << deleted << " entries deleted\n";
  return 0;
}

}  // namespace zun::dbtool
