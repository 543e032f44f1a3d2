#include "embedded/reference_db.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "embedded/import_files.h"
#include "embedded/password_hash.h"
#include "embedded/procedure_sets.h"
#include "embedded/queue_admin.h"
#include "foundation/text_1252.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {

namespace {

struct Handle {
  sqlite3* db = nullptr;
  ~Handle() {
    if (db != nullptr) sqlite3_close_v2(db);
  }
};

void Check(sqlite3* db, int rc, const std::string& what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw ProviderError(what + ": " + sqlite3_errmsg(db));
  }
}

}  // namespace

void InitDatabase(const std::string& path) {
  struct stat st {};
  // A journal left by an earlier file of the same name would be replayed
  // into the new database.
  for (const char* suffix : {"-wal", "-journal"}) {
    if (lstat((path + suffix).c_str(), &st) == 0) {
      throw ProviderError("a journal file of an earlier database exists: " + path + suffix +
                          " (remove it first)");
    }
  }
  // O_EXCL: of two concurrent creations only one gets the file. It holds
  // password hashes and every queued file: the owner alone may read it (the
  // journal files SQLite makes beside it take the same mode).
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) throw ProviderError("the database file already exists: " + path);
    throw ProviderError("cannot create the database file " + path + ": " + std::strerror(errno));
  }
  close(fd);
  try {
    Handle h;
    h.db = OpenSqliteFile(path, /*create=*/false);
    char* err = nullptr;
    const std::string script = std::string("BEGIN;\n") + kSchemaSql + "\nCOMMIT;";
    if (sqlite3_exec(h.db, script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err != nullptr ? err : "unknown error";
      sqlite3_free(err);
      throw ProviderError("the schema could not be applied to " + path + ": " + msg);
    }
  } catch (...) {
    unlink(path.c_str());
    unlink((path + "-wal").c_str());
    unlink((path + "-shm").c_str());
    throw;
  }
}

int64_t AddUser(const std::string& path, const NewUser& u) {
  // Logins pass through trimmed parameters: a name with outer blanks or
  // control characters could never log in or be switched to.
  const bool bad_char = std::any_of(u.name.begin(), u.name.end(),
                                    [](char ch) { return static_cast<unsigned char>(ch) < 32; });
  if (u.name.empty() || bad_char || u.name.front() == ' ' || u.name.back() == ' ') {
    throw ProviderError("invalid user name <" + u.name + ">");
  }
  if (u.name.size() > kMaxUserNameLength) {
    throw ProviderError("a user name has at most " + std::to_string(kMaxUserNameLength) +
                        " characters, not " + std::to_string(u.name.size()));
  }
  Handle h;
  h.db = OpenSqliteFile(path, /*create=*/false);
  sqlite3_stmt* st = nullptr;
  Check(h.db,
        sqlite3_prepare_v2(h.db,
                           "INSERT INTO users (name, password_hash, email, is_admin, user_flags, "
                           "lingua, source_do_bal, created) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, datetime('now', 'localtime'))",
                           -1, &st, nullptr),
        "adding user " + u.name);
  const std::string name = Cp1252ToUtf8(u.name);
  const std::string email = Cp1252ToUtf8(u.email);
  const std::string hash = u.password.empty() ? std::string() : HashPassword(u.password);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, hash.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 3, email.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(st, 4, u.is_admin ? 1 : 0);
  sqlite3_bind_int(st, 5, u.user_flags);
  sqlite3_bind_int(st, 6, u.lingua);
  sqlite3_bind_int(st, 7, u.source_do_bal);
  const int rc = sqlite3_step(st);
  const int ext = sqlite3_extended_errcode(h.db);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE && ext == SQLITE_CONSTRAINT_UNIQUE) {
    throw ProviderError("a user named " + u.name + " already exists");
  }
  Check(h.db, rc, "adding user " + u.name);
  return sqlite3_last_insert_rowid(h.db);
}

void RegisterDatabaseProcedures() {
  RegisterImportFilesProcedures();
  RegisterQueueAdminProcedures();
  RegisterLoginProcedures();
  RegisterReferenceProcedures();
  RegisterSmallTableProcedures();
  RegisterObjectProcedures();
  RegisterEventProcedures();
  RegisterQuoteProcedures();
  RegisterNameProcedures();
  RegisterIndicatorProcedures();
  RegisterShareBaseProcedures();
  RegisterOwnershipProcedures();
  RegisterStatementProcedures();
}

}  // namespace zun
