#include "toolbox/dbclient/sqlite/sqlite_statement_cache.h"

namespace zun {

std::optional<SqliteStatementCache::InUse> SqliteStatementCache::Find(const std::string& sql) {
  auto it = by_text_.find(sql);
  if (it == by_text_.end() || (*it->second)->holders > 0) return std::nullopt;
  entries_.splice(entries_.begin(), entries_, it->second);
  Entry& s = *entries_.front();
  sqlite3_reset(s.st);
  sqlite3_clear_bindings(s.st);
  return InUse(entries_.front());
}

SqliteStatementCache::InUse SqliteStatementCache::Keep(const std::string& sql, sqlite3_stmt* st,
                                                       std::vector<std::string> writes) {
  auto nova = std::make_shared<Entry>(sql, st, std::move(writes));
  if (by_text_.count(sql) != 0) return InUse(std::move(nova));  // its twin is in use
  if (entries_.size() >= capacity_) {
    // The least recently used one that is not in use makes room.
    auto velha = entries_.end();
    while (velha != entries_.begin()) {
      --velha;
      if ((*velha)->holders == 0) break;
    }
    if ((*velha)->holders > 0) return InUse(std::move(nova));  // all in use
    by_text_.erase((*velha)->sql);
    entries_.erase(velha);
  }
  entries_.push_front(std::move(nova));
  by_text_.emplace(sql, entries_.begin());
  return InUse(entries_.front());
}

void SqliteStatementCache::Clear() {
  by_text_.clear();
  entries_.clear();
}

}  // namespace zun
