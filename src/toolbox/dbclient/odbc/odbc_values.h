// The values of the SQL Server provider as the ODBC driver takes and gives
// them: text between the program's Windows-1252 and the driver's UTF-16, the
// server's types against the client layer's, and the one encoder that lays
// a value out in its C type's bytes, for a single parameter (a procedure's
// or a prepared text's) and for a column of a parameter array alike.
//
// Thread-safety: pure functions; an OdbcVinculo or OdbcColumn belongs to the
// one call that binds it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "toolbox/dbclient/odbc/odbc_api.h"
#include "toolbox/dbclient/provider.h"

namespace zun {

// Characters (bytes for binary data) of an output whose size the server
// does not give (nvarchar(max) and the like); a longer value is refused,
// never cut.
constexpr SQLULEN kTextoSemTamanho = 65536;
// Longest text (bytes of binary data: 8000) that goes as nvarchar(n).
constexpr SQLULEN kTextoCurtoMax = 4000;

// A bound parameter's buffer and indicator; they must stay in place until
// the outputs have been read.
struct OdbcVinculo {
  std::vector<unsigned char> buf;
  SQLLEN ind = 0;
  SQLSMALLINT c_type = SQL_C_WCHAR;
};

// The UTF-16 form of Windows-1252 text.
std::u16string OdbcWide(const std::string& cp1252);
// The Windows-1252 form of n UTF-16 units at w.
std::string OdbcNarrow(const SQLWCHAR* w, size_t n);
// s as the driver's text argument (s must outlive the call).
inline SQLWCHAR* OdbcChars(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

// Whether the server type t is a time of day (SQL Server's time included).
bool IsOdbcTimeType(SQLSMALLINT t);
// The client layer's type of a server type.
DataType OdbcDataType(SQLSMALLINT sql_type);
// The server type a value of t is sent as when nobody described it.
SQLSMALLINT OdbcSqlType(DataType t);
// The C type a value of t is laid out in.
SQLSMALLINT OdbcCType(DataType t);
// The bytes of a value of c_type; 0 for text and binary data (as long as
// the value).
size_t OdbcFixedWidth(SQLSMALLINT c_type);

// The day number (the client layer's date and time) of ts, and back.
double OdbcDayNumber(const SQL_TIMESTAMP_STRUCT& ts);
SQL_TIMESTAMP_STRUCT OdbcTimestamp(double day_number);

// The bytes v is sent as in c_type (one of OdbcCType's): fixed-size numbers
// and timestamps in the machine's layout, text as UTF-16 without its end,
// binary data as is. A null value encodes as zero (the day number 0, empty
// text). A value that cannot be read as c_type raises DatasetError, as does
// a number that is not finite.
std::string EncodeOdbcValue(const Value& v, SQLSMALLINT c_type);

// How a parameter is declared to the driver.
struct OdbcDeclaracao {
  SQLSMALLINT io = SQL_PARAM_INPUT;
  SQLSMALLINT sql_type = SQL_WVARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
};

// Fills *b with p's value (an output gets room for its real size) and
// answers its declaration; sql_type is the server's type from the
// procedure's description, 0 to take it from p's data type. freetds tells
// the driver, for the (max) types. A value that cannot be read as p's type
// raises a kWrongType ProviderError naming p and name.
OdbcDeclaracao EncodeOdbcParameter(const Parameter& p, SQLSMALLINT sql_type, bool freetds,
                                   const std::string& name, OdbcVinculo* b);

// The value of output p of procedure name once the driver wrote *b; raises
// ProviderError when the output was longer than its buffer.
Value DecodeOdbcOutput(const std::string& name, const Parameter& p, const OdbcVinculo& b);

// One parameter of a parameter array: every row's value at its place in buf.
struct OdbcColumn {
  std::vector<unsigned char> buf;
  std::vector<SQLLEN> ind;
  size_t width = 0;
  SQLSMALLINT c_type = SQL_C_WCHAR, sql_type = SQL_WVARCHAR, digits = 0;
  SQLULEN size = 0;
};

// The columns of rows [first, first + n): each typed by its first value
// that is not null and as wide as its longest. A value that does not fit
// its column raises DatasetError.
std::vector<OdbcColumn> EncodeOdbcColumns(const std::vector<std::vector<Value>>& rows, size_t first,
                                          size_t n, bool freetds);

}  // namespace zun
