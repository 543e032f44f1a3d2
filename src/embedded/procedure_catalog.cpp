#include "embedded/procedure_catalog.h"

#include <atomic>
#include <cctype>
#include <map>
#include <mutex>

#include "embedded/embedded_host.h"
#include "embedded/lookup_memo.h"
#include "foundation/text.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {
namespace {

struct Catalog {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<const ProcedureEntry>> procs;
  std::atomic<uint64_t> generation{0};
};

Catalog& TheCatalog() {
  static Catalog* c = new Catalog;
  return *c;
}

}  // namespace

const Value& ProcContext::In(const std::string& name) const {
  return params_->ParamByName(name).value;
}

void ProcContext::Out(const std::string& name, Value v) {
  params_->ParamByName(name).value = std::move(v);
}

void ProcContext::Return(int32_t code) { (*params_)[0].value = Value::Int(code); }

Recordset ProcContext::Query(const std::string& sql, const std::vector<Value>& binds) {
  Recordset rs;
  conn_->Run(sql, binds, &rs);
  return rs;
}

int ProcContext::Exec(const std::string& sql, const std::vector<Value>& binds) {
  return conn_->Run(sql, binds, nullptr);
}

int64_t ProcContext::LastInsertId() { return conn_->LastInsertId(); }

const std::vector<Value>* ProcContext::Lembrado(const char* tabela, const std::string& chave) {
  return memo_->Lembrado(tabela, chave);
}

void ProcContext::Lembra(const char* tabela, const std::string& chave, std::vector<Value> linha) {
  memo_->Lembra(tabela, chave, std::move(linha));
}

const std::string& ProcContext::LoginUser() const { return conn_->login_user(); }
const std::string& ProcContext::CurrentUser() const { return conn_->current_user(); }
void ProcContext::SetCurrentUser(const std::string& name) { conn_->set_current_user(name); }

void RegisterProcedure(const std::string& name, std::vector<ProcParam> signature, ProcFn fn,
                       bool read_only) {
  InstallEmbeddedHost();
  signature.insert(signature.begin(),
                   ProcParam{"RETURN_VALUE", DataType::kInteger, ParamDirection::kReturnValue});
  Catalog& c = TheCatalog();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.procs[Maiusculas(name)] = std::make_shared<const ProcedureEntry>(
      ProcedureEntry{{read_only}, name, std::move(signature), std::move(fn)});
  ++c.generation;
}

void UnregisterProcedure(const std::string& name) {
  Catalog& c = TheCatalog();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.procs.erase(Maiusculas(name));
  ++c.generation;
}

uint64_t CatalogGeneration() { return TheCatalog().generation.load(); }

std::shared_ptr<const ProcedureEntry> FindProcedure(const std::string& name) {
  Catalog& c = TheCatalog();
  std::lock_guard<std::mutex> lock(c.mutex);
  auto it = c.procs.find(Maiusculas(name));
  return it == c.procs.end() ? nullptr : it->second;
}

std::vector<std::string> ProcedureNames() {
  Catalog& c = TheCatalog();
  std::lock_guard<std::mutex> lock(c.mutex);
  std::vector<std::string> names;
  for (const auto& [key, entry] : c.procs) names.push_back(entry->name);
  return names;
}

}  // namespace zun
