#include "toolbox/dbclient/odbc/odbc_provider.h"

#include <dlfcn.h>
#include <sqlucode.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "foundation/text_1252.h"

namespace zun {

// A bound parameter's buffer and indicator; they must stay in place until
// the outputs have been read.
struct OdbcVinculo {
  std::vector<unsigned char> buf;
  SQLLEN ind = 0;
  SQLSMALLINT c_type = SQL_C_WCHAR;
};

namespace {

constexpr char kDriverPadrao[] = "FreeTDS";
// Characters (bytes for binary data) of an output whose size the server
// does not give (nvarchar(max) and the like); a longer value is refused,
// never cut.
constexpr SQLULEN kTextoSemTamanho = 65536;
// Longest text (bytes of binary data: 8000) that goes as nvarchar(n).
constexpr SQLULEN kTextoCurtoMax = 4000;
// Seconds the description of a procedure and a request that is no query
// (commit, rollback) may take: as long as a call of the session's commands.
constexpr int kPedidoTimeout = 130;
// Rows of a parameter array sent in one request.
constexpr size_t kLinhasPorEnvio = 1000;
// Steps of a procedure's answer read after a statement's error, at most.
constexpr int kPassosAposErroMax = 64;
// Prepared texts kept per connection.
constexpr size_t kPreparadosMax = 64;

SQLWCHAR* W(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

std::u16string Wide(const std::string& cp1252) { return Cp1252ToUtf16(cp1252); }

std::string Narrow(const SQLWCHAR* w, size_t n) {
  return Utf16ToCp1252(std::u16string(reinterpret_cast<const char16_t*>(w), n));
}

// A value in an ODBC connection string: in braces, "}" doubled, when it
// holds anything that would end or change the pair.
std::string OdbcValue(const std::string& v) {
  if (v.find_first_of(";{}=") == std::string::npos && v == AparaBrancos(v)) return v;
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

bool ContemSemCaixa(const std::string& text, const std::string& part) {
  return Maiusculas(text).find(Maiusculas(part)) != std::string::npos;
}

bool EhDsn(const ConnectionString& cs) { return !cs.Get("Odbc DSN").empty(); }

// FreeTDS by the driver's name or by its library.
bool EhFreeTds(const ConnectionString& cs, const OdbcDriver& drv) {
  const std::string driver =
      EhDsn(cs) ? "" : (cs.Get("Odbc Driver").empty() ? kDriverPadrao : cs.Get("Odbc Driver"));
  return ContemSemCaixa(driver, "FreeTDS") || ContemSemCaixa(driver, "libtdsodbc") ||
         ContemSemCaixa(drv.library, "libtdsodbc");
}

// FreeTDS's number for a request it could not write to the server.
constexpr int32_t kFreeTdsEscritaFalhou = 20006;

// SQL Server's time and datetimeoffset, as both drivers describe them.
constexpr SQLSMALLINT kSqlSsTime2 = -154;
constexpr SQLSMALLINT kSqlSsTimestampOffset = -155;

bool IsTimeType(SQLSMALLINT t) { return t == SQL_TYPE_TIME || t == SQL_TIME || t == kSqlSsTime2; }

bool IsTextType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

DataType TypeOf(SQLSMALLINT t) {
  switch (t) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      return DataType::kInteger;
    case SQL_BIGINT:
      return DataType::kBigInt;
    case SQL_BIT:
      return DataType::kBoolean;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return DataType::kDouble;
    case SQL_DATETIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIME:
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
    case kSqlSsTimestampOffset:
      return DataType::kDateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return DataType::kBinary;
    default:
      return DataType::kString;
  }
}

// The server type a value of t is sent as when nobody described it.
SQLSMALLINT SqlTypeOf(DataType t) {
  switch (t) {
    case DataType::kInteger:
      return SQL_INTEGER;
    case DataType::kBigInt:
      return SQL_BIGINT;
    case DataType::kBoolean:
      return SQL_BIT;
    case DataType::kDouble:
      return SQL_DOUBLE;
    case DataType::kDateTime:
      return SQL_TYPE_TIMESTAMP;
    case DataType::kBinary:
      return SQL_VARBINARY;
    default:
      return SQL_WVARCHAR;
  }
}

double DoTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
  return EncodeDateTime(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                        static_cast<int>(ts.fraction / 1000000));
}

SQL_TIMESTAMP_STRUCT ParaTimestamp(double day_number) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(day_number, &y, &mo, &d, &h, &mi, &s, &ms);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(y);
  ts.month = static_cast<SQLUSMALLINT>(mo);
  ts.day = static_cast<SQLUSMALLINT>(d);
  ts.hour = static_cast<SQLUSMALLINT>(h);
  ts.minute = static_cast<SQLUSMALLINT>(mi);
  ts.second = static_cast<SQLUSMALLINT>(s);
  ts.fraction = static_cast<SQLUINTEGER>(ms) * 1000000u;
  return ts;
}

using Vinculo = OdbcVinculo;

template <typename T>
void Guarda(Vinculo* v, const T& x) {
  v->buf.resize(sizeof(T));
  std::memcpy(v->buf.data(), &x, sizeof(T));
  v->ind = sizeof(T);
}

template <typename T>
T Le(const Vinculo& v) {
  T x{};
  std::memcpy(&x, v.buf.data(), std::min(sizeof(T), v.buf.size()));
  return x;
}

}  // namespace

bool IsOdbcProviderName(const std::string& name) {
  const std::string u = Maiusculas(AparaBrancos(name));
  return u == "SQLOLEDB" || u == "SQLOLEDB.1" || u == "SQLNCLI11" || u == "MSOLEDBSQL" ||
         u == "ODBC";
}

int FreeTdsLibraryVersion(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return 0;
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const std::string mark = "freetds v";
  for (size_t at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark, at + 1)) {
    int major = 0, minor = 0;
    if (std::sscanf(bytes.c_str() + at + mark.size(), "%d.%d", &major, &minor) == 2)
      return major * 100 + minor;
  }
  return 0;
}

std::string OdbcConnectionString(const ConnectionString& cs, const OdbcDriver& drv) {
  std::string s;
  std::string driver;
  const bool dsn = cs.Has("Odbc DSN") && !cs.Get("Odbc DSN").empty();
  if (dsn) {
    s = "DSN=" + OdbcValue(cs.Get("Odbc DSN"));
  } else {
    driver = cs.Get("Odbc Driver").empty() ? kDriverPadrao : cs.Get("Odbc Driver");
    s = "Driver={" + driver + "}";
  }
  const bool freetds = EhFreeTds(cs, drv);
  const bool chaves_duplicadas = !freetds || drv.freetds_version >= 104;
  const auto add = [&](const char* key, const std::string& v) {
    if (v.empty()) return;
    if (!chaves_duplicadas && v.find('}') != std::string::npos) {
      throw ProviderError(std::string("The FreeTDS driver ") +
                          (drv.freetds_version > 0 ? "before 1.4" : "of unknown version") +
                          " misreads a \"}\" in the value of " + key +
                          "; the connection is not attempted (FreeTDS 1.4 or later reads it)");
    }
    s += std::string(";") + key + "=" + OdbcValue(v);
  };
  const std::string source = cs.Get("Data Source");
  const size_t comma = source.find(',');
  if (dsn) {
    // The data source names its server (FreeTDS before 1.5 refuses both).
  } else if (!freetds || source.empty() || source.find('\\') != std::string::npos) {
    // Microsoft's driver reads "HOST,PORT" and defaults 1433 itself; FreeTDS
    // finds an instance's port through the server's browser service.
    add("Server", source);
  } else {
    // FreeTDS neither defaults the port nor reads freetds.conf for Server=.
    add("Server", source.substr(0, comma));
    add("Port", comma == std::string::npos ? "1433" : AparaBrancos(source.substr(comma + 1)));
  }
  add("Database", cs.Get("Initial Catalog"));
  add("APP", cs.Get("Application Name"));
  const std::string sec = Maiusculas(cs.Get("Integrated Security"));
  if (cs.Get("User ID").empty() && (sec == "SSPI" || sec == "TRUE" || sec == "YES")) {
    s += ";Trusted_Connection=yes";
  } else if (!cs.Get("User ID").empty()) {
    add("UID", cs.Get("User ID"));
    add("PWD", cs.Get("Password"));
  }
  if (freetds && !dsn) s += ";TDS_Version=7.4;ClientCharset=CP1252";
  // TLS is required unless the connection string declines it: FreeTDS would
  // otherwise send the password in clear to a server that offers no TLS.
  // Other drivers are told so too: Microsoft's Driver 17 does not encrypt by
  // default (a data source's own "Encrypt" gives way to this one).
  const std::string tls = Maiusculas(cs.Get("Use Encryption for Data"));
  const bool sem_tls = tls == "FALSE" || tls == "NO" || tls == "0";
  if (freetds) {
    s += sem_tls ? ";Encryption=request" : ";Encryption=require";
  } else {
    s += sem_tls ? ";Encrypt=no" : ";Encrypt=yes";
  }
  // Microsoft's driver reconnects a broken link by itself (idle connection
  // resiliency), without the database user the session had switched to
  // and without telling it: the session reconnects, and restores the user.
  if (!freetds) s += ";ConnectRetryCount=0";
  return s;
}

OdbcDriver OdbcConnection::FindDriver(const ConnectionString& cs) {
  OdbcDriver d;
  if (api_.DataSources == nullptr || api_.Drivers == nullptr) return d;
  std::string name = cs.Get("Odbc Driver").empty() ? kDriverPadrao : cs.Get("Odbc Driver");
  SQLCHAR a[512], b[1024];
  SQLSMALLINT la = 0, lb = 0;
  if (!cs.Get("Odbc DSN").empty()) {
    name.clear();
    for (SQLUSMALLINT dir = SQL_FETCH_FIRST;
         api_.DataSources(env_, dir, a, sizeof a, &la, b, sizeof b, &lb) == SQL_SUCCESS;
         dir = SQL_FETCH_NEXT) {
      if (strcasecmp(reinterpret_cast<char*>(a), cs.Get("Odbc DSN").c_str()) == 0)
        name = reinterpret_cast<char*>(b);
    }
  }
  if (name.find('/') != std::string::npos) d.library = name;
  for (SQLUSMALLINT dir = SQL_FETCH_FIRST;
       d.library.empty() &&
       api_.Drivers(env_, dir, a, sizeof a, &la, b, sizeof b, &lb) == SQL_SUCCESS;
       dir = SQL_FETCH_NEXT) {
    if (strcasecmp(reinterpret_cast<char*>(a), name.c_str()) != 0) continue;
    // "key=value" pairs, each ended by a zero byte, the list by two.
    for (const char* p = reinterpret_cast<char*>(b); *p != 0; p += std::strlen(p) + 1) {
      if (strncasecmp(p, "Driver=", 7) == 0) d.library = p + 7;
    }
  }
  if (!d.library.empty() && d.library.front() != '/') {
    // A bare name is looked up by the driver manager in its own "odbc"
    // directory, next to its library.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(api_.Drivers), &info) != 0 && info.dli_fname != nullptr) {
      const std::string own = info.dli_fname;
      d.library = own.substr(0, own.rfind('/') + 1) + "odbc/" + d.library;
    }
  }
  d.freetds_version = FreeTdsLibraryVersion(d.library);
  return d;
}

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

// A statement handle freed when it goes out of scope.
class OdbcConnection::Statement {
 public:
  Statement(const OdbcApi& api, SQLHSTMT h) : api_(api), h_(h) {}
  ~Statement() { api_.FreeHandle(SQL_HANDLE_STMT, h_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT get() const { return h_; }

 private:
  const OdbcApi& api_;
  SQLHSTMT h_;
};

OdbcConnection::~OdbcConnection() { Close(); }

void OdbcConnection::Open(const ConnectionString& cs) {
  Close();
  // No pooling of connections by the driver manager: a pooled link would
  // come back with the last user's context and transaction state.
  api_.SetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING,
                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_CP_OFF)), SQL_IS_UINTEGER);
  if (api_.AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_) != SQL_SUCCESS) {
    env_ = nullptr;
    throw ProviderError("ODBC: no environment handle (driver manager missing?)");
  }
  api_.SetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHDBC dbc = nullptr;
  if (api_.AllocHandle(SQL_HANDLE_DBC, env_, &dbc) != SQL_SUCCESS) {
    Close();
    throw ProviderError("ODBC: no connection handle");
  }
  // The login timeout bounds the TCP connect and the wait for the login's
  // answer; the connection timeout every later request that is no query.
  api_.SetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(login_timeout_)), 0);
  api_.SetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kPedidoTimeout)), 0);
  std::u16string text;
  try {
    const OdbcDriver drv = FindDriver(cs);
    freetds_ = EhFreeTds(cs, drv);
    // FreeTDS reads a CA file only from freetds.conf, which "Server=" skips.
    if (freetds_ && !EhDsn(cs)) {
      Loga(
          "ODBC: FreeTDS without a data source: the server's certificate is not checked; to "
          "check it, name a data source (OdbcDsn) whose freetds.conf section gives \"ca file\"");
    }
    std::string narrow = OdbcConnectionString(cs, drv);
    text = Wide(narrow);
    ApagaTexto(&narrow);
  } catch (...) {
    api_.FreeHandle(SQL_HANDLE_DBC, dbc);
    Close();
    throw;
  }
  SQLSMALLINT out_len = 0;
  const SQLRETURN rc =
      api_.DriverConnect(dbc, nullptr, W(text), static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                         &out_len, SQL_DRIVER_NOPROMPT);
  // The connection text holds the password: nothing of it is kept.
  std::fill(text.begin(), text.end(), u'\0');
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    try {
      Fail(SQL_HANDLE_DBC, dbc, "Open");
    } catch (...) {
      api_.FreeHandle(SQL_HANDLE_DBC, dbc);
      Close();
      throw;
    }
  }
  dbc_ = dbc;
  lost_ = false;
  in_tran_ = false;
  try {
    Isolamento(SQL_TXN_READ_COMMITTED);
  } catch (...) {
    Close();
    throw;
  }
}

void OdbcConnection::Isolamento(SQLULEN level) {
  Check(api_.SetConnectAttr(dbc_, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(level), 0),
        SQL_HANDLE_DBC, dbc_, "Isolation level");
}

void OdbcConnection::Close() {
  procs_.clear();
  for (auto& [text, h] : prepared_) api_.FreeHandle(SQL_HANDLE_STMT, h);
  prepared_.clear();
  if (dbc_ != nullptr) {
    if (in_tran_ && !lost_) api_.EndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    api_.Disconnect(dbc_);
    api_.FreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = nullptr;
  }
  if (env_ != nullptr) {
    api_.FreeHandle(SQL_HANDLE_ENV, env_);
    env_ = nullptr;
  }
  in_tran_ = false;
  lost_ = false;
}

std::vector<OdbcConnection::Diagnostico> OdbcConnection::Diagnosticos(SQLSMALLINT type,
                                                                      SQLHANDLE handle) {
  std::vector<Diagnostico> out;
  for (SQLSMALLINT rec = 1; rec <= 20; ++rec) {
    SQLWCHAR st[6] = {};
    SQLINTEGER nat = 0;
    SQLWCHAR msg[1024];
    SQLSMALLINT len = 0;
    const SQLRETURN rc = api_.GetDiagRec(type, handle, rec, st, &nat, msg, 1024, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    out.push_back(
        {Narrow(st, 5), nat,
         Narrow(msg, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), 1023))});
  }
  return out;
}

void OdbcConnection::Fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
  Falha(Diagnosticos(type, handle), what);
}

void OdbcConnection::Falha(const std::vector<Diagnostico>& diags, const std::string& what) {
  std::string message;
  std::string state;
  int32_t native = 0;
  ErrorKind kind = ErrorKind::kOther;
  for (size_t i = 0; i < diags.size(); ++i) {
    const Diagnostico& d = diags[i];
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
  if (kind == ErrorKind::kConnectionLost) {
    lost_ = true;
    in_tran_ = false;
  }
  ProviderError e(message, native, kind, state);
  // FreeTDS's write failure: the server never had the whole request, which
  // it runs only once it has all of it.
  if (native == kFreeTdsEscritaFalhou) e.SetNotSent();
  throw e;
}

SQLHSTMT OdbcConnection::NewStatement(int timeout_seconds) {
  if (!IsOpen()) throw LinkClosed();
  SQLHSTMT h = nullptr;
  if (api_.AllocHandle(SQL_HANDLE_STMT, dbc_, &h) != SQL_SUCCESS)
    Fail(SQL_HANDLE_DBC, dbc_, "Statement");
  // A driver without timeouts runs the statement without one.
  api_.SetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(timeout_seconds, 0))),
                   0);
  return h;
}

Value OdbcConnection::ReadColumn(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT sql_type) {
  SQLLEN ind = 0;
  const auto get = [&](SQLSMALLINT c_type, void* buf, SQLLEN size) {
    const SQLRETURN rc = api_.GetData(stmt, col, c_type, buf, size, &ind);
    Check(rc, SQL_HANDLE_STMT, stmt, "GetData");
    return rc;
  };
  switch (TypeOf(sql_type)) {
    case DataType::kInteger: {
      SQLINTEGER v = 0;
      get(SQL_C_SLONG, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::Int(v);
    }
    case DataType::kBigInt: {
      SQLBIGINT v = 0;
      get(SQL_C_SBIGINT, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::BigInt(v);
    }
    case DataType::kBoolean: {
      unsigned char v = 0;
      get(SQL_C_BIT, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::Bool(v != 0);
    }
    case DataType::kDouble: {
      double v = 0;
      get(SQL_C_DOUBLE, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::Double(v);
    }
    case DataType::kDateTime: {
      // A datetimeoffset reads as the clock time at its own offset; a time
      // as that time of day 0 (the driver fills in a date of its own).
      SQL_TIMESTAMP_STRUCT v{};
      get(SQL_C_TYPE_TIMESTAMP, &v, sizeof v);
      if (ind == SQL_NULL_DATA) return Value();
      if (IsTimeType(sql_type)) v.year = 1899, v.month = 12, v.day = 30;
      return Value::DateTime(DoTimestamp(v));
    }
    default:
      break;
  }
  // Text and binary data come in pieces until the driver has no more.
  const bool binary = TypeOf(sql_type) == DataType::kBinary;
  std::string bytes;
  char buf[4096];
  const size_t room = binary ? sizeof buf : sizeof buf - sizeof(SQLWCHAR);
  for (;;) {
    const SQLRETURN rc = get(binary ? SQL_C_BINARY : SQL_C_WCHAR, buf, sizeof buf);
    if (rc == SQL_NO_DATA) break;
    if (ind == SQL_NULL_DATA) return Value();
    const bool more = ind == SQL_NO_TOTAL || static_cast<size_t>(ind) > room;
    bytes.append(buf, more ? room : static_cast<size_t>(ind));
    if (!more || rc == SQL_SUCCESS) break;
  }
  if (binary) return Value::Binary(bytes);
  std::u16string w(bytes.size() / 2, u'\0');
  std::memcpy(w.data(), bytes.data(), w.size() * 2);
  return Value::String(Utf16ToCp1252(w));
}

Recordset OdbcConnection::ReadRecordset(SQLHSTMT stmt, SQLSMALLINT columns) {
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  for (SQLUSMALLINT c = 1; c <= columns; ++c) {
    SQLWCHAR name[256];
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    Check(api_.DescribeCol(stmt, c, name, 256, &len, &type, &size, &digits, &nullable),
          SQL_HANDLE_STMT, stmt, "DescribeCol");
    names.push_back(
        Narrow(name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), 255)));
    types.push_back(type);
  }
  Recordset rs(names);
  for (;;) {
    const SQLRETURN rc = api_.Fetch(stmt);
    if (rc == SQL_NO_DATA) break;
    Check(rc, SQL_HANDLE_STMT, stmt, "Fetch");
    std::vector<Value> row;
    row.reserve(types.size());
    for (SQLUSMALLINT c = 1; c <= columns; ++c) row.push_back(ReadColumn(stmt, c, types[c - 1]));
    rs.AddRow(std::move(row));
  }
  return rs;
}

void OdbcConnection::ReadResults(SQLHSTMT stmt, SQLRETURN rc, std::vector<Recordset>* out,
                                 SQLLEN* changed) {
  // Every step may carry the server's error: one raised after the first
  // result set comes with the move to the next. A step that succeeds with
  // messages may hold the error of a row of a parameter array, which the
  // next step would clear: they are kept for the status array.
  avisos_.clear();
  const auto guarda = [&](SQLRETURN r) {
    if (r != SQL_SUCCESS_WITH_INFO) return;
    const std::vector<Diagnostico> d = Diagnosticos(SQL_HANDLE_STMT, stmt);
    avisos_.insert(avisos_.end(), d.begin(), d.end());
  };
  Check(rc, SQL_HANDLE_STMT, stmt, "Execute");
  guarda(rc);
  if (rc == SQL_NO_DATA) {
    // Microsoft's driver answers SQL_NO_DATA at execute when the first
    // result is an update that touched no rows, with rows and outputs still
    // to come: only SQLMoreResults tells that the run is over.
    rc = api_.MoreResults(stmt);
    if (rc == SQL_NO_DATA) return;
    if (rc == SQL_ERROR) {
      // A driver that had nothing pending may call the question out of order.
      SQLWCHAR st[6] = {};
      SQLINTEGER native = 0;
      SQLSMALLINT len = 0;
      SQLWCHAR msg[512];
      const SQLRETURN d = api_.GetDiagRec(SQL_HANDLE_STMT, stmt, 1, st, &native, msg, 512, &len);
      if ((d == SQL_SUCCESS || d == SQL_SUCCESS_WITH_INFO) && Narrow(st, 5) == "HY010") return;
    }
    Check(rc, SQL_HANDLE_STMT, stmt, "MoreResults");
  }
  for (;;) {
    SQLSMALLINT columns = 0;
    Check(api_.NumResultCols(stmt, &columns), SQL_HANDLE_STMT, stmt, "NumResultCols");
    if (columns > 0) {
      Recordset rs = ReadRecordset(stmt, columns);
      if (out != nullptr) out->push_back(std::move(rs));
    } else if (changed != nullptr) {
      // The count of a step is gone once the next one is asked for.
      SQLLEN n = 0;
      if (api_.RowCount(stmt, &n) == SQL_SUCCESS && n > 0) *changed += n;
    }
    rc = api_.MoreResults(stmt);
    if (rc == SQL_NO_DATA) return;
    Check(rc, SQL_HANDLE_STMT, stmt, "MoreResults");
    guarda(rc);
  }
}

void OdbcConnection::ExecuteSql(const std::string& sql, int timeout_seconds,
                                std::vector<Recordset>* out) {
  try {
    Statement stmt(api_, NewStatement(timeout_seconds));
    std::u16string text = Wide(sql);
    ReadResults(stmt.get(),
                api_.ExecDirect(stmt.get(), W(text), static_cast<SQLINTEGER>(text.size())), out);
  } catch (const ProviderError& e) {
    AposErro(e);
    throw;
  }
  if (in_tran_) tran_usada_ = true;
}

void OdbcConnection::AposErro(const ProviderError& e) {
  if (!IsOpen()) return;
  if (!in_tran_) {
    // A procedure that began a transaction of its own and failed or was
    // cancelled (XACT_ABORT OFF) leaves it open: every later call would run
    // inside it, and the disconnect would undo them all.
    const ErrorKind k = e.Kind();
    if (k == ErrorKind::kTimeout || k == ErrorKind::kOther || k == ErrorKind::kConstraint)
      FechaTransacaoDoServidor();
    return;
  }
  // A deadlock victim's transaction is gone; a procedure's own error may
  // have ended it too (XACT_ABORT, a rollback inside it); a SELECT without
  // a table opens none.
  bool acabou = e.Kind() == ErrorKind::kDeadlock;
  if (!acabou && (tran_usada_ || e.Kind() == ErrorKind::kTimeout)) {
    const int n = TranCountDoServidor();
    if (n < 0) return;  // nothing known: the caller's failure stands
    acabou = n == 0;
    if (n > 1) {
      // A cancelled procedure left its own transaction open inside this
      // one (XACT_ABORT OFF). SQL Server cannot undo it alone, and a commit
      // would only close the procedure's level: both are rolled back, and
      // the caller's transaction is over.
      Loga("ODBC: a failed call left its own transaction open inside the session's (@@TRANCOUNT " +
           std::to_string(n) + "); both rolled back");
      acabou = true;
    }
  }
  if (acabou) AbandonaTransacao();
}

int OdbcConnection::TranCountDoServidor() {
  try {
    Statement stmt(api_, NewStatement(kPedidoTimeout));
    std::u16string text = Wide("SELECT @@TRANCOUNT");
    std::vector<Recordset> sets;
    ReadResults(stmt.get(),
                api_.ExecDirect(stmt.get(), W(text), static_cast<SQLINTEGER>(text.size())), &sets);
    if (sets.empty() || sets[0].RecordCount() == 0) return -1;
    sets[0].First();
    return sets[0].Field(0).AsInt();
  } catch (const std::exception&) {
    return -1;
  }
}

void OdbcConnection::FechaTransacaoDoServidor() {
  const int n = TranCountDoServidor();
  if (n <= 0) return;
  try {
    Statement stmt(api_, NewStatement(kPedidoTimeout));
    std::u16string text = Wide("IF @@TRANCOUNT > 0 ROLLBACK");
    ReadResults(stmt.get(),
                api_.ExecDirect(stmt.get(), W(text), static_cast<SQLINTEGER>(text.size())),
                nullptr);
    Loga("ODBC: a failed call left a transaction open on the server (@@TRANCOUNT " +
         std::to_string(n) + "); rolled back");
  } catch (const std::exception& x) {
    // A transaction that cannot be ended must not take later calls in.
    Loga(
        "ODBC: a failed call left a transaction open on the server that could not be rolled "
        "back; the link is given up: " +
        std::string(x.what()));
    lost_ = true;
  }
}

void OdbcConnection::AbandonaTransacao() {
  in_tran_ = false;
  tran_usada_ = false;
  if (!IsOpen()) return;
  // Whatever the driver began after the server's rollback goes too. The
  // server may have ended the transaction already, and then refuses this
  // rollback (3903): only the state it leaves counts, checked below.
  api_.EndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
  RestauraAutocommit("rollback after a failure");
}

bool OdbcConnection::RestauraAutocommit(const std::string& after) {
  // FreeTDS turns autocommit on by asking the server to commit; when the
  // server has no transaction (3902) it keeps autocommit off, and the next
  // transaction would then send no BEGIN and commit call by call. A link
  // whose state is not known is given up: the session opens a new one.
  bool ok = SQL_SUCCEEDED(api_.SetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0));
  if (ok && api_.GetConnectAttr != nullptr) {
    SQLULEN lido = SQL_AUTOCOMMIT_OFF;
    ok = SQL_SUCCEEDED(api_.GetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &lido, 0, nullptr)) &&
         lido == SQL_AUTOCOMMIT_ON;
  }
  ok = ok &&
       SQL_SUCCEEDED(api_.SetConnectAttr(dbc_, SQL_ATTR_TXN_ISOLATION,
                                         reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0));
  if (!ok) {
    Loga("ODBC: autocommit not restored after " + after + "; the link is given up");
    lost_ = true;
    in_tran_ = false;
  }
  return ok;
}

const OdbcConnection::Described& OdbcConnection::Describe(const std::string& name) {
  const std::string key = Maiusculas(name);
  auto it = procs_.find(key);
  if (it != procs_.end()) return it->second;
  // "schema.procedure", or a procedure of any schema (the first one found).
  const size_t dot = name.rfind('.');
  std::u16string schema = Wide(dot == std::string::npos ? "" : name.substr(0, dot));
  const std::string proc_name = dot == std::string::npos ? name : name.substr(dot + 1);
  std::u16string proc = Wide(proc_name);
  Statement stmt(api_, NewStatement(kPedidoTimeout));
  const SQLRETURN rc =
      api_.ProcedureColumns(stmt.get(), nullptr, 0, schema.empty() ? nullptr : W(schema),
                            static_cast<SQLSMALLINT>(schema.size()), W(proc),
                            static_cast<SQLSMALLINT>(proc.size()), nullptr, 0);
  std::vector<Recordset> sets;
  ReadResults(stmt.get(), rc, &sets);
  struct Linha {
    int ordinal;
    Parameter p;
    SQLSMALLINT sql_type;
  };
  std::vector<Linha> linhas;
  std::string first_schema;
  bool has_schema = false;
  for (Recordset& rs : sets) {
    if (rs.FieldCount() < 10) continue;
    for (rs.First(); !rs.Eof(); rs.Next()) {
      // Procedure names may carry SQL Server's ";1" group number; the
      // search is a pattern, so only the exact name counts.
      std::string found = rs.Field(2).AsString();
      found = found.substr(0, found.find(';'));
      if (strcasecmp(found.c_str(), proc_name.c_str()) != 0) continue;
      const std::string sch = rs.Field(1).AsString();
      if (!has_schema) {
        first_schema = sch;
        has_schema = true;
      } else if (sch != first_schema) {
        continue;
      }
      const int column_type = rs.Field(4).AsInt();
      if (column_type == SQL_RESULT_COL) continue;
      Linha l;
      l.sql_type = static_cast<SQLSMALLINT>(rs.Field(5).AsInt());
      l.p.type = TypeOf(l.sql_type);
      l.p.name = rs.Field(3).AsString();
      l.p.direction = column_type == SQL_RETURN_VALUE         ? ParamDirection::kReturnValue
                      : column_type == SQL_PARAM_OUTPUT       ? ParamDirection::kOutput
                      : column_type == SQL_PARAM_INPUT_OUTPUT ? ParamDirection::kInputOutput
                                                              : ParamDirection::kInput;
      if (l.p.direction == ParamDirection::kReturnValue && l.p.name.empty()) {
        l.p.name = "@RETURN_VALUE";
      } else if (l.p.name.rfind('@', 0) != 0) {
        l.p.name = "@" + l.p.name;
      }
      const Value& size = rs.Field(7);
      const Value& digits = rs.Field(9);
      l.p.size = size.IsNull() ? 0 : size.AsInt();
      l.p.precision = TypeOf(l.sql_type) == DataType::kString ? 0 : l.p.size;
      l.p.scale = digits.IsNull() ? 0 : digits.AsInt();
      const Value* ord = rs.FieldCount() >= 18 ? &rs.Field(17) : nullptr;
      l.ordinal = ord == nullptr || ord->IsNull() ? static_cast<int>(linhas.size()) : ord->AsInt();
      if (l.p.direction == ParamDirection::kReturnValue) l.ordinal = -1;
      linhas.push_back(std::move(l));
    }
  }
  if (linhas.empty()) throw ProviderError("Procedure <" + name + "> not found");
  std::stable_sort(linhas.begin(), linhas.end(),
                   [](const Linha& a, const Linha& b) { return a.ordinal < b.ordinal; });
  Described d;
  for (Linha& l : linhas) {
    d.params.Add(l.p);
    d.sql_types.push_back(l.sql_type);
  }
  return procs_.emplace(key, std::move(d)).first->second;
}

Parameters OdbcConnection::DescribeProcedure(const std::string& name) {
  try {
    return Describe(name).params;
  } catch (const ProviderError& e) {
    AposErro(e);
    throw;
  }
}

void OdbcConnection::Bind(SQLHSTMT stmt, SQLUSMALLINT position, const Parameter& p,
                          SQLSMALLINT sql_type, const std::string& name, OdbcVinculo* vinculo) {
  OdbcVinculo& b = *vinculo;
  // A described text or binary parameter of size 0 is (max).
  const bool max = sql_type != 0 && p.size == 0;
  if (sql_type == 0) sql_type = SqlTypeOf(p.type);
  const SQLSMALLINT io = p.direction == ParamDirection::kInput         ? SQL_PARAM_INPUT
                         : p.direction == ParamDirection::kInputOutput ? SQL_PARAM_INPUT_OUTPUT
                                                                       : SQL_PARAM_OUTPUT;
  const bool sends = io != SQL_PARAM_OUTPUT && !p.value.IsNull();
  SQLULEN size = static_cast<SQLULEN>(std::max(p.size, 0));
  SQLSMALLINT digits = static_cast<SQLSMALLINT>(std::max(p.scale, 0));
  try {
    switch (p.type) {
      case DataType::kInteger:
        b.c_type = SQL_C_SLONG;
        Guarda<SQLINTEGER>(&b, sends ? p.value.AsInt() : 0);
        break;
      case DataType::kBigInt:
        b.c_type = SQL_C_SBIGINT;
        Guarda<SQLBIGINT>(&b, sends ? p.value.AsInt64() : 0);
        break;
      case DataType::kBoolean:
        b.c_type = SQL_C_BIT;
        Guarda<unsigned char>(&b, sends && p.value.AsBool() ? 1 : 0);
        break;
      case DataType::kDouble: {
        const double x = sends ? p.value.AsDouble() : 0.0;
        if (!std::isfinite(x)) throw DatasetError("not a finite number");
        if (io == SQL_PARAM_INPUT && (sql_type == SQL_DECIMAL || sql_type == SQL_NUMERIC)) {
          // As decimal text rounded to the server's scale: a driver that
          // converts a double cuts its binary fraction (1.15 becomes 1.14).
          char text[400];
          const int n = std::snprintf(text, sizeof text, "%.*f", std::min<int>(digits, 38), x);
          const std::u16string w = Wide(std::string(text, static_cast<size_t>(std::max(n, 0))));
          b.c_type = SQL_C_WCHAR;
          b.buf.assign((w.size() + 1) * sizeof(char16_t), 0);
          std::memcpy(b.buf.data(), w.data(), w.size() * sizeof(char16_t));
          b.ind = static_cast<SQLLEN>(w.size() * sizeof(char16_t));
          break;
        }
        b.c_type = SQL_C_DOUBLE;
        Guarda<double>(&b, x);
        break;
      }
      case DataType::kDateTime:
        // The server keeps milliseconds: three decimal digits.
        b.c_type = SQL_C_TYPE_TIMESTAMP;
        sql_type = SQL_TYPE_TIMESTAMP;
        size = 23;
        digits = 3;
        Guarda(&b, ParaTimestamp(sends ? p.value.AsDateTime() : 0.0));
        break;
      case DataType::kBinary: {
        b.c_type = SQL_C_BINARY;
        const std::string bytes = !sends                                ? std::string()
                                  : p.value.type() == DataType::kBinary ? p.value.Bytes()
                                                                        : p.value.AsString();
        const size_t room = io == SQL_PARAM_INPUT
                                ? bytes.size()
                                : std::max<size_t>(size ? size : kTextoSemTamanho, bytes.size());
        b.buf.assign(std::max<size_t>(room, 1), 0);
        std::memcpy(b.buf.data(), bytes.data(), bytes.size());
        b.ind = static_cast<SQLLEN>(bytes.size());
        size = std::max<SQLULEN>(std::max<SQLULEN>(size, bytes.size()), 1);
        if (max || size > 2 * kTextoCurtoMax)
          DeclaraMax(SQL_VARBINARY, SQL_LONGVARBINARY, &sql_type, &size);
        break;
      }
      default: {
        // Text goes as Unicode; an output needs room for its real size.
        b.c_type = SQL_C_WCHAR;
        const std::u16string w = Wide(sends ? p.value.AsString() : std::string());
        const size_t chars = io == SQL_PARAM_INPUT
                                 ? w.size()
                                 : std::max<size_t>(size ? size : kTextoSemTamanho, w.size());
        b.buf.assign((chars + 1) * sizeof(char16_t), 0);
        std::memcpy(b.buf.data(), w.data(), w.size() * sizeof(char16_t));
        b.ind = static_cast<SQLLEN>(w.size() * sizeof(char16_t));
        size = std::max<SQLULEN>(std::max<SQLULEN>(size, w.size()), 1);
        if (IsTextType(sql_type)) sql_type = SQL_WVARCHAR;
        if (sql_type == SQL_WVARCHAR && (max || size > kTextoCurtoMax))
          DeclaraMax(SQL_WVARCHAR, SQL_WLONGVARCHAR, &sql_type, &size);
        break;
      }
    }
  } catch (const DatasetError& x) {
    throw ProviderError(ErrorKind::kWrongType,
                        "Parameter " + p.name + " of " + name + ": " + x.what());
  }
  // An output reads as NULL unless the driver writes it: a return value the
  // driver never delivered must not read as the 0 the buffer holds.
  if (io == SQL_PARAM_OUTPUT || p.value.IsNull()) b.ind = SQL_NULL_DATA;
  Check(api_.BindParameter(stmt, position, io, b.c_type, sql_type, size, digits, b.buf.data(),
                           static_cast<SQLLEN>(b.buf.size()), &b.ind),
        SQL_HANDLE_STMT, stmt, "BindParameter " + p.name);
}

void OdbcConnection::DeclaraMax(SQLSMALLINT var, SQLSMALLINT longo, SQLSMALLINT* sql_type,
                                SQLULEN* size) const {
  // Microsoft's driver declares nvarchar(max) for a variable type of size
  // 0 (its long type is ntext, which no output may be); FreeTDS declares
  // nvarchar(1) for that and nvarchar(max) for the long type at TDS 7.2+.
  if (freetds_) {
    *sql_type = longo;
  } else {
    *sql_type = var;
    *size = 0;
  }
}

void OdbcConnection::CallProcedure(const std::string& name, Parameters* params, int timeout_seconds,
                                   std::vector<Recordset>* out) {
  try {
    Chama(name, params, timeout_seconds, out);
  } catch (const ProviderError& e) {
    AposErro(e);
    throw;
  }
  if (in_tran_) tran_usada_ = true;
}

void OdbcConnection::Chama(const std::string& name, Parameters* params, int timeout_seconds,
                           std::vector<Recordset>* out) {
  const Described& d = Describe(name);
  if (params->Count() != d.params.Count())
    throw ProviderError("Procedure <" + name + ">: parameter list differs from the server's");
  Statement stmt(api_, NewStatement(timeout_seconds));
  std::vector<Vinculo> v(static_cast<size_t>(params->Count()));
  std::string call = "{";
  std::string args;
  for (int i = 0; i < params->Count(); ++i) {
    const Parameter& p = (*params)[i];
    if (p.direction == ParamDirection::kReturnValue) {
      call += "? = ";
    } else {
      args += args.empty() ? "?" : ",?";
    }
  }
  call += "call " + name + "(" + args + ")}";
  for (int i = 0; i < params->Count(); ++i) {
    Bind(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), (*params)[i],
         d.sql_types[static_cast<size_t>(i)], name, &v[static_cast<size_t>(i)]);
  }
  std::u16string text = Wide(call);
  std::optional<ProviderError> erro;
  try {
    ReadResults(stmt.get(),
                api_.ExecDirect(stmt.get(), W(text), static_cast<SQLINTEGER>(text.size())), out);
  } catch (const ProviderError& e) {
    // A statement's error does not end the procedure on SQL Server: its
    // return status (the code it meant) and its outputs follow, and are
    // read before the error is raised. A lost link, a timeout or a deadlock
    // victim has nothing more to say.
    if (e.Kind() == ErrorKind::kConnectionLost || e.Kind() == ErrorKind::kTimeout ||
        e.Kind() == ErrorKind::kDeadlock)
      throw;
    erro = e;
    for (int passo = 0; passo < kPassosAposErroMax; ++passo) {
      const SQLRETURN rc = api_.MoreResults(stmt.get());
      if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) break;
    }
  }
  // Only now, after the last result set, are the outputs in place.
  for (int i = 0; i < params->Count(); ++i) {
    Parameter& p = (*params)[i];
    if (p.direction == ParamDirection::kInput) continue;
    const Vinculo& b = v[static_cast<size_t>(i)];
    if (b.ind == SQL_NULL_DATA) {
      p.value = Value();
      continue;
    }
    switch (b.c_type) {
      case SQL_C_SLONG:
        p.value = Value::Int(Le<SQLINTEGER>(b));
        break;
      case SQL_C_SBIGINT:
        p.value = Value::BigInt(Le<SQLBIGINT>(b));
        break;
      case SQL_C_BIT:
        p.value = Value::Bool(Le<unsigned char>(b) != 0);
        break;
      case SQL_C_DOUBLE:
        p.value = Value::Double(Le<double>(b));
        break;
      case SQL_C_TYPE_TIMESTAMP:
        p.value = Value::DateTime(DoTimestamp(Le<SQL_TIMESTAMP_STRUCT>(b)));
        break;
      case SQL_C_BINARY:
        if (b.ind == SQL_NO_TOTAL || static_cast<size_t>(b.ind) > b.buf.size()) Cortado(name, p, b);
        p.value = Value::Binary(
            std::string(reinterpret_cast<const char*>(b.buf.data()), static_cast<size_t>(b.ind)));
        break;
      default: {
        if (b.ind == SQL_NO_TOTAL || static_cast<size_t>(b.ind) > b.buf.size() - 2)
          Cortado(name, p, b);
        const size_t n = static_cast<size_t>(b.ind) / 2;
        std::u16string w(n, u'\0');
        std::memcpy(w.data(), b.buf.data(), n * 2);
        p.value = Value::String(Utf16ToCp1252(w));
      }
    }
  }
  if (erro) throw *erro;
}

void OdbcConnection::Cortado(const std::string& name, const Parameter& p, const OdbcVinculo& b) {
  throw ProviderError("Output " + p.name + " of " + name + " holds " +
                      (b.ind == SQL_NO_TOTAL ? std::string("more") : std::to_string(b.ind)) +
                      " bytes, more than the " + std::to_string(b.buf.size()) + " read");
}

SQLHSTMT OdbcConnection::Preparado(const std::string& sql, int timeout_seconds) {
  if (!IsOpen()) throw LinkClosed();
  // Prepared once per text, then only bound and run.
  auto it = prepared_.find(sql);
  if (it == prepared_.end()) {
    // The program runs a fixed set of texts; a text built with its values
    // would otherwise pile up statements on the server.
    if (prepared_.size() >= kPreparadosMax) {
      for (auto& [text, h] : prepared_) api_.FreeHandle(SQL_HANDLE_STMT, h);
      prepared_.clear();
    }
    SQLHSTMT h = NewStatement(timeout_seconds);
    std::u16string text = Wide(sql);
    const SQLRETURN rc = api_.Prepare(h, W(text), static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      Statement drop(api_, h);
      Fail(SQL_HANDLE_STMT, h, "Prepare");
    }
    it = prepared_.emplace(sql, h).first;
  }
  SQLHSTMT stmt = it->second;
  api_.SetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(timeout_seconds, 0))),
                   0);
  api_.FreeStmt(stmt, SQL_RESET_PARAMS);
  return stmt;
}

int OdbcConnection::ExecuteSqlParamsRows(const std::string& sql,
                                         const std::vector<std::vector<Value>>& rows,
                                         int timeout_seconds) {
  if (rows.size() < 2) return ProviderConnection::ExecuteSqlParamsRows(sql, rows, timeout_seconds);
  SQLHSTMT stmt = Preparado(sql, timeout_seconds);
  // One column of values per parameter, each row at its place in it.
  struct Coluna {
    std::vector<unsigned char> buf;
    std::vector<SQLLEN> ind;
    size_t width = 0;
    SQLSMALLINT c_type = SQL_C_WCHAR, sql_type = SQL_WVARCHAR, digits = 0;
    SQLULEN size = 0;
  };
  int changed = 0;
  for (size_t inicio = 0; inicio < rows.size(); inicio += kLinhasPorEnvio) {
    const size_t n = std::min(kLinhasPorEnvio, rows.size() - inicio);
    std::vector<Coluna> cols(rows[inicio].size());
    try {
      for (size_t j = 0; j < cols.size(); ++j) {
        Coluna& c = cols[j];
        DataType t = DataType::kEmpty;
        size_t largura = 1;  // characters or bytes of the longest value
        for (size_t i = inicio; i < inicio + n; ++i) {
          const Value& v = rows[i].at(j);
          if (v.IsNull()) continue;
          if (t == DataType::kEmpty) t = v.type();
          if (t == DataType::kBinary) largura = std::max(largura, v.Bytes().size());
          if (t != DataType::kBinary && TypeOf(SqlTypeOf(t)) == DataType::kString)
            largura = std::max(largura, Wide(v.AsString()).size());
        }
        c.sql_type = SqlTypeOf(t);
        switch (t) {
          case DataType::kInteger:
            c.c_type = SQL_C_SLONG, c.width = sizeof(SQLINTEGER);
            break;
          case DataType::kBigInt:
            c.c_type = SQL_C_SBIGINT, c.width = sizeof(SQLBIGINT);
            break;
          case DataType::kBoolean:
            c.c_type = SQL_C_BIT, c.width = 1;
            break;
          case DataType::kDouble:
            c.c_type = SQL_C_DOUBLE, c.width = sizeof(double);
            break;
          case DataType::kDateTime:
            c.c_type = SQL_C_TYPE_TIMESTAMP, c.width = sizeof(SQL_TIMESTAMP_STRUCT);
            c.size = 23, c.digits = 3;
            break;
          case DataType::kBinary:
            c.c_type = SQL_C_BINARY, c.width = largura, c.size = largura;
            if (largura > 2 * kTextoCurtoMax)
              DeclaraMax(SQL_VARBINARY, SQL_LONGVARBINARY, &c.sql_type, &c.size);
            break;
          default:
            c.c_type = SQL_C_WCHAR, c.width = (largura + 1) * sizeof(char16_t), c.size = largura;
            c.sql_type = SQL_WVARCHAR;
            if (largura > kTextoCurtoMax)
              DeclaraMax(SQL_WVARCHAR, SQL_WLONGVARCHAR, &c.sql_type, &c.size);
        }
        c.buf.assign(c.width * n, 0);
        c.ind.assign(n, SQL_NULL_DATA);
        for (size_t i = 0; i < n; ++i) {
          const Value& v = rows[inicio + i][j];
          if (v.IsNull()) continue;
          unsigned char* at = c.buf.data() + i * c.width;
          std::string bytes;
          switch (c.c_type) {
            case SQL_C_SLONG: {
              const SQLINTEGER x = v.AsInt();
              std::memcpy(at, &x, sizeof x);
              break;
            }
            case SQL_C_SBIGINT: {
              const SQLBIGINT x = v.AsInt64();
              std::memcpy(at, &x, sizeof x);
              break;
            }
            case SQL_C_BIT:
              *at = v.AsBool() ? 1 : 0;
              break;
            case SQL_C_DOUBLE: {
              const double x = v.AsDouble();
              if (!std::isfinite(x)) throw DatasetError("not a finite number");
              std::memcpy(at, &x, sizeof x);
              break;
            }
            case SQL_C_TYPE_TIMESTAMP: {
              const SQL_TIMESTAMP_STRUCT x = ParaTimestamp(v.AsDateTime());
              std::memcpy(at, &x, sizeof x);
              break;
            }
            case SQL_C_BINARY:
              bytes = v.type() == DataType::kBinary ? v.Bytes() : v.AsString();
              break;
            default: {
              const std::u16string w = Wide(v.AsString());
              bytes.assign(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(char16_t));
            }
          }
          if (c.c_type == SQL_C_BINARY || c.c_type == SQL_C_WCHAR) {
            if (bytes.size() > c.width) throw DatasetError("not of the column's type");
            std::memcpy(at, bytes.data(), bytes.size());
            c.ind[i] = static_cast<SQLLEN>(bytes.size());
          } else {
            c.ind[i] = static_cast<SQLLEN>(c.width);
          }
        }
      }
    } catch (const DatasetError& x) {
      throw ProviderError(ErrorKind::kWrongType, "Rows of " + sql + ": " + x.what());
    }
    std::vector<SQLUSMALLINT> status(n, SQL_PARAM_UNUSED);
    SQLULEN feitas = 0;
    const auto attr = [&](SQLINTEGER a, SQLPOINTER v) { api_.SetStmtAttr(stmt, a, v, 0); };
    attr(SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN));
    attr(SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(n)));
    attr(SQL_ATTR_PARAM_STATUS_PTR, status.data());
    attr(SQL_ATTR_PARAMS_PROCESSED_PTR, &feitas);
    // The statement serves single rows again afterwards, also after a failure.
    const auto restaura = [&] {
      api_.FreeStmt(stmt, SQL_CLOSE);
      attr(SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)));
      attr(SQL_ATTR_PARAM_STATUS_PTR, nullptr);
      attr(SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr);
      api_.FreeStmt(stmt, SQL_RESET_PARAMS);
    };
    SQLLEN linhas = 0;
    try {
      for (size_t j = 0; j < cols.size(); ++j) {
        Coluna& c = cols[j];
        Check(api_.BindParameter(stmt, static_cast<SQLUSMALLINT>(j + 1), SQL_PARAM_INPUT, c.c_type,
                                 c.sql_type, c.size, c.digits, c.buf.data(),
                                 static_cast<SQLLEN>(c.width), c.ind.data()),
              SQL_HANDLE_STMT, stmt, "BindParameter @" + std::to_string(j + 1));
      }
      const SQLRETURN rc = api_.Execute(stmt);
      ReadResults(stmt, rc, nullptr, &linhas);
      for (SQLUSMALLINT st : status) {
        if (st != SQL_PARAM_ERROR) continue;
        std::vector<Diagnostico> d = avisos_;
        const std::vector<Diagnostico> agora = Diagnosticos(SQL_HANDLE_STMT, stmt);
        d.insert(d.end(), agora.begin(), agora.end());
        Falha(d, "Execute (a row of the array)");
      }
    } catch (const ProviderError& e) {
      restaura();
      AposErro(e);
      throw;
    }
    restaura();
    changed += linhas > 0 ? static_cast<int>(linhas) : 0;
  }
  if (in_tran_) tran_usada_ = true;
  return changed;
}

int OdbcConnection::ExecuteSqlParams(const std::string& sql, const std::vector<Value>& binds,
                                     int timeout_seconds, std::vector<Recordset>* out) {
  SQLHSTMT stmt = Preparado(sql, timeout_seconds);
  std::vector<OdbcVinculo> v(binds.size());
  for (size_t i = 0; i < binds.size(); ++i) {
    Parameter p;
    p.name = "@" + std::to_string(i + 1);
    p.type = binds[i].type();
    p.value = binds[i];
    Bind(stmt, static_cast<SQLUSMALLINT>(i + 1), p, 0, sql, &v[i]);
  }
  SQLLEN rows = 0;
  try {
    ReadResults(stmt, api_.Execute(stmt), out, &rows);
  } catch (const ProviderError& e) {
    api_.FreeStmt(stmt, SQL_CLOSE);
    AposErro(e);
    throw;
  } catch (...) {
    api_.FreeStmt(stmt, SQL_CLOSE);
    throw;
  }
  api_.FreeStmt(stmt, SQL_CLOSE);
  if (in_tran_) tran_usada_ = true;
  return rows > 0 ? static_cast<int>(rows) : 0;
}

void OdbcConnection::Begin(SQLULEN level) {
  if (!IsOpen()) throw LinkClosed();
  Isolamento(level);
  Check(api_.SetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
        SQL_HANDLE_DBC, dbc_, "BeginTransaction");
  in_tran_ = true;
  tran_usada_ = false;
}

// Serializable only inside the session's transactions: a look-up outside
// one would otherwise hold key-range locks.
void OdbcConnection::BeginTransaction() { Begin(SQL_TXN_SERIALIZABLE); }

// A group's reads hold no locks past themselves; its writes hold theirs
// until the group commits.
void OdbcConnection::BeginGroupTransaction() { Begin(SQL_TXN_READ_COMMITTED); }

void OdbcConnection::Controle(const std::string& sql) {
  if (!in_tran_) throw ProviderError(sql + ": no transaction is open");
  ExecuteSql(sql, kPedidoTimeout, nullptr);
}

// The level goes by text: the driver's own setting stays read committed,
// and the server's follows the text (and is read committed again once the
// nest ends).
void OdbcConnection::Savepoint(const std::string& name) {
  Controle("SET TRANSACTION ISOLATION LEVEL SERIALIZABLE");
  Controle("SAVE TRANSACTION " + name);
}

void OdbcConnection::ReleaseSavepoint(const std::string&) {
  Controle("SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
}

void OdbcConnection::RollbackToSavepoint(const std::string& name) {
  Controle("ROLLBACK TRANSACTION " + name);
}

void OdbcConnection::EndTransaction(SQLSMALLINT completion) {
  if (!IsOpen()) throw LinkClosed();
  in_tran_ = false;
  tran_usada_ = false;
  try {
    Check(api_.EndTran(SQL_HANDLE_DBC, dbc_, completion), SQL_HANDLE_DBC, dbc_,
          completion == SQL_COMMIT ? "Commit" : "Rollback");
  } catch (const ProviderError&) {
    // A failed commit leaves no transaction to go on with: the rest of the
    // program must not run in one that nobody ends.
    AbandonaTransacao();
    throw;
  }
  // The transaction has ended as asked: a link that cannot go back to
  // autocommit is given up, not reported as a failed commit.
  RestauraAutocommit(completion == SQL_COMMIT ? "commit" : "rollback");
}

void OdbcConnection::Commit() { EndTransaction(SQL_COMMIT); }
void OdbcConnection::Rollback() { EndTransaction(SQL_ROLLBACK); }

}  // namespace zun
