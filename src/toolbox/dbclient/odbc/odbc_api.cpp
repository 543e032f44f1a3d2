#include "toolbox/dbclient/odbc/odbc_api.h"

#include <sqlucode.h>

namespace zun {

const OdbcApi& DriverManagerApi() {
  static const OdbcApi api = {
      SQLAllocHandle, SQLFreeHandle,    SQLSetEnvAttr,        SQLSetConnectAttrW, SQLDriverConnectW,
      SQLDisconnect,  SQLGetDiagRecW,   SQLSetStmtAttrW,      SQLExecDirectW,     SQLPrepareW,
      SQLExecute,     SQLBindParameter, SQLNumResultCols,     SQLDescribeColW,    SQLFetch,
      SQLGetData,     SQLMoreResults,   SQLProcedureColumnsW, SQLEndTran,         SQLFreeStmt,
      SQLRowCount,    SQLDataSources,   SQLDrivers,           SQLGetConnectAttrW,
  };
  return api;
}

}  // namespace zun
