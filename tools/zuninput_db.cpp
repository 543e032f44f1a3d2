// zuninput-db: the operators' tool for the embedded reference database.
// Creates a database file, adds users, queues import files, lists, shows,
// retries and purges queue entries, and runs single SQL statements. On a
// SQL Server selected as the service selects it, the queue commands go
// through the queue's procedures.
// Command-line texts are taken as UTF-8, as the database file holds them.

#include <sqlite3.h>
#include <sys/stat.h>

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "embedded/codes.h"
#include "embedded/import_files.h"
#include "embedded/password_hash.h"
#include "embedded/queue_admin.h"
#include "embedded/reference_db.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/secret_file.h"
#include "foundation/switches.h"
#include "foundation/text.h"
#include "foundation/text_1252.h"
#include "service/codes.h"
#include "service/config_file.h"
#include "service/login_inputs.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/connection.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/provider.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {
namespace {

constexpr char kUsage[] =
    "usage: zuninput-db [--db PATH | --database NAME] [--config PATH] COMMAND ...\n"
    "       zuninput-db --help\n"
    "  init                                 create the database file\n"
    "  user add NAME [--password-file PATH | --password-env | --password-stdin\n"
    "                | --password P] [--email E] [--admin]\n"
    "                [--flags N] [--lingua 0|1|2] [--source-do-bal N]\n"
    "  user list                            the users, their e-mail and rights\n"
    "  user passwd NAME PASSWORD-OPTION     a new password (options as for add)\n"
    "  user set-email NAME E                the address the owner's mails go to\n"
    "  user del NAME                        delete a user without queue entries\n"
    "  enqueue FILE --user NAME [--priority N] [--as NAME]\n"
    "                                       queue a file, print its id\n"
    "  queue [--failed | --waiting] [--user NAME] [--json]\n"
    "                                       list the queue: each entry's state and why\n"
    "  show ID                              the entry's stored content, unchanged\n"
    "  retry ID                             offer an entry that used its tries once more\n"
    "  cancel ID                            delete an entry that has not succeeded\n"
    "  errors ID [--try N]                  the line messages of the entry's tries (of try N),\n"
    "                                       each with its code, the code's reason and the line\n"
    "  purge --before DATE                  delete the entries imported before DATE (GMT)\n"
    "  sql \"STATEMENT\"                      run one SQL statement, print its rows\n"
    "The database file is PATH, or NAME.db in the working directory\n"
    "(NAME defaults to ZunInput, the service's database).\n"
    "On SQL Server: when the configuration file (--config PATH or -Config:PATH, else\n"
    "the service's) or a switch of the service (-provider:SQLOLEDB.1, -OdbcDsn:NAME,\n"
    "-OdbcDriver:NAME, -sqlserver:..., -database:..., -user:..., -PasswordFile:...,\n"
    "-password:..., -OdbcNoEncryption, -IntegratedSecurity) selects one, the queue\n"
    "commands go through the queue's procedures as that login; init, user and sql stay\n"
    "on the embedded file.\n";

// Bad command-line input: usage text and exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Exit status 1 with the message.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The command line split into words and options. Options take a value
// unless listed as flags; "--opt=value" is accepted too.
struct Args {
  std::vector<std::string> words;
  std::map<std::string, std::string> options;
  std::set<std::string> flags;
  // The service's switches ("-provider:...", "-OdbcNoEncryption"): they
  // select and reach a SQL Server as the service does.
  std::vector<std::string> switches;

  bool Has(const std::string& o) const { return options.count(o) != 0 || flags.count(o) != 0; }
  std::string Get(const std::string& o, const std::string& fallback = "") const {
    auto it = options.find(o);
    return it == options.end() ? fallback : it->second;
  }
};

const std::set<std::string> kValueOptions = {
    "--db", "--database", "--password", "--password-file", "--email",  "--user",   "--priority",
    "--as", "--flags",    "--lingua",   "--source-do-bal", "--before", "--config", "--try"};
const std::set<std::string> kFlagOptions = {
    "--password-stdin", "--password-env", "--admin", "--help", "--json", "--failed", "--waiting"};

Args Parse(int argc, char** argv) {
  Args a;
  bool only_words = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!only_words && arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
      a.switches.push_back(arg);
      continue;
    }
    if (only_words || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      a.words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_words = true;
      continue;
    }
    std::string value;
    bool has_value = false;
    const size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    }
    if (kFlagOptions.count(arg) != 0) {
      if (has_value) throw UsageError("option " + arg + " takes no value");
      a.flags.insert(arg);
    } else if (kValueOptions.count(arg) != 0) {
      if (!has_value) {
        if (i + 1 >= argc) throw UsageError("option " + arg + " needs a value");
        value = argv[++i];
      }
      if (a.options.count(arg) != 0) throw UsageError("option " + arg + " given twice");
      a.options[arg] = value;
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  return a;
}

// Only the options a command knows; the rest is a usage error.
void Allow(const Args& a, const std::set<std::string>& allowed) {
  static const std::set<std::string> global = {"--db", "--database", "--config"};
  for (const auto& [o, v] : a.options) {
    if (allowed.count(o) == 0 && global.count(o) == 0) {
      throw UsageError("option " + o + " does not apply to this command");
    }
  }
  for (const std::string& o : a.flags) {
    if (allowed.count(o) == 0) throw UsageError("option " + o + " does not apply to this command");
  }
}

void WordCount(const Args& a, size_t n, const char* what) {
  if (a.words.size() < n) throw UsageError(std::string("missing ") + what);
  if (a.words.size() > n) throw UsageError("unexpected argument <" + a.words[n] + ">");
}

int32_t ParseInt(const std::string& text, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || end == text.c_str() || *end != '\0' || errno != 0 || v < INT32_MIN ||
      v > INT32_MAX) {
    throw UsageError(what + " must be an integer, not <" + text + ">");
  }
  return static_cast<int32_t>(v);
}

// The file the service would open: NAME.db in the working directory, the
// way the embedded provider maps "Initial Catalog", unless --db names it.
std::string DatabasePath(const Args& a) {
  if (a.Has("--db") && a.Has("--database")) {
    throw UsageError("give either --db or --database, not both");
  }
  if (a.Has("--db")) {
    const std::string p = a.Get("--db");
    if (p.empty()) throw UsageError("--db needs a path");
    return p;
  }
  const std::string catalog = a.Get("--database", "ZunInput");
  try {
    return SqliteCatalogPath(ConnectionString("Initial Catalog=" + catalog));
  } catch (const ProviderError& e) {
    throw UsageError(e.what());
  }
}

// A text of the command line as the client side holds it (Windows-1252);
// characters that code page cannot hold are refused.
std::string ClientText(const std::string& utf8, const std::string& what) {
  const std::string cp = Utf8ToCp1252(utf8);
  if (Cp1252ToUtf8(cp) != utf8) {
    throw UsageError(what + " <" + utf8 + "> has characters outside Windows-1252");
  }
  return cp;
}

class DbFile {
 public:
  explicit DbFile(const std::string& path) : db_(OpenSqliteFile(path, /*create=*/false)) {}
  ~DbFile() { sqlite3_close_v2(db_); }
  DbFile(const DbFile&) = delete;
  DbFile& operator=(const DbFile&) = delete;

  // Prepares exactly one statement. Raises Failure.
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, &tail) != SQLITE_OK) {
      throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db_));
    }
    if (st == nullptr) throw UsageError("no SQL statement given");
    for (const char* p = tail; p != nullptr && *p != '\0'; ++p) {
      if (*p == ';' || *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') continue;
      sqlite3_finalize(st);
      throw UsageError("give one SQL statement only");
    }
    return st;
  }
  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_;
};

struct Stmt {
  sqlite3_stmt* st;
  ~Stmt() { sqlite3_finalize(st); }
};

// A write transaction taken at once, so that a service process cannot take
// an entry between its check and its change; rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(DbFile& db) : db_(db) { Exec("BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (!done_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    Exec("COMMIT");
    done_ = true;
  }

 private:
  void Exec(const char* sql) {
    if (sqlite3_exec(db_.handle(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db_.handle()));
    }
  }
  DbFile& db_;
  bool done_ = false;
};

std::string NoEntry(int64_t id) { return "no queue entry " + std::to_string(id); }

// Escapes tabs, line breaks and backslashes for tab-separated output.
std::string Escapado(const std::string& t) {
  std::string out;
  for (const char c : t) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A column value for tab-separated output: NULL is empty, blobs show their
// size, and tabs, line breaks and backslashes are escaped.
std::string Cell(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return "";
    case SQLITE_BLOB:
      return "<blob " + std::to_string(sqlite3_column_bytes(st, i)) + " bytes>";
    default:
      break;
  }
  const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
  return Escapado(p != nullptr ? p : "");
}

// Steps st to the end, printing a header and one line per row when it has
// columns. Raises Failure.
void PrintRows(DbFile& db, sqlite3_stmt* st, std::ostream& out) {
  const int n = sqlite3_column_count(st);
  for (int i = 0; i < n; ++i) out << (i > 0 ? "\t" : "") << sqlite3_column_name(st, i);
  if (n > 0) out << '\n';
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    for (int i = 0; i < n; ++i) out << (i > 0 ? "\t" : "") << Cell(st, i);
    out << '\n';
  }
  if (rc != SQLITE_DONE) throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
}

int Init(const Args& a, const std::string& path) {
  Allow(a, {});
  WordCount(a, 1, "");
  InitDatabase(path);
  std::cout << "created " << path << " (schema version " << kSchemaVersion << ")\n";
  return 0;
}

// The new user's password from the one password option given; false when
// none is. Passwords are kept byte for byte, as the service receives them.
bool NewPassword(const Args& a, std::string* password) {
  const char* sources[] = {"--password", "--password-stdin", "--password-file", "--password-env"};
  int given = 0;
  for (const char* o : sources) given += a.Has(o) ? 1 : 0;
  if (given > 1) throw UsageError("give one password option only");
  if (given == 0) return false;
  if (a.Has("--password")) {
    std::cerr << "zuninput-db: warning: a password on the command line can be read by every "
                 "local user; use --password-file, --password-env or --password-stdin\n";
    *password = a.Get("--password");
  } else if (a.Has("--password-stdin")) {
    if (!std::getline(std::cin, *password)) throw UsageError("no password on standard input");
    if (!password->empty() && password->back() == '\r') password->pop_back();
  } else if (a.Has("--password-file")) {
    const std::string why = ReadSecretFile(a.Get("--password-file"), password);
    if (!why.empty()) throw Failure("password file refused: " + why);
  } else {
    const char* env = std::getenv(kPasswordVariable);
    if (env == nullptr || *env == '\0') {
      throw Failure(std::string(kPasswordVariable) + " holds no password");
    }
    *password = env;
  }
  if (password->empty()) throw UsageError("the password is empty");
  return true;
}

int UserAdd(const Args& a, const std::string& path) {
  Allow(a, {"--password", "--password-stdin", "--password-file", "--password-env", "--email",
            "--admin", "--flags", "--lingua", "--source-do-bal"});
  WordCount(a, 3, "user name");
  NewUser u;
  u.name = ClientText(a.words[2], "the user name");
  NewPassword(a, &u.password);
  u.email = ClientText(a.Get("--email"), "the e-mail");
  u.is_admin = a.Has("--admin");
  if (a.Has("--flags")) u.user_flags = ParseInt(a.Get("--flags"), "--flags");
  if (a.Has("--lingua")) {
    u.lingua = ParseInt(a.Get("--lingua"), "--lingua");
    if (u.lingua < 0 || u.lingua > 2) throw UsageError("--lingua must be 0, 1 or 2");
  }
  if (a.Has("--source-do-bal")) {
    u.source_do_bal = ParseInt(a.Get("--source-do-bal"), "--source-do-bal");
    if (u.source_do_bal < 0 || u.source_do_bal > 255) {
      throw UsageError("--source-do-bal must lie in 0..255");
    }
  }
  const int64_t uid = AddUser(path, u);
  std::cout << "user " << a.words[2] << " added, uid " << uid << (u.is_admin ? " (admin)" : "")
            << (u.password.empty() ? " (integrated security only)" : "") << "\n";
  return 0;
}

// The row of a user by name (letter case ignored); Failure when none.
int64_t UserUid(DbFile& db, const std::string& name) {
  Stmt st{db.Prepare("SELECT uid FROM users WHERE name = ?")};
  sqlite3_bind_text(st.st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st.st) != SQLITE_ROW) throw Failure("no user " + name);
  return sqlite3_column_int64(st.st, 0);
}

// Runs one change of the user command, which must touch exactly one row.
void ChangeOne(DbFile& db, sqlite3_stmt* st) {
  if (sqlite3_step(st) != SQLITE_DONE || sqlite3_changes(db.handle()) != 1) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
}

// Sets one column of user name's row to value, in one transaction.
void SetUserColumn(const std::string& path, const std::string& name, const char* column,
                   const std::string& value) {
  DbFile db(path);
  Transaction tx(db);
  const int64_t uid = UserUid(db, name);
  Stmt st{db.Prepare(std::string("UPDATE users SET ") + column + " = ? WHERE uid = ?")};
  sqlite3_bind_text(st.st, 1, value.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(st.st, 2, uid);
  ChangeOne(db, st.st);
  tx.Commit();
}

int UserCommand(const Args& a, const std::string& path) {
  const std::string sub = a.words.size() > 1 ? a.words[1] : "";
  if (sub == "add") return UserAdd(a, path);
  if (sub == "list") {
    Allow(a, {});
    WordCount(a, 2, "");
    DbFile db(path);
    Stmt st{db.Prepare(
        "SELECT uid, name, email, is_admin AS admin, user_flags AS flags, lingua, "
        "source_do_bal, created, (SELECT count(*) FROM import_files f WHERE f.uid = u.uid) "
        "AS entries FROM users u ORDER BY uid")};
    PrintRows(db, st.st, std::cout);
    return 0;
  }
  if (sub == "passwd") {
    Allow(a, {"--password", "--password-stdin", "--password-file", "--password-env"});
    WordCount(a, 3, "user name");
    std::string password;
    if (!NewPassword(a, &password)) throw UsageError("user passwd needs a password option");
    SetUserColumn(path, a.words[2], "password_hash", HashPassword(password));
    std::cout << "password of " << a.words[2] << " changed\n";
    return 0;
  }
  if (sub == "set-email") {
    Allow(a, {});
    WordCount(a, 4, "user name and e-mail");
    ClientText(a.words[3], "the e-mail");
    SetUserColumn(path, a.words[2], "email", a.words[3]);
    std::cout << "e-mail of " << a.words[2] << " set\n";
    return 0;
  }
  if (sub == "del") {
    Allow(a, {});
    WordCount(a, 3, "user name");
    DbFile db(path);
    Transaction tx(db);
    const int64_t uid = UserUid(db, a.words[2]);
    // The queue keeps each entry's owner: a user with entries stays.
    Stmt n{db.Prepare("SELECT count(*) FROM import_files WHERE uid = ?")};
    sqlite3_bind_int64(n.st, 1, uid);
    sqlite3_step(n.st);
    if (const int64_t entries = sqlite3_column_int64(n.st, 0); entries > 0) {
      throw Failure("user " + a.words[2] + " owns " + std::to_string(entries) +
                    " queue entries; cancel or purge them first");
    }
    Stmt st{db.Prepare("DELETE FROM users WHERE uid = ?")};
    sqlite3_bind_int64(st.st, 1, uid);
    ChangeOne(db, st.st);
    tx.Commit();
    std::cout << "user " << a.words[2] << " deleted\n";
    return 0;
  }
  throw UsageError("the user commands are: user add, list, passwd, set-email, del");
}

std::string BaseName(const std::string& p) {
  std::string s = p;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  const size_t slash = s.find_last_of('/');
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

// A file to queue, as the command line gives it.
struct ArquivoParaAFila {
  std::string content;
  int32_t priority = kMaxPrioridadeDeDia;
  std::string shown;  // the name shown in messages
};

ArquivoParaAFila LeArquivoParaAFila(const Args& a) {
  Allow(a, {"--user", "--priority", "--as"});
  WordCount(a, 2, "file to queue");
  const std::string file = a.words[1];
  if (!a.Has("--user") || a.Get("--user").empty()) throw UsageError("enqueue needs --user NAME");
  const int32_t priority =
      a.Has("--priority") ? ParseInt(a.Get("--priority"), "--priority") : kMaxPrioridadeDeDia;
  if (priority > kMaxPrioridadeDeNoite) {
    throw UsageError("--priority must be at most " + std::to_string(kMaxPrioridadeDeNoite) +
                     ": the service never takes a higher one");
  }
  const std::string shown = a.Has("--as") ? a.Get("--as") : BaseName(file);
  if (shown.empty()) throw UsageError("--as needs a name");
  // The name reaches the log and the mails: a line break would forge lines.
  for (const unsigned char c : shown) {
    if (c < 32 || c == 127) throw UsageError("the file name may not hold control characters");
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) {
    throw Failure("cannot read " + file + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) throw Failure("not a regular file: " + file);
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Failure("cannot read " + file + ": " + std::strerror(errno));
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Failure("cannot read " + file);
  return {content, priority, shown};
}

int Enqueue(const Args& a, const std::string& path) {
  const auto [content, priority, shown] = LeArquivoParaAFila(a);
  const std::string& file = a.words[1];
  DbFile db(path);
  if (content.size() > static_cast<size_t>(sqlite3_limit(db.handle(), SQLITE_LIMIT_LENGTH, -1))) {
    throw Failure("the file is too large for the queue: " + file);
  }
  Stmt find{db.Prepare("SELECT uid FROM users WHERE name = ?")};
  sqlite3_bind_text(find.st, 1, a.Get("--user").c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(find.st) != SQLITE_ROW) throw Failure("no user " + a.Get("--user"));
  const int64_t uid = sqlite3_column_int64(find.st, 0);
  // mom: the queue time in GMT, as the service reads it.
  Stmt add{
      db.Prepare("INSERT INTO import_files (uid, prioridade, mom, filename, conteudo) "
                 "VALUES (?, ?, strftime('%Y-%m-%d %H:%M:%S', 'now'), ?, ?)")};
  sqlite3_bind_int64(add.st, 1, uid);
  sqlite3_bind_int(add.st, 2, priority);
  sqlite3_bind_text(add.st, 3, shown.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_blob(add.st, 4, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(add.st) != SQLITE_DONE) {
    throw Failure(std::string("cannot queue the file: ") + sqlite3_errmsg(db.handle()));
  }
  std::cout << sqlite3_last_insert_rowid(db.handle()) << "\n";
  return 0;
}

int Queue(const Args& a, const std::string& path) {
  Allow(a, {"--json", "--failed", "--waiting", "--user"});
  WordCount(a, 1, "");
  DbFile db(path);
  const std::string select =
      a.Has("--json")
          ? "SELECT json_group_array(json_object('id', id, 'user', user, 'priority', priority, "
            "'queued', queued, 'filename', filename, 'tries', tries, 'result', result, "
            "'content', json(CASE content WHEN 'Y' THEN 'true' ELSE 'false' END), 'state', state, "
            "'why', why)) AS queue FROM (SELECT * FROM q "
            "ORDER BY id)"
          : "SELECT * FROM q ORDER BY id";
  Stmt st{db.Prepare(kSqlDaFila + select)};
  sqlite3_bind_int(st.st, 1, kImportMaxTries);
  sqlite3_bind_int(st.st, 2, a.Has("--failed") ? 1 : 0);
  sqlite3_bind_int(st.st, 3, a.Has("--waiting") ? 1 : 0);
  if (a.Has("--user")) {
    sqlite3_bind_text(st.st, 4, a.Get("--user").c_str(), -1, SQLITE_TRANSIENT);
  }
  if (!a.Has("--json")) {
    PrintRows(db, st.st, std::cout);
    return 0;
  }
  if (sqlite3_step(st.st) != SQLITE_ROW) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
  std::cout << reinterpret_cast<const char*>(sqlite3_column_text(st.st, 0)) << "\n";
  return 0;
}

// The queue entry id of the command's second word.
int64_t EntryId(const Args& a) {
  WordCount(a, 2, "entry id");
  const int32_t id = ParseInt(a.words[1], "the entry id");
  if (id <= 0) throw UsageError("the entry id must be positive");
  return id;
}

int Show(const Args& a, const std::string& path) {
  Allow(a, {});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Stmt st{db.Prepare("SELECT conteudo IS NULL, conteudo FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(st.st, 1, id);
  if (sqlite3_step(st.st) != SQLITE_ROW) throw Failure(NoEntry(id));
  if (sqlite3_column_int(st.st, 0) != 0) {
    throw Failure("the content of entry " + std::to_string(id) +
                  " was deleted (its local copy was kept in the service's -PathIF directory)");
  }
  const void* bytes = sqlite3_column_blob(st.st, 1);
  std::cout.write(static_cast<const char*>(bytes), sqlite3_column_bytes(st.st, 1));
  std::cout.flush();
  if (!std::cout) throw Failure("cannot write the content to standard output");
  return 0;
}

// What retry and cancel need to know of an entry; raises Failure when there
// is no entry id.
struct EstadoDaEntrada {
  bool feito = false;         // marked done (by its import or by hand)
  bool sucesso = false;       // imported successfully: final
  bool sem_conteudo = false;  // its stored content was deleted
  int tries = 0;
  bool importando = false;  // a run holds its lease
};

EstadoDaEntrada LeEstadoDaEntrada(DbFile& db, int64_t id) {
  Stmt st{
      db.Prepare("SELECT done, done = 1 AND result = 0, conteudo IS NULL, importtries, "
                 "taken_until IS NOT NULL AND taken_until > strftime('%Y-%m-%d %H:%M:%f', 'now') "
                 "FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(st.st, 1, id);
  if (sqlite3_step(st.st) != SQLITE_ROW) throw Failure(NoEntry(id));
  return {sqlite3_column_int(st.st, 0) != 0, sqlite3_column_int(st.st, 1) != 0,
          sqlite3_column_int(st.st, 2) != 0, sqlite3_column_int(st.st, 3),
          sqlite3_column_int(st.st, 4) != 0};
}

int Retry(const Args& a, const std::string& path) {
  Allow(a, {});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Transaction tx(db);
  const EstadoDaEntrada e = LeEstadoDaEntrada(db, id);
  const std::string entry = "entry " + std::to_string(id);
  if (e.feito) throw Failure(entry + " was imported successfully; a success is final");
  if (e.sem_conteudo) {
    throw Failure(entry + " has no stored content any more; queue the file again");
  }
  if (e.importando) throw Failure(entry + " is being imported right now");
  const int tries = e.tries;
  if (tries < kImportMaxTries) {
    std::cout << entry << " is still offered (" << tries << " of " << kImportMaxTries
              << " tries used)\n";
    return 0;
  }
  // One try short of the service's limit: the next run takes the entry once
  // and, should it fail again, reports it as having used its tries.
  Stmt upd{
      db.Prepare("UPDATE import_files SET importtries = ?, result = NULL, result_mom = NULL, "
                 "taken_until = NULL WHERE id = ?")};
  sqlite3_bind_int(upd.st, 1, kImportMaxTries - 1);
  sqlite3_bind_int64(upd.st, 2, id);
  ChangeOne(db, upd.st);
  tx.Commit();
  std::cout << entry << " offered once more\n";
  return 0;
}

// The line messages the service kept with an entry, each try's (or try
// N's), oldest try first; a file made before the try's columns has one try, shown
// as 0.
int Errors(const Args& a, const std::string& path) {
  Allow(a, {"--try"});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Stmt e{db.Prepare("SELECT 1 FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(e.st, 1, id);
  if (sqlite3_step(e.st) != SQLITE_ROW) throw Failure(NoEntry(id));
  Stmt has{
      db.Prepare("SELECT 1 FROM pragma_table_info('import_file_errors') WHERE name = 'importtry'")};
  Stmt st{db.Prepare(sqlite3_step(has.st) == SQLITE_ROW ? kSqlDosErros : kSqlDosErrosSemTentativa)};
  sqlite3_bind_int64(st.st, 1, id);
  if (a.Has("--try")) sqlite3_bind_int(st.st, 2, ParseInt(a.Get("--try"), "--try"));
  PrintRows(db, st.st, std::cout);
  return 0;
}

// The line messages of entries no longer in the queue (a file of a schema
// before 12 has none).
void DropOrphanErrors(DbFile& db) {
  Stmt has{db.Prepare("SELECT 1 FROM sqlite_master WHERE name = 'import_file_errors'")};
  if (sqlite3_step(has.st) != SQLITE_ROW) return;
  Stmt st{
      db.Prepare("DELETE FROM import_file_errors WHERE id NOT IN (SELECT id FROM import_files)")};
  if (sqlite3_step(st.st) != SQLITE_DONE) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
}

// Deletes an entry that has not succeeded and that no run is importing.
int Cancel(const Args& a, const std::string& path) {
  Allow(a, {});
  const int64_t id = EntryId(a);
  DbFile db(path);
  Transaction tx(db);
  const EstadoDaEntrada e = LeEstadoDaEntrada(db, id);
  const std::string entry = "entry " + std::to_string(id);
  if (e.sucesso) throw Failure(entry + " was imported successfully; purge removes old entries");
  if (e.importando) throw Failure(entry + " is being imported right now");
  Stmt del{db.Prepare("DELETE FROM import_files WHERE id = ?")};
  sqlite3_bind_int64(del.st, 1, id);
  ChangeOne(db, del.st);
  DropOrphanErrors(db);
  tx.Commit();
  std::cout << entry << " cancelled\n";
  return 0;
}

// purge's --before as "yyyy-mm-dd hh:nn:ss" (GMT); a date the calendar does
// not have is refused.
std::string AntesDoPurge(const Args& a) {
  Allow(a, {"--before"});
  WordCount(a, 1, "");
  if (!a.Has("--before")) throw UsageError("purge needs --before DATE");
  std::string before = a.Get("--before");
  if (before.size() == 10) before += " 00:00:00";
  sqlite3* mem = nullptr;
  sqlite3_open(":memory:", &mem);
  struct Fecha {
    sqlite3* db;
    ~Fecha() { sqlite3_close_v2(db); }
  } fecha{mem};
  sqlite3_stmt* check_st = nullptr;
  // A date the calendar does not have (February 30) comes back changed.
  sqlite3_prepare_v2(mem, "SELECT datetime(?, '+0 seconds') IS ?", -1, &check_st, nullptr);
  Stmt check{check_st};
  sqlite3_bind_text(check.st, 1, before.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(check.st, 2, before.c_str(), -1, SQLITE_TRANSIENT);
  if (before.size() != 19 || sqlite3_step(check.st) != SQLITE_ROW ||
      sqlite3_column_int(check.st, 0) == 0) {
    throw UsageError("--before takes yyyy-mm-dd or \"yyyy-mm-dd hh:nn:ss\", not <" +
                     a.Get("--before") + ">");
  }
  return before;
}

int Purge(const Args& a, const std::string& path) {
  const std::string before = AntesDoPurge(a);
  DbFile db(path);
  Stmt del{db.Prepare("DELETE FROM import_files WHERE done = 1 AND result = 0 AND result_mom < ?")};
  sqlite3_bind_text(del.st, 1, before.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(del.st) != SQLITE_DONE) {
    throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
  }
  const int deleted = sqlite3_changes(db.handle());
  DropOrphanErrors(db);
  std::cout << deleted << " entries deleted\n";
  return 0;
}

int Sql(const Args& a, const std::string& path) {
  Allow(a, {});
  WordCount(a, 2, "SQL statement");
  DbFile db(path);
  Stmt st{db.Prepare(a.words[1])};
  PrintRows(db, st.st, std::cout);
  if (sqlite3_column_count(st.st) == 0) {
    std::cerr << sqlite3_changes(db.handle()) << " row(s) changed\n";
  }
  return 0;
}

// The queue on SQL Server, through the queue's procedures (docs/database.md,
// "The queue for owners and operators"), as the configured login: the
// procedures decide what it may see and change.

// Whether the configuration file (--config PATH, else the service's) or a
// service switch (-provider:..., -OdbcDsn:...) selects a SQL Server, as the
// service would connect to it; the switches stay set for the login.
bool ServidorSelecionado(const Args& a) {
  if (a.Has("--db")) {
    if (!a.switches.empty()) throw UsageError("--db names the embedded file: no " + a.switches[0]);
    return false;
  }
  std::vector<std::string> args = {"zuninput-db"};
  args.insert(args.end(), a.switches.begin(), a.switches.end());
  SetProgramArgs(args);
  if (CarregaConfiguracao(a.Has("--config") ? a.Get("--config") : CaminhoDaConfiguracao()) != 0) {
    std::string motivo;
    (void)ErroDaConfiguracao(&motivo);  // the code is the one just returned
    throw Failure("the configuration file is refused: " + motivo);
  }
  SetProgramArgs(ArgsComConfiguracao(args));
  std::string provider;
  std::string dsn;
  LeSwitch("provider", &provider);
  LeSwitch("OdbcDsn", &dsn);
  return (!provider.empty() || !dsn.empty()) && strcasecmp(provider.c_str(), "SQLite") != 0;
}

// A value as text, as the embedded path prints it (UTF-8; date-times as
// yyyy-mm-dd hh:nn:ss).
std::string Texto(const Value& v) {
  if (v.IsNull()) return "";
  if (v.type() == DataType::kBinary)
    return "<blob " + std::to_string(v.AsString().size()) + " bytes>";
  if (v.type() == DataType::kDateTime) {
    int y, mo, d, h, mi, sec, ms;
    DecodeDateTime(v.AsDouble(), &y, &mo, &d, &h, &mi, &sec, &ms);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, sec);
    return buf;
  }
  return Cp1252ToUtf8(v.AsString());
}

class Servidor {
 public:
  explicit Servidor(const Args& a) {
    DadosDeLogin d;
    std::string msg;
    SetLogFileName("/dev/null");
    const int32_t e = LeDadosDeLogin("", "", PedeLoginNoTerminal, &d, &msg);
    if (e != 0) throw Failure(LinhaDoCodigo("the login is refused", e, msg));
    std::string cs = MontaStringDeConexao(d);
    conn_.SetConnectionString(cs);
    ApagaTexto(&cs);
    ApagaTexto(&d.password);
    conn_.Open();
    id_ = a.words.size() > 1 ? a.words[1] : "";
  }

  // Calls proc with the inputs; a code other than 0 fails the command with
  // the reason in words.
  std::unique_ptr<Command> Chama(const std::string& proc,
                                 const std::vector<std::pair<const char*, Value>>& in) {
    int32_t code = 0;
    auto cmd = RunProcedure(&conn_, proc, in, &code);
    if (code == 0) return cmd;
    const std::string entry = "entry " + id_;
    switch (code) {
      case kErrImportFileUnknownId:
        throw Failure("no queue entry " + id_);
      case kErrImportFileNotYours:
        throw Failure(proc + ": refused (" + std::to_string(code) +
                      "): the entry is another user's, or this is an administrator's to do");
      case kErrImportFileAlreadyDone:
        throw Failure(entry + " was imported successfully; a success is final");
      case kErrImportFileNoContent:
        throw Failure(entry + " has no stored content any more; queue the file again");
      case kErrImportFileBeingImported:
        throw Failure(entry + " is being imported right now");
      case kErrImportFileNoUser:
        throw Failure("no such user");
      default:
        throw Failure(proc + " failed with " + std::to_string(code));
    }
  }

 private:
  Connection conn_;
  std::string id_;
};

void ImprimeLinhas(Command& cmd, bool json) {
  if (!cmd.Active()) return;
  Recordset& rs = cmd.Current();
  if (json) {
    const auto js = [](const std::string& t) {
      std::string o = "\"";
      for (const char c : t) {
        if (c == '"' || c == '\\') o += '\\';
        if (static_cast<unsigned char>(c) < 32) {
          char b[8];
          std::snprintf(b, sizeof b, "\\u%04x", c);
          o += b;
        } else {
          o += c;
        }
      }
      return o + "\"";
    };
    std::string out = "[";
    for (rs.First(); !rs.Eof(); rs.Next()) {
      out += out.size() > 1 ? "," : "";
      for (int i = 0; i < rs.FieldCount(); ++i) {
        const std::string& n = rs.FieldName(i);
        const Value& v = rs.Field(i);
        std::string val = v.IsNull()       ? "null"
                          : n == "content" ? (Texto(v) == "Y" ? "true" : "false")
                          : n == "id" || n == "priority" || n == "tries" || n == "result"
                              ? Texto(v)
                              : js(Texto(v));
        out += (i == 0 ? "{" : ",") + js(n) + ":" + val;
      }
      out += "}";
    }
    std::cout << out << "]\n";
    return;
  }
  for (int i = 0; i < rs.FieldCount(); ++i) std::cout << (i > 0 ? "\t" : "") << rs.FieldName(i);
  std::cout << '\n';
  for (rs.First(); !rs.Eof(); rs.Next()) {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      std::cout << (i > 0 ? "\t" : "") << Escapado(Texto(rs.Field(i)));
    }
    std::cout << '\n';
  }
}

int NoServidor(const Args& a) {
  const std::string& cmd = a.words[0];
  if (cmd == "init" || cmd == "user" || cmd == "sql") {
    throw Failure(cmd +
                  " works on the embedded database file only (give --db PATH); on SQL Server "
                  "use the server's own tools, and deploy/sqlserver/ for the queue");
  }
  static const std::set<std::string> kVerbos = {"queue", "show",   "errors", "enqueue",
                                                "retry", "cancel", "purge"};
  if (kVerbos.count(cmd) == 0) throw UsageError("unknown command <" + cmd + ">");
  if (cmd == "queue") {
    Allow(a, {"--json", "--failed", "--waiting", "--user", "--config"});
    WordCount(a, 1, "");
  } else if (cmd == "enqueue") {
    const ArquivoParaAFila f = LeArquivoParaAFila(a);
    auto c = Servidor(a).Chama(
        "ImportFilesAdd", {{"@usuario", Value::String(ClientText(a.Get("--user"), "the user"))},
                           {"@prioridade", Value::Int(f.priority)},
                           {"@filename", Value::String(ClientText(f.shown, "--as"))},
                           {"@conteudo", Value::Binary(f.content)},
                           {"@id", Value::Null()}});
    std::cout << c->Params().ParamByName("@id").value.AsInt() << "\n";
    return 0;
  } else if (cmd == "purge") {
    const std::string antes = AntesDoPurge(a);
    int y, mo, d, h, mi, sec;
    std::sscanf(antes.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec);
    auto c = Servidor(a).Chama(
        "ImportFilesPurga", {{"@antes", Value::DateTime(EncodeDateTime(y, mo, d, h, mi, sec, 0))},
                             {"@apagadas", Value::Null()}});
    std::cout << c->Params().ParamByName("@apagadas").value.AsInt() << " entries deleted\n";
    return 0;
  } else {
    Allow(a, cmd == "errors" ? std::set<std::string>{"--config", "--try"}
                             : std::set<std::string>{"--config"});
  }
  Servidor servidor(a);
  if (cmd == "queue") {
    const char* estado = a.Has("--failed") ? "failed" : a.Has("--waiting") ? "waiting" : nullptr;
    auto c = servidor.Chama(
        "ImportFilesLista",
        {{"@estado", estado != nullptr ? Value::String(estado) : Value::Null()},
         {"@usuario", a.Has("--user") ? Value::String(ClientText(a.Get("--user"), "the user"))
                                      : Value::Null()}});
    ImprimeLinhas(*c, a.Has("--json"));
    return 0;
  }
  const Value id = Value::Int(static_cast<int32_t>(EntryId(a)));
  if (cmd == "show") {
    auto c = servidor.Chama("ImportFilesGet", {{"@id", id}});
    if (!c->Active() || c->Current().RecordCount() == 0) throw Failure(NoEntry(id.AsInt()));
    c->Current().First();
    const std::string bytes = c->Current().FieldByName("conteudo").AsString();
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (!std::cout) throw Failure("cannot write the content to standard output");
  } else if (cmd == "errors") {
    const Value tentativa =
        a.Has("--try") ? Value::Int(ParseInt(a.Get("--try"), "--try")) : Value::Null();
    ImprimeLinhas(*servidor.Chama("ImportFilesErrosGet", {{"@id", id}, {"@try", tentativa}}),
                  false);
  } else if (cmd == "retry") {
    auto c = servidor.Chama("ImportFilesRepete", {{"@id", id}, {"@repetida", Value::Null()}});
    const Value& r = c->Params().ParamByName("@repetida").value;
    std::cout << "entry " << id.AsInt()
              << (!r.IsNull() && r.AsBool() ? " offered once more\n" : " is still offered\n");
  } else {
    servidor.Chama("ImportFilesCancela", {{"@id", id}});
    std::cout << "entry " << id.AsInt() << " cancelled\n";
  }
  return 0;
}

int Run(int argc, char** argv) {
  const Args a = Parse(argc, argv);
  if (a.Has("--help")) {
    std::cout << kUsage;
    return 0;
  }
  if (a.words.empty()) throw UsageError("no command given");
  if (ServidorSelecionado(a)) return NoServidor(a);
  const std::string path = DatabasePath(a);
  const std::string& cmd = a.words[0];
  if (cmd == "init") return Init(a, path);
  if (cmd == "user") return UserCommand(a, path);
  if (cmd == "enqueue") return Enqueue(a, path);
  if (cmd == "queue") return Queue(a, path);
  if (cmd == "show") return Show(a, path);
  if (cmd == "retry") return Retry(a, path);
  if (cmd == "cancel") return Cancel(a, path);
  if (cmd == "errors") return Errors(a, path);
  if (cmd == "purge") return Purge(a, path);
  if (cmd == "sql") return Sql(a, path);
  throw UsageError("unknown command <" + cmd + ">");
}

}  // namespace
}  // namespace zun

int main(int argc, char** argv) {
  try {
    return zun::Run(argc, argv);
  } catch (const zun::UsageError& e) {
    std::cerr << "zuninput-db: " << e.what() << "\n" << zun::kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "zuninput-db: " << e.what() << "\n";
    return 1;
  }
}
