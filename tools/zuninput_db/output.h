// How zuninput-db prints rows: tab-separated with a header line, NULL as
// empty, blobs as their size, tabs, line breaks and backslashes escaped;
// or, for the queue on SQL Server, as the embedded file's JSON.
//
// Thread-safety: writes to the given stream or standard output only.
#pragma once

#include <sqlite3.h>

#include <ostream>

#include "zuninput_db/sqlite_file.h"

namespace zun {
class Command;
}

namespace zun::dbtool {

// Steps st to the end, printing a header and one line per row when it has
// columns. Raises Failure.
void PrintRows(DbFile& db, sqlite3_stmt* st, std::ostream& out);

// Prints cmd's current result set to standard output as PrintRows does, or
// as a JSON array of objects when json (the embedded file's "queue --json");
// nothing when cmd has no result set.
void ImprimeLinhas(Command& cmd, bool json);

}  // namespace zun::dbtool
