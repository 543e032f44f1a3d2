#include <strings.h>

#include "foundation/text_1252.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_connection.h"
#include "toolbox/dbclient/sqlite/sqlite_turns.h"
#include "toolbox/dbclient/sqlite/sqlite_values.h"

namespace zun {

SqliteStatementCache::InUse SqliteConnection::Prepara(SqliteStatementCache& cache,
                                                      const std::string& sql, bool um_so) {
  if (std::optional<SqliteStatementCache::InUse> kept = cache.Find(sql)) return std::move(*kept);
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  const std::string utf8 = Cp1252ToUtf8(sql);
  escritas_.clear();
  if (sqlite3_prepare_v3(db_, utf8.c_str(), static_cast<int>(utf8.size()),
                         SQLITE_PREPARE_PERSISTENT, &st, &tail) != SQLITE_OK) {
    SqliteFail(db_, "prepare <" + sql + ">");
  }
  if (st == nullptr) throw ProviderError("empty statement <" + sql + ">");
  if (um_so && !SqliteTrim(tail).empty()) {
    sqlite3_finalize(st);
    throw ProviderError("A SQL text with parameters holds one statement <" + sql + ">");
  }
  std::vector<std::string> escreve = std::move(escritas_);
  escritas_.clear();
  return cache.Keep(sql, st, std::move(escreve));
}

int SqliteConnection::Run(const std::string& sql, const std::vector<Value>& binds,
                          Recordset* rows) {
  if (db_ == nullptr) throw LinkClosed();
  const SqliteStatementCache::InUse s = Prepara(internas_, sql, false);
  return Passo(*s, binds, rows);
}

SqliteStatementCache::InUse SqliteConnection::PreparaComParametros(const std::string& sql,
                                                                   size_t n) {
  if (db_ == nullptr) throw LinkClosed();
  SqliteStatementCache::InUse t = Prepara(textos_, sql, true);
  sqlite3_stmt* st = t->st;
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
  const SqliteStatementCache::InUse t = PreparaComParametros(sql, binds.size());
  sqlite3_stmt* st = t->st;
  const SqlitePrazo prazo(db_, &deadline_, timeout_seconds);
  Recordset rs;
  const int changes = Passo(*t, binds, &rs);
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
  const SqliteStatementCache::InUse t = PreparaComParametros(sql, binds.size());
  sqlite3_stmt* st = t->st;
  const SqlitePrazo prazo(db_, &deadline_, timeout_seconds);
  for (size_t i = 0; i < binds.size(); ++i) SqliteBind(db_, st, static_cast<int>(i + 1), binds[i]);
  const LinhaSqlite linha(st);
  AntesDeRodar(t->escreve);
  int rc;
  try {
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(linha);
  } catch (...) {
    sqlite3_reset(st);
    throw;
  }
  DepoisDeRodar(&t->escreve);
  if (esperando_) FimDaEspera();
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_INTERRUPT)
      throw ProviderError(ErrorKind::kTimeout, "Query timeout expired <" + sql + ">");
    SqliteFail(db_, "<" + sql + ">");
  }
}

int SqliteConnection::Passo(SqliteStatementCache::Entry& s, const std::vector<Value>& binds,
                            Recordset* rows) {
  sqlite3_stmt* st = s.st;
  const std::string& sql = s.sql;
  for (size_t i = 0; i < binds.size(); ++i) SqliteBind(db_, st, static_cast<int>(i + 1), binds[i]);
  const int ncol = sqlite3_column_count(st);
  const bool com_linhas = rows != nullptr && ncol > 0;
  if (com_linhas) {
    ConfereColunas(s, ncol);
    *rows = Recordset(s.nomes);
  }
  AntesDeRodar(s.escreve);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (!com_linhas) continue;
    std::vector<Value> row;
    row.reserve(static_cast<size_t>(ncol));
    for (int i = 0; i < ncol; ++i) {
      row.push_back(SqliteColumnValue(st, i, s.data_hora[static_cast<size_t>(i)]));
    }
    rows->AddRow(std::move(row));
  }
  DepoisDeRodar(&s.escreve);
  if (esperando_) FimDaEspera();
  const int changes = sqlite3_changes(db_);
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_INTERRUPT)
      throw ProviderError(ErrorKind::kTimeout, "Query timeout expired <" + sql + ">");
    SqliteFail(db_, "<" + sql + ">");
  }
  return ncol > 0 ? 0 : changes;
}

void SqliteConnection::ConfereColunas(SqliteStatementCache::Entry& s, int ncol) {
  // A statement prepared again after a change of the schema may name its
  // columns anew.
  const int preparos = sqlite3_stmt_status(s.st, SQLITE_STMTSTATUS_REPREPARE, 0);
  if (s.preparos == preparos && static_cast<int>(s.nomes.size()) == ncol) return;
  s.preparos = preparos;
  s.nomes.clear();
  for (int i = 0; i < ncol; ++i) s.nomes.push_back(Utf8ToCp1252(sqlite3_column_name(s.st, i)));
  s.data_hora = SqliteDateTimeColumns(s.st, ncol);
}

void SqliteConnection::Control(const std::string& sql) {
  const SqliteStatementCache::InUse p = Prepara(internas_, sql, false);
  sqlite3_stmt* st = p->st;
  AntesDeRodar(p->escreve);
  const int rc = sqlite3_step(st);
  DepoisDeRodar(&p->escreve);
  if (esperando_) FimDaEspera();
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) SqliteFail(db_, sql);
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
  const std::string t = SqliteTrim(sql);
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
  const SqlitePrazo prazo(db_, &deadline_, timeout_seconds);
  // Several statements may come in one text: run them one after another.
  const std::string utf8 = Cp1252ToUtf8(sql);
  const char* tail = utf8.c_str();
  while (*tail != '\0') {
    sqlite3_stmt* st = nullptr;
    const char* next = nullptr;
    // Its preparation forgets the kept answers it may change.
    if (sqlite3_prepare_v2(db_, tail, -1, &st, &next) != SQLITE_OK)
      SqliteFail(db_, "<" + sql + ">");
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
    const std::vector<char> dt = SqliteDateTimeColumns(st, ncol);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::vector<Value> row;
      for (int i = 0; i < ncol; ++i) {
        row.push_back(SqliteColumnValue(st, i, dt[static_cast<size_t>(i)]));
      }
      rs.AddRow(std::move(row));
    }
    sqlite3_finalize(st);
    escritas_.clear();
    if (esperando_) FimDaEspera();
    if (rc != SQLITE_DONE) {
      if (rc == SQLITE_INTERRUPT)
        throw ProviderError(ErrorKind::kTimeout, "Query timeout expired <" + sql + ">");
      SqliteFail(db_, "<" + sql + ">");
    }
    if (ncol > 0 && out != nullptr) out->push_back(std::move(rs));
  }
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
  if (c->servidor_ != nullptr) c->servidor_->Writes({tabela});
  return SQLITE_OK;
}

void SqliteConnection::DepoisDoRollback(void* self) {
  auto* c = static_cast<SqliteConnection*>(self);
  if (c->servidor_ != nullptr) c->servidor_->RolledBack();
}

void SqliteConnection::Anota(std::vector<std::string>* escreve) {
  for (std::string& t : escritas_) {
    bool tem = false;
    for (const std::string& e : *escreve) tem = tem || strcasecmp(e.c_str(), t.c_str()) == 0;
    if (!tem) escreve->push_back(std::move(t));
  }
  escritas_.clear();
}

}  // namespace zun
