// The connection string of the SQL Server provider and the driver it
// selects. The ADO-style connection string ("Data Source", "Initial
// Catalog", "User ID", "Password", "Integrated Security", "Application
// Name") becomes an ODBC one; the keys "Odbc DSN" (a data source of
// odbc.ini) or "Odbc Driver" (a driver of odbcinst.ini, "FreeTDS" when
// neither is given) pick the driver, whose library the driver manager's
// lists name.
//
// Thread-safety: pure functions, but for the files and lists they read.
#pragma once

#include <string>

#include "toolbox/dbclient/odbc/odbc_api.h"
#include "toolbox/dbclient/provider.h"

namespace zun {

// What is known of the ODBC driver before connecting.
struct OdbcDriver {
  std::string library;      // the driver's library file; "" when not found
  int freetds_version = 0;  // FreeTDS's major * 100 + minor from the library; 0 unknown
};

// The FreeTDS version (major * 100 + minor) written in the driver library
// at path ("freetds vX.Y.Z"); 0 when the file cannot be read or holds none.
int FreeTdsLibraryVersion(const std::string& path);

// The ODBC connection string for the ADO-style cs (see above) and the
// driver it selects. Values are enclosed in braces only when they need it.
// FreeTDS (by the driver's name or library) gets the port, "TDS_Version=7.4"
// and "ClientCharset=CP1252". A data source ("Odbc DSN") gets no "Server"
// (its own counts). TLS is required (FreeTDS "Encryption=require", others
// "Encrypt=yes") unless "Use Encryption for Data" is False (FreeTDS
// "Encryption=request", others "Encrypt=no"). Drivers other than FreeTDS get
// "ConnectRetryCount=0": the session, not the driver, reconnects. FreeTDS before 1.4 ends a braced
// value at the first
// "}" followed by ";" and does not undo "}}": there, or when its version is unknown, a value
// holding "}" raises ProviderError instead (the message names the key, never the value).
std::string OdbcConnectionString(const ConnectionString& cs, const OdbcDriver& driver = {});

// Whether cs names a data source ("Odbc DSN").
bool NamesOdbcDataSource(const ConnectionString& cs);

// Whether the driver cs selects is FreeTDS, by its name or by the library
// of driver.
bool IsFreeTdsDriver(const ConnectionString& cs, const OdbcDriver& driver);

// The library and version of the driver cs selects, from the driver
// manager's lists (through api, on the environment env); nothing is known
// when api has no lists.
OdbcDriver FindOdbcDriver(const OdbcApi& api, SQLHENV env, const ConnectionString& cs);

}  // namespace zun
