#include "embedded/embedded_host.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "embedded/password_hash.h"
#include "foundation/text.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {
namespace {

std::string OsUserName() {
  if (const passwd* pw = getpwuid(geteuid())) return pw->pw_name;
  const char* u = std::getenv("USER");
  return u != nullptr ? u : "";
}

}  // namespace

std::string EmbeddedHost::Login(const ConnectionString& cs) {
  std::string user;
  const bool integrated = Maiusculas(cs.Get("Integrated Security")) == "SSPI" && !cs.Has("User ID");
  if (integrated) {
    user = OsUserName();
  } else {
    user = cs.Get("User ID");
  }
  Recordset rs;
  try {
    conn_.Run("SELECT name, password_hash FROM users WHERE name = ?", {Value::String(user)}, &rs);
  } catch (const ProviderError& e) {
    throw ProviderError(std::string("Login failed: the database has no users table (") + e.what() +
                        ")");
  }
  if (rs.RecordCount() == 0) throw ProviderError("Login failed for user '" + user + "'");
  rs.First();
  if (!integrated &&
      !VerifyPassword(cs.Get("Password"), rs.FieldByName("password_hash").AsString())) {
    throw ProviderError("Login failed for user '" + user + "'");
  }
  return rs.FieldByName("name").AsString();
}

std::shared_ptr<const EmbeddedServer::Procedure> EmbeddedHost::Find(const std::string& name) {
  const uint64_t geracao = CatalogGeneration();
  if (geracao != geracao_do_catalogo_) {
    procedimentos_.clear();
    geracao_do_catalogo_ = geracao;
  }
  auto it = procedimentos_.find(name);
  if (it != procedimentos_.end()) return it->second;
  std::shared_ptr<const ProcedureEntry> e = FindProcedure(name);
  if (e != nullptr) procedimentos_.emplace(name, e);
  return e;
}

Parameters EmbeddedHost::Describe(const Procedure& proc) {
  Parameters params;
  for (const ProcParam& p : static_cast<const ProcedureEntry&>(proc).signature)
    params.Add(Parameter{p.name, p.type, p.direction, {}});
  return params;
}

void EmbeddedHost::Run(const Procedure& proc, Parameters* params, std::vector<Recordset>* out) {
  ProcContext ctx(&conn_, &memo_, params, out);
  static_cast<const ProcedureEntry&>(proc).fn(ctx);
}

void InstallEmbeddedHost() {
  if (HasEmbeddedServer()) return;
  SetEmbeddedServer([](SqliteConnection& c) { return std::make_unique<EmbeddedHost>(c); });
}

}  // namespace zun
