#include "embedded/lookup_memo.h"

#include <strings.h>

#include "toolbox/dbclient/sqlite/sqlite_connection.h"

namespace zun {

void LookupMemo::Esquece(const std::vector<std::string>& tabelas) {
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

const std::vector<Value>* LookupMemo::Lembrado(const char* tabela, const std::string& chave) {
  if (memoria_.empty() || !conn_.TransactionOpen()) return nullptr;
  std::unordered_map<std::string, std::vector<Value>>* linhas = nullptr;
  for (auto& [t, l] : memoria_) {
    if (strcasecmp(t.c_str(), tabela) == 0) linhas = &l;
  }
  if (linhas == nullptr) return nullptr;
  auto it = linhas->find(chave);
  if (it == linhas->end()) return nullptr;
  // A deferred transaction that has read nothing yet takes its snapshot
  // first: only then does the data version show another connection's
  // commit. (That writes nothing: the answer found stays.)
  const std::optional<unsigned> versao = conn_.DataVersion(true);
  if (!versao.has_value()) return nullptr;
  if (*versao != versao_da_memoria_) {
    memoria_.clear();
    return nullptr;
  }
  versao_conferida_ = *versao;
  return &it->second;
}

void LookupMemo::Lembra(const char* tabela, const std::string& chave, std::vector<Value> linha) {
  const std::optional<unsigned> versao = conn_.DataVersion(false);
  if (!versao.has_value()) return;
  if (*versao != versao_da_memoria_) {
    memoria_.clear();
    versao_da_memoria_ = *versao;
  }
  versao_conferida_ = *versao;
  for (auto& [t, linhas] : memoria_) {
    if (strcasecmp(t.c_str(), tabela) != 0) continue;
    linhas[chave] = std::move(linha);
    return;
  }
  memoria_.emplace_back(tabela, std::unordered_map<std::string, std::vector<Value>>{});
  memoria_.back().second.emplace(chave, std::move(linha));
}

void LookupMemo::DepoisDoCommit(unsigned versao) {
  if (!memoria_.empty() && versao == versao_conferida_ + 1 &&
      versao_conferida_ == versao_da_memoria_) {
    versao_da_memoria_ = versao;
    versao_conferida_ = versao;
  }
}

}  // namespace zun
