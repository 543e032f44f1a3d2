#include <strings.h>

#include "toolbox/dbclient/sqlite/sqlite_connection.h"

namespace zun {

int SqliteConnection::Autoriza(void* self, int acao, const char* a1, const char* /*a2*/,
                               const char* /*banco*/, const char* /*gatilho*/) {
  auto* c = static_cast<SqliteConnection*>(self);
  std::string tabela;
  switch (acao) {
    case SQLITE_READ:
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_PRAGMA:
    case SQLITE_RECURSIVE:
    case SQLITE_ANALYZE:
    case SQLITE_REINDEX:
      return SQLITE_OK;
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
      // Only a rollback changes what was read.
      if (a1 == nullptr || strcasecmp(a1, "ROLLBACK") != 0) return SQLITE_OK;
      tabela = "*";
      break;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
      tabela = a1 != nullptr ? a1 : "*";
      break;
    default:  // a change of the schema, ATTACH, DETACH
      tabela = "*";
      break;
  }
  for (const std::string& t : c->escritas_) {
    if (strcasecmp(t.c_str(), tabela.c_str()) == 0) return SQLITE_OK;
  }
  c->escritas_.push_back(tabela);
  c->Esquece({tabela});
  return SQLITE_OK;
}

void SqliteConnection::DepoisDoRollback(void* self) {
  static_cast<SqliteConnection*>(self)->memoria_.clear();
}

void SqliteConnection::Esquece(const std::vector<std::string>& tabelas) {
  for (const std::string& t : tabelas) {
    if (t == "*") {
      memoria_.clear();
      return;
    }
    for (auto& [tabela, linhas] : memoria_) {
      if (strcasecmp(tabela.c_str(), t.c_str()) == 0) linhas.clear();
    }
  }
}

void SqliteConnection::Anota(std::vector<std::string>* escreve) {
  for (std::string& t : escritas_) {
    bool tem = false;
    for (const std::string& e : *escreve) tem = tem || strcasecmp(e.c_str(), t.c_str()) == 0;
    if (!tem) escreve->push_back(std::move(t));
  }
  escritas_.clear();
}

const std::vector<Value>* SqliteConnection::Lembrado(const char* tabela, const std::string& chave) {
  if (memoria_.empty() || db_ == nullptr || sqlite3_get_autocommit(db_) != 0) return nullptr;
  std::unordered_map<std::string, std::vector<Value>>* linhas = nullptr;
  for (auto& [t, l] : memoria_) {
    if (strcasecmp(t.c_str(), tabela) == 0) linhas = &l;
  }
  if (linhas == nullptr) return nullptr;
  auto it = linhas->find(chave);
  if (it == linhas->end()) return nullptr;
  // A deferred transaction that has read nothing yet takes its snapshot
  // first: only then does the data version show another connection's
  // commit. (The pragma writes nothing: the answer found stays.)
  if (sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) {
    Run("PRAGMA data_version", {}, nullptr);
    if (sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) return nullptr;
  }
  unsigned versao = 0;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &versao) != SQLITE_OK ||
      versao != versao_da_memoria_) {
    memoria_.clear();
    return nullptr;
  }
  versao_conferida_ = versao;
  return &it->second;
}

void SqliteConnection::Lembra(const char* tabela, const std::string& chave,
                              std::vector<Value> linha) {
  if (db_ == nullptr || sqlite3_get_autocommit(db_) != 0 ||
      sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) {
    return;
  }
  unsigned versao = 0;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &versao) != SQLITE_OK) return;
  if (versao != versao_da_memoria_) {
    memoria_.clear();
    versao_da_memoria_ = versao;
  }
  versao_conferida_ = versao;
  for (auto& [t, linhas] : memoria_) {
    if (strcasecmp(t.c_str(), tabela) != 0) continue;
    linhas[chave] = std::move(linha);
    return;
  }
  memoria_.emplace_back(tabela, std::unordered_map<std::string, std::vector<Value>>{});
  memoria_.back().second.emplace(chave, std::move(linha));
}

}  // namespace zun
