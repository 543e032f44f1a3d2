// The transactions of OdbcConnection (see odbc_connection.h): begin, end,
// savepoints, and the recovery of a transaction a failed call ended or
// left open on the server.
#include <string>

#include "foundation/log.h"
#include "toolbox/dbclient/odbc/odbc_connection.h"

namespace zun {

void OdbcConnection::Isolamento(SQLULEN level) {
  Check(api_.SetConnectAttr(dbc_, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(level), 0),
        SQL_HANDLE_DBC, dbc_, "Isolation level");
}

void OdbcConnection::AposErro(const ProviderError& e) {
  if (!IsOpen()) return;
  if (!in_tran_) {
    // A procedure that began a transaction of its own and failed or was
    // cancelled (XACT_ABORT OFF) leaves it open: every later call would run
    // inside it, and the disconnect would undo them all.
    const ErrorKind k = e.Kind();
    if (k == ErrorKind::kTimeout || k == ErrorKind::kOther || k == ErrorKind::kConstraint)
      FechaTransacaoDoServidor();
    return;
  }
  // A deadlock victim's transaction is gone; a procedure's own error may
  // have ended it too (XACT_ABORT, a rollback inside it); a SELECT without
  // a table opens none.
  bool acabou = e.Kind() == ErrorKind::kDeadlock;
  if (!acabou && (tran_usada_ || e.Kind() == ErrorKind::kTimeout)) {
    const int n = TranCountDoServidor();
    if (n < 0) return;  // nothing known: the caller's failure stands
    acabou = n == 0;
    if (n > 1) {
      // A cancelled procedure left its own transaction open inside this
      // one (XACT_ABORT OFF). SQL Server cannot undo it alone, and a commit
      // would only close the procedure's level: both are rolled back, and
      // the caller's transaction is over.
      Loga("ODBC: a failed call left its own transaction open inside the session's (@@TRANCOUNT " +
           std::to_string(n) + "); both rolled back");
      acabou = true;
    }
  }
  if (acabou) AbandonaTransacao();
}

int OdbcConnection::TranCountDoServidor() {
  try {
    std::vector<Recordset> sets;
    Direto("SELECT @@TRANCOUNT", kPedidoTimeout, &sets);
    if (sets.empty() || sets[0].RecordCount() == 0) return -1;
    sets[0].First();
    return sets[0].Field(0).AsInt();
  } catch (const std::exception&) {
    return -1;
  }
}

void OdbcConnection::FechaTransacaoDoServidor() {
  const int n = TranCountDoServidor();
  if (n <= 0) return;
  try {
    Direto("IF @@TRANCOUNT > 0 ROLLBACK", kPedidoTimeout, nullptr);
    Loga("ODBC: a failed call left a transaction open on the server (@@TRANCOUNT " +
         std::to_string(n) + "); rolled back");
  } catch (const std::exception& x) {
    // A transaction that cannot be ended must not take later calls in.
    Loga(
        "ODBC: a failed call left a transaction open on the server that could not be rolled "
        "back; the link is given up: " +
        std::string(x.what()));
    lost_ = true;
  }
}

void OdbcConnection::AbandonaTransacao() {
  in_tran_ = false;
  tran_usada_ = false;
  if (!IsOpen()) return;
  // Whatever the driver began after the server's rollback goes too. The
  // server may have ended the transaction already, and then refuses this
  // rollback (3903): only the state it leaves counts, checked below.
  api_.EndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
  RestauraAutocommit("rollback after a failure");
}

bool OdbcConnection::RestauraAutocommit(const std::string& after) {
  // FreeTDS turns autocommit on by asking the server to commit; when the
  // server has no transaction (3902) it keeps autocommit off, and the next
  // transaction would then send no BEGIN and commit call by call. A link
  // whose state is not known is given up: the session opens a new one.
  bool ok = SQL_SUCCEEDED(api_.SetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0));
  if (ok && api_.GetConnectAttr != nullptr) {
    SQLULEN lido = SQL_AUTOCOMMIT_OFF;
    ok = SQL_SUCCEEDED(api_.GetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &lido, 0, nullptr)) &&
         lido == SQL_AUTOCOMMIT_ON;
  }
  ok = ok &&
       SQL_SUCCEEDED(api_.SetConnectAttr(dbc_, SQL_ATTR_TXN_ISOLATION,
                                         reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0));
  if (!ok) {
    Loga("ODBC: autocommit not restored after " + after + "; the link is given up");
    lost_ = true;
    in_tran_ = false;
  }
  return ok;
}

void OdbcConnection::Begin(SQLULEN level) {
  if (!IsOpen()) throw LinkClosed();
  Isolamento(level);
  Check(api_.SetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
        SQL_HANDLE_DBC, dbc_, "BeginTransaction");
  in_tran_ = true;
  tran_usada_ = false;
}

// Serializable only inside the session's transactions: a look-up outside
// one would otherwise hold key-range locks.
void OdbcConnection::BeginTransaction() { Begin(SQL_TXN_SERIALIZABLE); }

// A group's reads hold no locks past themselves; its writes hold theirs
// until the group commits.
void OdbcConnection::BeginGroupTransaction() { Begin(SQL_TXN_READ_COMMITTED); }

void OdbcConnection::Controle(const std::string& sql) {
  if (!in_tran_) throw ProviderError(sql + ": no transaction is open");
  ExecuteSql(sql, kPedidoTimeout, nullptr);
}

// The level goes by text: the driver's own setting stays read committed,
// and the server's follows the text (and is read committed again once the
// nest ends).
void OdbcConnection::Savepoint(const std::string& name) {
  Controle("SET TRANSACTION ISOLATION LEVEL SERIALIZABLE");
  Controle("SAVE TRANSACTION " + name);
}

void OdbcConnection::ReleaseSavepoint(const std::string&) {
  Controle("SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
}

void OdbcConnection::RollbackToSavepoint(const std::string& name) {
  Controle("ROLLBACK TRANSACTION " + name);
}

void OdbcConnection::EndTransaction(SQLSMALLINT completion) {
  if (!IsOpen()) throw LinkClosed();
  in_tran_ = false;
  tran_usada_ = false;
  try {
    Check(api_.EndTran(SQL_HANDLE_DBC, dbc_, completion), SQL_HANDLE_DBC, dbc_,
          completion == SQL_COMMIT ? "Commit" : "Rollback");
  } catch (const ProviderError&) {
    // A failed commit leaves no transaction to go on with: the rest of the
    // program must not run in one that nobody ends.
    AbandonaTransacao();
    throw;
  }
  // The transaction has ended as asked: a link that cannot go back to
  // autocommit is given up, not reported as a failed commit.
  RestauraAutocommit(completion == SQL_COMMIT ? "commit" : "rollback");
}

void OdbcConnection::Commit() { EndTransaction(SQL_COMMIT); }
void OdbcConnection::Rollback() { EndTransaction(SQL_ROLLBACK); }

}  // namespace zun
