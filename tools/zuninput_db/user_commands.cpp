#include "zuninput_db/user_commands.h"

#include <cstdlib>
#include <iostream>

#include "embedded/password_hash.h"
#include "embedded/reference_db.h"
#include "foundation/secret_file.h"
#include "service/login_inputs.h"
#include "zuninput_db/output.h"
#include "zuninput_db/sqlite_file.h"

namespace zun::dbtool {

namespace {

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

}  // namespace

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

}  // namespace zun::dbtool
