// The embedded database's server behind the SQLite provider: the login
// against the table users(name, password_hash) (integrated security logs
// in as the operating-system user, who must be in that table too), and the
// procedures of the catalog (procedure_catalog.h), found by name (kept by
// the name as written while the catalog does not change) and run through
// ProcContext on the caller's connection, with the look-up answers kept for
// them (lookup_memo.h), told by the connection what may change them. The
// provider and the TDS test server reach it the same way, through the
// connection.
//
// Thread-safety: InstallEmbeddedHost at start-up; a host belongs to one
// connection and is used by its thread only.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "embedded/lookup_memo.h"
#include "embedded/procedure_catalog.h"
#include "toolbox/dbclient/sqlite/embedded_server.h"

namespace zun {

class EmbeddedHost : public EmbeddedServer {
 public:
  explicit EmbeddedHost(SqliteConnection& conn) : conn_(conn), memo_(conn) {}

  // Raises ProviderError("Login failed ...") for an unknown user, a wrong
  // password or a file without the users table.
  std::string Login(const ConnectionString& cs) override;
  std::shared_ptr<const Procedure> Find(const std::string& name) override;
  Parameters Describe(const Procedure& proc) override;
  void Run(const Procedure& proc, Parameters* params, std::vector<Recordset>* out) override;
  void Writes(const std::vector<std::string>& tables) override { memo_.Esquece(tables); }
  void RolledBack() override { memo_.EsqueceTudo(); }
  void Committed(unsigned version) override { memo_.DepoisDoCommit(version); }

 private:
  SqliteConnection& conn_;
  LookupMemo memo_;
  std::unordered_map<std::string, std::shared_ptr<const ProcedureEntry>> procedimentos_;
  uint64_t geracao_do_catalogo_ = 0;
};

// Installs EmbeddedHost as the program's embedded server (idempotent).
// Registering a procedure installs it too.
void InstallEmbeddedHost();

}  // namespace zun
