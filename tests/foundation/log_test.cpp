#include "foundation/log.h"

#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <regex>
#include <thread>

#include "../support/scratch.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

using Strings = std::vector<std::string>;

// The messages of a log text, each behind the time and process prefix and
// ended by CR LF; a piece that is no such line shows as "<torn:...>".
Strings Mensagens(const std::string& text) {
  static const std::regex kLinha(
      R"(\d{4}/\d\d/\d\d-\d\d:\d\d:\d\d [0-9A-F]{8}/[0-9A-F]{8}  0 ([^\r\n]*)\r\n)");
  Strings out;
  size_t fim = 0;
  for (std::sregex_iterator i(text.begin(), text.end(), kLinha), e;
       i != e && static_cast<size_t>(i->position()) == fim; fim += i->length(), ++i) {
    out.push_back((*i)[1]);
  }
  if (fim != text.size()) out.push_back("<torn:" + text.substr(fim) + ">");
  return out;
}

// The log in a scratch directory, with TEMP (the fallback's directory) in it.
class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* temp = std::getenv("TEMP")) old_temp_ = temp;
    dir_ = ScratchDir("zunlog");
    fs::create_directories(dir_ / "temp");
    log_ = dir_ / "zuninput.log";
    SetLogFileName(log_.string());
    SetLogWaits(1, 1);
    setenv("TEMP", (dir_ / "temp").c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
  }
  void TearDown() override {
    SetLogFileName("zuninput.log");
    SetLogWaits(500, 25);
    old_temp_ ? setenv("TEMP", old_temp_->c_str(), 1) : unsetenv("TEMP");
    fs::remove_all(dir_);
  }
  // Takes the log's lock as another process would; -1 when it cannot.
  int HoldLock() {
    const int fd = ::open(log_.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? fd : -1;
  }
  std::optional<std::string> old_temp_;
  fs::path dir_;
  fs::path log_;
};

TEST_F(LogFile, HeldLockKeepsLinesInMemoryThenFlushes) {
  Loga("before");
  int holder = HoldLock();
  ASSERT_GE(holder, 0);
  Loga("while locked 1");
  Loga("while locked 2");
  const fs::path own = dir_ / "temp" / ("zuninput-" + std::to_string(geteuid())) / "zun.tmp.log";
  EXPECT_EQ(ArquivoDeReserva(), own.string());
  EXPECT_EQ(Mensagens(ReadFile(own)),
            (Strings{"start of log kept in memory (<" + log_.string() + "> error:32)",
                     "while locked 1", "while locked 2"}));
  EXPECT_EQ(Mensagens(ReadFile(log_)), Strings{"before"});
  ::close(holder);
  Loga("after");
  Loga("again");
  // Lines still kept when the log ends get one more try.
  holder = HoldLock();
  ASSERT_GE(holder, 0);
  Loga("- ZunInpIF end");
  ::close(holder);
  FimDoLog();
  const std::string start = "start of log kept in memory (<" + log_.string() + "> error:32)";
  const std::string end = "end of log kept in memory";
  EXPECT_EQ(Mensagens(ReadFile(log_)), (Strings{"before", start, "while locked 1", "while locked 2",
                                                end, "after", "again", start, "- ZunInpIF end", end,
                                                "*Basic lines kept in memory written at the end"}));
}

// The fallback lies where only this user may write: XDG_RUNTIME_DIR, else a
// directory of its own (mode 0700) in TEMP, else TMPDIR; another process's
// lines there stay. A directory that others may write, or a link in the
// file's place, keeps the lines in memory only, and says so.
TEST_F(LogFile, FallbackOnlyWherePrivate) {
  unsetenv("TEMP");
  const fs::path run = dir_ / "run";
  const fs::path own = dir_ / "tmpdir" / ("zuninput-" + std::to_string(geteuid()));
  fs::create_directories(run);
  fs::create_directories(dir_ / "tmpdir");
  setenv("TMPDIR", (dir_ / "tmpdir").c_str(), 1);
  std::ofstream(run / "zun.tmp.log", std::ios::binary) << "other process\r\n";
  const struct {
    mode_t run_mode;  // 0: XDG_RUNTIME_DIR unset
    mode_t own_mode;  // 0: left as the log makes it
    bool link;        // the fallback's name in run is a link
    fs::path want;
  } rows[] = {
      {0700, 0, false, run / "zun.tmp.log"},
      {0777, 0, false, own / "zun.tmp.log"},
      {0, 0777, false, ""},
      {0700, 0, true, ""},
  };
  for (const auto& r : rows) {
    if (r.run_mode != 0) {
      ::chmod(run.c_str(), r.run_mode);
      setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    if (r.own_mode != 0) ::chmod(own.c_str(), r.own_mode);
    if (r.link) {
      fs::remove(run / "zun.tmp.log");
      fs::create_symlink(dir_ / "target", run / "zun.tmp.log");
    }
    const int holder = HoldLock();
    ASSERT_GE(holder, 0);
    Loga("kept");
    EXPECT_EQ(ArquivoDeReserva(), r.want.string()) << r.want;
    if (!r.want.empty()) {
      const std::string text = ReadFile(r.want);
      EXPECT_TRUE(text.ends_with(" kept\r\n")) << text;
      EXPECT_EQ(text.starts_with("other process\r\n"), &r == rows) << text;
    }
    if (r.want == own / "zun.tmp.log") {
      EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_all);
    }
    ::close(holder);
    Loga("flushed");
  }
  unsetenv("TMPDIR");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_FALSE(fs::exists(dir_ / "target"));
}

// One message is one line, whatever it holds; the first line creates the
// file for its owner and group only. A full disk cuts a write short: the
// piece written is cut back, and the line reaches the file whole once there
// is room again.
TEST_F(LogFile, EachMessageIsOneWholeLine) {
  const mode_t old_mask = ::umask(022);
  Loga("hello");
  ::umask(old_mask);
  EXPECT_EQ(fs::status(log_).permissions() & fs::perms::others_all, fs::perms::none);
  Loga("orig:<a.txt\r\n2026/01/01-00:00:00 00000001/00000001  0 forged" + std::string(1, '\0') +
       "\x1b>\tz");
  Loga(std::string(kMaxMensagemDoLog + 5, 'y'));
  const std::string long_line = "a long line that does not fit " + std::string(100, 'x');
  const pid_t child = Spawn([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    const rlim_t old = lim.rlim_cur;
    lim.rlim_cur = fs::file_size(log_) + 30;
    setrlimit(RLIMIT_FSIZE, &lim);
    Loga(long_line);
    lim.rlim_cur = old;
    setrlimit(RLIMIT_FSIZE, &lim);
    Loga("after");
    return 0;
  });
  ASSERT_EQ(ExitStatus(child), 0);
  EXPECT_EQ(
      Mensagens(ReadFile(log_)),
      (Strings{"hello",
               "orig:<a.txt\\r\\n2026/01/01-00:00:00 00000001/00000001  0 forged\\x00\\x1B>\tz",
               std::string(kMaxMensagemDoLog, 'y') + "...[5 bytes cut]",
               "start of log kept in memory (<" + log_.string() + "> error:27)", long_line,
               "end of log kept in memory", "after"}));
}

TEST_F(LogFile, RecentLinesAreBounded) {
  for (int i = 0; i < 301; ++i) Loga("line " + std::to_string(i));
  const std::vector<std::string> recent = LinhasRecentes();
  ASSERT_EQ(recent.size(), 300u);
  EXPECT_TRUE(recent.front().ends_with(" line 1"));
}

TEST_F(LogFile, RunError250EndsWithStatus250AndReports) {
  EXPECT_EXIT(Assert250(false, "tran"), ::testing::ExitedWithCode(250), "");
  EXPECT_NE(ReadFile(log_).find(" Error: RunError250assert: tran\r\n"), std::string::npos);
  Assert250(true, "not fatal");
}

TEST(StrToBoolean, Texts) {
  const struct {
    const char* text;
    bool value, recognised;
  } cases[] = {{"s", true, true},     {"sim", true, true},  {"yes", true, true},
               {"off", false, true},  {"2", true, true},    {"0", false, true},
               {" ON ", true, true},  {"", false, false},   {"true", false, false},
               {"onx", false, false}, {"12a", false, false}};
  for (const auto& c : cases) {
    bool recognised = !c.recognised;
    EXPECT_EQ(StrToBoolean(c.text, &recognised), c.value) << c.text;
    EXPECT_EQ(recognised, c.recognised) << c.text;
  }
}

TEST(IdentificacaoDoUsuario, Combinations) {
  setenv("USER", "mallory", 1);
  setenv("USERNAME", "ana", 1);
  setenv("COMPUTERNAME", "srv1", 1);
  const passwd* pw = getpwuid(getuid());
  const std::string me = pw != nullptr ? pw->pw_name : std::to_string(getuid());
  EXPECT_EQ(IdentificacaoDoUsuario(), me + "@srv1") << "the caller's environment names nobody";

  // Without COMPUTERNAME and MACHINE the host name counts, cut to 15
  // characters; a child in a namespace of its own gets a long one.
  const int status = ExitStatus(Spawn([&] {
    const char kHost[] = "build-server-0042.example";
    if (unshare(CLONE_NEWUTS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWUTS) != 0) return 2;
    if (sethostname(kHost, sizeof kHost - 1) != 0) return 2;
    unsetenv("COMPUTERNAME");
    unsetenv("MACHINE");
    const std::string id = IdentificacaoDoUsuario();
    std::fprintf(stderr, "%s\n", id.c_str());
    return id == me + "@build-server-00" ? 0 : 1;
  }));
  if (status == 2) GTEST_SKIP() << "no namespace for a host name of its own";
  EXPECT_EQ(status, 0) << "the child's identification is on standard error";
}

// Writes count lines "line NNNNN\r\n" (12 bytes each) to path.
void WriteLines(const fs::path& path, int count) {
  std::ofstream out(path, std::ios::binary);
  char buf[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf, "line %05d\r\n", i);
    out << buf;
  }
}

// The log keeps its last tmr bytes from a line start; the rest goes to the
// numbered file. A file within tmr + tag is left alone.
TEST_F(LogFile, NdtcmCutsWholeLinesIntoTheNextNumberedFile) {
  const fs::path file = dir_ / "cut.log";
  WriteLines(file, 100);  // 1200 bytes <= 500 + 600 + 100
  NDTCM(file.string(), 600, 500);
  EXPECT_EQ(fs::file_size(file), 1200u);
  EXPECT_FALSE(fs::exists(dir_ / "cut001.log"));

  WriteLines(file, 1000);  // 12000 bytes
  const std::string all = ReadFile(file);
  NDTCM(file.string(), 1000, 100);
  // The cut lands behind the first line break after position 11000 (line
  // 917 starts at 11004).
  EXPECT_EQ(ReadFile(dir_ / "cut001.log") + "|" + ReadFile(file),
            all.substr(0, 11004) + "|" + all.substr(11004));

  // Behind a link, the file is cut where it lies and the link stays.
  fs::create_directory(dir_ / "logs");
  fs::create_symlink("logs/real.log", dir_ / "link.log");
  WriteLines(dir_ / "logs/real.log", 100);
  NDTCM((dir_ / "link.log").string(), 100, 0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.log"));
  EXPECT_TRUE(fs::exists(dir_ / "logs/real001.log"));
  EXPECT_LT(fs::file_size(dir_ / "logs/real.log"), 200u);

  // The number follows the largest existing one, read up to the next ".".
  std::ofstream(dir_ / "cut1234.old.log") << "x";
  std::ofstream(dir_ / "cutabc.log") << "x";  // not a number: ignored
  WriteLines(file, 100);
  NDTCM(file.string(), 100, 0);
  EXPECT_TRUE(fs::exists(dir_ / "cut1235.log"));

  // Another process keeps the lock (here until NDTCM returns, 2 s at most):
  // the login does not wait for it, and the cut is left for a later run.
  WriteLines(file, 100);
  const int holder = ::open(file.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  std::promise<void> done;
  std::thread release([holder, f = done.get_future()] {
    f.wait_for(std::chrono::seconds(2));
    ::close(holder);
  });
  const auto start = std::chrono::steady_clock::now();
  NDTCM(file.string(), 100, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  done.set_value();
  release.join();
  EXPECT_EQ(fs::file_size(file), 1200u);
  EXPECT_TRUE(LinhasRecentes().back().ends_with(" NDTCM Erro:3246"));
}

}  // namespace
}  // namespace zun
