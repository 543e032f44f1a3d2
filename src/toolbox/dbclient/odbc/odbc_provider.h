// The SQL Server provider: the client layer over ODBC (unixODBC with
// FreeTDS's driver or Microsoft's ODBC Driver 18, or any driver a DSN names).
// The names "SQLOLEDB.1", "SQLOLEDB", "SQLNCLI11", "MSOLEDBSQL" and "ODBC"
// select it.
//
// The ADO-style connection string ("Data Source", "Initial Catalog",
// "User ID", "Password", "Integrated Security", "Application Name") becomes an
// ODBC one; the keys "Odbc DSN" (a data source of odbc.ini) or "Odbc Driver"
// (a driver of odbcinst.ini, "FreeTDS" when neither is given) pick the
// driver. Stored procedures are described once per connection with
// SQLProcedureColumns and called as "{? = call name(?,...)}" with every
// parameter bound by position; output parameters and the return value are
// read after the last result set. Text is Windows-1252 in the program and
// UTF-16 towards the driver. Transactions switch autocommit off at
// serializable isolation; outside them the connection reads committed. Failures carry the SQLSTATE
// and a kind.
//
// Thread-safety: a connection is used by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/odbc/odbc_api.h"
#include "toolbox/dbclient/provider.h"

namespace zun {

struct OdbcVinculo;

// Whether name (letter case ignored) is one of the provider's names.
bool IsOdbcProviderName(const std::string& name);

// What is known of the ODBC driver before connecting.
struct OdbcDriver {
  std::string library;      // the driver's library file; "" when not found
  int freetds_version = 0;  // FreeTDS's major * 100 + minor from the library; 0 unknown
};

// The FreeTDS version (major * 100 + minor) written in the driver library
// at path ("freetds vX.Y.Z"); 0 when the file cannot be read or holds none.
int FreeTdsLibraryVersion(const std::string& path);

// The ODBC connection string for the ADO-style cs (see above) and the
// driver it selects. Values are enclosed in braces only when they need it.
// FreeTDS (by the driver's name or library) gets the port, "TDS_Version=7.4"
// and "ClientCharset=CP1252". A data source ("Odbc DSN") gets no "Server"
// (its own counts). TLS is required (FreeTDS "Encryption=require", others
// "Encrypt=yes") unless "Use Encryption for Data" is False (FreeTDS
// "Encryption=request", others "Encrypt=no"). Drivers other than FreeTDS get
// "ConnectRetryCount=0": the session, not the driver, reconnects. FreeTDS before 1.4 ends a braced
// value at the first
// "}" followed by ";" and does not undo "}}": there, or when its version is unknown, a value
// holding "}" raises ProviderError instead (the message names the key, never the value).
std::string OdbcConnectionString(const ConnectionString& cs, const OdbcDriver& driver = {});

// The kind of a failure by its SQLSTATE and the server's native number:
// 08S01, 08003, 08007 and FreeTDS's read, write and end-of-file failures
// (native 20004, 20006, 20017) are a lost connection; HYT00 a timeout; 40001
// or native 1205 a deadlock; class 23 a constraint; 07006 a wrong type;
// anything else kOther.
ErrorKind OdbcErrorKind(const std::string& sql_state, int32_t native);

class OdbcConnection : public ProviderConnection {
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
  struct Described {
    Parameters params;
    std::vector<SQLSMALLINT> sql_types;  // the server's type of each parameter
  };
  class Statement;

  // The library and version of the driver cs selects, from the driver
  // manager's lists (env_ must exist).
  OdbcDriver FindDriver(const ConnectionString& cs);
  const Described& Describe(const std::string& name);
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
  // The type and size that declare a (max) parameter to this driver.
  void DeclaraMax(SQLSMALLINT var, SQLSMALLINT longo, SQLSMALLINT* sql_type, SQLULEN* size) const;
  // Raises the error of an output longer than its buffer.
  [[noreturn]] static void Cortado(const std::string& name, const Parameter& p,
                                   const OdbcVinculo& b);
  struct Diagnostico {
    std::string state;
    int32_t native = 0;
    std::string message;
  };
  // The handle's diagnostic records.
  std::vector<Diagnostico> Diagnosticos(SQLSMALLINT type, SQLHANDLE handle);
  // Raises ProviderError from the handle's diagnostics, what naming the step;
  // a lost link also ends the transaction on this side.
  [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what);
  // As Fail, from diagnostics read before: the kind is the first record's,
  // or the first one's that tells more than kOther.
  [[noreturn]] void Falha(const std::vector<Diagnostico>& diags, const std::string& what);
  void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA)
      Fail(type, handle, what);
  }
  // Reads every result set of a run whose first step answered rc; adds the
  // rows each step without columns changed to *changed when not null.
  void ReadResults(SQLHSTMT stmt, SQLRETURN rc, std::vector<Recordset>* out,
                   SQLLEN* changed = nullptr);
  Recordset ReadRecordset(SQLHSTMT stmt, SQLSMALLINT columns);
  Value ReadColumn(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT sql_type);
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
  std::map<std::string, Described> procs_;    // by upper-cased name
  std::map<std::string, SQLHSTMT> prepared_;  // by exact text
  // Messages of the last ReadResults' steps that succeeded with some.
  std::vector<Diagnostico> avisos_;
};

}  // namespace zun
