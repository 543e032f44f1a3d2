// The SQL Server provider: the client layer over ODBC. The names
// "SQLOLEDB.1", "SQLOLEDB", "SQLNCLI11", "MSOLEDBSQL" and "ODBC" select it.
// Its parts: the connection string and driver discovery
// (odbc_connection_string.h), the values and their one encoder
// (odbc_values.h), the failures (odbc_errors.h), the statements
// (odbc_statement.h), the connection and its transactions
// (odbc_connection.h), over the driver manager's function table
// (odbc_api.h).
//
// Thread-safety: IsOdbcProviderName is pure; see the parts for the rest.
#pragma once

#include <string>

#include "toolbox/dbclient/odbc/odbc_connection.h"
#include "toolbox/dbclient/odbc/odbc_connection_string.h"
#include "toolbox/dbclient/odbc/odbc_errors.h"

namespace zun {

// Whether name (letter case ignored) is one of the provider's names.
bool IsOdbcProviderName(const std::string& name);

}  // namespace zun
