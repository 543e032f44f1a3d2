#include "toolbox/dbclient/sqlite/sqlite_connection.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_turns.h"
#include "toolbox/dbclient/sqlite/sqlite_values.h"

namespace zun {

sqlite3* OpenSqliteFile(const std::string& path, bool create) {
  struct stat st {};
  if (!create && ::stat(path.c_str(), &st) != 0) {
    throw ProviderError("Cannot open database \"" + path + "\": the file does not exist");
  }
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    const std::string msg = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    throw ProviderError("Cannot open database \"" + path + "\": " + msg);
  }
  sqlite3_busy_timeout(db, kSqliteBusyTimeoutMs);
  char* err = nullptr;
  const char* pragmas =
      "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;";
  if (sqlite3_exec(db, pragmas, nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err != nullptr ? err : "?";
    sqlite3_free(err);
    sqlite3_close_v2(db);
    throw ProviderError("Cannot open database \"" + path + "\": " + msg);
  }
  return db;
}

SqliteConnection::~SqliteConnection() { Close(); }

std::string SqliteCatalogPath(const ConnectionString& cs) {
  const std::string catalog = SqliteTrim(cs.Get("Initial Catalog"));
  if (catalog.empty()) throw ProviderError("No Initial Catalog in the connection string");
  if (catalog.find('/') != std::string::npos || catalog.find('\\') != std::string::npos ||
      catalog == "." || catalog == "..") {
    throw ProviderError("Invalid Initial Catalog <" + catalog + ">");
  }
  std::string dir = SqliteTrim(cs.Get("Data Directory"));
  if (!dir.empty() && dir.back() != '/') dir += '/';
  const std::string exact = catalog + ".db";
  struct stat st {};
  if (::stat((dir + exact).c_str(), &st) == 0) return dir + exact;
  // A server's catalog names ignore letter case, and so does the login's
  // guard on the catalog: "zuninput" finds ZunInput.db.
  std::string found;
  if (DIR* d = ::opendir(dir.empty() ? "." : dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (strcasecmp(e->d_name, exact.c_str()) != 0) continue;
      if (!found.empty()) {
        ::closedir(d);
        throw ProviderError("Several database files match the catalog <" + catalog + ">");
      }
      found = e->d_name;
    }
    ::closedir(d);
  }
  return dir + (found.empty() ? exact : found);
}

void SqliteConnection::Open(const ConnectionString& cs) {
  Close();
  path_ = SqliteCatalogPath(cs);
  db_ = OpenSqliteFile(path_, false);
  // Checked later by its full name: a change of the working directory is
  // not a replaced file.
  std::error_code ec;
  const std::filesystem::path absoluto = std::filesystem::absolute(path_, ec);
  if (!ec) path_ = absoluto.string();
  // Waits for the write lock are polled and signalled (Espera), within the
  // same bound as the busy timeout.
  sqlite3_busy_handler(db_, &SqliteConnection::Espera, this);
  // Takes the place of the automatic checkpoint (LongSeries).
  limite_do_wal_ = kPaginasDoWal;
  paginas_no_wal_ = 0;
  sqlite3_wal_hook(db_, &SqliteConnection::DepoisDoCommit, this);
  // The server learns what may change what it keeps of the file.
  escritas_.clear();
  sqlite3_set_authorizer(db_, &SqliteConnection::Autoriza, this);
  sqlite3_rollback_hook(db_, &SqliteConnection::DepoisDoRollback, this);
  struct stat st {};
  try {
    if (::stat(path_.c_str(), &st) != 0)
      throw ProviderError("Cannot open database \"" + path_ + "\"");
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    servidor_ = MakeEmbeddedServer(*this);
    if (servidor_ == nullptr) {
      throw ProviderError("Login failed: this program hosts no embedded database server");
    }
    login_user_ = servidor_->Login(cs);
    current_user_ = login_user_;
  } catch (...) {
    Close();
    throw;
  }
}

bool SqliteConnection::MesmoArquivo() const {
  struct stat st {};
  return ::stat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
}

void SqliteConnection::ConfereArquivo() const {
  if (db_ == nullptr) throw LinkClosed();
  if (!MesmoArquivo()) {
    throw ProviderError(ErrorKind::kConnectionLost,
                        "The database file \"" + path_ + "\" was deleted or replaced");
  }
}

void SqliteConnection::Close() {
  internas_.Clear();
  textos_.Clear();
  // The journal files go by the path's name: when the path names another
  // file now, a checkpoint on close would write into, and then delete, the
  // new file's journal.
  if (db_ != nullptr && !MesmoArquivo()) {
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  }
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  savepoint_depth_ = 0;
  leitura_aberta_ = false;
  leitura_max_ms_ = 0;
  esperando_ = false;
  if (sinal_fd_ >= 0) ::close(sinal_fd_);
  sinal_fd_ = -1;
  login_user_.clear();
  current_user_.clear();
  servidor_.reset();
}

std::shared_ptr<const EmbeddedServer::Procedure> SqliteConnection::Procedimento(
    const std::string& name) {
  if (db_ == nullptr) throw LinkClosed();
  std::shared_ptr<const EmbeddedServer::Procedure> e = servidor_->Find(name);
  if (e == nullptr) throw ProviderError("Could not find stored procedure '" + name + "'.");
  return e;
}

Parameters SqliteConnection::DescribeProcedure(const std::string& name) {
  return servidor_->Describe(*Procedimento(name));
}

}  // namespace zun
