// The stored procedures of the embedded database: C++ functions registered
// by name with their parameter signatures. The embedded host (embedded_host.h)
// describes them ("RETURN_VALUE" first, then the signature) and calls them
// for the SQLite provider; each call
// runs inside a transaction (or a savepoint of the caller's transaction)
// that is rolled back when the procedure raises or returns a non-zero code,
// so a failing procedure leaves nothing half-done.
//
// A procedure reads its inputs and sets outputs through ProcContext, runs
// SQL with Query/Exec (text values are Windows-1252 on this side; the
// conversion to the file's UTF-8 is done here), and may add result sets.
//
// Thread-safety: register at start-up; lookups may come from any thread.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/dbclient/parameter.h"
#include "toolbox/dbclient/recordset.h"
#include "toolbox/dbclient/sqlite/embedded_server.h"
#include "toolbox/dbutil/service_procedures.h"

namespace zun {

class LookupMemo;
class SqliteConnection;

class ProcContext {
 public:
  ProcContext(SqliteConnection* conn, LookupMemo* memo, Parameters* params,
              std::vector<Recordset>* out)
      : conn_(conn), memo_(memo), params_(params), out_(out) {}

  // The value of a parameter (NULL when the caller set none).
  const Value& In(const std::string& name) const;
  // Sets an output (or input-output) parameter.
  void Out(const std::string& name, Value v);
  // Sets the procedure's return value (0 unless set). A non-zero value
  // rolls back what the call wrote.
  void Return(int32_t code);
  // Appends a result set for the caller.
  void AddResult(Recordset rs) { out_->push_back(std::move(rs)); }

  // Runs one SQL statement with ?-bound values; its rows (if it has columns).
  Recordset Query(const std::string& sql, const std::vector<Value>& binds = {});
  // Runs one SQL statement; the number of rows it changed.
  int Exec(const std::string& sql, const std::vector<Value>& binds = {});
  int64_t LastInsertId();

  // The answer the server keeps for a look-up of table tabela by
  // chave, nullptr when none: kept answers hold only inside a transaction
  // and are forgotten whenever the table may have changed (a write to it by
  // this connection, a change of the schema, a rollback, a commit seen in
  // the file). Lembra keeps an answer just read from the table.
  const std::vector<Value>* Lembrado(const char* tabela, const std::string& chave);
  void Lembra(const char* tabela, const std::string& chave, std::vector<Value> linha);

  // The user the connection logged in as, and the user it works as now
  // (changed by SetCurrentUser; "" returns to the login's user).
  const std::string& LoginUser() const;
  const std::string& CurrentUser() const;
  void SetCurrentUser(const std::string& name);

 private:
  SqliteConnection* conn_;
  LookupMemo* memo_;
  Parameters* params_;
  std::vector<Recordset>* out_;
};

using ProcFn = std::function<void(ProcContext&)>;

// Registers (or replaces) a procedure. The return value "RETURN_VALUE" is
// added in front of the signature; a procedure the service calls takes the
// parameters ServiceProcedures lists for it. Installs the embedded host
// (InstallEmbeddedHost). A read_only procedure (a look-up that
// never writes) runs outside a caller's transaction in a deferred one, a
// read transaction, instead of taking the write lock; it must not write.
void RegisterProcedure(const std::string& name, std::vector<ProcParam> signature, ProcFn fn,
                       bool read_only = false);
void UnregisterProcedure(const std::string& name);

// read_only (EmbeddedServer::Procedure) as registered.
struct ProcedureEntry : EmbeddedServer::Procedure {
  std::string name;                  // as registered
  std::vector<ProcParam> signature;  // "RETURN_VALUE" first
  ProcFn fn;
};
// The registered procedure (letter case ignored), nullptr when none. The
// entry stays valid while held, even if the procedure is replaced.
std::shared_ptr<const ProcedureEntry> FindProcedure(const std::string& name);

// A number that changes whenever a procedure is registered or removed: a
// caller that keeps entries found by name keeps them while it stays the same.
uint64_t CatalogGeneration();

// Names of the registered procedures, sorted without regard to case.
std::vector<std::string> ProcedureNames();

}  // namespace zun
