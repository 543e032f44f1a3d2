// The reference database of the embedded provider: creating a database file
// with the schema, adding its users, and registering every stored procedure
// the service calls.
//
// Thread-safety: InitDatabase and AddUser open their own connection to the
// file; RegisterDatabaseProcedures is meant for start-up (the catalog itself
// is safe to read from any thread).
#pragma once

#include <cstdint>
#include <string>

#include "embedded/codes.h"

namespace zun {

// The schema (the text of schema.sql) and the version it writes.
extern const char kSchemaSql[];
inline constexpr int kSchemaVersion = 16;

// Creates the database file path with the schema. Raises ProviderError when
// the file already exists (an existing database is never overwritten), when
// a journal of an earlier file of that name is left ("-wal", "-journal"),
// or the schema fails; a failed creation leaves no file behind.
void InitDatabase(const std::string& path);

// The longest user name (a server's login names are at most this long). The
// service builds the local copy's name from it, which must fit a file name.
inline constexpr size_t kMaxUserNameLength = 128;

struct NewUser {
  std::string name;
  std::string password;  // empty: only integrated security admits the user
  std::string email;
  bool is_admin = false;
  int32_t user_flags = 0;
  int32_t lingua = 0;
  int32_t source_do_bal = 0;
};

// Adds a user to the database file path; returns its uid. Texts are
// Windows-1252. Only the salted hash of the password is stored. Raises
// ProviderError when the name is empty, longer than kMaxUserNameLength, has
// outer blanks or control characters, or is taken (letter case ignored), or
// the file is no database.
int64_t AddUser(const std::string& path, const NewUser& user);

// Registers every procedure of the reference database with the embedded
// provider (idempotent). Call before the first connection is opened.
void RegisterDatabaseProcedures();

}  // namespace zun
