// The administration tool run as a subprocess against files in a temporary
// directory; what it writes is read back through the provider.
#include <sys/wait.h>

#include <cmath>

#include <fstream>
#include <sstream>

#include "database/import_files.h"
#include "db_fixture.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/st_proc.h"

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
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDatabaseProcedures();
    char tmpl[] = "/tmp/zun-tooltest-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs zuninput-db in the temporary directory.
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::ofstream(dir_ + "/.in", std::ios::binary) << input;
    std::string cmd = "cd " + Quote(dir_) + " && " + Quote(ZUN_TEST_BINARY_DIR "/zuninput-db");
    for (const std::string& a : args) cmd += " " + Quote(a);
    cmd += " <.in >.out 2>.err";
    const int rc = std::system(cmd.c_str());
    Outcome o;
    o.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    o.out = Slurp(dir_ + "/.out");
    o.err = Slurp(dir_ + "/.err");
    return o;
  }

  std::unique_ptr<TAdoDataBaseComInfoTran> Login(const std::string& user, const std::string& pw) {
    auto s = std::make_unique<TAdoDataBaseComInfoTran>();
    s->SetConnectionString("Provider=SQLite;Initial Catalog=ZunInput;Data Directory=" + dir_ +
                           ";User ID=" + user + ";Password=" + pw);
    s->Open();
    DetectaVersaoDoServidor(s.get());
    return s;
  }

  std::string dir_;
};

TEST_F(Tool, InitPicksTheFileLikeTheServiceAndNeverOverwrites) {
  EXPECT_EQ(Run({"init"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/ZunInput.db"));
  EXPECT_EQ(Run({"--database", "Other", "init"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/Other.db"));
  EXPECT_EQ(Run({"init", "--db", dir_ + "/x.db"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/x.db"));

  const auto size = std::filesystem::file_size(dir_ + "/ZunInput.db");
  const Outcome again = Run({"init"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
  EXPECT_EQ(std::filesystem::file_size(dir_ + "/ZunInput.db"), size);
  // A journal of an earlier file would be replayed into the new one.
  std::ofstream(dir_ + "/Stale.db-wal") << "old";
  EXPECT_EQ(Run({"--database", "Stale", "init"}).status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/Stale.db"));
  EXPECT_EQ(Run({"--database", "../up", "init"}).status, 2);
}

TEST_F(Tool, UsersAddedLogInWithTheirPasswordAndRights) {
  ASSERT_EQ(Run({"init"}).status, 0);
  ASSERT_EQ(Run({"user", "add", "zunsvc", "--password-stdin", "--admin"}, "pa ss\n").status, 0);
  ASSERT_EQ(Run({"user", "add", "ana", "--password=pw", "--email", "ana@x", "--flags", "5"}).status,
            0);
  auto s = Login("zunsvc", "pa ss");
  auto cmd = s->TomaDataSet(CommandType::kStoredProc, "GetInfoDoUsuario");
  ASSERT_EQ(ExecStProc(cmd, 0), 0);
  EXPECT_TRUE(ParamInt(cmd, "@IsAdmin") != 0);
  s->DevolveDataSet(&cmd);
  EXPECT_THROW(Login("ana", "wrong"), std::exception);
  auto a = Login("ana", "pw");
  cmd = a->TomaDataSet(CommandType::kStoredProc, "GetInfoDoUsuario");
  ASSERT_EQ(ExecStProc(cmd, 0), 0);
  EXPECT_EQ(ParamInt(cmd, "@UserFlag"), 5);
  EXPECT_EQ(ParamInt(cmd, "@IsAdmin"), 0);
  a->DevolveDataSet(&cmd);

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
      {{"user", "add"}, 2},
      {{"user", "del", "bo"}, 2},
      {{"user", "add", "bo", "--frob"}, 2},
  };
  for (const Case& c : bad) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, c.status) << c.args.back() << ": " << o.err;
    EXPECT_NE(o.err.find("zuninput-db: "), std::string::npos);
  }
  EXPECT_EQ(Run({"--db", dir_ + "/none.db", "user", "add", "bo"}).status, 1);
  // Only a salted hash is stored.
  const std::string hashes = Run({"sql", "SELECT password_hash FROM users"}).out;
  EXPECT_EQ(hashes.find("pa ss"), std::string::npos);
  EXPECT_NE(hashes.find("pbkdf2-sha256$"), std::string::npos);
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
  auto cmd = s->TomaDataSet(CommandType::kStoredProc, "ImportFilesNext");
  SetParamInt(cmd, "@MaxPrioridade", 5);
  SetParamInt(cmd, "@MaxImportTries", 2);
  ASSERT_EQ(ExecStProc(cmd, 1), 0);
  cmd->NextRecordset();
  EXPECT_EQ(FieldInt(cmd, "Id"), 1);
  EXPECT_EQ(FieldInt(cmd, "prioridade"), 2);
  EXPECT_EQ(cmd->Current().FieldByName("filename").AsString(), "q.txt");
  EXPECT_EQ(cmd->Current().FieldByName("conteudo").AsString(), bytes);
  double mom = 0;
  GetFieldDateTime(cmd, "mom", &mom);
  EXPECT_LT(std::fabs(mom - AgoraGMT()) * 86400.0, 10.0);  // queued now, in GMT
  s->DevolveDataSet(&cmd);
  cmd = s->TomaDataSet(CommandType::kStoredProc, "ImportFilesResult");
  SetParamInt(cmd, "@id", 1);
  SetParamInt(cmd, "@res", 0);
  SetParamBool(cmd, "@ApagaConteudo", true);
  ASSERT_EQ(ExecStProc(cmd, 0), 0);
  s->DevolveDataSet(&cmd);

  const Outcome q = Run({"queue"});
  ASSERT_EQ(q.status, 0);
  std::istringstream lines(q.out);
  std::string header, one, two, rest;
  std::getline(lines, header);
  std::getline(lines, one);
  std::getline(lines, two);
  EXPECT_EQ(header, "id\tuser\tpriority\tqueued\tfilename\ttries\tresult\tcontent");
  // Every column but the queue time.
  auto fields = [](const std::string& line) {
    std::vector<std::string> f;
    std::istringstream in(line);
    for (std::string x; std::getline(in, x, '\t');) f.push_back(x);
    if (!line.empty() && line.back() == '\t') f.push_back("");
    if (f.size() == 8) f.erase(f.begin() + 3);
    return f;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(fields(one), (V{"1", "zunsvc", "2", "q.txt", "1", "0", "N"}));
  EXPECT_EQ(fields(two), (V{"2", "zunsvc", "5", "shown.txt", "0", "", "Y"}));
  EXPECT_FALSE(std::getline(lines, rest));

  EXPECT_EQ(Run({"enqueue", "in/q.txt", "--user", "nobody"}).status, 1);
  EXPECT_EQ(Run({"enqueue", "in/none.txt", "--user", "zunsvc"}).status, 1);
  EXPECT_EQ(Run({"enqueue", "in", "--user", "zunsvc"}).status, 1);
  EXPECT_EQ(Run({"enqueue", "in/q.txt", "--user", "zunsvc", "--priority", "2x"}).status, 2);
  EXPECT_EQ(Run({"enqueue", "in/q.txt"}).status, 2);
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
