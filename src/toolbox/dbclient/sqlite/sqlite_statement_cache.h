// The prepared statements a connection of the embedded provider keeps, by
// their text: at most a given number, the least recently used one making
// room for a new one. A statement in use (held by a SqliteStatementCache::InUse)
// is never finalized under its user nor handed to a second one: a text
// asked for again while its statement is in use, or while every kept
// statement is in use, gets a statement of its own that is finalized when
// its InUse ends.
//
// Thread-safety: a cache belongs to its connection's thread.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zun {

class SqliteStatementCache {
 public:
  // A prepared statement and what the connection learnt of it.
  struct Entry {
    Entry(std::string text, sqlite3_stmt* stmt, std::vector<std::string> writes)
        : sql(std::move(text)), st(stmt), escreve(std::move(writes)) {}
    ~Entry() { sqlite3_finalize(st); }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    const std::string sql;
    sqlite3_stmt* const st;
    // The tables it writes ("*": it may change anything, or rolls back), as
    // the authorizer reported them.
    std::vector<std::string> escreve;
    // Its column names (Windows-1252) and which columns are declared as
    // dates or times, worked out once per prepare (see preparos).
    int preparos = -1;  // SQLITE_STMTSTATUS_REPREPARE when worked out
    std::vector<std::string> nomes;
    std::vector<char> data_hora;
    int holders = 0;  // the InUse handles holding it
  };

  // A statement in use: it stays prepared, and nobody else gets it, while
  // the InUse lives.
  class InUse {
   public:
    explicit InUse(std::shared_ptr<Entry> s) : s_(std::move(s)) { ++s_->holders; }
    InUse(InUse&& o) noexcept : s_(std::move(o.s_)) {}
    InUse& operator=(InUse&&) = delete;
    InUse(const InUse&) = delete;
    ~InUse() {
      if (s_ != nullptr) --s_->holders;
    }
    Entry& operator*() const { return *s_; }
    Entry* operator->() const { return s_.get(); }

   private:
    std::shared_ptr<Entry> s_;
  };

  // Precondition: capacity > 0.
  explicit SqliteStatementCache(size_t capacity) : capacity_(capacity) {}
  SqliteStatementCache(const SqliteStatementCache&) = delete;
  SqliteStatementCache& operator=(const SqliteStatementCache&) = delete;

  // The kept statement of sql, reset with its bindings cleared, now in use;
  // nullopt when none is kept or it is in use (prepare one and Keep it).
  std::optional<InUse> Find(const std::string& sql);
  // Takes st, just prepared from sql and writing the tables writes, and
  // keeps it when it may (see above); it is in use from now.
  InUse Keep(const std::string& sql, sqlite3_stmt* st, std::vector<std::string> writes);
  // Lets go of every statement; one in use is finalized when its InUse ends.
  void Clear();
  // How many statements are kept.
  size_t size() const { return entries_.size(); }

 private:
  const size_t capacity_;
  // Most recently used first.
  std::list<std::shared_ptr<Entry>> entries_;
  std::unordered_map<std::string, std::list<std::shared_ptr<Entry>>::iterator> by_text_;
};

}  // namespace zun
