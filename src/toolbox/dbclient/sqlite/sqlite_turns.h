// The turns of the embedded provider's connection: how long a statement
// may run and how long a connection waits for the file's write lock. The
// turns themselves (a call's own transaction or savepoint, the caller's
// transactions and savepoints, the shared read transaction, the wait for
// the write lock and its signal, the bound of the WAL during a long series)
// are SqliteConnection's members, defined in sqlite_turns.cpp.
//
// Thread-safety: a SqlitePrazo belongs to the thread of its connection.
#pragma once

#include <sqlite3.h>

#include <chrono>

namespace zun {

// How long a connection waits for the write lock before its statement
// fails as busy, in ms.
inline constexpr int kSqliteBusyTimeoutMs = 130000;

// Stops the statements run on db while it lives once timeout_seconds (none
// when 0 or less) have passed; *deadline must outlive it.
class SqlitePrazo {
 public:
  SqlitePrazo(sqlite3* db, std::chrono::steady_clock::time_point* deadline, int timeout_seconds);
  ~SqlitePrazo() { sqlite3_progress_handler(db_, 0, nullptr, nullptr); }
  SqlitePrazo(const SqlitePrazo&) = delete;
  SqlitePrazo& operator=(const SqlitePrazo&) = delete;

 private:
  sqlite3* db_;
};

}  // namespace zun
