#include "toolbox/dbclient/sqlite/sqlite_statement_cache.h"

namespace zun {

std::optional<SqliteStatementCache::Uso> SqliteStatementCache::Find(const std::string& sql) {
  auto it = por_texto_.find(sql);
  if (it == por_texto_.end() || (*it->second)->usuarios > 0) return std::nullopt;
  lista_.splice(lista_.begin(), lista_, it->second);
  Sentenca& s = *lista_.front();
  sqlite3_reset(s.st);
  sqlite3_clear_bindings(s.st);
  return Uso(lista_.front());
}

SqliteStatementCache::Uso SqliteStatementCache::Keep(const std::string& sql, sqlite3_stmt* st,
                                                     std::vector<std::string> writes) {
  auto nova = std::make_shared<Sentenca>(sql, st, std::move(writes));
  if (por_texto_.count(sql) != 0) return Uso(std::move(nova));  // its twin is in use
  if (lista_.size() >= capacidade_) {
    // The least recently used one that is not in use makes room.
    auto velha = lista_.end();
    while (velha != lista_.begin()) {
      --velha;
      if ((*velha)->usuarios == 0) break;
    }
    if ((*velha)->usuarios > 0) return Uso(std::move(nova));  // all in use
    por_texto_.erase((*velha)->sql);
    lista_.erase(velha);
  }
  lista_.push_front(std::move(nova));
  por_texto_.emplace(sql, lista_.begin());
  return Uso(lista_.front());
}

void SqliteStatementCache::Clear() {
  por_texto_.clear();
  lista_.clear();
}

}  // namespace zun
