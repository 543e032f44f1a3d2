// The look-up answers the embedded server keeps for its procedures on one
// connection (ProcContext::Lembrado), by table and key. An answer is kept
// only inside a transaction (a look-up in a deferred one that has read
// nothing yet takes its snapshot) and is forgotten whenever its table may
// have changed: the connection reports a statement that writes the table
// (directly or through a trigger) or changes the schema (Esquece), a
// rollback of a transaction or a savepoint, also one SQLite makes by
// itself (EsqueceTudo), and the file's data version moving (a commit by
// another connection) is seen when an answer is asked for. The
// connection's own commit keeps them (DepoisDoCommit).
//
// Thread-safety: belongs to its connection's thread.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "toolbox/dbclient/value.h"

namespace zun {

class SqliteConnection;

class LookupMemo {
 public:
  // Precondition: conn outlives the memo.
  explicit LookupMemo(SqliteConnection& conn) : conn_(conn) {}

  // The answer kept for chave in tabela (letter case ignored), nullptr when
  // none holds now.
  const std::vector<Value>* Lembrado(const char* tabela, const std::string& chave);
  // Keeps linha, just read from tabela, as the answer for chave (only inside
  // a transaction that has its snapshot).
  void Lembra(const char* tabela, const std::string& chave, std::vector<Value> linha);
  // Forgets the answers of the tables written ("*": all).
  void Esquece(const std::vector<std::string>& tabelas);
  void EsqueceTudo() { memoria_.clear(); }
  // After a commit of the connection that left the data version at versao:
  // when the answers were confirmed at the version just before it, they
  // hold after it too (the transaction wrote on the newest snapshot, SQLite
  // lets no write go on an older one, and its own writes to their tables
  // already forgot them). Any other move leaves the versions apart.
  void DepoisDoCommit(unsigned versao);

 private:
  SqliteConnection& conn_;
  // Kept answers by table, and the file's data version they belong to.
  std::vector<std::pair<std::string, std::unordered_map<std::string, std::vector<Value>>>> memoria_;
  unsigned versao_da_memoria_ = 0;
  unsigned versao_conferida_ = 0;  // the version last seen by Lembrado or Lembra
};

}  // namespace zun
