#include "service/run_loop.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/log.h"
#include "foundation/momento.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

std::string LastLine() {
  const std::vector<std::string> recent = LinhasRecentes();
  return recent.empty() ? "" : recent.back();
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class RunLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = fs::temp_directory_path() / ("zunrun-" + std::to_string(getpid()) + ".log");
    SetLogFileName(log_.string());
    SysExitCode = 0;
  }
  void TearDown() override {
    SysExitCode = 0;
    SetLogFileName("zuninput.log");
    fs::remove(log_);
  }
  fs::path log_;
};

TEST(ExitStatusFor, KeepsFailuresVisible) {
  EXPECT_EQ(ExitStatusFor(0), 0);
  EXPECT_EQ(ExitStatusFor(4077), 4077 & 0xFF);
  EXPECT_EQ(ExitStatusFor(250), 250);
  EXPECT_EQ(ExitStatusFor(256), 255);
  EXPECT_EQ(ExitStatusFor(-256), 255);
}

TEST_F(RunLoop, LoginFailureEndsWith4077) {
  RunHooks hooks;
  hooks.init_db_connection = [] { return 3715; };
  hooks.is_logged = [] { return false; };
  int steps = 0;
  hooks.queue_step = [&](int32_t, int32_t*, bool*) { ++steps; };
  // The bulletin requests are still looked for, and their failure does not
  // change the run's code.
  int bulletin = 0;
  hooks.bulletin_requests = [&] { ++bulletin; };
  EXPECT_EQ(ZunInpIF(hooks), 4077);
  EXPECT_EQ(steps, 0);
  EXPECT_EQ(bulletin, 1);
  EXPECT_TRUE(EndsWith(LastLine(),
                       " - ZunInpIF end erro:4077 Sys.ExitCode:4077 QuantosImportou(ou tentou):0"));
}

TEST_F(RunLoop, EmptyQueueIsOneStep) {
  RunHooks hooks;
  hooks.is_logged = [] { return true; };
  int steps = 0;
  hooks.queue_step = [&](int32_t seq, int32_t* erro, bool* continua) {
    ++steps;
    EXPECT_EQ(seq, 1);
    *erro = 0;
    *continua = false;
  };
  EXPECT_EQ(ZunInpIF(hooks), 0);
  EXPECT_EQ(steps, 1);
  EXPECT_TRUE(EndsWith(LastLine(), " - ZunInpIF end QuantosImportou(ou tentou):0"));
}

TEST_F(RunLoop, FailingFileStopsTheRunWithItsCode) {
  RunHooks hooks;
  hooks.is_logged = [] { return true; };
  hooks.queue_step = [&](int32_t seq, int32_t* erro, bool*) { *erro = seq == 3 ? 3942 : 0; };
  EXPECT_EQ(ZunInpIF(hooks), 3942);
  EXPECT_TRUE(EndsWith(LastLine(), " erro:3942 Sys.ExitCode:3942 QuantosImportou(ou tentou):3"));
}

uint32_t g_tick = 0;
uint32_t Tick() { return g_tick; }

TEST_F(RunLoop, BudgetIsTestedOnlyBetweenFiles) {
  SetTickSource(&Tick);
  g_tick = 0;
  RunHooks hooks;
  hooks.is_logged = [] { return true; };
  int steps = 0;
  hooks.queue_step = [&](int32_t, int32_t*, bool*) {
    ++steps;
    g_tick += 400000;  // each file takes 400 s
  };
  EXPECT_EQ(ZunInpIF(hooks), 0);
  SetTickSource(nullptr);
  EXPECT_EQ(steps, 2);
}

TEST_F(RunLoop, EscapingExceptionEndsTheRunWith4078AfterTheBulletinStep) {
  RunHooks hooks;
  hooks.is_logged = [] { return true; };
  hooks.queue_step = [](int32_t, int32_t*, bool*) { throw std::runtime_error("boom"); };
  bool bulletin = false;
  hooks.bulletin_requests = [&] { bulletin = true; };
  EXPECT_EQ(ZunInpIF(hooks), 4078);
  EXPECT_TRUE(bulletin);
}

TEST_F(RunLoop, ForeignExceptionEndsTheRunWith4078) {
  RunHooks hooks;
  hooks.is_logged = [] { return true; };
  hooks.queue_step = [](int32_t, int32_t*, bool*) { throw 42; };
  EXPECT_EQ(ZunInpIF(hooks), 4078);
  EXPECT_TRUE(EndsWith(LastLine(), " QuantosImportou(ou tentou):0"));
}

TEST(Executable, AClosedConsoleDoesNotKillTheRun) {
  const fs::path dir = fs::temp_directory_path() / ("zunpipe-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  // The reader ends before the service writes its first console line.
  const std::string cmd = "cd '" + dir.string() + "' && { sleep 0.3; '" + ZUNINPUT_EXE +
                          "'; echo $? > status.txt; } | true";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream status(dir / "status.txt");
  int code = -1;
  status >> code;
  EXPECT_EQ(code, 4077 & 0xFF);
  std::ifstream in(dir / "zuninput.log", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_NE(ss.str().find("- ZunInpIF end erro:4077"), std::string::npos) << ss.str();
  fs::remove_all(dir);
}

TEST(Executable, LoginFailureExitStatusAndLog) {
  const fs::path dir = fs::temp_directory_path() / ("zunexe-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string cmd = "cd '" + dir.string() + "' && '" + ZUNINPUT_EXE + "' > out.txt 2>&1";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 4077 & 0xFF);
  std::ifstream in(dir / "zuninput.log", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string log = ss.str();
  EXPECT_NE(log.find("--- ZunInpIF start ver:20200703-750 "), std::string::npos) << log;
  EXPECT_NE(log.find("  0 - ZunInpIF login failed\r\n"), std::string::npos);
  EXPECT_NE(log.find("- ZunInpIF end erro:4077 Sys.ExitCode:4077 QuantosImportou(ou tentou):0\r\n"),
            std::string::npos);
  std::ifstream out(dir / "out.txt");
  std::stringstream os;
  os << out.rdbuf();
  EXPECT_NE(os.str().find("exit code:4077"), std::string::npos);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

TEST(RunLoopExitCode, AnEarlierExitCodeIsKept) {
  SysExitCode = 250;
  RunHooks hooks;
  hooks.is_logged = [] { return false; };
  EXPECT_EQ(ZunInpIF(hooks), 250);
  SysExitCode = 0;
}

}  // namespace
}  // namespace zun
