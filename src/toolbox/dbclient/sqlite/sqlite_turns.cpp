#include "toolbox/dbclient/sqlite/sqlite_turns.h"

#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "foundation/log.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_connection.h"
#include "toolbox/dbclient/sqlite/sqlite_values.h"

namespace zun {
namespace {

int ProgressHandler(void* arg) {
  auto* deadline = static_cast<std::chrono::steady_clock::time_point*>(arg);
  return std::chrono::steady_clock::now() > *deadline ? 1 : 0;
}

}  // namespace

SqlitePrazo::SqlitePrazo(sqlite3* db, std::chrono::steady_clock::time_point* deadline,
                         int timeout_seconds)
    : db_(db) {
  *deadline = std::chrono::steady_clock::now() +
              std::chrono::seconds(timeout_seconds > 0 ? timeout_seconds : 86400);
  sqlite3_progress_handler(db_, 10000, ProgressHandler, deadline);
}

void SqliteConnection::CallProcedure(const std::string& name, Parameters* params,
                                     int timeout_seconds, std::vector<Recordset>* out) {
  const std::shared_ptr<const EmbeddedServer::Procedure> e = Procedimento(name);
  ultima_so_leu_ = e->read_only;
  if (e->read_only) {
    AntesDeLer();
  } else {
    FechaLeitura();
  }
  // A deleted or replaced file must never take a write. A look-up that
  // writes nothing skips the check (a path look-up per call): the next
  // write, or the liveness probe, finds the file gone all the same. Inside
  // the caller's transaction its commit checks the file.
  if (!e->read_only && sqlite3_get_autocommit(db_) != 0) ConfereArquivo();
  if (params->Count() == 0 || (*params)[0].direction != ParamDirection::kReturnValue) {
    throw ProviderError("Procedure " + name + ": the parameter list has no return value");
  }
  // Inputs take the declared types; outputs start as NULL.
  for (Parameter& p : params->items()) {
    if (p.direction == ParamDirection::kReturnValue || p.direction == ParamDirection::kOutput) {
      p.value = Value::Null();
    } else if (p.value.type() != p.type) {  // a value of its type stays as it is
      p.value = SqliteCoerce(p.value, p.type);
    }
  }
  (*params)[0].value = Value::Int(0);
  const SqlitePrazo prazo(db_, &deadline_, timeout_seconds);
  // Outside a transaction the call takes the write lock at once, so that
  // concurrent processes wait on the busy timeout instead of failing when a
  // read lock is upgraded; a read-only procedure needs no write lock and
  // reads in a deferred transaction. Inside the caller's transaction a
  // savepoint limits what a failure undoes to this call.
  // A look-up inside the caller's transaction writes nothing to undo: it
  // needs no savepoint.
  const bool own_tran = sqlite3_get_autocommit(db_) != 0;
  const bool sem_savepoint = !own_tran && e->read_only;
  const std::string sp = sem_savepoint ? "" : "zproc" + std::to_string(savepoint_depth_ + 1);
  if (!sem_savepoint) {
    Control(own_tran ? (e->read_only ? "BEGIN" : "BEGIN IMMEDIATE") : "SAVEPOINT " + sp);
    ++savepoint_depth_;
  }
  auto undo = [&] {
    if (sem_savepoint) return;
    --savepoint_depth_;
    if (own_tran) {
      ControlQuietly("ROLLBACK");
    } else {
      ControlQuietly("ROLLBACK TO " + sp);
      ControlQuietly("RELEASE " + sp);
    }
  };
  std::vector<Recordset> results;
  try {
    servidor_->Run(*e, params, &results);
  } catch (const ProviderError&) {
    undo();
    throw;
  } catch (const std::exception& x) {
    undo();
    throw ProviderError("Procedure " + name + " failed: " + x.what());
  } catch (...) {
    undo();
    throw ProviderError("Procedure " + name + " failed");
  }
  const Value& rv = (*params)[0].value;
  if (!rv.IsNull() && rv.type() == DataType::kInteger && rv.AsInt() != 0) {
    // A procedure that reports a failure keeps nothing it wrote; outputs
    // and result sets still reach the caller.
    undo();
  } else if (!sem_savepoint) {
    try {
      Control(own_tran ? "COMMIT" : "RELEASE " + sp);
      --savepoint_depth_;
    } catch (...) {
      undo();
      throw;
    }
  }
  if (out != nullptr) {
    for (Recordset& rs : results) out->push_back(std::move(rs));
  }
}

void SqliteConnection::BeginTransaction() {
  FechaLeitura();
  ConfereArquivo();
  // SQLite transactions are serializable; IMMEDIATE takes the write lock.
  Control("BEGIN IMMEDIATE");
}

void SqliteConnection::Commit() {
  if (db_ == nullptr) throw LinkClosed();
  try {
    ConfereArquivo();
    Control("COMMIT");
  } catch (...) {
    // A commit that failed must not leave a transaction open that nobody
    // will end: its writes are undone and the caller learns of it.
    ControlQuietly("ROLLBACK");
    throw;
  }
}

void SqliteConnection::Rollback() {
  if (db_ == nullptr) throw LinkClosed();
  Control("ROLLBACK");
}

bool SqliteConnection::InTransaction() const {
  return db_ != nullptr && sqlite3_get_autocommit(db_) == 0 && !leitura_aberta_;
}

void SqliteConnection::SharedReads(int max_ms) {
  leitura_max_ms_ = max_ms > 0 ? max_ms : 0;
  if (leitura_max_ms_ == 0) FechaLeitura();
}

void SqliteConnection::AntesDeLer() {
  // A statement of the caller (a COMMIT sent as text) may have ended it.
  if (leitura_aberta_ && sqlite3_get_autocommit(db_) != 0) leitura_aberta_ = false;
  if (leitura_max_ms_ == 0) return;
  const auto agora = std::chrono::steady_clock::now();
  if (leitura_aberta_) {
    if (agora - leitura_desde_ < std::chrono::milliseconds(leitura_max_ms_)) return;
    FechaLeitura();
  }
  if (sqlite3_get_autocommit(db_) == 0) return;  // the caller's own transaction
  try {
    Control("BEGIN");  // the snapshot comes with the first read
    leitura_aberta_ = true;
    leitura_desde_ = agora;
  } catch (const ProviderError&) {
    // Not shared, then: the read takes its own transaction as usual.
  }
}

void SqliteConnection::FechaLeitura() noexcept {
  if (!leitura_aberta_) return;
  leitura_aberta_ = false;
  if (db_ == nullptr || sqlite3_get_autocommit(db_) != 0) return;
  ControlQuietly("COMMIT");  // a read transaction: only its snapshot ends
  if (sqlite3_get_autocommit(db_) == 0) ControlQuietly("ROLLBACK");
}

void SqliteConnection::Savepoint(const std::string& name) { Control("SAVEPOINT " + name); }
void SqliteConnection::ReleaseSavepoint(const std::string& name) { Control("RELEASE " + name); }
void SqliteConnection::RollbackToSavepoint(const std::string& name) {
  Control("ROLLBACK TO " + name);
}

int SqliteConnection::Espera(void* self, int tentativas) {
  auto* c = static_cast<SqliteConnection*>(self);
  const auto agora = std::chrono::steady_clock::now();
  if (tentativas == 0 || !c->esperando_) {
    c->esperando_ = true;
    c->avisou_espera_ = false;
    c->espera_desde_ = agora;
    c->Sinaliza(true);
  }
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(agora - c->espera_desde_).count();
  if (ms >= kSqliteBusyTimeoutMs) return 0;  // the statement fails as busy
  if (!c->avisou_espera_ && ms >= 1000) {
    c->avisou_espera_ = true;
    Loga("database busy: waiting for the write lock of <" + c->path_ + ">");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

void SqliteConnection::FimDaEspera() {
  esperando_ = false;
  Sinaliza(false);
  if (avisou_espera_) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - espera_desde_)
                        .count();
    Loga("database busy: waited " + std::to_string(ms) + " ms for the write lock of <" + path_ +
         ">");
    avisou_espera_ = false;
  }
}

void SqliteConnection::Sinaliza(bool esperando) {
  if (sinal_fd_ < 0) {
    if (!esperando) return;
    sinal_fd_ = ::open((path_ + "-wait").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (sinal_fd_ < 0) return;  // no signal: the holder does not pause
  }
  struct flock fl {};
  fl.l_type = esperando ? F_RDLCK : F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  ::fcntl(sinal_fd_, F_OFD_SETLK, &fl);
}

bool SqliteConnection::AlguemEspera() {
  if (sinal_fd_ < 0) {
    sinal_fd_ = ::open((path_ + "-wait").c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (sinal_fd_ < 0) return false;  // nobody ever waited
  }
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  return ::fcntl(sinal_fd_, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

void SqliteConnection::YieldToWaiters() {
  for (int ms = 0; ms < kEsperaDeCessaoMs && AlguemEspera(); ++ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int SqliteConnection::DepoisDoCommit(void* self, sqlite3* db, const char* banco, int paginas) {
  auto* c = static_cast<SqliteConnection*>(self);
  c->paginas_no_wal_ = paginas;
  // The data version this commit left.
  unsigned versao = 0;
  if (c->servidor_ != nullptr &&
      sqlite3_file_control(db, banco, SQLITE_FCNTL_DATA_VERSION, &versao) == SQLITE_OK) {
    c->servidor_->Committed(versao);
  }
  // As SQLite's own automatic checkpoint, with the bound of the moment. A
  // passive checkpoint neither waits for nor fails a reader: what a reader
  // still needs stays in the WAL for the next one.
  if (paginas >= c->limite_do_wal_) {
    sqlite3_wal_checkpoint_v2(db, banco, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  }
  return SQLITE_OK;
}

void SqliteConnection::LongSeries(bool on) {
  limite_do_wal_ = on ? kPaginasDoWalNaSerie : kPaginasDoWal;
  if (db_ == nullptr || on || paginas_no_wal_ < limite_do_wal_) return;
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  paginas_no_wal_ = 0;
}

std::optional<unsigned> SqliteConnection::DataVersion(bool snapshot) {
  if (!TransactionOpen()) return std::nullopt;
  if (sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) {
    if (!snapshot) return std::nullopt;
    Run("PRAGMA data_version", {}, nullptr);
    if (sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) return std::nullopt;
  }
  unsigned versao = 0;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &versao) != SQLITE_OK) {
    return std::nullopt;
  }
  return versao;
}

}  // namespace zun
