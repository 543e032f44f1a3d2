// The administration tool run as a subprocess against files in a temporary
// directory; what it writes is read back through the provider. Each table
// runs its command lines in order: the exit status, then the whole standard
// output (status 0) or a text of standard error (any other status, whose
// message always names the tool).
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <regex>
#include <set>

#include "../support/db_fixture.h"
#include "../support/scratch.h"
#include "../testbeds/tds_server_process.h"
#include "embedded/import_files.h"

namespace zun {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

// One command line of a table and what it must give.
struct Passo {
  Passo(std::vector<std::string> a, int s = 0, std::optional<std::string> t = std::nullopt,
        std::string e = "")
      : args(std::move(a)), status(s), texto(std::move(t)), entrada(std::move(e)) {}
  std::vector<std::string> args;
  int status;
  std::optional<std::string> texto;  // stdout (status 0) or part of stderr; unset: not checked
  std::string entrada;               // its standard input
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class Tool : public DbDir {
 protected:
  // Runs zuninput-db in the temporary directory.
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::ofstream(dir_ + "/.in", std::ios::binary) << input;
    std::string cmd = "cd " + Quote(dir_) + " && " + Quote(ZUN_TEST_BINARY_DIR "/zuninput-db");
    for (const std::string& a : args) cmd += " " + Quote(a);
    const int rc = std::system((cmd + " <.in >.out 2>.err").c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadFile(dir_ + "/.out"),
            ReadFile(dir_ + "/.err")};
  }
  void Roda(const std::vector<Passo>& passos) {
    for (const Passo& p : passos) {
      const Outcome o = Run(p.args, p.entrada);
      std::string linha;
      for (const std::string& a : p.args) linha += " " + a;
      EXPECT_EQ(o.status, p.status) << linha << ": " << o.err;
      if (p.status != 0) {
        EXPECT_NE(o.err.find("zuninput-db: "), std::string::npos) << linha;
      }
      if (!p.texto) continue;
      if (p.status == 0) {
        EXPECT_EQ(o.out, *p.texto) << linha;
      } else {
        EXPECT_NE(o.err.find(*p.texto), std::string::npos) << linha << ": " << o.err;
      }
    }
  }
  bool Exists(const std::string& file) const { return std::filesystem::exists(dir_ + "/" + file); }
};

// The help and the manual name every command and option the tool reads,
// and every switch of the service's login it goes through on SQL Server.
TEST_F(Tool, HelpAndManualNameWhatTheToolReads) {
  const std::string src = ZUN_TEST_SOURCE_DIR;
  std::set<std::string> lidos;  // each as a regex for the text that names it
  std::string tool;
  for (const auto& f : std::filesystem::directory_iterator(src + "/tools/zuninput_db")) {
    tool += ReadFile(f.path());
  }
  const std::regex opcao(R"re("(--[a-z-]+)")re"), verbo(R"re((cmd|sub) == "([a-z-]+)")re");
  for (std::sregex_iterator m(tool.begin(), tool.end(), opcao), end; m != end; ++m) {
    lidos.insert((*m)[1].str() + "\\b");
  }
  for (std::sregex_iterator m(tool.begin(), tool.end(), verbo), end; m != end; ++m) {
    lidos.insert(((*m)[1] == "sub" ? "user " : "\\b") + (*m)[2].str() + "\\b");
  }
  const std::regex chave(R"re((?:LeSwitch|LeSwitch255|SwitchLigado)\("([A-Za-z]+)")re");
  for (const char* f : {"login_inputs.cpp", "password_source.cpp", "config_file.cpp"}) {
    const std::string text = ReadFile(src + "/src/service/" + f);
    for (std::sregex_iterator m(text.begin(), text.end(), chave), end; m != end; ++m) {
      lidos.insert("(^|[^-])-" + (*m)[1].str() + "\\b");
    }
  }
  EXPECT_GT(lidos.size(), 35u);
  std::string man = ReadFile(src + "/docs/man/zuninput-db.8");
  std::erase(man, '\\');  // roff's "\-"
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const std::string& item : lidos) {
    EXPECT_TRUE(std::regex_search(man, std::regex(item))) << item << " not in the manual";
    EXPECT_TRUE(std::regex_search(help.out, std::regex(item))) << item << " not in --help";
  }
}

TEST_F(Tool, InitPicksTheFileLikeTheServiceAndNeverOverwrites) {
  const mode_t old_mask = ::umask(022);
  Roda({{{"init"}}});
  ::umask(old_mask);
  // Password hashes and queued files: for the owner's eyes only.
  EXPECT_EQ(std::filesystem::status(Path()).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const auto size = std::filesystem::file_size(Path());
  // A journal of an earlier file would be replayed into the new one.
  std::ofstream(dir_ + "/Stale.db-wal") << "old";
  Roda({{{"--database", "Other", "init"}},
        {{"init", "--db", dir_ + "/x.db"}},
        {{"init"}, 1, "already exists"},
        {{"--database", "Stale", "init"}, 1},
        {{"--database", "../up", "init"}, 2}});
  for (const char* f : {"ZunInput.db", "Other.db", "x.db"}) EXPECT_TRUE(Exists(f)) << f;
  EXPECT_FALSE(Exists("Stale.db"));
  EXPECT_EQ(std::filesystem::file_size(Path()), size);
}

TEST_F(Tool, UsersAddedLogInWithTheirPasswordAndRights) {
  Roda({
      {{"init"}},
      {{"user", "add", "zunsvc", "--password-stdin", "--admin"}, 0, std::nullopt, "pa ss\n"},
      {{"user", "add", "ana", "--password=pw", "--email", "ana@x", "--flags", "5"}},
      // Only a salted hash is stored.
      {{"sql",
        "SELECT name, is_admin, user_flags, email, substr(password_hash, 1, 14) AS h, "
        "instr(password_hash, 'pa ss') AS p FROM users ORDER BY uid"},
       0,
       "name\tis_admin\tuser_flags\temail\th\tp\n"
       "zunsvc\t1\t0\t\tpbkdf2-sha256$\t0\nana\t0\t5\tana@x\tpbkdf2-sha256$\t0\n"},
      {{"user", "add", "ANA", "--password", "x"}, 1},  // taken, letter case ignored
      {{"user", "add", "bo", "--password", "x", "--password-stdin"}, 2},
      {{"user", "add", "bo", "--priority", "3"}, 2},
      {{"user", "add", "bo", "--password"}, 2},
      {{"user", "add", " bo"}, 1},
      {{"user", "add", std::string(129, 'b')}, 1},  // the service could not use it
      {{"user", "add"}, 2},
      {{"user", "del", "bo"}, 1},  // no such user
      {{"user", "passwd", "ana"}, 2},
      {{"user", "set-email", "bo", "b@x"}, 1},
      {{"user", "frob", "ana"}, 2},
      {{"user", "add", "bo", "--frob"}, 2},
      {{"--db", dir_ + "/none.db", "user", "add", "bo"}, 1},
  });
  EXPECT_NO_THROW(Login("zunsvc", "pa ss"));
  EXPECT_NO_THROW(Login("ana", "pw"));
  // A user's address and password changed, the list showing them, the user deleted.
  Roda({{{"user", "set-email", "ANA", "ana@y"}},
        {{"user", "passwd", "ana", "--password-stdin"}, 0, std::nullopt, "new\n"}});
  EXPECT_NO_THROW(Login("ana", "new"));
  EXPECT_THROW(Login("ana", "pw"), std::exception);
  EXPECT_TRUE(std::regex_search(Run({"user", "list"}).out, std::regex("\n2\tana\tana@y\t0\t5\t")));
  Roda({{{"user", "del", "ana"}}});
  EXPECT_THROW(Login("ana", "new"), std::exception);
}

TEST_F(Tool, EnqueuedFileReachesTheServiceUnchanged) {
  const std::string bytes("*QT A 1\r\n\xe9\x00\xff;x\n", 14);
  std::filesystem::create_directory(dir_ + "/in");
  std::ofstream(dir_ + "/in/q.txt", std::ios::binary) << bytes;
  Roda({
      {{"init"}},
      {{"user", "add", "zunsvc", "--password", "p", "--admin"}},
      {{"enqueue", "in/q.txt", "--user", "ZUNSVC", "--priority", "2"}, 0, "1\n"},
      {{"enqueue", "in/q.txt", "--user", "zunsvc", "--as", "shown.txt"}, 0, "2\n"},
      {{"enqueue", "in/q.txt", "--user", "nobody"}, 1},
      {{"enqueue", "in/none.txt", "--user", "zunsvc"}, 1},
      {{"enqueue", "in", "--user", "zunsvc"}, 1},
      {{"enqueue", "in/q.txt", "--user", "zunsvc", "--priority", "2x"}, 2},
      {{"enqueue", "in/q.txt", "--user", "zunsvc", "--priority", "1000"}, 2},  // never taken
      {{"enqueue", "in/q.txt", "--user", "zunsvc", "--as", "a\r\n2020/01/01 forged"}, 2},
      {{"enqueue", "in/q.txt"}, 2},
  });
  auto s = Login("zunsvc", "p");
  const Next n = TakeNext(*s, 5, 2);
  EXPECT_EQ(std::tie(n.id, n.prioridade, n.filename, n.conteudo),
            std::make_tuple(1, 2, "q.txt", bytes));
  EXPECT_LT(std::fabs(n.mom - AgoraGMT()) * 86400.0, 10.0);  // queued now, in GMT
  ASSERT_EQ(Result(*s, 1, Value::Int(0), true), 0);

  const Outcome q = Run({"queue"});
  ASSERT_EQ(q.status, 0);
  EXPECT_TRUE(std::regex_match(
      q.out,
      std::regex("id\tuser\tpriority\tqueued\tfilename\ttries\tresult\tcontent\tstate\twhy\n"
                 "1\tzunsvc\t2\t[^\t\n]+\tq\\.txt\t1\t0\tN\tsucceeded\timported at [^\t\n]+\n"
                 "2\tzunsvc\t5\t[^\t\n]+\tshown\\.txt\t0\t\tY\twaiting\twaits for the next run\n")))
      << q.out;
}

TEST_F(Tool, PasswordsFromAFileOrTheEnvironment) {
  ASSERT_EQ(Run({"init"}).status, 0);
  const std::string file = dir_ + "/pw";
  std::ofstream(file) << "from file\n";
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  ::setenv("ZUNINPUT_PASSWORD", "from env", 1);
  const Outcome by_file = Run({"user", "add", "a", "--password-file", file});
  const Outcome by_env = Run({"user", "add", "b", "--password-env"});
  const Outcome by_arg = Run({"user", "add", "c", "--password", "on the line"});
  ::unsetenv("ZUNINPUT_PASSWORD");
  EXPECT_EQ(by_file.status + by_env.status + by_arg.status, 0);
  EXPECT_NO_THROW(Login("a", "from file"));
  EXPECT_NO_THROW(Login("b", "from env"));
  EXPECT_NO_THROW(Login("c", "on the line"));
  // Only the warning, and not the password.
  EXPECT_EQ(by_file.err + by_env.err + by_arg.err,
            "zuninput-db: warning: a password on the command line can be read by every local "
            "user; use --password-file, --password-env or --password-stdin\n");

  std::filesystem::permissions(file, std::filesystem::perms::others_read,
                               std::filesystem::perm_options::add);
  Roda({
      {{"user", "add", "d", "--password-file", file}, 1, "(mode 0404)"},
      {{"user", "add", "d", "--password-env"}, 1},  // the variable is unset
      {{"user", "add", "d", "--password-env", "--password-file", file}, 2},
  });
}

// An entry that succeeded, one that used its tries, one still waiting.
TEST_F(Tool, QueueEntriesShownRetriedAndPurged) {
  const std::string bytes("*QT A\r\n\0\xff\n", 10);
  std::ofstream(dir_ + "/q.txt", std::ios::binary) << bytes;
  Roda({{{"init"}},
        {{"user", "add", "zunsvc", "--password-stdin", "--admin"}, 0, std::nullopt, "p\n"}});
  for (int i = 0; i < 4; ++i) Roda({{{"enqueue", "q.txt", "--user", "zunsvc"}}});
  auto s = Login("zunsvc", "p");
  ASSERT_EQ(Result(*s, TakeNext(*s, 5, 2).id, Value::Int(0), false), 0);  // 1 imported
  // 2 used its tries (3 and 4, never tried, would go before its second).
  Sql("UPDATE import_files SET prioridade = prioridade + 100 WHERE id > 2");
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(Result(*s, TakeNext(*s, 5, 2).id, Value::Int(3942), false), 0);
  }
  Sql("UPDATE import_files SET prioridade = prioridade - 100 WHERE id > 2");
  ASSERT_EQ(TakeNext(*s, 5, 2).id, 3);  // 3 taken by a run still working on it
  Sql("UPDATE import_files SET importtries = 2 WHERE id = 4");
  ASSERT_EQ(Result(*s, 4, Value::Int(3942), true), 0);  // 4 lost its content
  Sql("INSERT INTO import_file_errors (id, importtry, line, code, reason, msg, linetext) VALUES "
      "(1, 1, 3, 0, '', 'gone', ''), (2, 1, 5, 3942, 'why', 'bad', '*X'), "
      "(2, 2, 6, 0, '', 'note', '*Y')");

  // The queue as JSON, read back by SQLite's JSON functions, with its filters
  // (the command line that reads it).
  const auto json = [&](const std::vector<std::string>& filters) {
    std::vector<std::string> args = {"queue", "--json"};
    args.insert(args.end(), filters.begin(), filters.end());
    return std::vector<std::string>{
        "sql",
        "SELECT group_concat(json_extract(value, '$.id') || ' ' || json_extract(value, '$.state') "
        "|| ' ' || json_extract(value, '$.why'), '|') AS e FROM json_each('" +
            Run(args).out + "')"};
  };
  Roda({{{"enqueue", "q.txt", "--user", "zunsvc", "--priority", "9"}, 0, "5\n"}});
  EXPECT_NE(Run(json({})).out.find("|3 importing a run is importing it"), std::string::npos);
  Roda({
      {json({"--failed"}), 0,
       "e\n2 failed failed with 3942 and used its 2 tries; zuninput-db retry 2 offers it once "
       "more|4 failed failed with 3942; its content was deleted: queue the file again\n"},
      {json({"--waiting", "--user", "ZUNSVC"}), 0,
       "e\n5 waiting priority 9 is above 5: waits for the 03:00-07:59 window (server time)\n"},
      {json({"--user", "nobody"}), 0, "e\n\n"},
      {{"show", "1"}, 0, bytes},
      {{"show", "4"}, 1, "the content of entry 4 was deleted"},
      {{"show", "x"}, 2, "must be an integer"},
      {{"retry", "1"}, 1, "a success is final"},
      {{"retry", "3"}, 1, "is being imported right now"},
      {{"retry", "4"}, 1, "no stored content"},
      {{"retry", "2"}, 0, "entry 2 offered once more\n"},
      {{"retry", "2"}, 0, "entry 2 is still offered (1 of 2 tries used)\n"},
      {{"purge"}, 2, "purge needs --before"},
      {{"purge", "--before", "2024-02-30"}, 2, "not <2024-02-30>"},
      {{"purge", "--before", "2000-01-01"}, 0, "0 entries deleted\n"},
      {{"purge", "--before", "2999-01-01 00:00:00"}, 0, "1 entries deleted\n"},
      {{"show", "1"}, 1, "no queue entry 1"},
      {{"user", "del", "zunsvc"}, 1, "owns 4 queue entries; cancel or purge them first"},
      {{"cancel", "3"}, 1, "is being imported right now"},
      {{"cancel", "5"}, 0, "entry 5 cancelled\n"},
      {{"cancel", "5"}, 1, "no queue entry 5"},
      {{"errors", "2"},
       0,
       "try\tline\tcode\treason\tmessage\ttext\n1\t5\t3942\twhy\tbad\t*X\n2\t6\t0\t\tnote\t*Y\n"},
      {{"errors", "2", "--try", "2"},
       0,
       "try\tline\tcode\treason\tmessage\ttext\n2\t6\t0\t\tnote\t*Y\n"},
      {{"errors", "1"}, 1, "no queue entry 1"},
      {{"sql", "SELECT id, result FROM import_files ORDER BY id"},
       0,
       "id\tresult\n2\t\n3\t\n4\t3942\n"},
      // The purged entry's messages went with it.
      {{"sql", "SELECT id, line FROM import_file_errors"}, 0, "id\tline\n2\t5\n2\t6\n"},
      {{"sql", "SELECT 'a\tb'"}, 0, "'a\tb'\na\\tb\n"},
      {{"sql", "SELECT 1; DELETE FROM users"}, 2},
      {{"sql", "SELEKT 1"}, 1},
      {{"sql"}, 2},
  });
  const Outcome upd = Run({"sql", "UPDATE settings SET value = '21' WHERE name = 'MinPatchNum'"});
  EXPECT_EQ(std::tie(upd.status, upd.err), std::make_tuple(0, "1 row(s) changed\n"));
  const Next again = TakeNext(*s, 5, 2);
  EXPECT_EQ(std::tie(again.id, again.importtries), std::make_tuple(2, 2));
}

// The queue verbs on SQL Server: the configuration file selects the server
// as the service's does (here the TDS test server on the file), and the
// verbs go through the queue's procedures, which check the login's rights:
// an owner sees and changes only their own entries. init, user and sql stay
// on the embedded file.
TEST_F(Tool, QueueVerbsOverTds) {
  const std::string bytes("*QT A\r\n\0\xff\n", 10);
  std::ofstream(dir_ + "/q.txt", std::ios::binary) << bytes;
  Roda({{{"init"}},
        {{"user", "add", "zunsvc", "--password-stdin", "--admin"}, 0, std::nullopt, "p\n"},
        {{"user", "add", "ana", "--password-stdin"}, 0, std::nullopt, "a\n"},
        {{"user", "add", "bob"}}});
  testing::TdsServerProcess tds(dir_ + "/ZunInput.db");
  for (const auto& [file, secret] : {std::pair{"pw", "p"}, {"apw", "a"}}) {
    std::ofstream(dir_ + "/" + file) << secret << "\n";
    ::chmod((dir_ + "/" + file).c_str(), 0600);
  }
  std::ofstream(dir_ + "/zun.conf") << "provider = SQLOLEDB.1\nsqlserver = localhost," << tds.port()
                                    << "\nuser = zunsvc\nPasswordFile = pw\n"
                                    << "OdbcDriver = " << testing::kFreeTdsDriver << "\n";
  const auto sv = [](std::vector<std::string> args, const char* as = nullptr) {
    args.insert(args.end(), {"--config", "zun.conf"});
    if (as != nullptr) args.insert(args.end(), {std::string("-user:") + as, "-PasswordFile:apw"});
    return args;
  };
  const std::string header =
      "id\tuser\tpriority\tqueued\tfilename\ttries\tresult\tcontent\tstate\twhy\n";
  Roda({{sv({"enqueue", "q.txt", "--user", "ana"}), 0, "1\n"},
        {sv({"enqueue", "q.txt", "--user", "bob", "--priority", "9", "--as", "b.txt"}), 0, "2\n"},
        {sv({"enqueue", "q.txt", "--user", "nobody"}), 1, "no such user"},
        {sv({"queue", "--failed"}), 0, header},
        {sv({"show", "1"}), 0, bytes},
        {sv({"show", "9"}), 1, "no queue entry 9"},
        {sv({"retry", "1"}), 0, "entry 1 is still offered\n"},
        {sv({"show", "2"}, "ana"), 1, "refused (50108)"},
        {sv({"cancel", "2"}, "ana"), 1, "refused (50108)"},
        {sv({"purge", "--before", "2000-01-01"}, "ana"), 1, "refused (50108)"},
        {sv({"enqueue", "q.txt", "--user", "bob"}, "ana"), 1, "refused (50108)"},
        {sv({"cancel", "2"}), 0, "entry 2 cancelled\n"},
        {sv({"purge", "--before", "2000-01-01"}), 0, "0 entries deleted\n"},
        {sv({"init"}), 1, "works on the embedded database file only"},
        {sv({"sql", "SELECT 1"}), 1, "works on the embedded database file only"},
        {{"sql", "SELECT id, uid, prioridade, filename, length(conteudo) FROM import_files"},
         0,
         "id\tuid\tprioridade\tfilename\tlength(conteudo)\n1\t2\t5\tq.txt\t10\n"}});
  // The line messages as the embedded verb prints them, also from a table
  // made before the try's columns (its rows are try 0).
  Sql("INSERT INTO import_file_errors (id, importtry, line, code, reason, msg, linetext) VALUES "
      "(1, 1, 5, 3942, 'why', 'bad', '*X'), (1, 2, 6, 0, '', 'note', '*Y')");
  const std::string errors = "try\tline\tcode\treason\tmessage\ttext\n";
  Roda({{sv({"errors", "1"}), 0, errors + "1\t5\t3942\twhy\tbad\t*X\n2\t6\t0\t\tnote\t*Y\n"},
        {sv({"errors", "1", "--try", "2"}), 0, errors + "2\t6\t0\t\tnote\t*Y\n"},
        {sv({"errors", "1", "--try", "x"}), 2, "must be an integer"}});
  Sql("DROP TABLE import_file_errors");
  Sql("CREATE TABLE import_file_errors (id INTEGER NOT NULL, line INTEGER NOT NULL, msg TEXT)");
  Sql("INSERT INTO import_file_errors VALUES (1, 3, 'old')");
  Roda({{sv({"errors", "1", "--try", "0"}), 0, errors + "0\t3\t0\t\told\t\n"},
        {sv({"errors", "1", "--try", "1"}), 0, errors}});
  // An owner lists only their own entries, whichever user is asked for.
  for (const char* user : {"ana", "bob"}) {
    const Outcome o = Run(sv({"queue", "--json", "--user", user}, "ana"));
    EXPECT_NE(o.out.find("\"id\":1,\"user\":\"ana\",\"priority\":5,"), std::string::npos) << o.err;
    EXPECT_EQ(o.out.find("\"bob\""), std::string::npos) << o.out;
  }
}

}  // namespace
}  // namespace zun
