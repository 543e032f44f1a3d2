// The embedded provider's connection: the database is the SQLite file
// "<Initial Catalog>.db" in the working directory, or in the directory given
// by the optional key "Data Directory" (never created here: a missing file
// is an open error naming the path). WAL journal, synchronous=NORMAL and a
// busy timeout let several processes share the file. Text is Windows-1252 on
// the client side and UTF-8 in the file. The login and the stored
// procedures are the embedded server's (embedded_server.h), which runs a
// procedure inside the turn this provider opens for the call. Every call that may
// write, and the liveness probe, first checks that the path still names the
// file that was opened (read-only look-ups skip it, and inside a
// transaction its commit checks instead): a database
// file deleted or replaced under an open connection fails the call (and
// the liveness probe) as a lost link, and that connection closes without
// touching the journal files that now belong to the path's new file.
//
// Its members are defined by concern: the file and the connection
// (sqlite_connection.cpp), the statements and their cache
// (sqlite_statements.cpp, with what each writes as the authorizer reports
// it), and the turns (sqlite_turns.cpp); values in sqlite_values.h.
//
// Thread-safety: a connection is used by one thread at a time.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "toolbox/dbclient/provider.h"
#include "toolbox/dbclient/sqlite/embedded_server.h"
#include "toolbox/dbclient/sqlite/sqlite_statement_cache.h"

namespace zun {

// The database file a connection string designates (see above): when no
// file has the catalog's exact name, the one whose name matches without
// regard to letter case. Raises ProviderError when "Initial Catalog" is
// missing or is not a plain name, or when several files match.
std::string SqliteCatalogPath(const ConnectionString& cs);

// Version text answered to "SELECT @@VERSION"; begins with this prefix.
inline constexpr char kSqliteVersionPrefix[] = "ZunInput embedded database (SQLite ";

// Opens path with the provider's settings. Raises ProviderError. The caller
// owns the handle (sqlite3_close_v2).
sqlite3* OpenSqliteFile(const std::string& path, bool create);

// Pages the WAL may hold during a long series of grouped transactions
// before a commit checkpoints it (64 MiB with pages of 4 KiB), and outside.
inline constexpr int kPaginasDoWalNaSerie = 16384;
inline constexpr int kPaginasDoWal = 1000;

class SqliteConnection : public ProviderConnection {
 public:
  SqliteConnection() = default;
  ~SqliteConnection() override;

  void Open(const ConnectionString& cs) override;
  void Close() override;
  bool IsOpen() const override { return db_ != nullptr; }
  void ExecuteSql(const std::string& sql, int timeout_seconds,
                  std::vector<Recordset>* out) override;
  // Keeps the prepared statements of the last kTextosPreparados texts.
  int ExecuteSqlParams(const std::string& sql, const std::vector<Value>& binds, int timeout_seconds,
                       std::vector<Recordset>* out) override;
  // Steps the kept prepared statement and hands out its columns as stored.
  void ReadRows(const std::string& sql, const std::vector<Value>& binds, int timeout_seconds,
                const std::function<void(const RowView&)>& row) override;
  Parameters DescribeProcedure(const std::string& name) override;
  void CallProcedure(const std::string& name, Parameters* params, int timeout_seconds,
                     std::vector<Recordset>* out) override;
  void BeginTransaction() override;
  void Commit() override;
  void Rollback() override;
  bool InTransaction() const override;
  bool SupportsGroupedCommits() const override { return true; }
  bool LastCallWasLookup() const override { return ultima_so_leu_; }
  void Savepoint(const std::string& name) override;
  void ReleaseSavepoint(const std::string& name) override;
  void RollbackToSavepoint(const std::string& name) override;
  // Waits (at most kEsperaDeCessaoMs) while another connection signals
  // that it waits for the write lock.
  void YieldToWaiters() override;
  // During a series the WAL grows to kPaginasDoWalNaSerie pages before a
  // commit copies it back into the database (instead of the usual 1,000):
  // the pages a series writes again and again are copied back once. Its
  // end restores the usual bound and, when the WAL is beyond it, copies
  // back what it can without waiting for readers (a passive checkpoint).
  void LongSeries(bool on) override;
  // The shared read transaction is a deferred one ("BEGIN") that a read
  // opens and that lives until a call that is not a read, the next read
  // after max_ms, or SharedReads(0). InTransaction does not count it.
  void SharedReads(int max_ms) override;
  // Whether another connection waits for this file's write lock now.
  bool AlguemEspera();

  // Runs one statement with bound values, rows into *rows when not null;
  // returns the number of changed rows. Raises ProviderError.
  int Run(const std::string& sql, const std::vector<Value>& binds, Recordset* rows);
  // The most texts with parameters, and control and internal texts (the
  // procedures' and the login's), whose prepared statements are kept.
  static constexpr size_t kTextosPreparados = 32;
  static constexpr size_t kInternalStatements = 256;
  // How many of each have a kept prepared statement now.
  size_t TextosPreparados() const { return textos_.size(); }
  size_t InternalStatements() const { return internas_.size(); }
  int64_t LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

  // Whether a transaction of any kind is open (the caller's, a call's own
  // or the shared read one).
  bool TransactionOpen() const { return db_ != nullptr && sqlite3_get_autocommit(db_) == 0; }
  // The file's data version as the open transaction sees it; with
  // snapshot, a deferred transaction that has read nothing yet takes its
  // snapshot first (that writes nothing). nullopt outside a transaction or
  // without a snapshot.
  std::optional<unsigned> DataVersion(bool snapshot);

  const std::string& login_user() const { return login_user_; }
  const std::string& current_user() const { return current_user_; }
  void set_current_user(const std::string& u) { current_user_ = u.empty() ? login_user_ : u; }

 private:
  // The statement of sql from cache, prepared and kept there when absent
  // (see SqliteStatementCache); a caller's text (um_so) must hold a single
  // statement. Raises ProviderError.
  SqliteStatementCache::InUse Prepara(SqliteStatementCache& cache, const std::string& sql,
                                      bool um_so);
  // The statement of a caller's text for a run with n parameters: raises
  // ProviderError when the connection is closed or the text takes another
  // number; a write outside a transaction checks the database file first.
  SqliteStatementCache::InUse PreparaComParametros(const std::string& sql, size_t n);
  // Binds, steps the statement to its end with its rows into *rows (when not
  // null and it has columns) and resets it; the number of changed rows.
  int Passo(SqliteStatementCache::Entry& s, const std::vector<Value>& binds, Recordset* rows);
  // Works out s's column names and date-time columns when not yet known for
  // its current preparation.
  static void ConfereColunas(SqliteStatementCache::Entry& s, int ncol);
  // Runs one cached control statement (BEGIN, COMMIT, SAVEPOINT ...).
  void Control(const std::string& sql);
  // As Control, ignoring failures (rollback paths).
  void ControlQuietly(const std::string& sql) noexcept;

  // The authorizer: notes in escritas_ what a statement being prepared
  // (or prepared again after a change of the schema) writes, and reports it
  // to the server at once. Allows everything.
  static int Autoriza(void* self, int acao, const char* a1, const char* a2, const char* banco,
                      const char* gatilho);
  // The rollback hook: reports the rollback to the server.
  static void DepoisDoRollback(void* self);
  // Before a kept statement runs: reports what it writes to the server.
  void AntesDeRodar(const std::vector<std::string>& escreve) {
    if (!escreve.empty() && servidor_ != nullptr) servidor_->Writes(escreve);
  }
  // After it stepped: adds what a new preparation during the step reported.
  void DepoisDeRodar(std::vector<std::string>* escreve) {
    if (!escritas_.empty()) Anota(escreve);
  }
  void Anota(std::vector<std::string>* escreve);

  // The wait for the write lock (busy handler): polls every millisecond, up
  // to the busy timeout, and signals the wait to the holder through a read
  // lock on byte 0 of the side file "<database>-wait", which a holder
  // committing a long series of transactions tests (YieldToWaiters). A
  // wait longer than a second is logged, with its end.
  static int Espera(void* self, int tentativas);
  // The WAL hook: after each commit, reports the data version it left to
  // the server, and checkpoints when the WAL holds limite_do_wal_ pages or
  // more.
  static int DepoisDoCommit(void* self, sqlite3* db, const char* banco, int paginas);
  // Ends the signalled wait after a statement's step (taken or given up).
  void FimDaEspera();
  void Sinaliza(bool esperando);

  // Before a call that only reads: joins the shared read transaction,
  // opening it (or a newer one, when it is older than its bound) while
  // sharing is on and the caller has no transaction of its own.
  void AntesDeLer();
  // Before any other call: ends the shared read transaction, if open.
  void FechaLeitura() noexcept;

  // The server's procedure of that name; raises ProviderError when the
  // connection is closed or there is none.
  std::shared_ptr<const EmbeddedServer::Procedure> Procedimento(const std::string& name);

  // Raises ProviderError when path_ no longer names the opened file.
  void ConfereArquivo() const;
  bool MesmoArquivo() const;

  sqlite3* db_ = nullptr;
  std::string path_;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  SqliteStatementCache textos_{kTextosPreparados};      // callers' texts with parameters
  SqliteStatementCache internas_{kInternalStatements};  // control and internal texts
  std::string login_user_;
  std::string current_user_;
  std::chrono::steady_clock::time_point deadline_{};
  int savepoint_depth_ = 0;
  bool ultima_so_leu_ = false;  // the last procedure called is read-only
  bool esperando_ = false;
  bool avisou_espera_ = false;
  std::chrono::steady_clock::time_point espera_desde_{};
  int limite_do_wal_ = kPaginasDoWal;
  int paginas_no_wal_ = 0;       // pages in the WAL after the last commit
  int sinal_fd_ = -1;            // the side file, opened on the first wait or test
  int leitura_max_ms_ = 0;       // shared reads: their bound; 0 when off
  bool leitura_aberta_ = false;  // the shared read transaction is open
  std::chrono::steady_clock::time_point leitura_desde_{};
  std::unique_ptr<EmbeddedServer> servidor_;  // while open
  // Tables written by the statements prepared since it was last taken.
  std::vector<std::string> escritas_;
};

// Longest pause YieldToWaiters makes for a waiting connection, in ms.
inline constexpr int kEsperaDeCessaoMs = 20;

}  // namespace zun
