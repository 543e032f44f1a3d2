// The statements of the SQL Server provider: a handle freed at the end of
// its scope, the reading of a run's answer (every result set, the rows
// changed, the messages of steps that succeeded with some) and the
// description of a stored procedure and the text that calls it.
//
// Thread-safety: a statement is used by its connection's thread.
#pragma once

#include <string>
#include <vector>

#include "toolbox/dbclient/odbc/odbc_errors.h"
#include "toolbox/dbclient/odbc/odbc_values.h"
#include "toolbox/dbclient/provider.h"

namespace zun {

// A statement handle freed when it goes out of scope.
class OdbcStatement {
 public:
  // Precondition: api outlives the statement; h is a statement handle.
  OdbcStatement(const OdbcApi& api, SQLHSTMT h) : api_(api), h_(h) {}
  ~OdbcStatement() { api_.FreeHandle(SQL_HANDLE_STMT, h_); }
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;
  SQLHSTMT get() const { return h_; }

 private:
  const OdbcApi& api_;
  SQLHSTMT h_;
};

// Reads every result set of a run on stmt whose first step answered rc,
// appending them to *out when not null; adds the rows each step without
// columns changed to *changed when not null; keeps in *avisos (when not
// null) the messages of the steps that succeeded with some. Failures go to
// link.Fail.
void ReadOdbcResults(OdbcLink& link, SQLHSTMT stmt, SQLRETURN rc, std::vector<Recordset>* out,
                     SQLLEN* changed = nullptr, std::vector<OdbcDiagnostico>* avisos = nullptr);

// A stored procedure as the server describes it.
struct OdbcProcedure {
  Parameters params;
  std::vector<SQLSMALLINT> sql_types;  // the server's type of each parameter
};

// The parameters of procedure name ("schema.procedure", or a procedure of
// any schema: the first one found), in order, the return value first,
// described with SQLProcedureColumns on stmt. Raises ProviderError when the
// server knows no such procedure.
OdbcProcedure DescribeOdbcProcedure(OdbcLink& link, SQLHSTMT stmt, const std::string& name);

// Sends the n rows of cols as parameter arrays on the prepared stmt (bound
// by column) and answers the rows changed; a row the server refused raises
// its error. The statement serves single rows again afterwards, also after
// a failure.
SQLLEN SendOdbcColumns(OdbcLink& link, SQLHSTMT stmt, std::vector<OdbcColumn>* cols, size_t n);

// The text that calls procedure name with params bound by position:
// "{? = call name(?,...)}", the "? = " only with a return value.
std::string OdbcCallText(const std::string& name, const Parameters& params);

}  // namespace zun
