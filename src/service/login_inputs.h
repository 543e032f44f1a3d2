// The login's inputs: user, password, server, database and provider from the
// arguments, the command-line switches and, as a last resort, a prompt on
// the terminal; the guard on the target database; the connection string.
//
// Thread-safety: main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zun {

// The build's database; the guard refuses any other pair.
inline constexpr char kDatabasePadrao[] = "ZunInput";
inline constexpr char kProviderPadrao[] = "SQLOLEDB.1";
// The server and database this installation may import into: the
// configuration file's "sqlserver" and "database", else the build's
// (ZUN_DEFAULT_SQLSERVER, kDatabasePadrao).
const char* ServidorPadrao();
const char* DatabasePadrao();

struct DadosDeLogin {
  std::string user;
  std::string password;
  std::string server;
  std::string database;
  std::string provider;
  // The ODBC driver or data source of the SQL Server provider ("OdbcDriver",
  // "OdbcDsn"); empty: the provider's default.
  std::string odbc_driver = {};
  std::string odbc_dsn = {};
  // "OdbcNoEncryption": the SQL Server provider does not require TLS (for a
  // server without it); the login logs it.
  bool sem_criptografia = false;
  // The data source's driver from odbc.ini; server then holds the source's
  // own "Server" (and ",Port"), the one the connection reaches.
  std::string driver_da_fonte = {};
  // The data source's FreeTDS "Servername" (a section of freetds.conf);
  // server then holds that section's host (",port" or "\\instance").
  std::string servername_da_fonte = {};
};

// Asks for user name and password; false when the user cancels.
using PedidoDeLogin = std::function<bool(std::string* user, std::string* password)>;

// Prompts on the terminal (password not echoed) when standard input is one;
// otherwise answers "cancelled", as a service without a user must.
bool PedeLoginNoTerminal(std::string* user, std::string* password);

// Fills the target of *d (server, database, provider, ODBC driver and data
// source, encryption) from the switches over the configuration's defaults.
// With a data source of the SQL Server provider the connection goes where
// odbc.ini sends it, so d->server becomes the source's "Server" (with
// ",Port" when set) and d->driver_da_fonte its "Driver", read with
// SQLGetPrivateProfileString ($ODBCINI or ~/.odbc.ini before the system's
// odbc.ini, as the driver manager reads them); a FreeTDS "Servername" is
// followed into freetds.conf as FreeTDS follows it (its "host", "port" or
// "instance"). Returns 0, or 4218 when the source is not in odbc.ini, names
// no "Server", or names a "Servername" no freetds.conf holds with a host;
// *msg_erro then says which.
[[nodiscard]] int32_t LeAlvoDoLogin(DadosDeLogin* d, std::string* msg_erro);

// The run's target in words for the log: "config:<" + the configuration
// file or "none" + "> provider:" ... " server:" ... " port:" (or
// " instance:") ... " database:" ... and for the SQL Server provider
// " driver:" (and " dsn:", with "(odbc.ini)" after what the source gave).
std::string DescreveAlvo(const DadosDeLogin& d);

// Fills *d from user and password (the arguments; an empty user is taken
// from the "user" switch, an empty password from LeSenhaDoLogin, then both
// from ask; with the switch "IntegratedSecurity" and no user, nothing is
// asked and the login uses integrated security) and from the "sqlserver",
// "database" and "provider" switches over the defaults (LeAlvoDoLogin),
// then applies the target guard to the server the connection reaches. Returns 0, 4274 (the
// configuration file is refused; *msg_erro says why), 4273 (the password file is refused; *msg_erro
// says why), 4272 (prompt cancelled), 4217 (server, database or provider empty) or 4218 (not the
// default database@server, compared by host; *msg_erro gets "s@d:<" + database + "@" + server +
// ">").
[[nodiscard]] int32_t LeDadosDeLogin(const std::string& user, const std::string& password,
                                     const PedidoDeLogin& ask, DadosDeLogin* d,
                                     std::string* msg_erro);

// The connection string: provider, data source, catalog, application name,
// then SQL Server login fields for a user name or integrated security, and
// "Use Encryption for Data=False" when d.sem_criptografia.
std::string MontaStringDeConexao(const DadosDeLogin& d);

}  // namespace zun
