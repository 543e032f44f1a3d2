#include "toolbox/dbclient/odbc/odbc_errors.h"

#include <algorithm>

#include "toolbox/dbclient/odbc/odbc_values.h"

namespace zun {

namespace {

// FreeTDS's number for a request it could not write to the server.
constexpr int32_t kFreeTdsEscritaFalhou = 20006;

}  // namespace

ErrorKind OdbcErrorKind(const std::string& st, int32_t native) {
  if (st == "08S01" || st == "08003" || st == "08007") return ErrorKind::kConnectionLost;
  // FreeTDS reports a link that broke under a call with its own numbers
  // (read failed, write failed, end of file) and a state of class 01 or HY.
  if (native == 20004 || native == kFreeTdsEscritaFalhou || native == 20017)
    return ErrorKind::kConnectionLost;
  if (st == "HYT00") return ErrorKind::kTimeout;
  if (st == "40001" || native == 1205) return ErrorKind::kDeadlock;
  if (st.rfind("23", 0) == 0) return ErrorKind::kConstraint;
  if (st == "07006") return ErrorKind::kWrongType;
  return ErrorKind::kOther;
}

std::vector<OdbcDiagnostico> OdbcDiagnosticos(const OdbcApi& api, SQLSMALLINT type,
                                              SQLHANDLE handle) {
  std::vector<OdbcDiagnostico> out;
  for (SQLSMALLINT rec = 1; rec <= 20; ++rec) {
    SQLWCHAR st[6] = {};
    SQLINTEGER nat = 0;
    SQLWCHAR msg[1024];
    SQLSMALLINT len = 0;
    const SQLRETURN rc = api.GetDiagRec(type, handle, rec, st, &nat, msg, 1024, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    out.push_back({OdbcNarrow(st, 5), nat,
                   OdbcNarrow(msg, std::min<size_t>(
                                       static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), 1023))});
  }
  return out;
}

ProviderError OdbcError(const std::vector<OdbcDiagnostico>& diags, const std::string& what) {
  std::string message;
  std::string state;
  int32_t native = 0;
  ErrorKind kind = ErrorKind::kOther;
  for (size_t i = 0; i < diags.size(); ++i) {
    const OdbcDiagnostico& d = diags[i];
    const ErrorKind k = OdbcErrorKind(d.state, d.native);
    if (i == 0 || (kind == ErrorKind::kOther && k != ErrorKind::kOther)) {
      state = d.state;
      native = d.native;
      kind = k;
    }
    if (!message.empty()) message += "; ";
    message += d.message;
  }
  if (message.empty()) message = "ODBC: " + what + " failed without diagnostics";
  // Drivers break long messages into lines; a log line keeps them on one.
  for (char& c : message) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  ProviderError e(message, native, kind, state);
  // FreeTDS's write failure: the server never had the whole request, which
  // it runs only once it has all of it.
  if (native == kFreeTdsEscritaFalhou) e.SetNotSent();
  return e;
}

void OdbcLink::Fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
  Falha(OdbcDiagnosticos(Api(), type, handle), what);
}

void OdbcLink::Falha(const std::vector<OdbcDiagnostico>& diags, const std::string& what) {
  const ProviderError e = OdbcError(diags, what);
  Falhou(e);
  throw e;
}

}  // namespace zun
