#include "toolbox/dbclient/sqlite/sqlite_provider.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "foundation/text_1252.h"
#include "toolbox/dbclient/errors.h"

namespace zun {
namespace {

constexpr int kBusyTimeoutMs = 130000;

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The kind of an SQLite result code. A file that vanished or cannot be read
// any more is a lost link; a lock held past the busy wait is a timeout.
ErrorKind KindOf(int extended_code) {
  switch (extended_code & 0xff) {
    case SQLITE_CONSTRAINT:
      return ErrorKind::kConstraint;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_INTERRUPT:
      return ErrorKind::kTimeout;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_READONLY:
      return ErrorKind::kConnectionLost;
    default:
      return ErrorKind::kOther;
  }
}

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  const int code = db != nullptr ? sqlite3_extended_errcode(db) : 0;
  const std::string msg = db != nullptr ? Utf8ToCp1252(sqlite3_errmsg(db)) : "no database";
  throw ProviderError(what + ": " + msg, code, KindOf(code));
}

EmbeddedServerFactory& Servidor() {
  static EmbeddedServerFactory* f = new EmbeddedServerFactory;
  return *f;
}

// Text of a day number as stored in date-time columns.
std::string DateTimeText(double dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(dt, &y, &mo, &d, &h, &mi, &s, &ms);
  if (y < 0 || y > 9999) {
    char buf[48];
    if (ms != 0) {
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
    } else {
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    }
    return buf;
  }
  // Every bound value of a date goes through here: digits by hand.
  char buf[24] = "0000-00-00 00:00:00.000";
  auto poe = [&buf](int pos, int v, int digitos) {
    for (int i = pos + digitos - 1; i >= pos; --i, v /= 10)
      buf[i] = static_cast<char>('0' + v % 10);
  };
  poe(0, y, 4);
  poe(5, mo, 2);
  poe(8, d, 2);
  poe(11, h, 2);
  poe(14, mi, 2);
  poe(17, s, 2);
  if (ms == 0) return std::string(buf, 19);
  poe(20, ms, 3);
  return std::string(buf, 23);
}

bool IsDateTimeDecl(const char* decl) {
  if (decl == nullptr) return false;
  const std::string u = Maiusculas(decl);
  return u.find("DATE") != std::string::npos || u.find("TIME") != std::string::npos;
}

// Which columns of st are declared as dates or times, looked up once per
// run rather than once per value.
std::vector<char> DateTimeColumns(sqlite3_stmt* st, int ncol) {
  std::vector<char> dt(static_cast<size_t>(ncol));
  for (int i = 0; i < ncol; ++i) {
    dt[static_cast<size_t>(i)] = IsDateTimeDecl(sqlite3_column_decltype(st, i));
  }
  return dt;
}

Value ColumnValue(sqlite3_stmt* st, int i, bool date_time) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return Value::Null();
    case SQLITE_INTEGER: {
      const int64_t v = sqlite3_column_int64(st, i);
      if (v >= INT32_MIN && v <= INT32_MAX) return Value::Int(static_cast<int32_t>(v));
      return Value::BigInt(v);
    }
    case SQLITE_FLOAT:
      if (date_time) {
        return Value::DateTime(sqlite3_column_double(st, i));
      }
      return Value::Double(sqlite3_column_double(st, i));
    case SQLITE_BLOB: {
      const void* p = sqlite3_column_blob(st, i);
      const int n = sqlite3_column_bytes(st, i);
      return Value::Binary(std::string(static_cast<const char*>(p), static_cast<size_t>(n)));
    }
    default: {
      const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      const int n = sqlite3_column_bytes(st, i);
      Value v = Value::String(Utf8ToCp1252(std::string(p, static_cast<size_t>(n))));
      if (date_time && n >= 10) {
        try {
          return Value::DateTime(v.AsDateTime());
        } catch (const DatasetError&) {
        }
      }
      return v;
    }
  }
}

void Bind(sqlite3* db, sqlite3_stmt* st, int i, const Value& v) {
  int rc = SQLITE_OK;
  switch (v.type()) {
    case DataType::kEmpty:
      rc = sqlite3_bind_null(st, i);
      break;
    case DataType::kInteger:
    case DataType::kBigInt:
    case DataType::kBoolean:
      rc = sqlite3_bind_int64(st, i, v.AsInt64());
      break;
    case DataType::kDouble:
      rc = sqlite3_bind_double(st, i, v.AsDouble());
      break;
    case DataType::kDateTime: {
      const std::string t = DateTimeText(v.AsDateTime());
      rc = sqlite3_bind_text(st, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
      break;
    }
    case DataType::kString: {
      const std::string t = Cp1252ToUtf8(v.Bytes());
      rc = sqlite3_bind_text(st, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
      break;
    }
    case DataType::kBinary:
      rc = sqlite3_bind_blob(st, i, v.Bytes().data(), static_cast<int>(v.Bytes().size()),
                             SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) Fail(db, "bind");
}

// Converts a caller's value to the declared type of a procedure parameter,
// as a server does; a value that does not fit raises ProviderError with the
// wrong-type message.
Value Coerce(const Value& v, DataType type) {
  if (v.IsNull()) return v;
  try {
    switch (type) {
      case DataType::kInteger:
        return Value::Int(v.AsInt());
      case DataType::kBigInt:
        return Value::BigInt(v.AsInt64());
      case DataType::kDouble:
        return Value::Double(v.AsDouble());
      case DataType::kDateTime:
        return Value::DateTime(v.AsDateTime());
      case DataType::kBoolean:
        return Value::Bool(v.AsBool());
      case DataType::kString:
        return Value::String(v.AsString());
      case DataType::kBinary:
        return Value::Binary(v.Bytes());
      case DataType::kEmpty:
        return v;
    }
  } catch (const DatasetError&) {
  }
  throw ProviderError(ErrorKind::kWrongType,
                      "Application uses a value of the wrong type for the current operation");
}

int ProgressHandler(void* arg) {
  auto* deadline = static_cast<std::chrono::steady_clock::time_point*>(arg);
  return std::chrono::steady_clock::now() > *deadline ? 1 : 0;
}

// Stops the statements run while it lives once timeout_seconds (none when
// 0 or less) have passed; *deadline must outlive it.
class Prazo {
 public:
  Prazo(sqlite3* db, std::chrono::steady_clock::time_point* deadline, int timeout_seconds)
      : db_(db) {
    *deadline = std::chrono::steady_clock::now() +
                std::chrono::seconds(timeout_seconds > 0 ? timeout_seconds : 86400);
    sqlite3_progress_handler(db_, 10000, ProgressHandler, deadline);
  }
  ~Prazo() { sqlite3_progress_handler(db_, 0, nullptr, nullptr); }
  Prazo(const Prazo&) = delete;
  Prazo& operator=(const Prazo&) = delete;

 private:
  sqlite3* db_;
};

}  // namespace

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
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
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

void SetEmbeddedServer(EmbeddedServerFactory factory) { Servidor() = std::move(factory); }

bool HasEmbeddedServer() { return static_cast<bool>(Servidor()); }

void RegisterSqliteProvider() {
  RegisterProvider(kSqliteProviderName, [] { return std::make_unique<SqliteConnection>(); });
}

SqliteConnection::~SqliteConnection() { Close(); }

std::string SqliteCatalogPath(const ConnectionString& cs) {
  const std::string catalog = Trim(cs.Get("Initial Catalog"));
  if (catalog.empty()) throw ProviderError("No Initial Catalog in the connection string");
  if (catalog.find('/') != std::string::npos || catalog.find('\\') != std::string::npos ||
      catalog == "." || catalog == "..") {
    throw ProviderError("Invalid Initial Catalog <" + catalog + ">");
  }
  std::string dir = Trim(cs.Get("Data Directory"));
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
  // Kept look-up answers (Lembrado) learn what may change their tables.
  memoria_.clear();
  escritas_.clear();
  sqlite3_set_authorizer(db_, &SqliteConnection::Autoriza, this);
  sqlite3_rollback_hook(db_, &SqliteConnection::DepoisDoRollback, this);
  struct stat st {};
  try {
    if (::stat(path_.c_str(), &st) != 0)
      throw ProviderError("Cannot open database \"" + path_ + "\"");
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    if (!Servidor()) {
      throw ProviderError("Login failed: this program hosts no embedded database server");
    }
    servidor_ = Servidor()(*this);
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
  for (auto& [sql, p] : statements_) sqlite3_finalize(p.st);
  statements_.clear();
  memoria_.clear();
  colunas_.clear();
  for (TextoPreparado& t : textos_) sqlite3_finalize(t.st);
  textos_.clear();
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

SqliteConnection::Preparado& SqliteConnection::Prepare(const std::string& sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) {
    sqlite3_reset(it->second.st);
    sqlite3_clear_bindings(it->second.st);
    return it->second;
  }
  sqlite3_stmt* st = nullptr;
  const std::string utf8 = Cp1252ToUtf8(sql);
  escritas_.clear();
  if (sqlite3_prepare_v3(db_, utf8.c_str(), static_cast<int>(utf8.size()),
                         SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
    Fail(db_, "prepare <" + sql + ">");
  }
  if (st == nullptr) throw ProviderError("empty statement <" + sql + ">");
  Preparado& p = statements_[sql];
  p.st = st;
  p.escreve = std::move(escritas_);
  escritas_.clear();
  return p;
}

int SqliteConnection::Run(const std::string& sql, const std::vector<Value>& binds,
                          Recordset* rows) {
  if (db_ == nullptr) throw LinkClosed();
  Preparado& p = Prepare(sql);
  return Passo(p.st, &p.escreve, sql, binds, rows);
}

SqliteConnection::TextoPreparado& SqliteConnection::PreparaTexto(const std::string& sql) {
  ++usos_;
  for (TextoPreparado& t : textos_) {
    if (t.sql != sql) continue;
    t.uso = usos_;
    sqlite3_reset(t.st);
    sqlite3_clear_bindings(t.st);
    return t;
  }
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  const std::string utf8 = Cp1252ToUtf8(sql);
  escritas_.clear();
  if (sqlite3_prepare_v3(db_, utf8.c_str(), static_cast<int>(utf8.size()),
                         SQLITE_PREPARE_PERSISTENT, &st, &tail) != SQLITE_OK) {
    Fail(db_, "prepare <" + sql + ">");
  }
  if (st == nullptr) throw ProviderError("empty statement <" + sql + ">");
  if (!Trim(tail).empty()) {
    sqlite3_finalize(st);
    throw ProviderError("A SQL text with parameters holds one statement <" + sql + ">");
  }
  TextoPreparado novo{sql, st, usos_, std::move(escritas_)};
  escritas_.clear();
  if (textos_.size() < kTextosPreparados) {
    textos_.reserve(kTextosPreparados);
    textos_.push_back(std::move(novo));
    return textos_.back();
  }
  // The least recently used one makes room.
  auto velho = textos_.begin();
  for (auto it = textos_.begin(); it != textos_.end(); ++it) {
    if (it->uso < velho->uso) velho = it;
  }
  colunas_.erase(velho->st);
  sqlite3_finalize(velho->st);
  *velho = std::move(novo);
  return *velho;
}

SqliteConnection::TextoPreparado& SqliteConnection::PreparaComParametros(const std::string& sql,
                                                                         size_t n) {
  if (db_ == nullptr) throw LinkClosed();
  TextoPreparado& t = PreparaTexto(sql);
  sqlite3_stmt* st = t.st;
  // A query (read-only, with rows) may share the read transaction;
  // anything else ends it.
  if (sqlite3_stmt_readonly(st) != 0 && sqlite3_column_count(st) > 0) {
    AntesDeLer();
  } else {
    FechaLeitura();
  }
  // A write outside a transaction checks the file first; inside one, the
  // commit does.
  if (sqlite3_get_autocommit(db_) != 0 && sqlite3_stmt_readonly(st) == 0) ConfereArquivo();
  if (sqlite3_bind_parameter_count(st) != static_cast<int>(n)) {
    throw ProviderError("<" + sql + "> takes " + std::to_string(sqlite3_bind_parameter_count(st)) +
                        " parameters, " + std::to_string(n) + " given");
  }
  return t;
}

int SqliteConnection::ExecuteSqlParams(const std::string& sql, const std::vector<Value>& binds,
                                       int timeout_seconds, std::vector<Recordset>* out) {
  TextoPreparado& t = PreparaComParametros(sql, binds.size());
  sqlite3_stmt* st = t.st;
  const Prazo prazo(db_, &deadline_, timeout_seconds);
  Recordset rs;
  const int changes = Passo(st, &t.escreve, sql, binds, &rs);
  if (out != nullptr && sqlite3_column_count(st) > 0) out->push_back(std::move(rs));
  return changes;
}

namespace {

class LinhaSqlite : public RowView {
 public:
  explicit LinhaSqlite(sqlite3_stmt* st) : st_(st) {}
  int Count() const override { return sqlite3_column_count(st_); }
  bool IsNull(int i) const override { return sqlite3_column_type(st_, i) == SQLITE_NULL; }
  int64_t Int(int i) const override { return sqlite3_column_int64(st_, i); }
  double Double(int i) const override { return sqlite3_column_double(st_, i); }

 private:
  sqlite3_stmt* st_;
};

}  // namespace

void SqliteConnection::ReadRows(const std::string& sql, const std::vector<Value>& binds,
                                int timeout_seconds,
                                const std::function<void(const RowView&)>& row) {
  TextoPreparado& t = PreparaComParametros(sql, binds.size());
  sqlite3_stmt* st = t.st;
  const Prazo prazo(db_, &deadline_, timeout_seconds);
  for (size_t i = 0; i < binds.size(); ++i) Bind(db_, st, static_cast<int>(i + 1), binds[i]);
  const LinhaSqlite linha(st);
  AntesDeRodar(t.escreve);
  int rc;
  try {
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(linha);
  } catch (...) {
    sqlite3_reset(st);
    throw;
  }
  DepoisDeRodar(&t.escreve);
  if (esperando_) FimDaEspera();
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_INTERRUPT)
      throw ProviderError(ErrorKind::kTimeout, "Query timeout expired <" + sql + ">");
    Fail(db_, "<" + sql + ">");
  }
}

int SqliteConnection::Passo(sqlite3_stmt* st, std::vector<std::string>* escreve,
                            const std::string& sql, const std::vector<Value>& binds,
                            Recordset* rows) {
  for (size_t i = 0; i < binds.size(); ++i) Bind(db_, st, static_cast<int>(i + 1), binds[i]);
  const int ncol = sqlite3_column_count(st);
  const Colunas* cols = nullptr;
  if (rows != nullptr && ncol > 0) {
    cols = &ColunasDe(st, ncol);
    *rows = Recordset(cols->nomes);
  }
  AntesDeRodar(*escreve);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (cols == nullptr) continue;
    std::vector<Value> row;
    row.reserve(static_cast<size_t>(ncol));
    for (int i = 0; i < ncol; ++i) {
      row.push_back(ColumnValue(st, i, cols->data_hora[static_cast<size_t>(i)]));
    }
    rows->AddRow(std::move(row));
  }
  DepoisDeRodar(escreve);
  if (esperando_) FimDaEspera();
  const int changes = sqlite3_changes(db_);
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_INTERRUPT)
      throw ProviderError(ErrorKind::kTimeout, "Query timeout expired <" + sql + ">");
    Fail(db_, "<" + sql + ">");
  }
  return ncol > 0 ? 0 : changes;
}

const SqliteConnection::Colunas& SqliteConnection::ColunasDe(sqlite3_stmt* st, int ncol) {
  // A statement prepared again after a change of the schema may name its
  // columns anew.
  const int preparos = sqlite3_stmt_status(st, SQLITE_STMTSTATUS_REPREPARE, 0);
  Colunas& c = colunas_[st];
  if (c.preparos == preparos && static_cast<int>(c.nomes.size()) == ncol) return c;
  c.preparos = preparos;
  c.nomes.clear();
  for (int i = 0; i < ncol; ++i) c.nomes.push_back(Utf8ToCp1252(sqlite3_column_name(st, i)));
  c.data_hora = DateTimeColumns(st, ncol);
  return c;
}

void SqliteConnection::Control(const std::string& sql) {
  Preparado& p = Prepare(sql);
  sqlite3_stmt* st = p.st;
  AntesDeRodar(p.escreve);
  const int rc = sqlite3_step(st);
  DepoisDeRodar(&p.escreve);
  if (esperando_) FimDaEspera();
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) Fail(db_, sql);
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
  if (ms >= kBusyTimeoutMs) return 0;  // the statement fails as busy
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
  // A commit of this connection moves the data version by one. When the
  // kept answers were confirmed at the version just before it, they hold
  // after it too: the transaction wrote on the newest snapshot (SQLite lets
  // no write go on an older one), and its own writes to their tables
  // already forgot them. Any other move (a new snapshot that saw another
  // connection's commit) leaves the versions apart.
  unsigned versao = 0;
  if (!c->memoria_.empty() &&
      sqlite3_file_control(db, banco, SQLITE_FCNTL_DATA_VERSION, &versao) == SQLITE_OK &&
      versao == c->versao_conferida_ + 1 && c->versao_conferida_ == c->versao_da_memoria_) {
    c->versao_da_memoria_ = versao;
    c->versao_conferida_ = versao;
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

int SqliteConnection::Autoriza(void* self, int acao, const char* a1, const char* /*a2*/,
                               const char* /*banco*/, const char* /*gatilho*/) {
  auto* c = static_cast<SqliteConnection*>(self);
  std::string tabela;
  switch (acao) {
    case SQLITE_READ:
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_PRAGMA:
    case SQLITE_RECURSIVE:
    case SQLITE_ANALYZE:
    case SQLITE_REINDEX:
      return SQLITE_OK;
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
      // Only a rollback changes what was read.
      if (a1 == nullptr || strcasecmp(a1, "ROLLBACK") != 0) return SQLITE_OK;
      tabela = "*";
      break;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
      tabela = a1 != nullptr ? a1 : "*";
      break;
    default:  // a change of the schema, ATTACH, DETACH
      tabela = "*";
      break;
  }
  for (const std::string& t : c->escritas_) {
    if (strcasecmp(t.c_str(), tabela.c_str()) == 0) return SQLITE_OK;
  }
  c->escritas_.push_back(tabela);
  c->Esquece({tabela});
  return SQLITE_OK;
}

void SqliteConnection::DepoisDoRollback(void* self) {
  static_cast<SqliteConnection*>(self)->memoria_.clear();
}

void SqliteConnection::Esquece(const std::vector<std::string>& tabelas) {
  for (const std::string& t : tabelas) {
    if (t == "*") {
      memoria_.clear();
      return;
    }
    for (auto& [tabela, linhas] : memoria_) {
      if (strcasecmp(tabela.c_str(), t.c_str()) == 0) linhas.clear();
    }
  }
}

void SqliteConnection::Anota(std::vector<std::string>* escreve) {
  for (std::string& t : escritas_) {
    bool tem = false;
    for (const std::string& e : *escreve) tem = tem || strcasecmp(e.c_str(), t.c_str()) == 0;
    if (!tem) escreve->push_back(std::move(t));
  }
  escritas_.clear();
}

const std::vector<Value>* SqliteConnection::Lembrado(const char* tabela, const std::string& chave) {
  if (memoria_.empty() || db_ == nullptr || sqlite3_get_autocommit(db_) != 0) return nullptr;
  std::unordered_map<std::string, std::vector<Value>>* linhas = nullptr;
  for (auto& [t, l] : memoria_) {
    if (strcasecmp(t.c_str(), tabela) == 0) linhas = &l;
  }
  if (linhas == nullptr) return nullptr;
  auto it = linhas->find(chave);
  if (it == linhas->end()) return nullptr;
  // A deferred transaction that has read nothing yet takes its snapshot
  // first: only then does the data version show another connection's
  // commit. (The pragma writes nothing: the answer found stays.)
  if (sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) {
    Run("PRAGMA data_version", {}, nullptr);
    if (sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) return nullptr;
  }
  unsigned versao = 0;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &versao) != SQLITE_OK ||
      versao != versao_da_memoria_) {
    memoria_.clear();
    return nullptr;
  }
  versao_conferida_ = versao;
  return &it->second;
}

void SqliteConnection::Lembra(const char* tabela, const std::string& chave,
                              std::vector<Value> linha) {
  if (db_ == nullptr || sqlite3_get_autocommit(db_) != 0 ||
      sqlite3_txn_state(db_, "main") == SQLITE_TXN_NONE) {
    return;
  }
  unsigned versao = 0;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &versao) != SQLITE_OK) return;
  if (versao != versao_da_memoria_) {
    memoria_.clear();
    versao_da_memoria_ = versao;
  }
  versao_conferida_ = versao;
  for (auto& [t, linhas] : memoria_) {
    if (strcasecmp(t.c_str(), tabela) != 0) continue;
    linhas[chave] = std::move(linha);
    return;
  }
  memoria_.emplace_back(tabela, std::unordered_map<std::string, std::vector<Value>>{});
  memoria_.back().second.emplace(chave, std::move(linha));
}

void SqliteConnection::Savepoint(const std::string& name) { Control("SAVEPOINT " + name); }
void SqliteConnection::ReleaseSavepoint(const std::string& name) { Control("RELEASE " + name); }
void SqliteConnection::RollbackToSavepoint(const std::string& name) {
  Control("ROLLBACK TO " + name);
}

void SqliteConnection::ControlQuietly(const std::string& sql) noexcept {
  try {
    Control(sql);
  } catch (...) {
  }
}

void SqliteConnection::ExecuteSql(const std::string& sql, int timeout_seconds,
                                  std::vector<Recordset>* out) {
  FechaLeitura();
  ConfereArquivo();
  const std::string t = Trim(sql);
  // The two system texts a SQL Server client sends.
  if (strcasecmp(t.c_str(), "SELECT @@VERSION") == 0) {
    Recordset rs({""});
    rs.AddRow({Value::String(std::string(kSqliteVersionPrefix) + sqlite3_libversion() + ")")});
    if (out != nullptr) out->push_back(std::move(rs));
    return;
  }
  if (strcasecmp(t.c_str(), "exec sp_server_info 1") == 0) {
    // The liveness probe reads the file: a damaged one fails it.
    Run("SELECT count(*) FROM sqlite_master", {}, nullptr);
    Recordset rs({"attribute_id", "attribute_name", "attribute_value"});
    rs.AddRow({Value::Int(1), Value::String("DBMS_NAME"), Value::String("SQLite")});
    if (out != nullptr) out->push_back(std::move(rs));
    return;
  }
  deadline_ = std::chrono::steady_clock::now() +
              std::chrono::seconds(timeout_seconds > 0 ? timeout_seconds : 86400);
  sqlite3_progress_handler(db_, 10000, ProgressHandler, &deadline_);
  // Several statements may come in one text: run them one after another.
  const std::string utf8 = Cp1252ToUtf8(sql);
  const char* tail = utf8.c_str();
  try {
    while (*tail != '\0') {
      sqlite3_stmt* st = nullptr;
      const char* next = nullptr;
      // Its preparation forgets the kept answers it may change.
      if (sqlite3_prepare_v2(db_, tail, -1, &st, &next) != SQLITE_OK) Fail(db_, "<" + sql + ">");
      escritas_.clear();
      tail = next;
      if (st == nullptr) continue;  // blanks or a comment
      const int ncol = sqlite3_column_count(st);
      Recordset rs;
      if (ncol > 0) {
        std::vector<std::string> cols;
        for (int i = 0; i < ncol; ++i) cols.push_back(Utf8ToCp1252(sqlite3_column_name(st, i)));
        rs = Recordset(std::move(cols));
      }
      const std::vector<char> dt = DateTimeColumns(st, ncol);
      int rc;
      while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::vector<Value> row;
        for (int i = 0; i < ncol; ++i) {
          row.push_back(ColumnValue(st, i, dt[static_cast<size_t>(i)]));
        }
        rs.AddRow(std::move(row));
      }
      sqlite3_finalize(st);
      escritas_.clear();
      if (esperando_) FimDaEspera();
      if (rc != SQLITE_DONE) {
        if (rc == SQLITE_INTERRUPT)
          throw ProviderError(ErrorKind::kTimeout, "Query timeout expired <" + sql + ">");
        Fail(db_, "<" + sql + ">");
      }
      if (ncol > 0 && out != nullptr) out->push_back(std::move(rs));
    }
  } catch (...) {
    sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    throw;
  }
  sqlite3_progress_handler(db_, 0, nullptr, nullptr);
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
      p.value = Coerce(p.value, p.type);
    }
  }
  (*params)[0].value = Value::Int(0);
  const Prazo prazo(db_, &deadline_, timeout_seconds);
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

}  // namespace zun
