// The embedded provider: the client layer over a SQLite file that the
// embedded server (embedded_server.h) answers logins and procedures for.
// Its parts: the connection, its file and its turns (sqlite_connection.h,
// sqlite_turns.h), the values and failures (sqlite_values.h).
//
// Thread-safety: RegisterSqliteProvider as the registry's; see the parts for
// the rest.
#pragma once

#include "toolbox/dbclient/sqlite/embedded_server.h"
#include "toolbox/dbclient/sqlite/sqlite_connection.h"

namespace zun {

// The provider's name in connection strings.
inline constexpr char kSqliteProviderName[] = "SQLite";

// Registers the embedded provider under "SQLite" again, after a test
// replaced it (the registry knows it without registration).
void RegisterSqliteProvider();

}  // namespace zun
