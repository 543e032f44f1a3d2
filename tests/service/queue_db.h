// The database the service's queue tests run against: a reference database
// with the service's user and two file owners, entries queued for them, rows
// read back as text, and the service logged in to it in this process or in a
// child process.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "../support/db_fixture.h"
#include "../support/scratch.h"
#include "../testbeds/tds_server_process.h"
#include "db/global_state.h"
#include "embedded/reference_db.h"
#include "foundation/switches.h"
#include "service/login.h"

namespace zun {

// Runs each line of an example file (e.g. quote_series.sql) on path.
inline void RunExampleSql(const std::string& path, const std::string& example) {
  std::istringstream lines(
      ReadFile(std::filesystem::path(ZUN_TEST_SOURCE_DIR) / "examples" / example));
  for (std::string sql; std::getline(lines, sql);) Rows(path, sql);
}

// A new reference database at path: the service's user zunsvc (password
// s3cret, an administrator), and the file owners ana.lima (with an e-mail
// address) and bob (without); passwords, when given, are theirs in that order.
inline void NewQueueDatabase(const std::string& path,
                             const std::vector<std::string>& passwords = {"s3cret", "x", "y"}) {
  for (const char* ext : {"", "-wal", "-shm"}) std::filesystem::remove(path + ext);
  InitDatabase(path);
  AddUser(path, {"zunsvc", passwords.at(0), "ops@example.com", true, 0, 0, 0});
  AddUser(path, {"ana.lima", passwords.at(1), "ana@example.com", false, 0, 0, 0});
  AddUser(path, {"bob", passwords.at(2), "", false, 0, 0, 0});
}

// What the examples name, as the demo sets it up: company PETR with its
// series PETR4, and the quoted series.
inline void AddExampleRows(const std::string& path) {
  Rows(path,
       "INSERT INTO empresa (id, cod, pais, nome) VALUES (1, 'PETR', 0, 'Petrobras');"
       "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 3, 1, 0);"
       "INSERT INTO anb (id, acao, cod, bolsa, pais_pro_cod_zun) VALUES (1, 1, 'PETR4', 1, 0)");
  RunExampleSql(path, "quote_series.sql");
}

// The switches that take the service to the TDS test server on port
// through FreeTDS.
inline std::vector<std::string> OverTds(int port) {
  return {"-provider:SQLOLEDB.1", "-sqlserver:localhost," + std::to_string(port),
          std::string("-OdbcDriver:") + testing::kFreeTdsDriver};
}

// Queues content for user with priority; the entry's id.
inline int Enqueue(const std::string& path, const std::string& user, const std::string& content,
                   int priority) {
  const auto db = Open(path);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db.get(),
                     "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo) "
                     "SELECT uid, ?, datetime('now'), ? || '.txt', ? FROM users WHERE name = ?",
                     -1, &st, nullptr);
  sqlite3_bind_int(st, 1, priority);
  sqlite3_bind_text(st, 2, user.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_blob(st, 3, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 4, user.c_str(), -1, SQLITE_TRANSIENT);
  EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  return static_cast<int>(sqlite3_last_insert_rowid(db.get()));
}

// Every row of every table but those in skip, sorted per table.
inline std::map<std::string, std::string> Tables(const std::string& path,
                                                 const std::set<std::string>& skip = {}) {
  std::map<std::string, std::string> tables;
  const auto db = Open(path);
  std::istringstream names(Rows(db.get(), "SELECT name FROM sqlite_master WHERE type = 'table'"));
  for (std::string t; std::getline(names, t, ';');) {
    if (skip.count(t)) continue;
    std::vector<std::string> rows;
    std::istringstream all(Rows(db.get(), "SELECT * FROM \"" + t + "\"", "<null>"));
    for (std::string r; std::getline(all, r, ';');) rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    for (const std::string& r : rows) tables[t] += r + ";";
  }
  return tables;
}

// Starts the global state with extra and the service's switches, and logs in
// as user to ZunInput.db in the current directory; the login's code.
inline int32_t LoginInProcess(const std::vector<std::string>& extra = {},
                              const std::string& user = "zunsvc",
                              const std::string& password = "s3cret") {
  std::vector<std::string> args = {"zuninput"};
  args.insert(args.end(), extra.begin(), extra.end());  // the first of a switch counts
  args.insert(args.end(), {"-provider:SQLite", "-user:" + user, "-password:" + password,
                           "-MailGateway:http://127.0.0.1:9/"});
  SetProgramArgs(args);
  IniciaZiGlobs();
  return InitDbConnection("", "", false);
}

}  // namespace zun
