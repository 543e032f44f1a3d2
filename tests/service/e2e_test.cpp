// End to end: the real executable in a scratch directory against an
// embedded database, with a local mail gateway that records every request.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../notify/gateway_server.h"
#include "database/reference_db.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;  // exit status of the process
  std::string out;  // its standard output
};

struct QueueEntry {
  int tries = 0;
  bool has_result = false;
  int result = 0;
  bool done = false;
  bool content_kept = false;
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zune2e-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    db_path_ = (dir_ / "ZunInput.db").string();
    InitDatabase(db_path_);
    AddUser(db_path_, {"zunsvc", "s3cret", "", true, 0, 0, 0});
    AddUser(db_path_, {"ana.lima", "x", "ana@example.com", false, 0, 0, 0});
    AddUser(db_path_, {"bob", "y", "", false, 0, 0, 0});
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // Queues content for user with priority; returns the entry's id.
  int Enqueue(const std::string& user, const std::string& content, int priority = 5) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(db_path_.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo) "
                       "SELECT uid, ?, datetime('now'), ?, ? FROM users WHERE name = ?",
                       -1, &st, nullptr);
    const std::string filename = user + ".txt";
    sqlite3_bind_int(st, 1, priority);
    sqlite3_bind_text(st, 2, filename.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 3, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, user.c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    const int id = static_cast<int>(sqlite3_last_insert_rowid(db));
    sqlite3_close(db);
    return id;
  }

  QueueEntry Entry(int id) {
    QueueEntry e;
    sqlite3* db = nullptr;
    sqlite3_open(db_path_.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT importtries, result, done, conteudo IS NOT NULL FROM import_files "
                       "WHERE id = ?",
                       -1, &st, nullptr);
    sqlite3_bind_int(st, 1, id);
    if (sqlite3_step(st) == SQLITE_ROW) {
      e.tries = sqlite3_column_int(st, 0);
      e.has_result = sqlite3_column_type(st, 1) != SQLITE_NULL;
      e.result = sqlite3_column_int(st, 1);
      e.done = sqlite3_column_int(st, 2) != 0;
      e.content_kept = sqlite3_column_int(st, 3) != 0;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return e;
  }

  // Runs the service once in the scratch directory.
  RunResult Run(const std::vector<std::string>& extra = {},
                const std::string& password = "s3cret") {
    std::string cmd = "cd '" + dir_.string() + "' && '" ZUNINPUT_EXE "' -provider:SQLite" +
                      " -user:zunsvc -password:" + password + " -MailGateway:" + gateway_.Url() +
                      "";
    bool own_bulletin_dir = false;
    for (const std::string& a : extra) {
      cmd += " '" + a + "'";
      own_bulletin_dir = own_bulletin_dir || a.rfind("-PathReqGBol:", 0) == 0;
    }
    if (!own_bulletin_dir) cmd += " -PathReqGBol:" + dir_.string() + "/";
    cmd += " 2>&1";
    RunResult r;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int w = pclose(p);
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    return r;
  }

  // The bulletin requests the database holds: their texts, joined.
  std::string BulletinRequests() {
    std::string all;
    sqlite3* db = nullptr;
    sqlite3_open(db_path_.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT motivo FROM reqgbol ORDER BY id", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
      all += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      all += "\n";
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return all;
  }

  std::string Log() {
    std::ifstream in(dir_ / "zuninput.log", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Requests the gateway got whose parameter key has value.
  int Requests(const std::string& key, const std::string& value) {
    int n = 0;
    for (const httplib::Request& r : gateway_.Got()) {
      if (r.has_param(key) && r.get_param_value(key) == value) ++n;
    }
    return n;
  }

  // Local copies the run left in dir.
  int LocalCopies(const fs::path& dir) {
    int n = 0;
    for (const auto& f : fs::directory_iterator(dir)) {
      if (f.path().extension() == ".txt") ++n;
    }
    return n;
  }

  fs::path dir_;
  std::string db_path_;
  testing::GatewayServer gateway_;
};

const char kGood[] = "# a good file\r\n*OCOLOCA\r\n\r\n; done\r\n";
const char kBad[] = "*OCOLOCA\n*NOSUCHKEYWORD 1 2 3\n";

TEST_F(EndToEnd, EmptyQueue) {
  const RunResult r = Run();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(Log().find(" - ZunInpIF end QuantosImportou(ou tentou):0\r\n"), std::string::npos)
      << Log();
  EXPECT_NE(r.out.find("exit code:0"), std::string::npos) << r.out;
}

TEST_F(EndToEnd, WrongPasswordFailsTheLoginWith4077) {
  const RunResult r = Run({}, "wrong");
  EXPECT_EQ(r.status, 4077 & 0xFF) << r.out;
  const std::string log = Log();
  EXPECT_NE(log.find("- ZunInpIF end erro:4077 Sys.ExitCode:4077"), std::string::npos) << log;
  EXPECT_EQ(log.find("wrong"), std::string::npos) << "the password must not reach the log";
  EXPECT_EQ(Requests("SUBJ", "ZunInput login error:zunsvc"), 1);
  EXPECT_EQ(Requests("TO", "gor"), 1);
}

TEST_F(EndToEnd, GoodFileWithoutPathIF) {
  const int id = Enqueue("ana.lima", kGood);
  const RunResult r = Run();
  EXPECT_EQ(r.status, 0) << r.out << Log();
  const QueueEntry e = Entry(id);
  EXPECT_TRUE(e.done);
  EXPECT_TRUE(e.has_result);
  EXPECT_EQ(e.result, 0);
  EXPECT_EQ(e.tries, 1);
  EXPECT_TRUE(e.content_kept) << "without PathIF the content stays in the database";
  EXPECT_EQ(LocalCopies(dir_), 0) << "the local copy is deleted";
  EXPECT_EQ(Requests("SUBJ", "ZunInput import Ok"), 1);
  EXPECT_EQ(Requests("XTO", "ana@example.com"), 1);
  EXPECT_NE(Log().find("QuantosImportou(ou tentou):1"), std::string::npos);
}

TEST_F(EndToEnd, GoodFileWithPathIFKeepsTheCopyAndDeletesTheContent) {
  const fs::path keep = dir_ / "copies";
  fs::create_directories(keep);
  const int id = Enqueue("bob", kGood);
  const RunResult r = Run({"-PathIF:" + keep.string()});
  EXPECT_EQ(r.status, 0) << r.out;
  const QueueEntry e = Entry(id);
  EXPECT_TRUE(e.done);
  EXPECT_FALSE(e.content_kept);
  ASSERT_EQ(LocalCopies(keep), 1);
  for (const auto& f : fs::directory_iterator(keep)) {
    std::ifstream in(f.path(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), kGood) << "the local copy holds the queued bytes unchanged";
  }
  EXPECT_EQ(Requests("SUBJ", "ZunInput import Ok"), 0) << "bob has no e-mail";
}

TEST_F(EndToEnd, FailingFileIsRetriedOnceThenReported) {
  const int id = Enqueue("ana.lima", kBad);
  RunResult r = Run();
  QueueEntry e = Entry(id);
  ASSERT_TRUE(e.has_result) << r.out << Log();
  ASSERT_NE(e.result, 0);
  EXPECT_EQ(r.status, e.result & 0xFF ? e.result & 0xFF : 255);
  EXPECT_EQ(e.tries, 1);
  EXPECT_FALSE(e.done);
  EXPECT_TRUE(e.content_kept);
  EXPECT_EQ(Requests("XTO", "ana@example.com"), 0) << "no mail on the first try";
  EXPECT_EQ(Requests("SUBJ", "ZunInput IF failed, max tries exceeded"), 0);

  r = Run();
  e = Entry(id);
  EXPECT_EQ(e.tries, 2);
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(Requests("SUBJ", "ZunInput IF failed, max tries exceeded"), 1);
  EXPECT_EQ(Requests("SUBJ", "ZunInput import Error:" + std::to_string(e.result)), 1);
  EXPECT_TRUE(e.content_kept) << "without PathIF the content stays";

  r = Run();
  EXPECT_EQ(r.status, 0) << "the entry has used its tries";
  EXPECT_EQ(Entry(id).tries, 2);
}

TEST_F(EndToEnd, WithPathIFAFailingFileKeepsItsContentUntilTheLastTry) {
  const fs::path keep = dir_ / "copies";
  fs::create_directories(keep);
  const int id = Enqueue("bob", kBad);
  Run({"-PathIF:" + keep.string()});
  EXPECT_TRUE(Entry(id).content_kept);
  Run({"-PathIF:" + keep.string()});
  EXPECT_EQ(Entry(id).tries, 2);
  EXPECT_FALSE(Entry(id).content_kept);
  EXPECT_EQ(LocalCopies(keep), 1) << "the retry replaced its own copy";
}

TEST_F(EndToEnd, MostUrgentFirstAndAFailureStopsTheRun) {
  const int low = Enqueue("bob", kGood, 5);
  const int bad = Enqueue("bob", kBad, 2);
  const int urgent = Enqueue("bob", kGood, 1);
  const RunResult r = Run();
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(Entry(urgent).done);
  EXPECT_EQ(Entry(bad).tries, 1);
  EXPECT_EQ(Entry(low).tries, 0) << "the run stops at the failing file";
}

TEST_F(EndToEnd, UrgentFilesAskForABulletinAtShutdownAndTheNextRunMarksIt) {
  const int urgent = Enqueue("bob", kGood, 3);
  const int usual = Enqueue("bob", kGood, 4);
  Run();
  const std::string asked = BulletinRequests();
  EXPECT_NE(asked.find("[ZiGlobs.fini [ImpIF id:" + std::to_string(urgent) + " IFpri:3 bob]]"),
            std::string::npos)
      << asked;
  EXPECT_EQ(asked.find("id:" + std::to_string(usual) + " "), std::string::npos) << asked;
  EXPECT_FALSE(fs::exists(dir_ / "reqgbol1.nua"));
  Run();
  EXPECT_TRUE(fs::exists(dir_ / "reqgbol1.nua")) << Log();
}

TEST_F(EndToEnd, ABulletinMarkerThatCannotBeWrittenLeavesTheRequestsPending) {
  Enqueue("bob", kGood, 1);
  Run();
  Run({"-PathReqGBol:" + (dir_ / "missing").string() + "/"});
  EXPECT_NE(Log().find("ProcuraReqGBolNoDataLogEGeraNua GBPri:1 Erro:4105"), std::string::npos)
      << Log();
  EXPECT_EQ(Requests("SUBJ", "ZunInput ZunInput ProcuraReqGBolNoDataLogEGeraNua error"), 1);
  Run();
  EXPECT_TRUE(fs::exists(dir_ / "reqgbol1.nua")) << "the request was still pending";
}

TEST_F(EndToEnd, AKeptCopyThatCannotBeWrittenNeverCostsTheStoredContent) {
  const int id = Enqueue("bob", kGood);
  const std::string missing = "-PathIF:" + (dir_ / "no-such-dir").string();
  EXPECT_EQ(Run({missing}).status, 4081 & 0xFF);
  EXPECT_EQ(Run({missing}).status, 4081 & 0xFF);
  const QueueEntry e = Entry(id);
  EXPECT_EQ(e.tries, 2);
  EXPECT_EQ(e.result, 4081);
  EXPECT_TRUE(e.content_kept) << "no copy was kept, so the content must stay";
}

TEST_F(EndToEnd, TwoProcessesNeverTakeTheSameEntry) {
  std::vector<int> ids;
  for (int i = 0; i < 200; ++i) ids.push_back(Enqueue("bob", kGood));
  const std::string cmd = "cd '" + dir_.string() +
                          "' && '" ZUNINPUT_EXE
                          "' -provider:SQLite -user:zunsvc -password:s3cret -MailGateway:" +
                          gateway_.Url() + " >/dev/null 2>&1";
  FILE* a = popen(cmd.c_str(), "r");
  FILE* b = popen(cmd.c_str(), "r");
  const int wa = pclose(a);
  const int wb = pclose(b);
  EXPECT_EQ(WEXITSTATUS(wa), 0) << Log();
  EXPECT_EQ(WEXITSTATUS(wb), 0) << Log();
  for (int id : ids) {
    const QueueEntry e = Entry(id);
    EXPECT_TRUE(e.done) << id;
    EXPECT_EQ(e.tries, 1) << "entry " << id << " was handed out twice";
  }
}

}  // namespace
}  // namespace zun
