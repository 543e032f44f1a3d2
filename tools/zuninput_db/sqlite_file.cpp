#include "zuninput_db/sqlite_file.h"

#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "zuninput_db/command_line.h"

namespace zun::dbtool {

DbFile::DbFile(const std::string& path) : db_(OpenSqliteFile(path, /*create=*/false)) {}

DbFile::~DbFile() { sqlite3_close_v2(db_); }

sqlite3_stmt* DbFile::Prepare(const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, &tail) != SQLITE_OK) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db_));
  }
  if (st == nullptr) throw UsageError("no SQL statement given");
  for (const char* p = tail; p != nullptr && *p != '\0'; ++p) {
    if (*p == ';' || *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') continue;
    sqlite3_finalize(st);
    throw UsageError("give one SQL statement only");
  }
  return st;
}

Transaction::Transaction(DbFile& db) : db_(db) { Exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
  if (!done_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  Exec("COMMIT");
  done_ = true;
}

void Transaction::Exec(const char* sql) {
  if (sqlite3_exec(db_.handle(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db_.handle()));
  }
}

void ChangeOne(DbFile& db, sqlite3_stmt* st) {
  if (sqlite3_step(st) != SQLITE_DONE || sqlite3_changes(db.handle()) != 1) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
}

}  // namespace zun::dbtool
