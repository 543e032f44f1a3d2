// The administration tool run as a subprocess against files in a temporary
// directory; what it writes is read back through the provider.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

#include "database/import_files.h"
#include "db_fixture.h"

namespace zun {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Slurp(const std::string& path) {
  std::ostringstream ss;
  ss << std::ifstream(path, std::ios::binary).rdbuf();
  return ss.str();
}

class Tool : public DbDir {
 protected:
  // Runs zuninput-db in the temporary directory.
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::ofstream(dir_ + "/.in", std::ios::binary) << input;
    std::string cmd = "cd " + Quote(dir_) + " && " + Quote(ZUN_TEST_BINARY_DIR "/zuninput-db");
    for (const std::string& a : args) cmd += " " + Quote(a);
    const int rc = std::system((cmd + " <.in >.out 2>.err").c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp(dir_ + "/.out"), Slurp(dir_ + "/.err")};
  }
  bool Exists(const std::string& file) const { return std::filesystem::exists(dir_ + "/" + file); }
};

TEST_F(Tool, InitPicksTheFileLikeTheServiceAndNeverOverwrites) {
  const mode_t old_mask = ::umask(022);
  EXPECT_EQ(Run({"init"}).status, 0);
  ::umask(old_mask);
  EXPECT_TRUE(Exists("ZunInput.db"));
  // Password hashes and queued files: for the owner's eyes only.
  EXPECT_EQ(std::filesystem::status(Path()).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(Run({"--database", "Other", "init"}).status, 0);
  EXPECT_TRUE(Exists("Other.db"));
  EXPECT_EQ(Run({"init", "--db", dir_ + "/x.db"}).status, 0);
  EXPECT_TRUE(Exists("x.db"));
  const auto size = std::filesystem::file_size(Path());
  const Outcome again = Run({"init"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
  EXPECT_EQ(std::filesystem::file_size(Path()), size);
  // A journal of an earlier file would be replayed into the new one.
  std::ofstream(dir_ + "/Stale.db-wal") << "old";
  EXPECT_EQ(Run({"--database", "Stale", "init"}).status, 1);
  EXPECT_FALSE(Exists("Stale.db"));
  EXPECT_EQ(Run({"--database", "../up", "init"}).status, 2);
}

TEST_F(Tool, UsersAddedLogInWithTheirPasswordAndRights) {
  ASSERT_EQ(Run({"init"}).status, 0);
  ASSERT_EQ(Run({"user", "add", "zunsvc", "--password-stdin", "--admin"}, "pa ss\n").status, 0);
  ASSERT_EQ(Run({"user", "add", "ana", "--password=pw", "--email", "ana@x", "--flags", "5"}).status,
            0);
  EXPECT_NO_THROW(Login("zunsvc", "pa ss"));
  EXPECT_NO_THROW(Login("ana", "pw"));
  EXPECT_THROW(Login("ana", "wrong"), std::exception);
  // Only a salted hash is stored.
  EXPECT_EQ(Run({"sql",
                 "SELECT name, is_admin, user_flags, email, substr(password_hash, 1, 14) AS h, "
                 "instr(password_hash, 'pa ss') AS p FROM users ORDER BY uid"})
                .out,
            "name\tis_admin\tuser_flags\temail\th\tp\n"
            "zunsvc\t1\t0\t\tpbkdf2-sha256$\t0\nana\t0\t5\tana@x\tpbkdf2-sha256$\t0\n");
  struct Case {
    std::vector<std::string> args;
    int status;
  } bad[] = {
      {{"user", "add", "ANA", "--password", "x"}, 1},  // taken, letter case ignored
      {{"user", "add", "bo", "--password", "x", "--password-stdin"}, 2},
      {{"user", "add", "bo", "--lingua", "3"}, 2},
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
  };
  for (const Case& c : bad) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, c.status) << c.args.back() << ": " << o.err;
    EXPECT_NE(o.err.find("zuninput-db: "), std::string::npos);
  }
  // A user's address and password changed, the list showing them, the user deleted.
  EXPECT_EQ(Run({"user", "set-email", "ANA", "ana@y"}).status, 0);
  EXPECT_EQ(Run({"user", "passwd", "ana", "--password-stdin"}, "new\n").status, 0);
  EXPECT_NO_THROW(Login("ana", "new"));
  EXPECT_THROW(Login("ana", "pw"), std::exception);
  EXPECT_TRUE(std::regex_search(Run({"user", "list"}).out, std::regex("\n2\tana\tana@y\t0\t5\t")));
  EXPECT_EQ(Run({"user", "del", "ana"}).status, 0);
  EXPECT_THROW(Login("ana", "new"), std::exception);
}

TEST_F(Tool, EnqueuedFileReachesTheServiceUnchanged) {
  ASSERT_EQ(Run({"init"}).status, 0);
  ASSERT_EQ(Run({"user", "add", "zunsvc", "--password", "p", "--admin"}).status, 0);
  const std::string bytes("*QT A 1\r\n\xe9\x00\xff;x\n", 14);
  std::filesystem::create_directory(dir_ + "/in");
  std::ofstream(dir_ + "/in/q.txt", std::ios::binary) << bytes;
  const Outcome first = Run({"enqueue", "in/q.txt", "--user", "ZUNSVC", "--priority", "2"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "1\n");
  EXPECT_EQ(Run({"enqueue", "in/q.txt", "--user", "zunsvc", "--as", "shown.txt"}).out, "2\n");

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
  const std::pair<std::vector<std::string>, int> bad[] = {
      {{"enqueue", "in/q.txt", "--user", "nobody"}, 1},
      {{"enqueue", "in/none.txt", "--user", "zunsvc"}, 1},
      {{"enqueue", "in", "--user", "zunsvc"}, 1},
      {{"enqueue", "in/q.txt", "--user", "zunsvc", "--priority", "2x"}, 2},
      {{"enqueue", "in/q.txt", "--user", "zunsvc", "--priority", "1000"}, 2},  // never taken
      {{"enqueue", "in/q.txt", "--user", "zunsvc", "--as", "a\r\n2020/01/01 forged"}, 2},
      {{"enqueue", "in/q.txt"}, 2},
  };
  for (const auto& [args, status] : bad) EXPECT_EQ(Run(args).status, status) << args[1];
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
  EXPECT_EQ(by_file.status + by_env.status + by_arg.status, 0) << by_file.err << by_env.err;
  EXPECT_NO_THROW(Login("a", "from file"));
  EXPECT_NO_THROW(Login("b", "from env"));
  EXPECT_NO_THROW(Login("c", "on the line"));
  EXPECT_EQ(by_file.err + by_env.err, "");
  EXPECT_NE(by_arg.err.find("warning: a password on the command line"), std::string::npos);
  EXPECT_EQ(by_arg.err.find("on the line"), std::string::npos);

  std::filesystem::permissions(file, std::filesystem::perms::others_read,
                               std::filesystem::perm_options::add);
  const Outcome open_file = Run({"user", "add", "d", "--password-file", file});
  EXPECT_EQ(open_file.status, 1);
  EXPECT_NE(open_file.err.find("(mode 0404)"), std::string::npos) << open_file.err;
  EXPECT_EQ(Run({"user", "add", "d", "--password-env"}).status, 1) << "the variable is unset";
  EXPECT_EQ(Run({"user", "add", "d", "--password-env", "--password-file", file}).status, 2);
}

// An entry that succeeded, one that used its tries, one still waiting.
TEST_F(Tool, QueueEntriesShownRetriedAndPurged) {
  ASSERT_EQ(Run({"init"}).status, 0);
  ASSERT_EQ(Run({"user", "add", "zunsvc", "--password-stdin", "--admin"}, "p\n").status, 0);
  const std::string bytes("*QT A\r\n\0\xff\n", 10);
  std::ofstream(dir_ + "/q.txt", std::ios::binary) << bytes;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Run({"enqueue", "q.txt", "--user", "zunsvc"}).status, 0);
  auto s = Login("zunsvc", "p");
  ASSERT_EQ(Result(*s, TakeNext(*s, 5, 2).id, Value::Int(0), false), 0);  // 1 imported
  for (int i = 0; i < 2; ++i) {                                           // 2 used its tries
    ASSERT_EQ(Result(*s, TakeNext(*s, 5, 2).id, Value::Int(3942), false), 0);
  }
  ASSERT_EQ(TakeNext(*s, 5, 2).id, 3);  // 3 taken by a run still working on it
  Sql("UPDATE import_files SET importtries = 2 WHERE id = 4");
  ASSERT_EQ(Result(*s, 4, Value::Int(3942), true), 0);  // 4 lost its content
  ASSERT_EQ(Run({"enqueue", "q.txt", "--user", "zunsvc", "--priority", "9"}).out, "5\n");
  Sql("INSERT INTO import_file_errors (id, line, msg) VALUES (1, 3, 'gone'), (2, 5, 'bad')");

  // The queue as JSON, read back by SQLite's JSON functions, with its filters.
  const auto json = [&](const std::vector<std::string>& filters) {
    std::vector<std::string> args = {"queue", "--json"};
    args.insert(args.end(), filters.begin(), filters.end());
    return Run({"sql",
                "SELECT group_concat(json_extract(value, '$.id') || ' ' || "
                "json_extract(value, '$.state') || ' ' || json_extract(value, '$.why'), "
                "'|') AS e FROM json_each('" +
                    Run(args).out + "')"})
        .out;
  };
  EXPECT_EQ(json({"--failed"}),
            "e\n2 failed failed with 3942 and used its 2 tries; zuninput-db retry 2 offers it once "
            "more|4 failed failed with 3942; its content was deleted: queue the file again\n");
  EXPECT_EQ(json({"--waiting", "--user", "ZUNSVC"}),
            "e\n5 waiting priority 9 is above 5: waits for the 03:00-07:59 window (server time)\n");
  EXPECT_NE(json({}).find("|3 importing a run is importing it"), std::string::npos);
  EXPECT_EQ(json({"--user", "nobody"}), "e\n\n");

  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;  // the whole standard output, or part of standard error
  } rows[] = {
      {{"show", "1"}, 0, bytes},
      {{"show", "4"}, 1, "the content of entry 4 was deleted"},
      {{"show", "9"}, 1, "no queue entry 9"},
      {{"show", "x"}, 2, "must be an integer"},
      {{"retry", "1"}, 1, "a success is final"},
      {{"retry", "3"}, 1, "is being imported right now"},
      {{"retry", "4"}, 1, "no stored content"},
      {{"retry", "9"}, 1, "no queue entry 9"},
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
      {{"errors", "2"}, 0, "line\tmessage\n5\tbad\n"},
      {{"errors", "1"}, 1, "no queue entry 1"},
  };
  for (const auto& r : rows) {
    const Outcome o = Run(r.args);
    EXPECT_EQ(o.status, r.status) << r.args[0] << " " << r.args.back() << ": " << o.err;
    if (r.status == 0) {
      EXPECT_EQ(o.out, r.out) << r.args[0] << " " << r.args.back();
    } else {
      EXPECT_NE(o.err.find(r.out), std::string::npos) << o.err;
    }
  }
  const Next again = TakeNext(*s, 5, 2);
  EXPECT_EQ(std::tie(again.id, again.importtries), std::make_tuple(2, 2));
  EXPECT_EQ(Run({"sql", "SELECT id, result FROM import_files ORDER BY id"}).out,
            "id\tresult\n2\t\n3\t\n4\t3942\n");
  EXPECT_EQ(Run({"sql", "SELECT id, line FROM import_file_errors"}).out, "id\tline\n2\t5\n")
      << "the purged entry's messages went with it";
}

TEST_F(Tool, SqlRunsOneStatement) {
  ASSERT_EQ(Run({"init"}).status, 0);
  const Outcome sel = Run({"sql", "SELECT name, value FROM settings ORDER BY name"});
  EXPECT_EQ(sel.status, 0);
  EXPECT_EQ(sel.out, "name\tvalue\nMinClientVersion\t20\nMinPatchNum\t750\n");
  const Outcome upd = Run({"sql", "UPDATE settings SET value = '21' WHERE name = 'MinPatchNum'"});
  EXPECT_EQ(upd.status, 0);
  EXPECT_NE(upd.err.find("1 row(s) changed"), std::string::npos);
  EXPECT_EQ(Run({"sql", "SELECT 'a\tb'"}).out, "'a\tb'\na\\tb\n");
  EXPECT_EQ(Run({"sql", "SELECT 1; DELETE FROM users"}).status, 2);
  EXPECT_EQ(Run({"sql", "SELEKT 1"}).status, 1);
  EXPECT_EQ(Run({"sql"}).status, 2);
}

}  // namespace
}  // namespace zun
