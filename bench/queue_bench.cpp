// Throughput of the import queue and where its time goes: a scratch embedded
// database with N queued files (10 lines each, owners without e-mail), one
// run of the service's loop in this process, started as the program entry
// starts it, and the time of the queue steps split into the log, the
// database, the import engine, the local copy of the file and the rest.
//
// How each share is taken (wall time, steady clock):
//  - log: Loga, LogaConsole, LogaVerbose and LogaExcecao are wrapped at link
//    time (-Wl,--wrap, see bench/CMakeLists.txt); one line costs the file
//    append under its lock plus the console copy.
//  - database, provider: a provider registered under "SQLite" forwards every
//    call to the embedded provider and times it (SQLite and the stored
//    procedures).
//  - database, client: the session functions the step calls (TomaDataSet,
//    DevolveDataSet, ExecStProc, NextRecordset, ChamaSetuser, the parameter
//    and field accessors), wrapped like the log, without the provider time.
//  - engine: the stretch between the step's "ImpCli import <" and
//    "- end import " log lines: the importer object's creation, both passes
//    over the file and its destruction.
//  - file: GravaArquivo and the step's unlink of the local copy.
//  - rest: the step's own work (texts, the queue row).
// Time nested in another category (a line the engine logs, a procedure
// called while the engine runs) counts for the innermost one only, so the
// shares add up to the time of the steps.
//
// Usage: queue_bench [--files N] [--owners K] [--lines L] [--history H]
//                    [--dir DIR] [--keep]
// --history puts H entries imported earlier (done, content kept, as the
// service leaves them without "PathIF") into the queue table first.
// The report goes to standard output; the service's console lines go to
// DIR/console.txt, its log to DIR/zuninput.log.
//
// Thread-safety: single-threaded program.
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "embedded/reference_db.h"
#include "foundation/log.h"
#include "foundation/modules.h"
#include "foundation/switches.h"
#include "service/login.h"
#include "service/queue_step.h"
#include "service/reqgbol_step.h"
#include "service/run_loop.h"
#include "toolbox/dbclient/provider.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbutil/ds_ref.h"
#include "toolbox/dbutil/st_proc.h"

namespace {

using Clock = std::chrono::steady_clock;

enum Category { kRest, kLog, kDbClient, kDbProvider, kEngine, kFile, kCategories };

// Exclusive time per category: the clock runs for the innermost open one.
class Attribution {
 public:
  void Start() {
    active_ = true;
    stack_.assign(1, kRest);
    last_ = Clock::now();
  }
  void Stop() {
    Charge();
    active_ = false;
    stack_.clear();
  }
  void Push(Category c) {
    if (!active_) return;
    Charge();
    stack_.push_back(c);
  }
  // Closes c and what is open inside it; nothing when c is not open.
  void Pop(Category c) {
    if (!active_) return;
    for (size_t i = stack_.size(); i-- > 1;) {
      if (stack_[i] != c) continue;
      Charge();
      stack_.resize(i);
      return;
    }
  }
  bool active() const { return active_; }
  bool Inside(Category c) const { return active_ && !stack_.empty() && stack_.back() == c; }
  double Seconds(Category c) const { return std::chrono::duration<double>(total_[c]).count(); }

 private:
  void Charge() {
    const Clock::time_point now = Clock::now();
    if (!stack_.empty()) total_[stack_.back()] += now - last_;
    last_ = now;
  }

  bool active_ = false;
  std::vector<Category> stack_;
  Clock::time_point last_;
  Clock::duration total_[kCategories] = {};
};

Attribution g_time;
long g_log_lines = 0;

// Opens a category for the lifetime of the object.
class Scope {
 public:
  explicit Scope(Category c) : c_(c) { g_time.Push(c); }
  ~Scope() { g_time.Pop(c_); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  Category c_;
};

struct CallStats {
  long calls = 0;
  Clock::duration time{};
};
std::map<std::string, CallStats> g_db_calls;  // by method, procedures by name

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Times one log call; the step's import lines open and close the engine.
template <typename Fn>
void TimedLog(const std::string& msg, Fn real) {
  if (g_time.Inside(kLog)) {
    real();
    return;
  }
  const bool engine_ends = StartsWith(msg, "- end import ");
  if (engine_ends) g_time.Pop(kEngine);
  if (g_time.active()) ++g_log_lines;
  g_time.Push(kLog);
  real();
  g_time.Pop(kLog);
  if (!engine_ends && StartsWith(msg, "ImpCli import <")) g_time.Push(kEngine);
}

// The embedded provider with a clock around every call.
class TimedConnection : public zun::ProviderConnection {
 public:
  void Open(const zun::ConnectionString& cs) override {
    Timed("Open", [&] { inner_.Open(cs); });
  }
  void Close() override {
    Timed("Close", [&] { inner_.Close(); });
  }
  bool IsOpen() const override { return inner_.IsOpen(); }
  void ExecuteSql(const std::string& sql, int timeout_seconds,
                  std::vector<zun::Recordset>* out) override {
    Timed("ExecuteSql", [&] { inner_.ExecuteSql(sql, timeout_seconds, out); });
  }
  zun::Parameters DescribeProcedure(const std::string& name) override {
    zun::Parameters p;
    Timed("DescribeProcedure", [&] { p = inner_.DescribeProcedure(name); });
    return p;
  }
  void CallProcedure(const std::string& name, zun::Parameters* params, int timeout_seconds,
                     std::vector<zun::Recordset>* out) override {
    Timed("CallProcedure " + name,
          [&] { inner_.CallProcedure(name, params, timeout_seconds, out); });
  }
  void BeginTransaction() override {
    Timed("BeginTransaction", [&] { inner_.BeginTransaction(); });
  }
  void Commit() override {
    Timed("Commit", [&] { inner_.Commit(); });
  }
  void Rollback() override {
    Timed("Rollback", [&] { inner_.Rollback(); });
  }
  bool InTransaction() const override { return inner_.InTransaction(); }

 private:
  template <typename Fn>
  void Timed(const std::string& what, Fn fn) {
    CallStats& stats = g_db_calls[what];
    ++stats.calls;
    const Clock::time_point t0 = Clock::now();
    struct Close {
      CallStats& stats;
      Clock::time_point t0;
      ~Close() { stats.time += Clock::now() - t0; }
    } close{stats, t0};
    Scope scope(kDbProvider);
    fn();
  }

  zun::SqliteConnection inner_;
};

struct Options {
  int files = 1000;
  int owners = 4;
  int lines = 10;
  int history = 0;
  std::string dir;
  bool keep = false;
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: queue_bench [--files N] [--owners K] [--lines L] [--history H] "
               "[--dir DIR] [--keep]\n");
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    auto number = [&](int min) {
      const std::string v = value();
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < min || n > 10000000) Usage();
      return static_cast<int>(n);
    };
    if (a == "--files") {
      o.files = number(1);
    } else if (a == "--owners") {
      o.owners = number(1);
    } else if (a == "--lines") {
      o.lines = number(1);
    } else if (a == "--history") {
      o.history = number(0);
    } else if (a == "--dir") {
      o.dir = value();
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      Usage();
    }
  }
  return o;
}

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "queue_bench: %s\n", what.c_str());
    std::exit(1);
  }
}

// A file of `lines` lines: a comment first and last, placement records
// between (accepted, no effect).
std::string FileContent(int lines) {
  std::string s = "; queue benchmark file\r\n";
  for (int i = 2; i < lines; ++i) s += "*OCOLOCA\r\n";
  if (lines > 1) s += "; end\r\n";
  return s;
}

// The scratch database: the service user, the owners and the queued files,
// owners taken in turn.
void BuildDatabase(const Options& o, const std::string& service_password) {
  zun::InitDatabase("ZunInput.db");
  zun::NewUser svc;
  svc.name = "zunsvc";
  svc.password = service_password;
  svc.is_admin = true;
  zun::AddUser("ZunInput.db", svc);
  for (int k = 1; k <= o.owners; ++k) {
    zun::NewUser u;
    u.name = "owner" + std::to_string(k);
    u.password = "owner-pw";
    zun::AddUser("ZunInput.db", u);
  }
  sqlite3* db = nullptr;
  Check(sqlite3_open("ZunInput.db", &db) == SQLITE_OK, "cannot open ZunInput.db");
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK, "BEGIN failed");
  // The earlier entries were queued a day before and imported at once.
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(
            db,
            "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo, importtries, "
            "result, result_mom, done) "
            "SELECT uid, 5, strftime('%Y-%m-%d %H:%M:%S', 'now', ?1), ?2, ?3, ?4, ?5, "
            "CASE WHEN ?4 = 0 THEN NULL ELSE strftime('%Y-%m-%d %H:%M:%S', 'now', ?1) END, ?4 "
            "FROM users WHERE name = ?6",
            -1, &st, nullptr) == SQLITE_OK,
        sqlite3_errmsg(db));
  const std::string content = FileContent(o.lines);
  for (int i = 0; i < o.history + o.files; ++i) {
    const bool old = i < o.history;
    const std::string file =
        (old ? "old" : "bench") + std::to_string((old ? i : i - o.history) + 1) + ".txt";
    const std::string owner = "owner" + std::to_string(i % o.owners + 1);
    sqlite3_bind_text(st, 1, old ? "-1 day" : "+0 seconds", -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, file.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 3, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 4, old ? 1 : 0);
    if (old) {
      sqlite3_bind_int(st, 5, 0);
    } else {
      sqlite3_bind_null(st, 5);
    }
    sqlite3_bind_text(st, 6, owner.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(st) == SQLITE_DONE && sqlite3_changes(db) == 1, "cannot queue a file");
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK, "COMMIT failed");
  sqlite3_close(db);
}

// Entries the run has finished successfully.
int DoneEntries() {
  sqlite3* db = nullptr;
  Check(sqlite3_open("ZunInput.db", &db) == SQLITE_OK, "cannot open ZunInput.db");
  sqlite3_stmt* st = nullptr;
  int n = -1;
  if (sqlite3_prepare_v2(db, "SELECT count(*) FROM import_files WHERE done <> 0 AND result = 0", -1,
                         &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    n = sqlite3_column_int(st, 0);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

std::string LoadAverage() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  if (f == nullptr) return "?";
  char buf[128] = {};
  const bool ok = std::fgets(buf, sizeof buf, f) != nullptr;
  std::fclose(f);
  if (!ok) return "?";
  // The 1-, 5- and 15-minute averages.
  std::string s(buf);
  size_t end = 0;
  for (int fields = 0; fields < 3 && end != std::string::npos; ++fields) {
    end = s.find(' ', end == 0 ? 0 : end + 1);
  }
  return s.substr(0, end);
}

double CpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

}  // namespace

// The functions the linker wraps (-Wl,--wrap=<symbol>, bench/CMakeLists.txt):
// __wrap_<symbol> takes every call from another object file and calls
// __real_<symbol>, the function itself, inside a category.
#define ZUN_TIMED(cat, ret, sym, params, args) \
  ret __real_##sym params;                     \
  ret __wrap_##sym params {                    \
    Scope scope(cat);                          \
    return __real_##sym args;                  \
  }
#define ZUN_LOGGED(sym, params, args)          \
  void __real_##sym params;                    \
  void __wrap_##sym params {                   \
    TimedLog(msg, [&] { __real_##sym args; }); \
  }

using String = std::string;
using zun::Command;
using zun::CommandType;
using zun::DsRef;
using zun::ModoStProc;
using CommandPtr = std::unique_ptr<Command>;

extern "C" {
ZUN_LOGGED(_ZN3zun4LogaERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE, (const String& msg),
           (msg))
ZUN_LOGGED(_ZN3zun11LogaConsoleERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE,
           (const String& msg), (msg))
ZUN_LOGGED(_ZN3zun11LogaVerboseERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE,
           (const String& msg), (msg))
ZUN_LOGGED(_ZN3zun11LogaExcecaoERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES7_,
           (const String& msg, const String& extra), (msg, extra))

// The session's client side: commands, calls, parameters, fields, the
// identity switch.
ZUN_TIMED(
    kDbClient, CommandPtr,
    _ZN3zun11TomaDataSetENS_11CommandTypeERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE,
    (CommandType kind, const String& text), (kind, text))
ZUN_TIMED(kDbClient, void,
          _ZN3zun14DevolveDataSetEPSt10unique_ptrINS_7CommandESt14default_deleteIS1_EE,
          (CommandPtr * cmd), (cmd))
ZUN_TIMED(kDbClient, int32_t, _ZN3zun10ExecStProcENS_5DsRefENS_10ModoStProcE,
          (DsRef cmd, ModoStProc mode), (cmd, mode))
ZUN_TIMED(kDbClient, bool, _ZN3zun7Command13NextRecordsetEv, (Command * self), (self))
ZUN_TIMED(kDbClient, int32_t,
          _ZN3zun12ChamaSetuserERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE,
          (const String& user), (user))
ZUN_TIMED(kDbClient, void,
          _ZN3zun11SetParamIntENS_5DsRefERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEi,
          (DsRef cmd, const String& name, int32_t v), (cmd, name, v))
ZUN_TIMED(kDbClient, void,
          _ZN3zun12SetParamBoolENS_5DsRefERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEb,
          (DsRef cmd, const String& name, bool v), (cmd, name, v))
ZUN_TIMED(kDbClient, void,
          _ZN3zun11GetFieldIntENS_5DsRefERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPi,
          (DsRef cmd, const String& column, int32_t* v), (cmd, column, v))
ZUN_TIMED(kDbClient, int32_t,
          _ZN3zun8FieldIntENS_5DsRefERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE,
          (DsRef cmd, const String& column), (cmd, column))
ZUN_TIMED(kDbClient, void,
          _ZN3zun11GetFieldStrENS_5DsRefERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPS6_,
          (DsRef cmd, const String& column, String* v), (cmd, column, v))
ZUN_TIMED(
    kDbClient, void,
    _ZN3zun16GetFieldDateTimeENS_5DsRefERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPd,
    (DsRef cmd, const String& column, double* v), (cmd, column, v))

// The local copy of a queued file: written, and removed after the import.
ZUN_TIMED(kFile, void,
          _ZN3zun12GravaArquivoERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES7_PiS8_,
          (const String& file_name, const String& content, int32_t* erro, int* trava),
          (file_name, content, erro, trava))
int __real_unlink(const char* path);
int __wrap_unlink(const char* path) {
  if (!g_time.Inside(kRest)) return __real_unlink(path);
  Scope scope(kFile);
  return __real_unlink(path);
}
}

int main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  namespace fs = std::filesystem;
  fs::path dir = o.dir.empty()
                     ? fs::temp_directory_path() / ("zun-queue-bench-" + std::to_string(::getpid()))
                     : fs::path(o.dir);
  fs::remove_all(dir);
  fs::create_directories(dir);
  dir = fs::canonical(dir);
  fs::current_path(dir);
  const std::string password = "bench-service-pw";
  BuildDatabase(o, password);

  // The report keeps the real standard output; the service's console lines
  // go to a file, as they would go to the service's own output.
  std::fflush(stdout);
  const int report_fd = ::dup(STDOUT_FILENO);
  Check(report_fd >= 0 && std::freopen("console.txt", "w", stdout) != nullptr,
        "cannot redirect the console");
  std::FILE* report = ::fdopen(report_fd, "w");
  Check(report != nullptr, "cannot open the report stream");

  const std::string load_before = LoadAverage();
  const double cpu_before = CpuSeconds();
  const Clock::time_point run_start = Clock::now();

  zun::SetProgramArgs({"queue_bench", "-provider:SQLite", "-user:zunsvc", "-password:" + password,
                       "-MailGateway:http://127.0.0.1:9/"});
  zun::IniciaFundacao();
  zun::RegisterDatabaseProcedures();
  zun::RegisterProvider(zun::kSqliteProviderName,
                        [] { return std::make_unique<TimedConnection>(); });
  zun::IniciaZiGlobs();

  int imported = 0;
  Clock::duration in_steps{};
  zun::RunHooks hooks;
  hooks.init_db_connection = [] { return zun::InitDbConnection("", "", false); };
  hooks.is_logged = [] { return zun::IsLogged(false); };
  hooks.queue_step = [&](int32_t seq, int32_t* erro, bool* continua) {
    const Clock::time_point t0 = Clock::now();
    g_time.Start();
    zun::ImpIFStep(seq, erro, continua);
    g_time.Stop();
    in_steps += Clock::now() - t0;
    if (*erro == 0 && *continua) ++imported;
  };
  hooks.bulletin_requests = [] { (void)zun::ProcuraReqGBolNoDataLogEGeraNua(); };
  const int32_t code = zun::ZunInpIF(hooks);
  zun::EncerraZiGlobs(&zun::SysExitCode);
  zun::EncerraFundacao();

  const double wall = std::chrono::duration<double>(Clock::now() - run_start).count();
  const double cpu = CpuSeconds() - cpu_before;
  const std::string load_after = LoadAverage();
  const double steps = std::chrono::duration<double>(in_steps).count();
  const int done = DoneEntries() - o.history;

  std::fprintf(report,
               "queue_bench: %d files of %d lines, %d owners without e-mail, %d earlier entries, "
               "in %s\n",
               o.files, o.lines, o.owners, o.history, dir.c_str());
  std::fprintf(report, "run: exit code %d, imported %d, done in the queue %d\n", code, imported,
               done);
  std::fprintf(report,
               "wall %.3f s (queue steps %.3f s): %.0f files/s overall, %.0f in the steps\n", wall,
               steps, imported / wall, imported / steps);
  double attributed = 0;
  for (int c = 0; c < kCategories; ++c) attributed += g_time.Seconds(static_cast<Category>(c));
  auto share = [&](double seconds) { return attributed > 0 ? 100.0 * seconds / attributed : 0.0; };
  const double db = g_time.Seconds(kDbClient) + g_time.Seconds(kDbProvider);
  std::fprintf(report,
               "shares of the queue steps: log %.1f%% db %.1f%% (provider %.1f%%, client %.1f%%) "
               "engine %.1f%% file %.1f%% rest %.1f%%\n",
               share(g_time.Seconds(kLog)), share(db), share(g_time.Seconds(kDbProvider)),
               share(g_time.Seconds(kDbClient)), share(g_time.Seconds(kEngine)),
               share(g_time.Seconds(kFile)), share(g_time.Seconds(kRest)));
  const double per = imported > 0 ? 1e6 / imported : 0;
  std::fprintf(report,
               "per file: log %.0f us (%.1f lines), db %.0f us, engine %.0f us, file %.0f us, "
               "rest %.0f us\n",
               g_time.Seconds(kLog) * per, g_log_lines / (imported > 0 ? double(imported) : 1.0),
               db * per, g_time.Seconds(kEngine) * per, g_time.Seconds(kFile) * per,
               g_time.Seconds(kRest) * per);
  std::fprintf(report, "database calls (whole run):\n");
  for (const auto& [what, s] : g_db_calls) {
    const double t = std::chrono::duration<double>(s.time).count();
    std::fprintf(report, "  %-40s %7ld calls %9.3f s %7.1f us/call\n", what.c_str(), s.calls, t,
                 1e6 * t / s.calls);
  }
  std::fprintf(report, "machine: load average %s before, %s after; cpu/wall %.2f\n",
               load_before.c_str(), load_after.c_str(), cpu / wall);
  std::fclose(report);

  const bool ok = code == 0 && imported == o.files && done == o.files;
  if (!o.keep && ok) {
    fs::current_path(dir.parent_path());
    fs::remove_all(dir);
  }
  return ok ? 0 : 1;
}
