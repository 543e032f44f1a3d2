// The failures of the SQL Server provider: the driver's diagnostic records
// read off a handle and turned into a ProviderError with its SQLSTATE, the
// server's number and a kind, and the link a statement runs on, which is
// told of every failure (a lost link ends the connection's transaction).
//
// Thread-safety: the functions are pure but for the handle they read; an
// OdbcLink is used by its connection's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/odbc/odbc_api.h"

namespace zun {

// One diagnostic record of a handle.
struct OdbcDiagnostico {
  std::string state;
  int32_t native = 0;
  std::string message;
};

// The kind of a failure by its SQLSTATE and the server's native number:
// 08S01, 08003, 08007 and FreeTDS's read, write and end-of-file failures
// (native 20004, 20006, 20017) are a lost connection; HYT00 a timeout; 40001
// or native 1205 a deadlock; class 23 a constraint; 07006 a wrong type;
// anything else kOther.
ErrorKind OdbcErrorKind(const std::string& sql_state, int32_t native);

// The handle's diagnostic records (at most 20).
std::vector<OdbcDiagnostico> OdbcDiagnosticos(const OdbcApi& api, SQLSMALLINT type,
                                              SQLHANDLE handle);

// The error of diagnostics diags, what naming the step when there are none:
// the kind is the first record's, or the first one's that tells more than
// kOther; the messages are joined on one line. FreeTDS's write failure is
// marked as never sent.
ProviderError OdbcError(const std::vector<OdbcDiagnostico>& diags, const std::string& what);

// The link statements run on: the driver's functions, and the connection
// that learns of every failure.
class OdbcLink {
 public:
  virtual ~OdbcLink() = default;
  virtual const OdbcApi& Api() const = 0;
  // Raises ProviderError from the handle's diagnostics, what naming the
  // step; a lost link also ends the transaction on this side.
  [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what);
  // As Fail, from diagnostics read before (see OdbcError).
  [[noreturn]] void Falha(const std::vector<OdbcDiagnostico>& diags, const std::string& what);
  // Fail unless rc is a success or SQL_NO_DATA.
  void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA)
      Fail(type, handle, what);
  }

 protected:
  // Told of every failure just before it is raised.
  virtual void Falhou(const ProviderError& e) = 0;
};

}  // namespace zun
