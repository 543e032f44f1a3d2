// The ODBC calls the provider makes, as a table of functions: the driver
// manager's own functions in production, a scripted server in tests. Text
// arguments are UTF-16 (the wide-character entry points), so the driver's
// locale handling never touches the program's Windows-1252 text.
//
// Thread-safety: the table is immutable; the handles it is called with
// follow the driver's rules (one thread per connection here).
#pragma once

#include <sql.h>
#include <sqlext.h>

namespace zun {

struct OdbcApi {
  SQLRETURN (*AllocHandle)(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
  SQLRETURN (*FreeHandle)(SQLSMALLINT type, SQLHANDLE handle);
  SQLRETURN (*SetEnvAttr)(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length);
  SQLRETURN (*SetConnectAttr)(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length);
  SQLRETURN(*DriverConnect)
  (SQLHDBC dbc, SQLHWND window, SQLWCHAR* in, SQLSMALLINT in_length, SQLWCHAR* out,
   SQLSMALLINT out_max, SQLSMALLINT* out_length, SQLUSMALLINT completion);
  SQLRETURN (*Disconnect)(SQLHDBC dbc);
  SQLRETURN(*GetDiagRec)
  (SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLWCHAR* state, SQLINTEGER* native,
   SQLWCHAR* message, SQLSMALLINT message_max, SQLSMALLINT* message_length);
  SQLRETURN (*SetStmtAttr)(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length);
  SQLRETURN (*ExecDirect)(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length);
  SQLRETURN (*Prepare)(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length);
  SQLRETURN (*Execute)(SQLHSTMT stmt);
  SQLRETURN(*BindParameter)
  (SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT io_type, SQLSMALLINT c_type,
   SQLSMALLINT sql_type, SQLULEN size, SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN buffer_length,
   SQLLEN* indicator);
  SQLRETURN (*NumResultCols)(SQLHSTMT stmt, SQLSMALLINT* count);
  SQLRETURN(*DescribeCol)
  (SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name, SQLSMALLINT name_max,
   SQLSMALLINT* name_length, SQLSMALLINT* sql_type, SQLULEN* size, SQLSMALLINT* digits,
   SQLSMALLINT* nullable);
  SQLRETURN (*Fetch)(SQLHSTMT stmt);
  SQLRETURN(*GetData)
  (SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER buffer, SQLLEN buffer_length,
   SQLLEN* indicator);
  SQLRETURN (*MoreResults)(SQLHSTMT stmt);
  SQLRETURN(*ProcedureColumns)
  (SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalog_length, SQLWCHAR* schema,
   SQLSMALLINT schema_length, SQLWCHAR* proc, SQLSMALLINT proc_length, SQLWCHAR* column,
   SQLSMALLINT column_length);
  SQLRETURN (*EndTran)(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion);
  SQLRETURN (*FreeStmt)(SQLHSTMT stmt, SQLUSMALLINT option);
  SQLRETURN (*RowCount)(SQLHSTMT stmt, SQLLEN* count);
  // The driver manager's lists of data sources and drivers (may be null:
  // then nothing is known of the driver before connecting).
  SQLRETURN(*DataSources)
  (SQLHENV env, SQLUSMALLINT direction, SQLCHAR* name, SQLSMALLINT name_max,
   SQLSMALLINT* name_length, SQLCHAR* description, SQLSMALLINT description_max,
   SQLSMALLINT* description_length);
  SQLRETURN(*Drivers)
  (SQLHENV env, SQLUSMALLINT direction, SQLCHAR* description, SQLSMALLINT description_max,
   SQLSMALLINT* description_length, SQLCHAR* attributes, SQLSMALLINT attributes_max,
   SQLSMALLINT* attributes_length);
  // Reads a connection attribute back (may be null: then what was set is
  // taken as done).
  SQLRETURN(*GetConnectAttr)
  (SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length, SQLINTEGER* out_length);
};

// The table of the unixODBC driver manager this program is linked with.
const OdbcApi& DriverManagerApi();

}  // namespace zun
