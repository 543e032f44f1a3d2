// The server side of the embedded provider: what answers a connection's
// login and its stored procedures. The provider holds the file, its
// statements and transactions (the turns: a call's own transaction or its
// savepoint, the shared reads, the deadline); the server behind this
// interface checks who logs in, knows the procedures and runs them inside
// the turn the provider opened for the call, and keeps what it may of the
// file (look-up answers) while the provider reports what may change it. The
// program installs its server at start-up (SetEmbeddedServer); the provider
// asks it for one server object per open connection.
//
// Thread-safety: SetEmbeddedServer at start-up, before connections open;
// a server object is used by its connection's thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/dbclient/parameter.h"
#include "toolbox/dbclient/provider.h"
#include "toolbox/dbclient/recordset.h"

namespace zun {

class SqliteConnection;

class EmbeddedServer {
 public:
  // What the provider needs to know of a procedure to open its call's turn.
  struct Procedure {
    bool read_only = false;  // a look-up that never writes
  };

  virtual ~EmbeddedServer() = default;

  // Checks the login cs asks for on the connection just opened; the name of
  // the user it logged in as. Raises ProviderError when refused.
  virtual std::string Login(const ConnectionString& cs) = 0;
  // The procedure of that name, nullptr when none. The entry stays valid
  // while held.
  virtual std::shared_ptr<const Procedure> Find(const std::string& name) = 0;
  // Its parameters, "RETURN_VALUE" first.
  virtual Parameters Describe(const Procedure& proc) = 0;
  // Runs it with params (inputs of their declared types, the return value
  // 0) inside the call's turn, result sets into *out. Raises on failure;
  // the provider undoes the turn.
  virtual void Run(const Procedure& proc, Parameters* params, std::vector<Recordset>* out) = 0;

  // What the connection reports. Writes: the tables a statement writes
  // ("*": it may change anything, or rolls back), when it is prepared
  // (again) and before each of its runs.
  virtual void Writes(const std::vector<std::string>& tables) = 0;
  // A rollback of a transaction or a savepoint, also one SQLite made by
  // itself.
  virtual void RolledBack() = 0;
  // A commit of this connection, which left the file's data version at
  // version.
  virtual void Committed(unsigned version) = 0;
};

// Makes the server object of one connection.
using EmbeddedServerFactory = std::function<std::unique_ptr<EmbeddedServer>(SqliteConnection&)>;

// Installs the program's embedded server (replacing any before). Without
// one, a connection's login is refused.
void SetEmbeddedServer(EmbeddedServerFactory factory);

// Whether a server is installed.
bool HasEmbeddedServer();

// The server object of conn, made by the installed factory; nullptr when
// none is installed.
std::unique_ptr<EmbeddedServer> MakeEmbeddedServer(SqliteConnection& conn);

}  // namespace zun
