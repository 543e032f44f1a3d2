// The embedded database file as the tool opens it: one handle, statements
// prepared one at a time and finalised by their owner, write transactions
// taken at once. Errors raise Failure with SQLite's message.
//
// Thread-safety: a DbFile and what comes from it belong to one thread.
#pragma once

#include <sqlite3.h>

#include <string>

namespace zun::dbtool {

// An open database file (never created here); closed on destruction.
class DbFile {
 public:
  // Opens path, which must exist. Raises on failure.
  explicit DbFile(const std::string& path);
  ~DbFile();
  DbFile(const DbFile&) = delete;
  DbFile& operator=(const DbFile&) = delete;

  // Prepares exactly one statement: Failure for an SQL error, UsageError
  // for none or more than one. The caller finalises it (Stmt).
  sqlite3_stmt* Prepare(const std::string& sql);
  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_;
};

// Finalises its statement on destruction.
struct Stmt {
  sqlite3_stmt* st;
  ~Stmt() { sqlite3_finalize(st); }
};

// A write transaction taken at once, so that a service process cannot take
// an entry between its check and its change; rolled back unless committed.
class Transaction {
 public:
  // Begins the transaction. Raises Failure.
  explicit Transaction(DbFile& db);
  ~Transaction();
  // Commits. Raises Failure.
  void Commit();

 private:
  void Exec(const char* sql);
  DbFile& db_;
  bool done_ = false;
};

// Steps st, a change that must touch exactly one row; Failure otherwise.
void ChangeOne(DbFile& db, sqlite3_stmt* st);

}  // namespace zun::dbtool
