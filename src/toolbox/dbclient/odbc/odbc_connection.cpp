#include "toolbox/dbclient/odbc/odbc_connection.h"

#include <algorithm>
#include <optional>

#include "foundation/log.h"
#include "foundation/text.h"
#include "toolbox/dbclient/odbc/odbc_connection_string.h"

namespace zun {

namespace {

// Rows of a parameter array sent in one request.
constexpr size_t kLinhasPorEnvio = 1000;
// Steps of a procedure's answer read after a statement's error, at most.
constexpr int kPassosAposErroMax = 64;
// Prepared texts kept per connection.
constexpr size_t kPreparadosMax = 64;

}  // namespace

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
    const OdbcDriver drv = FindOdbcDriver(api_, env_, cs);
    freetds_ = IsFreeTdsDriver(cs, drv);
    // FreeTDS reads a CA file only from freetds.conf, which "Server=" skips.
    if (freetds_ && !NamesOdbcDataSource(cs)) {
      Loga(
          "ODBC: FreeTDS without a data source: the server's certificate is not checked; to "
          "check it, name a data source (OdbcDsn) whose freetds.conf section gives \"ca file\"");
    }
    std::string narrow = OdbcConnectionString(cs, drv);
    text = OdbcWide(narrow);
    ApagaTexto(&narrow);
  } catch (...) {
    api_.FreeHandle(SQL_HANDLE_DBC, dbc);
    Close();
    throw;
  }
  SQLSMALLINT out_len = 0;
  const SQLRETURN rc =
      api_.DriverConnect(dbc, nullptr, OdbcChars(text), static_cast<SQLSMALLINT>(text.size()),
                         nullptr, 0, &out_len, SQL_DRIVER_NOPROMPT);
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

void OdbcConnection::Falhou(const ProviderError& e) {
  if (e.Kind() == ErrorKind::kConnectionLost) {
    lost_ = true;
    in_tran_ = false;
  }
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

void OdbcConnection::Direto(const std::string& sql, int timeout_seconds,
                            std::vector<Recordset>* out) {
  OdbcStatement stmt(api_, NewStatement(timeout_seconds));
  std::u16string text = OdbcWide(sql);
  ReadOdbcResults(
      *this, stmt.get(),
      api_.ExecDirect(stmt.get(), OdbcChars(text), static_cast<SQLINTEGER>(text.size())), out);
}

void OdbcConnection::ExecuteSql(const std::string& sql, int timeout_seconds,
                                std::vector<Recordset>* out) {
  try {
    Direto(sql, timeout_seconds, out);
  } catch (const ProviderError& e) {
    AposErro(e);
    throw;
  }
  if (in_tran_) tran_usada_ = true;
}

const OdbcProcedure& OdbcConnection::Describe(const std::string& name) {
  const std::string key = Maiusculas(name);
  auto it = procs_.find(key);
  if (it != procs_.end()) return it->second;
  OdbcStatement stmt(api_, NewStatement(kPedidoTimeout));
  return procs_.emplace(key, DescribeOdbcProcedure(*this, stmt.get(), name)).first->second;
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
                          SQLSMALLINT sql_type, const std::string& name, OdbcVinculo* b) {
  const OdbcDeclaracao d = EncodeOdbcParameter(p, sql_type, freetds_, name, b);
  Check(api_.BindParameter(stmt, position, d.io, b->c_type, d.sql_type, d.size, d.digits,
                           b->buf.data(), static_cast<SQLLEN>(b->buf.size()), &b->ind),
        SQL_HANDLE_STMT, stmt, "BindParameter " + p.name);
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
  const OdbcProcedure& d = Describe(name);
  if (params->Count() != d.params.Count())
    throw ProviderError("Procedure <" + name + ">: parameter list differs from the server's");
  OdbcStatement stmt(api_, NewStatement(timeout_seconds));
  std::vector<OdbcVinculo> v(static_cast<size_t>(params->Count()));
  for (int i = 0; i < params->Count(); ++i) {
    Bind(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), (*params)[i],
         d.sql_types[static_cast<size_t>(i)], name, &v[static_cast<size_t>(i)]);
  }
  std::u16string text = OdbcWide(OdbcCallText(name, *params));
  std::optional<ProviderError> erro;
  try {
    ReadOdbcResults(
        *this, stmt.get(),
        api_.ExecDirect(stmt.get(), OdbcChars(text), static_cast<SQLINTEGER>(text.size())), out);
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
    p.value = DecodeOdbcOutput(name, p, v[static_cast<size_t>(i)]);
  }
  if (erro) throw *erro;
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
    std::u16string text = OdbcWide(sql);
    const SQLRETURN rc = api_.Prepare(h, OdbcChars(text), static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      OdbcStatement drop(api_, h);
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
  int changed = 0;
  for (size_t inicio = 0; inicio < rows.size(); inicio += kLinhasPorEnvio) {
    const size_t n = std::min(kLinhasPorEnvio, rows.size() - inicio);
    std::vector<OdbcColumn> cols;
    try {
      cols = EncodeOdbcColumns(rows, inicio, n, freetds_);
    } catch (const DatasetError& x) {
      throw ProviderError(ErrorKind::kWrongType, "Rows of " + sql + ": " + x.what());
    }
    SQLLEN linhas = 0;
    try {
      linhas = SendOdbcColumns(*this, stmt, &cols, n);
    } catch (const ProviderError& e) {
      AposErro(e);
      throw;
    }
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
    ReadOdbcResults(*this, stmt, api_.Execute(stmt), out, &rows);
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

}  // namespace zun
