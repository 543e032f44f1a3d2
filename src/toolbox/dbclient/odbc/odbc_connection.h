// The connection of the SQL Server provider: the client layer over ODBC
// (unixODBC with FreeTDS's driver or Microsoft's ODBC Driver 18, or any
// driver a DSN names), and its transactions.
//
// Stored procedures are described once per connection with
// SQLProcedureColumns and called as "{? = call name(?,...)}" with every
// parameter bound by position; output parameters and the return value are
// read after the last result set. Text is Windows-1252 in the program and
// UTF-16 towards the driver. Transactions switch autocommit off at
// serializable isolation; outside them the connection reads committed.
// Failures carry the SQLSTATE and a kind.
//
// The transactions and the recovery after a failed call are defined in
// odbc_transactions.cpp.
//
// Thread-safety: a connection is used by one thread at a time.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "toolbox/dbclient/odbc/odbc_api.h"
#include "toolbox/dbclient/odbc/odbc_errors.h"
#include "toolbox/dbclient/odbc/odbc_statement.h"
#include "toolbox/dbclient/odbc/odbc_values.h"
#include "toolbox/dbclient/provider.h"

namespace zun {

class OdbcConnection : public ProviderConnection, private OdbcLink {
 public:
  // Precondition: api outlives the connection.
  explicit OdbcConnection(const OdbcApi& api = DriverManagerApi()) : api_(api) {}
  ~OdbcConnection() override;

  // Sent as SQL_ATTR_LOGIN_TIMEOUT: without it FreeTDS waits for ever on a
  // server that never answers the login. Requests that are no query
  // (commit, rollback) and procedure descriptions get 130 seconds.
  void SetLoginTimeout(int seconds) override { login_timeout_ = seconds > 0 ? seconds : 15; }
  // FreeTDS without a data source (which cannot check the server's
  // certificate) logs so at every open.
  void Open(const ConnectionString& cs) override;
  void Close() override;
  // False after a failure that lost the link.
  bool IsOpen() const override { return dbc_ != nullptr && !lost_; }
  void ExecuteSql(const std::string& sql, int timeout_seconds,
                  std::vector<Recordset>* out) override;
  // Prepares a text once (SQLPrepare) and binds the values by position on
  // every run; a value's own type picks the parameter type.
  int ExecuteSqlParams(const std::string& sql, const std::vector<Value>& binds, int timeout_seconds,
                       std::vector<Recordset>* out) override;
  // Sends the rows as parameter arrays (SQL_ATTR_PARAMSET_SIZE), up to
  // 1000 rows a request, instead of one request per row.
  int ExecuteSqlParamsRows(const std::string& sql, const std::vector<std::vector<Value>>& rows,
                           int timeout_seconds) override;
  Parameters DescribeProcedure(const std::string& name) override;
  void CallProcedure(const std::string& name, Parameters* params, int timeout_seconds,
                     std::vector<Recordset>* out) override;
  void BeginTransaction() override;
  void Commit() override;
  void Rollback() override;
  bool InTransaction() const override { return in_tran_; }
  // Groups run at read committed, each nest inside one (a savepoint,
  // "SAVE TRANSACTION") at serializable until it ends; SQL Server keeps a
  // savepoint until the transaction ends, so a release only goes back to
  // read committed. Only with a resume mark: the database may be a
  // customer's.
  bool SupportsGroupedCommits() const override { return true; }
  bool GroupsNeedResumeMark() const override { return true; }
  void BeginGroupTransaction() override;
  void Savepoint(const std::string& name) override;
  void ReleaseSavepoint(const std::string& name) override;
  void RollbackToSavepoint(const std::string& name) override;

 private:
  // Seconds the description of a procedure and a request that is no query
  // (commit, rollback) may take: as long as a call of the session's commands.
  static constexpr int kPedidoTimeout = 130;

  const OdbcApi& Api() const override { return api_; }
  // A lost link also ends the transaction on this side.
  void Falhou(const ProviderError& e) override;
  const OdbcProcedure& Describe(const std::string& name);
  // Commits or rolls back; autocommit is on again afterwards, also when the
  // commit fails (the transaction is then rolled back).
  void EndTransaction(SQLSMALLINT completion);
  void Chama(const std::string& name, Parameters* params, int timeout_seconds,
             std::vector<Recordset>* out);
  // After a failed statement in a transaction: when the server ended the
  // transaction (a deadlock victim, or @@TRANCOUNT 0 after a statement of
  // it had run or a timeout), or a timed-out procedure left its own open
  // inside it (@@TRANCOUNT above 1, rolled back with it), rolls back what
  // the driver may have opened since and turns autocommit on, so that
  // InTransaction() tells the truth. After a
  // timeout or a statement error outside one: rolls back a transaction the
  // failed call left open on the server (FechaTransacaoDoServidor).
  void AposErro(const ProviderError& e);
  // The server's @@TRANCOUNT; -1 when it cannot be read.
  int TranCountDoServidor();
  // Rolls back a transaction the server holds outside the session's (and
  // logs it); gives the link up when that fails.
  void FechaTransacaoDoServidor();
  void AbandonaTransacao();
  // Autocommit off at level: the next statement begins the transaction.
  void Begin(SQLULEN level);
  // Runs a text of the open transaction (SQL Server's own statements).
  void Controle(const std::string& sql);
  // Turns autocommit on at read committed and reads it back; when the
  // driver did not, gives the link up (IsOpen() false, logged) and answers
  // false. after names what came before, for the log.
  bool RestauraAutocommit(const std::string& after);
  void Isolamento(SQLULEN level);
  // The prepared statement of sql (prepared now when new), its parameters
  // unbound, with the timeout set.
  SQLHSTMT Preparado(const std::string& sql, int timeout_seconds);
  // Runs sql directly on a statement of its own.
  void Direto(const std::string& sql, int timeout_seconds, std::vector<Recordset>* out);
  SQLHSTMT NewStatement(int timeout_seconds);
  // Binds p at position; sql_type 0 takes the type from p's data type.
  // A value that cannot be read as p's type raises a kWrongType error.
  void Bind(SQLHSTMT stmt, SQLUSMALLINT position, const Parameter& p, SQLSMALLINT sql_type,
            const std::string& name, OdbcVinculo* b);

  const OdbcApi& api_;
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  bool lost_ = false;
  bool in_tran_ = false;
  bool tran_usada_ = false;  // a statement has run in the open transaction
  bool freetds_ = true;      // the driver of the open connection is FreeTDS
  int login_timeout_ = 15;
  std::map<std::string, OdbcProcedure> procs_;  // by upper-cased name
  std::map<std::string, SQLHSTMT> prepared_;    // by exact text
};

}  // namespace zun
