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

namespace zun {

// The schema (the text of schema.sql) and the version it writes.
extern const char kSchemaSql[];
inline constexpr int kSchemaVersion = 14;

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

// Result codes of the login and queue procedures (their return values).
// The client version is older than the minimum kept in the settings table
// ("CheckClientVersionV2").
inline constexpr int32_t kErrClientVersionTooOld = 50301;
// The connection's current user is not (or no longer) in the users table
// ("GetInfoDoUsuario").
inline constexpr int32_t kErrCurrentUserUnknown = 50302;
// The connection did not log in as an administrator, so it may not take
// another user's identity ("ChamaSetuser").
inline constexpr int32_t kErrSetuserNotAdmin = 50303;
// No user of that name ("ChamaSetuser").
inline constexpr int32_t kErrSetuserUnknownUser = 50304;
// The "result" of "ImportFilesNext" when no entry may be handed out now.
inline constexpr int32_t kImportFilesNothing = 4072;
// The "result" of "ImportFilesNext" when the entry's owner is not in the
// users table; the try is counted.
inline constexpr int32_t kErrImportFileOwnerUnknown = 50104;
// The "result" of "ImportFilesNext" when the connection did not log in as
// an administrator; nothing is handed out or counted.
inline constexpr int32_t kErrImportFilesNotAdmin = 50105;
// The "result" of "ImportFilesNext" when it hands out, for the record, an
// entry whose process died on its last try (its lease ran out before an
// outcome was recorded): the row follows, and the caller records the
// failure with this code, tells the operators and mails the owner.
inline constexpr int32_t kErrImportFileProcessDied = 50106;
// The caller's "@lease" is no longer the entry's: another process took the
// entry after the lease ran out, or its outcome is recorded
// ("ImportFilesRenova", "ImportFilesResult"); nothing is changed.
inline constexpr int32_t kErrImportFileLeaseLost = 50107;
// "@id" is not an entry of the queue ("ImportFilesResult").
inline constexpr int32_t kErrImportFileUnknownId = 50101;
// "@res" is NULL: the outcome is unknown ("ImportFilesResult").
inline constexpr int32_t kErrImportFileNoResult = 50102;
// The entry was already imported successfully ("ImportFilesResult").
inline constexpr int32_t kErrImportFileAlreadyDone = 50103;

// Registers every procedure of the reference database with the embedded
// provider (idempotent). Call before the first connection is opened.
void RegisterDatabaseProcedures();

}  // namespace zun
