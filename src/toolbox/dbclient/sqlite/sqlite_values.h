// The values of the embedded provider as SQLite takes and gives them: the
// client layer's values bound to a statement and read from its columns
// (text is Windows-1252 in the program and UTF-8 in the file; dates are
// stored as text, or as day numbers by older writers, in columns declared
// as dates or times), a caller's value converted to a procedure
// parameter's declared type, and SQLite's failures as ProviderError.
//
// Thread-safety: pure functions, except that the statement and connection
// they are given belong to the calling thread.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/value.h"

namespace zun {

// s without the blanks, tabs and line ends around it.
std::string SqliteTrim(const std::string& s);

// The kind of an SQLite (extended) result code: a file that vanished or
// cannot be read any more is a lost link; a lock held past the busy wait is
// a timeout.
ErrorKind SqliteKindOf(int extended_code);

// Raises ProviderError "<what>: <db's last message>" with db's last code and
// its kind; db may be null.
[[noreturn]] void SqliteFail(sqlite3* db, const std::string& what);

// The text of a day number as stored in date-time columns:
// "yyyy-mm-dd hh:mm:ss", with ".mmm" when there are milliseconds.
std::string SqliteDateTimeText(double dt);

// Whether a declared column type names a date or a time; false for null.
bool SqliteIsDateTimeDecl(const char* decl);

// For each of st's ncol columns, whether it is declared as a date or time.
std::vector<char> SqliteDateTimeColumns(sqlite3_stmt* st, int ncol);

// Column i of st's current row: integers as Int when they fit, else BigInt;
// in a date-time column (date_time) a day number or a text that reads as a
// date comes as DateTime.
Value SqliteColumnValue(sqlite3_stmt* st, int i, bool date_time);

// Binds v to parameter i (from 1) of st. Raises ProviderError on failure.
void SqliteBind(sqlite3* db, sqlite3_stmt* st, int i, const Value& v);

// v converted to the declared type of a procedure parameter, as a server
// does; NULL stays NULL. Raises ProviderError (kWrongType) when it does not
// fit.
Value SqliteCoerce(const Value& v, DataType type);

}  // namespace zun
