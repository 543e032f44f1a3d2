// The commands on the embedded file as a whole: init creates it with the
// current schema and reference data, sql runs one statement on it.
//
// Thread-safety: single-threaded; each command opens the file itself.
#pragma once

#include <string>

#include "zuninput_db/command_line.h"

namespace zun::dbtool {

// "init": creates the file at path and prints its schema version.
int Init(const Args& a, const std::string& path);

// "sql STATEMENT": runs one statement, prints its rows, or the rows it
// changed on standard error.
int Sql(const Args& a, const std::string& path);

}  // namespace zun::dbtool
