// End to end: the real executable in a scratch directory against an
// embedded database, with a local mail gateway that records every request;
// the examples and the shared queue also over the SQL Server provider,
// through FreeTDS's real ODBC driver against the TDS test server.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>

#include "../testbeds/gateway_server.h"
#include "queue_db.h"
#include "toolbox/dbutil/codes.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

const char kGood[] = "# a good file\r\n*OCOLOCA\r\n\r\n; done\r\n";
const char kBad[] = "*OCOLOCA\n*NOSUCHKEYWORD 1 2 3\n";

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ScratchDir("zune2e");
    db_path_ = (dir_ / "ZunInput.db").string();
    NewQueueDatabase(db_path_);
    // The runs name it, and a named configuration file must exist.
    std::ofstream(dir_ / "zuninput.conf") << "# this test's installation\n";
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  int Enqueue(const std::string& user, const std::string& content, int priority) {
    return zun::Enqueue(db_path_, user, content, priority);
  }
  std::string Rows(const std::string& text) { return zun::Rows(db_path_, text); }

  // An entry as "tries|result|done|content kept;" ("-" for no result).
  std::string Entry(int id) {
    return Rows(
        "SELECT importtries, COALESCE(result, '-'), done, conteudo IS NOT NULL "
        "FROM import_files WHERE id = " +
        std::to_string(id));
  }

  // Runs the service against the TDS test server from now on.
  void OverTds(const std::vector<std::string>& options = {}) {
    if (std::string(ZUN_DEFAULT_SQLSERVER) != "localhost") GTEST_SKIP() << "not a loopback server";
    tds_ = std::make_unique<testing::TdsServerProcess>(db_path_, options);
    provider_ = zun::OverTds(tds_->port());
  }

  // The service's command line in the scratch directory; extra comes first,
  // so its switches win (the first of a switch counts).
  std::string Command(const std::vector<std::string>& extra, const std::string& password) {
    std::string cmd = "cd '" + dir_.string() + "' && '" ZUNINPUT_EXE "'";
    for (const std::vector<std::string>& v : {extra, provider_}) {
      for (const std::string& a : v) cmd += " '" + a + "'";
    }
    return cmd + " -user:zunsvc -password:" + password + " -MailGateway:" + gateway_.Url() +
           " -Config:zuninput.conf -PathReqGBol:" + dir_.string() + "/";
  }

  // Runs the service once and waits for it: its status, its standard
  // output and error.
  RunResult Run(const std::vector<std::string>& extra = {},
                const std::string& password = "s3cret") {
    return RunShell(Command(extra, password) + " 2>&1");
  }

  std::string Log() { return ReadFile(dir_ / "zuninput.log"); }

  // Values of the run's summary file as a JSON array, read by SQLite's JSON
  // functions (";" when the file is not valid JSON).
  std::string Summary(const std::vector<std::string>& keys) {
    std::string paths;
    for (const std::string& k : keys) paths += ", '$." + k + "'";
    std::string json = ReadFile(dir_ / "zuninput-run.json");
    for (size_t at = 0; (at = json.find('\'', at)) != std::string::npos; at += 2) {
      json.insert(at, 1, '\'');  // a quote of SQL text
    }
    return Rows("SELECT CASE WHEN json_valid(x) THEN json_extract(x" + paths + ") END FROM " +
                "(SELECT '" + json + "' AS x)");
  }

  // Requests the gateway got whose parameter key has value.
  int Requests(const std::string& key, const std::string& value) {
    int n = 0;
    for (const httplib::Request& r : gateway_.Got()) {
      if (r.has_param(key) && r.get_param_value(key) == value) ++n;
    }
    return n;
  }

  // Local copies left in dir.
  static std::vector<fs::path> LocalCopies(const fs::path& dir) {
    std::vector<fs::path> copies;
    for (const auto& f : fs::directory_iterator(dir)) {
      if (f.path().extension() == ".txt") copies.push_back(f.path());
    }
    return copies;
  }

  fs::path dir_;
  std::string db_path_;
  testing::GatewayServer gateway_;
  std::vector<std::string> provider_ = {"-provider:SQLite"};
  std::unique_ptr<testing::TdsServerProcess> tds_;
};

// A login that fails ends the run with 4077 and says why; the log holds
// neither the password nor the process's user (USER names nobody), and the
// operator gets the one mail (the end steps have no session to report on).
// Over TDS also a port nobody listens on and a server that accepts the
// connection and never answers, the latter within the login timeout.
TEST_F(EndToEnd, LoginFailures) {
  const struct {
    const char* password;
    const char* said;           // on standard output or in the -output file
    const char* logged;         // in the log
    const char* tds = nullptr;  // over TDS: a test server option, "port 1" or "no TLS offered"
  } rows[] = {
      {"wrong", "- login failed: code 3714: ", ""},
      {"wrong", "", "the server's certificate is not checked; to check it, name", ""},
      {"s3cret", "", "", "port 1"},
      {"s3cret", "", "InitDbConnection error:", "--stall-login"},
      {"s3cret", "(encryption: the server localhost,", "", "no TLS offered"},
  };
  const char* user = std::getenv("USER");
  const std::string old_user = user != nullptr ? user : "";
  setenv("USER", "mallory", 1);
  for (const auto& r : rows) {
    if (r.tds != nullptr) {
      tds_.reset();
      OverTds(r.tds[0] == '-'   ? std::vector<std::string>{r.tds}
              : r.tds[0] == 'n' ? std::vector<std::string>{"--encryption", "not-supported"}
                                : std::vector<std::string>{});
      if (IsSkipped()) break;
      if (r.tds[0] == 'p') provider_ = zun::OverTds(1);
    }
    const size_t logged_before = Log().size(), mails_before = gateway_.Got().size();
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = Run({"-output:out.log"}, r.password);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(run.status, 4077 & 0xFF) << run.out;
    const std::string out = run.out + ReadFile(dir_ / "out.log");
    for (const char* said : {"exit code:4077", "- ZunInpIF failed: code 4077: ", r.said}) {
      EXPECT_NE(out.find(said), std::string::npos) << out;
    }
    EXPECT_EQ(fs::status(dir_ / "out.log").permissions() & fs::perms::others_all, fs::perms::none);
    const std::string log = Log().substr(logged_before);
    for (const char* logged : {"- ZunInpIF end erro:4077 Sys.ExitCode:4077", r.logged}) {
      EXPECT_NE(log.find(logged), std::string::npos) << log;
    }
    for (const char* secret : {"mallory", "wrong", "s3cret"}) {
      EXPECT_EQ(log.find(secret), std::string::npos) << secret << " in the log";
    }
    ASSERT_EQ(gateway_.Got().size(), mails_before + 1);
    const httplib::Request mail = gateway_.Got().back();
    EXPECT_EQ(mail.get_param_value("SUBJ"), "ZunInput login error:zunsvc");
    EXPECT_EQ(mail.get_param_value("TO"), "gor");
    EXPECT_EQ(mail.get_param_value("useratmachine").find("mallory"), std::string::npos);
  }
  // The summary says why; the same failure again is not mailed again
  // within the hour.
  tds_.reset();
  provider_ = {"-provider:SQLite"};
  const size_t mails = gateway_.Got().size();
  EXPECT_EQ(Run({}, "wrong").status, 4077 & 0xFF);
  EXPECT_EQ(gateway_.Got().size(), mails);
  EXPECT_EQ(Summary({"failure", "cause_code"}), "[\"service\",3714];");
  EXPECT_NE(Log().find("- notification held back (sent within the hour)"), std::string::npos);
  user != nullptr ? setenv("USER", old_user.c_str(), 1) : unsetenv("USER");
}

// Four queued files, one bad, with ContinueAfterFailedFile: every good file
// is imported in the first run and the bad one gets its second try behind
// them; with FileFailureExitsZero the unit stays green while the summary,
// its history and the metrics (mode 0640 whatever the umask) say a file
// failed.
TEST_F(EndToEnd, ContinueAfterFailedFile) {
  const int bad = Enqueue("ana.lima", kBad, 3);
  std::vector<int> good;
  for (int i = 0; i < 3; ++i) good.push_back(Enqueue("bob", kGood, 3));
  std::ofstream(dir_ / "zuninput.conf")
      << "ContinueAfterFailedFile = yes\nFileFailureExitsZero = yes\nMetricsMode = 0640\n"
         "RunMetrics = metrics.prom\n";
  const mode_t umask_before = ::umask(077);
  const RunResult r = Run();
  ::umask(umask_before);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("exit code:3942 (only files failed"), std::string::npos) << r.out;
  for (int id : good) EXPECT_EQ(Entry(id), "1|0|1|1;") << Log();
  EXPECT_EQ(Entry(bad), "2|3942|0|1;");
  EXPECT_EQ(Requests("SUBJ", "ZunInput import Error:3942"), 1) << "the owner knows at once";
  EXPECT_EQ(Summary({"files_taken", "files_failed", "exit_code", "failure", "cause_code",
                     "failed_entry", "failed_owner", "mails_not_delivered"}),
            "[5,2,3942,\"file\",3942," + std::to_string(bad) + ",\"ana.lima\",0];");
  for (const char* f : {"zuninput-run.json", "zuninput-run.jsonl", "metrics.prom"}) {
    EXPECT_EQ(fs::status(dir_ / f).permissions(), fs::perms(0640)) << f;
  }
  EXPECT_NE(ReadFile(dir_ / "metrics.prom").find("zuninput_last_run_file_failed 1"),
            std::string::npos);
  // A block refused at its last try: the owner's mail points at its first
  // line, not where its reading stopped.
  const int news = Enqueue("ana.lima", "*NW PETR 0 2024-05-10 -\nText\n", 1);
  Rows("UPDATE import_files SET importtries = 1 WHERE id = " + std::to_string(news));
  Run();
  const std::string history = ReadFile(dir_ / "zuninput-run.jsonl");
  EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 2) << "one line per run";
  const httplib::Request mail = gateway_.Got().back();
  EXPECT_EQ(mail.get_param_value("lastlinenumber") + " " + mail.get_param_value("lastline"),
            "1 *NW PETR 0 2024-05-10 -");
  EXPECT_EQ(mail.get_param_value("diag"),
            "code 3943: a line was refused by its importer without "
            "a code of its own; line 1: reached EOF");
}

// Help and version answer, whatever switches come first, without a log, a
// login or a mail; a mistyped switch (also one that merely starts like a
// request for help) is named on standard output and in the log, and the run
// goes on.
TEST_F(EndToEnd, HelpAndUnknownSwitch) {
  for (const char* ask : {"--help", "/?", "-H", "--version"}) {
    const RunResult r = Run({ask}, "wrong");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(r.out.rfind("Usage: zuninput", 0) == 0 || r.out.rfind("zuninput 2", 0) == 0)
        << r.out;
    EXPECT_FALSE(fs::exists(dir_ / "zuninput.log")) << ask;
  }
  EXPECT_EQ(gateway_.Got().size(), 0u);
  const RunResult r = Run({"-helpme"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Warn: unknown switch -helpme ignored"), std::string::npos) << r.out;
  EXPECT_NE(Log().find("Warn: unknown switch -helpme ignored"), std::string::npos);
}

// Without PathIF: the most urgent file first, a failure stops the run and
// is retried once, an urgent file asks for a bulletin with its outcome, and
// a marker that cannot be written leaves the request pending.
TEST_F(EndToEnd, QueueWithoutPathIF) {
  const int good = Enqueue("ana.lima", kGood, 5);  // queued first, taken last
  // 120 failed lines: the first decides the file's code and its log, every
  // one is kept per try and counted in the mail, which lists 50.
  std::string bad_lines = "*OCOLOCA\n";
  for (int i = 0; i < 120; ++i) bad_lines += "*NOSUCHKEYWORD 1 2 3\n";
  const int bad = Enqueue("ana.lima", bad_lines, 3);
  const std::string errors_of_bad =
      "SELECT importtry, COUNT(*), MIN(line), MAX(line), MIN(code), MIN(linetext) "
      "FROM import_file_errors WHERE id = " +
      std::to_string(bad) + " GROUP BY importtry";
  const int urgent = Enqueue("bob", kGood, 3);
  // Copies earlier runs left: an old one goes; a young one (a run may be
  // about to read it) and other names stay.
  const fs::path old_copy = dir_ / "7-analima-20200703-101112.txt";
  const fs::path young_copy = dir_ / "8-analima-20200703-101112.txt";
  const fs::path other = dir_ / "7-notes.txt";
  for (const fs::path& f : {old_copy, young_copy, other}) std::ofstream(f) << "x";
  for (const fs::path& f : {old_copy, other}) {
    fs::last_write_time(f, fs::file_time_type::clock::now() - std::chrono::hours(2));
  }

  RunResult r = Run();
  EXPECT_FALSE(fs::exists(old_copy));
  EXPECT_TRUE(fs::remove(young_copy) && fs::remove(other));
  EXPECT_EQ(r.status, 3942 & 0xFF) << r.out;
  EXPECT_EQ(Entry(bad) + Entry(good) + Entry(urgent), "1|3942|0|1;0|-|0|1;0|-|0|1;")
      << "the run stops at the failing file" << Log();
  // The run's summary: the file's code stopped it, the owner must act.
  EXPECT_EQ(Summary({"files_taken", "files_failed", "failed_by_code.\"3942\"", "exit_code",
                     "failure", "lines_applied"}),
            "[1,1,1,3942,\"file\",0];")
      << ReadFile(dir_ / "zuninput-run.json");

  EXPECT_EQ(Rows(errors_of_bad), "1|120|2|121|3942|*NOSUCHKEYWORD 1 2 3;");
  EXPECT_NE(Log().find("- end import erro:3942 ImpRoot impcli Erro:3942 ErroNaoFatal:0 "
                       "ErroNaoFatalCount:0 Acabou:N ToNoCheck:Y lnn:2 ErrMsgCount:1 "),
            std::string::npos)
      << Log();
  EXPECT_EQ(Log().find("line:3 "), std::string::npos) << "the further lines are not logged";

  Run();
  EXPECT_EQ(Requests("SUBJ", "ZunInput IF failed, max tries exceeded"), 1);
  EXPECT_EQ(Requests("SUBJ", "ZunInput import Error:3942"), 1);
  EXPECT_EQ(Rows(errors_of_bad),
            "1|120|2|121|3942|*NOSUCHKEYWORD 1 2 3;2|120|2|121|3942|*NOSUCHKEYWORD 1 2 3;")
      << "the first try's messages stay";
  // The owner's mail: the count, the first 50 with their lines, codes and
  // texts, and each code's reason in words.
  const httplib::Request mail = gateway_.Got().back();
  EXPECT_EQ(mail.get_param_value("errors-count"), "120");
  EXPECT_EQ(mail.get_param_value("diag"),
            "code 3942: a line starts with an unknown keyword; line 2: Error:3942 Invalid line: "
            "*NOSUCHKEYWORD 1 2 3");
  std::string listed;
  for (const char* k : {"errors", "errors-2", "errors-3", "errors-4", "errors-5"}) {
    if (mail.has_param(k)) listed += mail.get_param_value(k) + "\n";
  }
  EXPECT_EQ(listed.find("line 2: Error:3942 Invalid line: *NOSUCHKEYWORD 1 2 3 [code 3942] "
                        "<*NOSUCHKEYWORD 1 2 3>\n"),
            0u)
      << listed;
  EXPECT_NE(listed.find("\nline 51: "), std::string::npos) << listed;
  EXPECT_EQ(listed.find("\nline 52: "), std::string::npos) << listed;
  EXPECT_NE(listed.find("\n... 70 more"), std::string::npos) << listed;
  EXPECT_EQ(mail.get_param_value("reasons"), "3942: a line starts with an unknown keyword");

  r = Run();
  EXPECT_EQ(r.status, 0) << "the failing entry has used its tries";
  EXPECT_EQ(Summary({"files_succeeded", "lines_applied", "failure"}), "[1,1,\"none\"];")
      << "kGood's one record: the urgent file went before the failed one's second try";
  EXPECT_EQ(Entry(bad) + Entry(urgent) + Entry(good), "2|3942|0|1;1|0|1|1;1|0|1|1;")
      << "without PathIF the content stays in the database";
  EXPECT_EQ(LocalCopies(dir_).size(), 0u) << "the local copies are deleted";
  EXPECT_EQ(Requests("SUBJ", "ZunInput import Ok"), 1) << "to ana only: bob has no e-mail";
  EXPECT_EQ(Requests("lines-applied", "1") + Requests("lines-skipped", "0"), 2);
  EXPECT_EQ(Requests("XTO", "ana@example.com"), 2);
  // The urgent file's request went with its outcome, and the same run's
  // end turned it into its marker.
  EXPECT_EQ(Rows("SELECT motivo FROM reqgbol"),
            "[ImpIF id:" + std::to_string(urgent) + " IFpri:3 bob];");
  EXPECT_TRUE(fs::remove(dir_ / "reqgbol1.nua"));

  // A bulletin directory that cannot be made stops the run at its start,
  // before any entry is taken.
  const int later = Enqueue("bob", kGood, 2);
  std::ofstream(dir_ / "plain-file") << "x";
  r = Run({"-PathReqGBol:" + (dir_ / "plain-file" / "sub").string() + "/", "-RunMetrics:m.prom"});
  EXPECT_EQ(r.status, 4087 & 0xFF) << r.out;
  EXPECT_EQ(Summary({"failure"}), "service;") << "the operator must act";
  EXPECT_NE(ReadFile(dir_ / "m.prom").find("\nzuninput_last_run_service_failed 1\n"),
            std::string::npos);
  EXPECT_EQ(Entry(later), "0|-|0|1;");

  // A marker that cannot be written leaves the request pending; a missing
  // directory is made.
  fs::create_directory(dir_ / "reqgbol1.nua");
  r = Run();
  Run();
  EXPECT_EQ(Entry(later), "1|0|1|1;");
  EXPECT_NE(Log().find("ProcuraReqGBolNoDataLogEGeraNua GBPri:1 Erro:4105"), std::string::npos)
      << Log();
  EXPECT_EQ(Requests("SUBJ", "ZunInput ZunInput ProcuraReqGBolNoDataLogEGeraNua error"), 1);
  r = Run({"-PathReqGBol:" + (dir_ / "made").string()});
  EXPECT_TRUE(fs::exists(dir_ / "made" / "reqgbol1.nua")) << "the request was still pending";
  EXPECT_EQ(r.status, 0) << r.out;
}

// With PathIF the copy is kept and a good file's content goes; a failing
// file keeps its content, and a copy that cannot be written never costs it.
TEST_F(EndToEnd, QueueWithPathIF) {
  const fs::path keep = dir_ / "copies";
  fs::create_directories(keep);
  const int good = Enqueue("bob", kGood, 4);
  const int bad = Enqueue("bob", kBad, 5);
  Run({"-PathIF:" + keep.string()});
  EXPECT_EQ(Entry(good) + Entry(bad), "1|0|1|0;1|3942|0|1;")
      << "a failing file keeps its content until the last try";
  std::multiset<std::string> copies;
  for (const fs::path& f : LocalCopies(keep)) copies.insert(ReadFile(f));
  EXPECT_EQ(copies, (std::multiset<std::string>{kBad, kGood})) << "the queued bytes unchanged";

  // A directory that cannot take the copies stops the run before any entry
  // is taken: the machine's fault costs no file a try, and the operators
  // hear of it once an hour.
  const std::string before = Entry(bad);
  for (int i = 0; i < 2; ++i) {
    const RunResult r = Run({"-PathIF:" + (dir_ / "no-such-dir").string()});
    EXPECT_EQ(r.status, 4080 & 0xFF);
    EXPECT_NE(
        r.out.find("- ZunInpIF directory error:4080 <" + (dir_ / "no-such-dir").string() + "/>"),
        std::string::npos)
        << r.out;
  }
  EXPECT_EQ(Requests("SUBJ", "ZunInput directory error:4080"), 1);
  EXPECT_EQ(Entry(bad), before);

  // With its copy kept, a file that used its last try loses the stored content.
  Run({"-PathIF:" + keep.string()});
  EXPECT_EQ(Entry(bad), "2|3942|0|0;");
}

// On the embedded provider, in the service's process, then on SQL Server's
// through FreeTDS against the TDS test server, then on a queue without this
// project's additions: its hand-out still gives each entry to one process at
// a time.
TEST_F(EndToEnd, ProcessesNeverTakeTheSameEntry) {
  for (const char* onde : {"", "--tds", "--plain-queue"}) {
    if (*onde != '\0') {
      tds_.reset();
      OverTds(std::string(onde) == "--tds" ? std::vector<std::string>{}
                                           : std::vector<std::string>{onde});
    }
    if (IsSkipped()) return;
    const std::string cmd = Command({}, "s3cret") + " >/dev/null 2>&1";
    for (int processes : {2, 4}) {
      for (int i = 0; i < 100; ++i) Enqueue("bob", kGood, 5);
      std::vector<FILE*> runs;
      for (int i = 0; i < processes; ++i) runs.push_back(popen(cmd.c_str(), "r"));
      for (FILE* p : runs) EXPECT_EQ(WEXITSTATUS(pclose(p)), 0) << Log();
      EXPECT_EQ(Rows("SELECT id FROM import_files WHERE done = 0 OR importtries <> 1"), "")
          << onde << ": entries left or handed out twice";
    }
  }
}

// Over TDS, the link dropped at each request of the bulletin step (the last
// ones of a run that finds the queue empty): the step reconnects and serves
// the pending request in the same run, and nothing asserts.
TEST_F(EndToEnd, BulletinStepAfterALostLink) {
  const std::string pending = "INSERT INTO reqgbol (prioridade, mom) VALUES (2, datetime('now'))";
  Rows(pending);
  OverTds({"--log", (dir_ / "server.log").string()});
  if (IsSkipped()) return;
  Run();
  const std::string served = ReadFile(dir_ / "server.log");
  const int requests = std::stoi(served.substr(served.rfind("requests=") + 9));
  for (int n = requests - 5; n <= requests; ++n) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(fs::remove(dir_ / "reqgbol2.nua"));
    Rows(pending);
    OverTds({"--drop-at", std::to_string(n)});
    EXPECT_EQ(Run().status, 0);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM reqgbol WHERE served = 0"), "0;") << Log();
  }
  EXPECT_EQ(Log().find("EAssertionFailed"), std::string::npos) << Log();
}

// A gateway that hangs costs one timeout a run: the mails it did not take
// wait in the outbox, and the next run sends each of them once.
TEST_F(EndToEnd, MailsNotDeliveredWaitForTheNextRun) {
  Enqueue("ana.lima", kGood, 5);
  Enqueue("ana.lima", kGood, 5);
  const auto kept = [this] {
    return fs::exists(dir_ / "zuninput-mail")
               ? std::distance(fs::directory_iterator(dir_ / "zuninput-mail"), {})
               : -1;
  };
  {
    testing::DeadPort hanging(true);
    const RunResult r = Run({"-MailGateway:" + hanging.url, "-MailTimeout:1"});
    EXPECT_EQ(r.status, 0) << r.out;
  }
  EXPECT_EQ(kept(), 2) << Log();
  EXPECT_EQ(Summary({"mails_not_delivered"}), "2;");
  EXPECT_NE(Log().find("HttpSendRequest Erro:28 "), std::string::npos) << "one timeout";
  EXPECT_NE(Log().find("the gateway failed earlier in this run, not asked again"),
            std::string::npos);
  EXPECT_EQ(fs::status(dir_ / "zuninput-mail").permissions(), fs::perms::owner_all);
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Run().status, 0);
    EXPECT_EQ(Requests("SUBJ", "ZunInput import Ok"), 2) << "each kept mail once";
    EXPECT_EQ(kept(), 0);
  }
}

// The check of a local file: the line messages and the file's code as a
// queue run gives them, and not a byte of the database changed (no entry
// taken, no quote, data log or bulletin request written), no mail sent.
TEST_F(EndToEnd, CheckFileChangesNothing) {
  const int queued = Enqueue("ana.lima", kGood, 5);
  std::ofstream(dir_ / "good.txt", std::ios::binary) << kGood << "*REQGBOL\n";
  std::ofstream(dir_ / "bad.txt", std::ios::binary) << kBad;
  std::ofstream(dir_ / "pw") << "s3cret\n";
  fs::permissions(dir_ / "pw", fs::perms::owner_read);
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  const std::string ex = ZUN_TEST_SOURCE_DIR "/examples/";
  RunExampleSql(db_path_, "quote_series.sql");
  const auto before = Tables(db_path_);
  ASSERT_TRUE(before.count("import_files"));
  const struct {
    std::vector<std::string> args;
    int code;
    const char* printed;
    std::string password = "s3cret";
  } rows[] = {
      {{"-CheckFile:good.txt"}, 0, "- end import ok ImpRoot impcli Erro:0"},
      {{"-CheckFile:bad.txt"}, 3942, "line:2 "},
      {{"-CheckFile:good.txt", "-CheckAs:ana.lima"}, 0, "as ana.lima, nothing"},
      {{"-CheckFile:" + ex + "quotes_bulletin.txt"}, 0, "line:39 ImpCot NOSUCH3/1"},
      {{"-CheckFile:good.txt", "-CheckAs:nobody"}, 50304, "- check as <nobody> erro:"},
      {{"-CheckFile:none.txt"}, 4099, "code 4099: the checked file (`-CheckFile`) cannot"},
      {{"-user:ana.lima", "-CheckFile:bad.txt"}, 3942, "<bad.txt> as ana.lima, nothing", "x"},
      {{"-user:ana.lima", "-CheckAs:bob", "-CheckFile:good.txt"}, 4077, "administrator", "x"},
      {{"-CheckFile:good.txt"}, 4077, "exit code:4077", "wrong"},
      {{"-CheckFile:pw", "-PasswordFile:pw"}, 4094, "<pw> is the password file"},
      {{"-CheckFile:pipe"}, 4094, "<pipe> is not a regular file"},
      {{"-CheckFile:/proc/self/environ"}, 4094, "is a file of the kernel"},
  };
  for (const auto& r : rows) {
    const RunResult run = Run(r.args, r.password);
    EXPECT_EQ(run.status, r.code & 0xFF) << r.args.back() << run.out;
    EXPECT_NE(run.out.find("exit code:" + std::to_string(r.code)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(r.printed), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("starting import"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("s3cret"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("/proc/self/fd"), std::string::npos) << "the file's own name";
  }
  EXPECT_EQ(Log().find("NOSUCHKEYWORD"), std::string::npos) << "the lines are printed, not logged";
  EXPECT_EQ(Tables(db_path_), before);
  EXPECT_EQ(Entry(queued), "0|-|0|1;");
  EXPECT_EQ(gateway_.Got().size(), 0u) << "not even the failed login is mailed";
  EXPECT_EQ(LocalCopies(dir_).size(), 2u) << "only the two files checked";
}

// The examples through the queue, each on a fresh database: rows set up
// first (a line "@file" runs each line of that example file), the files
// queued before each run (every run ends with 0 and every entry done with
// 0), then the rows a query leaves ("|" between columns, ";" after each
// row) and a text the log must hold.
struct Example {
  const char* name;
  const char* setup;
  std::vector<std::vector<const char*>> runs;
  const char* query;
  const char* rows;
  const char* log = "";
};

const Example kExamples[] = {
    {"SmallTables",
     "",
     {{"small_tables.txt"}},
     "SELECT (SELECT nome FROM moeda WHERE id = 1), (SELECT cod FROM bolsa WHERE id = 4), "
     "(SELECT hide_no_zuninput || bloco_padrao_na_digitacao || identificacao_de_contas "
     "FROM conta_bal_ajuste WHERE id_conta = 120), (SELECT nome_en || '/' || nome_es "
     "FROM campo_lista_valores WHERE formatocampo = 32 AND id_doc = 'SA01')",
     "Real brasileiro (BRL)|B3|127|Semiannual/Semiannual;"},
    {"CorporateActionsAndNews",
     kEmpresaESerieDeTeste,
     {{"corporate_actions.txt", "news.txt"}},
     "SELECT date(udex), tipo, valor FROM provento ORDER BY tipo;"
     "SELECT seq, length(txt), instr(txt, char(13, 10, 13, 10)) FROM noticia",
     "2024-05-10|1|0.4523;2024-05-10|2|0.118;0|114|45;"},
    // A bulletin logged once with its request, a quote without values, kept
    // and missing values, an unknown ticker skipped, a provisional code
    // mapped; then conditional quotes, a fill and a deletion.
    {"Quotes",
     "@quote_series.sql",
     {{"quotes_bulletin.txt", "quotes_conditional.txt"}},
     "SELECT a.cod, COALESCE(c.valor1, 'N'), COALESCE(c.valor2, 'N'), COALESCE(c.valor3, 'N') "
     "FROM cotacao c JOIN anb a ON a.id = c.anb WHERE a.cod IN ('ZDEM1', 'ZDEM2', 'ZDEM3', "
     "'ZDEM21', 'ZDEM22', 'ZDEM23', 'ZDEM24') ORDER BY a.id;"
     "SELECT tip, count(*) FROM data_log GROUP BY tip ORDER BY tip;"
     "SELECT prioridade, served FROM reqgbol",
     "ZDEM1|25.64|30.5|N;ZDEM2|25.1|51.06|49.32;ZDEM3|54.54|55.49|53.99;ZDEM22|20.4|20.0|N;"
     "ZDEM23|18.75|18.2|N;ZDEM24|12.5|12.1|N;41|3;42|1;43|1;1|1;",
     " - BolCot: 2024/07/03 xchg:1 TBGL:L #:24\r\n"},
    // Values by date on each level, the tax number in the company record,
    // the unknown series only a warning.
    {"Registry",
     "INSERT INTO empresa (id, cod, pais) VALUES (1, 'PETR', 0);"
     "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 3, 1, 0);"
     "INSERT INTO anb (id, acao, cod, bolsa, pais_pro_cod_zun) VALUES (1, 1, 'PETR4', 1, 0)",
     {{"registry.txt"}},
     "SELECT eaa, idindica, substr(data_ini, 1, 10), coalesce(valornum, valorst) "
     "FROM valor_indicador ORDER BY eaa, idindica, data_ini; SELECT cnpj FROM empresa",
     "0|46|2024-01-01|100.0;0|46|2024-07-01|120.0;0|46|2025-01-01|100.0;0|48||Preferenciais;"
     "1|103||1.0;2|58||Petrobras;2|58|2024-07-01|Petrobras_SA;2|106|2024-01-01|3.0;"
     "33000167000101;",
     "Warning: 4178 Ticker:ZZZZ9, Bolsa:1"},
    // Derived totals, a class kept by an update and one cleared by a new base.
    {"ShareBases",
     "INSERT INTO empresa (id, cod, pais) VALUES (1, 'PETR', 0);"
     "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 2, 0, 0), (2, 1, 3, 1, 0)",
     {{"share_bases.txt"}},
     "SELECT date(data), id_class, printf('%g/%d=%g/%d+%g/%d', total, stat_tot, em_tesouraria, "
     "stat_em, ex_tesouraria, stat_ex) FROM base_acionaria ORDER BY data, id_class",
     "2024-03-31|1|1e+06/5=0/0+0/0;2024-03-31|2|600000/2=0/0+0/0;"
     "2024-03-31|3|400000/5=10000/2+390000/2;2024-06-30|1|1e+06/5=0/0+0/0;"
     "2024-06-30|2|600000/2=0/0+0/0;2024-06-30|3|400000/2=20000/2+380000/2;"
     "2024-09-30|3|400000/2=0/0+0/0;"},
    // The parties, then the shareholder composition and the fund portfolio
    // that name them.
    {"Ownership",
     "INSERT INTO empresa (id, cod, pais) VALUES (1, 'PETR', 0)",
     {{"shareholders.txt", "composition.txt", "portfolio.txt"}},
     "SELECT c.TipoDocumento, a.nome, i.vot, i.vlr, i.TipoAplicacao FROM compaccitem i "
     "JOIN compacc c ON c.id = i.cac JOIN acionista a ON a.id = i.nac "
     "ORDER BY c.id, i.nac, i.TipoAplicacao, i.vot",
     "0|Uniao Federal|1|3740470811.0|0;0|Uniao Federal|2|28.67|0;"
     "0|BNDES Participacoes S.A.|0|1000000000.0|0;0|BNDES Participacoes S.A.|2|7.67|0;"
     "0|Fundo de Pensao Alfa|1|750000.0|0;0|Free float|0|4500000000.0|0;"
     "0|Free float|1|8000000000.0|0;0|Free float|2|61.2|0;0|Base|0|5602042788.0|0;"
     "0|Base|1|13044496930.0|0;0|Total|0|5602042788.0|0;0|Total|1|13044496930.0|0;"
     "0|Total|2|100.0|0;1|Petrobras PN|3|1523400.75|1;1|Tesouro Selic 2029|3|880000.5|2;"},
    // The account plan and format 7, whose two net income lines then get the
    // identification code 1; then the statements, graded 2, 1 and 0 (with a
    // computed cell stored), and a block skipped as published earlier than
    // the stored statement.
    {"Statements",
     "INSERT INTO empresa (id, cod, pais) VALUES (1, 'PETR', 0)",
     {{"statement_plan.txt"}, {"statements.txt"}},
     "SELECT date(b.dataref), b.checagemfalhou, b.incompleto, date(b.datadivulgacao), "
     "(SELECT group_concat(c.conta || '=' || c.valor, ' ') FROM BalancoUmaConta c WHERE "
     "c.balanco = b.id AND c.conta IN (1020, 3030) AND c.De3Meses = 0) FROM balanco b "
     "ORDER BY b.dataref",
     "2021-12-31|2|1|2022-03-01|1020=39.0 3030=360.0;2022-12-31|1|1|2023-03-01|1020=0.0;"
     "2023-12-31|0|0|2024-03-01|1020=40.0 3030=450.0;",
     "Warning: registro ignorado empresa PETR/0 Balan\xE7o de 2023-12-31 data divulgacao "
     "2024-01-15 \xE9 mais antiga do que 2024-03-01"},
    // Four files build a company, its class and a series from nothing, set
    // their registration data, then import the series' quote.
    {"SecurityMaster",
     "",
     {{"security_master_1_company.txt", "security_master_2_class.txt",
       "security_master_3_series.txt", "security_master_4_data.txt"}},
     "SELECT e.nome, e.cnpj, a.cod, c.valor1 FROM empresa e JOIN ativo t ON t.emp = e.id "
     "JOIN anb a ON a.acao = t.id JOIN cotacao c ON c.anb = a.id WHERE e.cod = 'ZUNM';"
     "SELECT eaa, idindica, substr(data_ini, 1, 10), COALESCE(valorst, valornum) "
     "FROM valor_indicador ORDER BY eaa, idindica, data_ini",
     "Cia. Zun de Mineracao|12345678000190|ZUNM3|12.3;0|1||Zun Mineracao ON;0|46||1.0;"
     "0|46|2024-01-01|2.0;0|48||Acoes ordinarias;1|103||1.0;2|58||Mineradora de Exemplo;"
     "2|58|2024-01-01|Mineradora de exemplo, listada em 2024;2|106|2024-01-01|3.0;"},
};

void PrintTo(const Example& x, std::ostream* out) { *out << x.name; }

// Each on the embedded provider, over TDS, and over TDS on a queue without
// this project's additions (the run notes what it goes without).
enum class Onde { kEmbedded, kTds, kTdsPlainQueue };
class Examples : public EndToEnd,
                 public ::testing::WithParamInterface<std::tuple<Onde, Example>> {};

TEST_P(Examples, LeaveTheirRows) {
  const auto& [onde, x] = GetParam();
  if (onde != Onde::kEmbedded) {
    OverTds(onde == Onde::kTds ? std::vector<std::string>{}
                               : std::vector<std::string>{"--plain-queue"});
  }
  if (IsSkipped()) return;
  const fs::path ex = fs::path(ZUN_TEST_SOURCE_DIR) / "examples";
  x.setup[0] == '@' ? RunExampleSql(db_path_, x.setup + 1) : void(Rows(x.setup));
  for (const auto& files : x.runs) {
    std::vector<int> ids;
    for (const char* f : files) ids.push_back(Enqueue("ana.lima", ReadFile(ex / f), 5));
    const RunResult r = Run();
    EXPECT_EQ(r.status, 0) << r.out << Log();
    for (int id : ids) EXPECT_EQ(Entry(id), "1|0|1|1;") << id << r.out;
  }
  EXPECT_EQ(Rows(x.query), x.rows);
  EXPECT_NE(Log().find(x.log), std::string::npos) << Log();
  EXPECT_EQ(Log().find("ServerVersion: Microsoft SQL Server") != std::string::npos,
            onde != Onde::kEmbedded)
      << Log();
  EXPECT_EQ(Log().find("ImportFilesNext has no lease: entries are not fenced between hosts") !=
                std::string::npos,
            onde == Onde::kTdsPlainQueue)
      << Log();
}

// A link lost under a line's write ends the file as a database failure,
// not a refused line, and no later line is written on the new link: in a
// group the write went with the group's transaction (3939); on a queue
// without the resume mark, where it commits alone, its outcome is unknown
// (4098). The file's outcome is recorded on a new link, and its next try
// imports it whole.
TEST_F(EndToEnd, ALinkLostInTheImportPassEndsTheFileWithItsOutcomeRecorded) {
  const struct {
    const char* proc;
    bool plain_queue;
    const char* file;
    int32_t code;
    const char *written, *after_rerun;
  } cases[] = {
      {"PrvImport", false, "corporate_actions.txt", kErrChamada, "SELECT count(*) FROM provento",
       "2;"},
      {"CotacaoImportV3", true, "quotes_bulletin.txt", kErrResultadoIncerto,
       "SELECT count(*) FROM cotacao", "23;"},
  };
  const fs::path ex = fs::path(ZUN_TEST_SOURCE_DIR) / "examples";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.proc);
    OverTds(c.plain_queue ? std::vector<std::string>{"--plain-queue", "--drop-on", c.proc}
                          : std::vector<std::string>{"--drop-on", c.proc});
    if (IsSkipped()) return;
    c.plain_queue ? RunExampleSql(db_path_, "quote_series.sql") : void(Rows(kEmpresaESerieDeTeste));
    const int id = Enqueue("ana.lima", ReadFile(ex / c.file), 5);
    RunResult r = Run();
    EXPECT_EQ(r.status, c.code & 0xFF) << r.out << Log();
    EXPECT_EQ(Entry(id), "1|" + std::to_string(c.code) + "|0|1;") << Log();
    EXPECT_EQ(Rows(c.written), "0;") << Log();
    if (!c.plain_queue) {
      EXPECT_NE(Rows("SELECT count(*) FROM import_file_errors WHERE id = " + std::to_string(id)),
                "0;");
    }
    r = Run();
    EXPECT_EQ(Entry(id), "2|0|1|1;") << r.out << Log();
    EXPECT_EQ(Rows(c.written), c.after_rerun);
  }
}

INSTANTIATE_TEST_SUITE_P(Providers, Examples,
                         ::testing::Combine(::testing::Values(Onde::kEmbedded, Onde::kTds,
                                                              Onde::kTdsPlainQueue),
                                            ::testing::ValuesIn(kExamples)),
                         [](const auto& info) {
                           const Onde onde = std::get<0>(info.param);
                           return std::string(onde == Onde::kEmbedded ? "Embedded"
                                              : onde == Onde::kTds    ? "Tds"
                                                                      : "TdsPlainQueue") +
                                  std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace zun
