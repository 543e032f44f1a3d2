// The interface every database provider implements, the parsed connection
// string, and the registry that picks a provider by the "Provider=" value of
// the connection string.
//
// A provider connection runs procedure calls and SQL texts and hands back
// every result set fully read (the client keeps its cursor on its side).
// The embedded provider "SQLite" is built in; other providers register
// themselves by name, and tests register scripted providers the same way (a
// registration under "SQLite" takes precedence over the built-in one). The
// SQL Server names ("SQLOLEDB", "SQLOLEDB.1", "SQLNCLI11", "MSOLEDBSQL") and
// "ODBC" select the built-in ODBC provider.
//
// Thread-safety: a provider connection is used by one thread at a time. The
// registry may be read from any thread once registration (at start-up) is
// over.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/dbclient/parameter.h"
#include "toolbox/dbclient/recordset.h"

namespace zun {

// "Key=Value;..." pairs; keys compared without regard to case. A value in
// double or single quotes may hold ";" and "=" (the quote doubled inside);
// when a key repeats, the last one counts.
class ConnectionString {
 public:
  ConnectionString() = default;
  explicit ConnectionString(const std::string& text);
  // The value of key, "" when absent.
  std::string Get(const std::string& key) const;
  bool Has(const std::string& key) const;
  const std::string& text() const { return text_; }
  // Overwrites the text and every value (the password among them) with
  // zero bytes and empties them.
  void Wipe();

 private:
  std::string text_;
  std::map<std::string, std::string> values_;  // upper-cased keys
};

// Overwrites *s with zero bytes and empties it: for texts holding a password.
void ApagaTexto(std::string* s);

// value as it must stand in a connection string: unchanged when plain, else
// in double quotes with every double quote doubled (a value holding ";",
// starting with a quote or with blanks at its ends).
std::string QuoteConnectionValue(const std::string& value);

// One row of a result read in place (ReadRows): its columns by position in
// the provider's own types, valid only while the row is handed out.
class RowView {
 public:
  virtual ~RowView() = default;
  virtual int Count() const = 0;
  virtual bool IsNull(int i) const = 0;
  // The column as an integer (0 for NULL) or a float (0.0 for NULL).
  virtual int64_t Int(int i) const = 0;
  virtual double Double(int i) const = 0;
};

class ProviderConnection {
 public:
  virtual ~ProviderConnection() = default;

  // Seconds the next Open may take to reach the server and log in; a server
  // that accepts the link but never answers fails the open once they are
  // spent (ErrorKind::kTimeout). 0: the provider's own default.
  virtual void SetLoginTimeout(int seconds) { (void)seconds; }
  // Opens the connection. Raises ProviderError on failure (the message must
  // not contain the password).
  virtual void Open(const ConnectionString& cs) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Whether an open is still under way (providers that open synchronously
  // answer false).
  virtual bool IsConnecting() const { return false; }

  // Runs SQL text; the result sets it returns are appended to *out (out may
  // be nullptr to discard them).
  virtual void ExecuteSql(const std::string& sql, int timeout_seconds,
                          std::vector<Recordset>* out) = 0;
  // Runs one SQL statement whose "?" placeholders take binds by position;
  // the rows it returns (when it has columns) are appended to *out (out may
  // be nullptr). Returns the number of rows it changed. The provider keeps
  // the prepared statement of a text and reuses it when the same text runs
  // again. This default raises ProviderError: the provider cannot.
  virtual int ExecuteSqlParams(const std::string& sql, const std::vector<Value>& binds,
                               int timeout_seconds, std::vector<Recordset>* out);
  // As ExecuteSqlParams, but each row is handed to row in place, without a
  // client value per column; row must not run statements on this
  // connection. This default reads the rows through ExecuteSqlParams.
  virtual void ReadRows(const std::string& sql, const std::vector<Value>& binds,
                        int timeout_seconds, const std::function<void(const RowView&)>& row);
  // Runs the text once per row of binds (each row as ExecuteSqlParams
  // binds it, rows without results), in as few requests as the provider
  // can; returns the rows changed in all. A failure stops at its row. This
  // default runs the rows one by one.
  virtual int ExecuteSqlParamsRows(const std::string& sql,
                                   const std::vector<std::vector<Value>>& rows,
                                   int timeout_seconds);
  // The parameter list of a stored procedure, return value first, under
  // the provider's own names. Raises ProviderError for an unknown procedure.
  virtual Parameters DescribeProcedure(const std::string& name) = 0;
  // Calls a stored procedure with params (as described, values set by the
  // caller); output parameters and the return value are written back to
  // params, result sets appended to *out.
  virtual void CallProcedure(const std::string& name, Parameters* params, int timeout_seconds,
                             std::vector<Recordset>* out) = 0;

  // Transactions at serializable isolation.
  virtual void BeginTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;

  // Whether procedure calls may run inside one transaction of the caller
  // that spans many calls, each call keeping its own outcome (a failed call
  // undoes only itself), with named savepoints for the caller's own nested
  // transactions. Providers whose procedures may roll back the caller's
  // whole transaction answer false (the default), and the savepoint
  // operations below then raise ProviderError.
  virtual bool SupportsGroupedCommits() const { return false; }
  // Whether the caller may group calls only where it can also commit where
  // its series stands with each group (a resume mark): the database may be
  // one whose procedures were written for calls that each commit alone,
  // and there grouping pays only when a killed series resumes after its
  // committed groups. The default (false) groups wherever it supports it.
  virtual bool GroupsNeedResumeMark() const { return false; }
  // Begins the transaction of a group (see SupportsGroupedCommits). The
  // default is BeginTransaction; a provider whose serializable reads would
  // hold their locks for the whole group begins it at read committed.
  virtual void BeginGroupTransaction() { BeginTransaction(); }
  // Whether the last CallProcedure ran a look-up, a procedure that never
  // writes: the size of a group counts only the other calls.
  virtual bool LastCallWasLookup() const { return false; }
  virtual void Savepoint(const std::string& name);
  virtual void ReleaseSavepoint(const std::string& name);
  virtual void RollbackToSavepoint(const std::string& name);
  // Called between two transactions of a long series: when another process
  // waits for the write lock, gives it a moment to take it. Never raises.
  virtual void YieldToWaiters() {}
  // A long series of grouped transactions starts (true) or ends (false):
  // the provider may put off its housekeeping while the series runs and
  // catch up when it ends (called after the series' last transaction
  // ended). Never raises.
  virtual void LongSeries(bool) {}
  // Shared reads (max_ms > 0): outside the caller's transactions, calls
  // that only read (look-ups, read-only statements) may share one read
  // transaction of at most max_ms milliseconds instead of each taking its
  // own: what another process commits is then seen up to max_ms late. Any
  // other call, and every transaction of the caller, ends the shared one
  // first, so that writes commit as they always do and are seen by the
  // next read. 0 ends it and turns the sharing off. Never raises.
  virtual void SharedReads(int /*max_ms*/) {}
};

using ProviderFactory = std::function<std::unique_ptr<ProviderConnection>()>;

// Registers a provider under a name (letter case ignored); a later
// registration of the same name replaces the earlier one.
void RegisterProvider(const std::string& name, ProviderFactory factory);
// Removes a registration (tests).
void UnregisterProvider(const std::string& name);

// A new connection of the provider named name. Raises ProviderError for an
// unknown name.
std::unique_ptr<ProviderConnection> CreateProviderConnection(const std::string& name);

}  // namespace zun
