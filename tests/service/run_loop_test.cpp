#include "service/run_loop.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "../support/fake_tick.h"
#include "../support/scratch.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "service/run_summary.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(ExitStatusFor, KeepsFailuresVisible) {
  EXPECT_EQ(ExitStatusFor(250), 250);
  EXPECT_EQ(ExitStatusFor(256), 255);
  EXPECT_EQ(ExitStatusFor(-256), 255);
}

// The reason of a log that is not written: a log another user owns.
TEST(DonoDoLogAlheio, NamesTheOwnerAndTheFix) {
  const fs::path log = ScratchDir("zunowner") / "zuninput.log";
  std::ofstream(log) << "x";
  EXPECT_EQ(DonoDoLogAlheio(log.string(), ::geteuid()), "");
  EXPECT_NE(
      DonoDoLogAlheio(log.string(), ::geteuid() + 1)
          .find(" belongs to uid " + std::to_string(::geteuid()) + ", not to this run's uid "),
      std::string::npos);
  EXPECT_EQ(DonoDoLogAlheio((log.parent_path() / "none").string(), 0), "");
  fs::remove_all(log.parent_path());
}

TEST(RunLoop, Rules) {
  using Step = std::function<void(int32_t, int32_t*, bool*)>;
  const Step slow = [](int32_t, int32_t*, bool*) { g_fake_tick += 400000; };  // 400 s a file
  const struct {
    const char* name;
    int32_t earlier_exit_code;
    bool logged;
    Step step;
    int32_t want;
    int steps;              // queue steps taken
    const char* tail;       // how the last log line ends; "" when not checked
    bool log_gone = false;  // the log file cannot be written
    bool go_on = false;     // ContinueAfterFailedFile
  } rows[] = {
      {"login failure", 0, false, slow, 4077, 0,
       " - ZunInpIF end erro:4077 Sys.ExitCode:4077 QuantosImportou(ou tentou):0"},
      {"empty queue", 0, true,
       [](int32_t seq, int32_t* erro, bool* continua) {
         EXPECT_EQ(seq, 1);
         *erro = 0;
         *continua = false;
       },
       0, 1, " - ZunInpIF end QuantosImportou(ou tentou):0"},
      // Going on after failed files: the first one's code ends the run; a
      // failure that is no file's outcome still stops it.
      {"going on after failed files", 0, true,
       [](int32_t seq, int32_t* erro, bool* continua) {
         *erro = seq == 2 ? 3942 : seq == 3 ? 3943 : 0;
         AnotaArquivoNoResumo(*erro, 1);
         *continua = seq < 4;
       },
       3942, 4, " erro:3942 Sys.ExitCode:3942 QuantosImportou(ou tentou):3", false, true},
      {"queue failure while going on", 0, true,
       [](int32_t seq, int32_t* erro, bool*) {
         if (seq == 1) AnotaArquivoNoResumo(3942, 0);
         *erro = seq == 1 ? 3942 : 4084;
       },
       3942, 2, " erro:3942 Sys.ExitCode:3942 QuantosImportou(ou tentou):2", false, true},
      {"budget between files", 0, true, slow, 0, 2, ""},
      {"std exception", 0, true, [](int32_t, int32_t*, bool*) { throw std::runtime_error("boom"); },
       4078, 1, ""},
      {"foreign exception", 0, true, [](int32_t, int32_t*, bool*) { throw 42; }, 4078, 1,
       " QuantosImportou(ou tentou):0"},
      {"earlier exit code", 250, false, slow, 250, 0, ""},
      {"log not written", 0, true, [](int32_t, int32_t*, bool* continua) { *continua = false; },
       4092, 1, " erro:4092 Sys.ExitCode:4092 QuantosImportou(ou tentou):0", true},
  };
  // The log and the fallback (TEMP) in a scratch directory.
  const fs::path dir = ScratchDir("zunrun");
  const fs::path log = dir / "zuninput.log";
  SetLogFileName(log.string());
  SetTickSource(&FakeTick);
  setenv("TEMP", dir.c_str(), 1);
  for (const auto& r : rows) {
    SetLogFileName(r.log_gone ? "/nonexistent-dir/zuninput.log" : log.string());
    SysExitCode = r.earlier_exit_code;
    g_fake_tick = 0;
    RunHooks hooks;
    hooks.continue_after_failed_file = r.go_on;
    hooks.init_db_connection = [] { return 3715; };
    hooks.is_logged = [&r] { return r.logged; };
    int steps = 0;
    hooks.queue_step = [&](int32_t seq, int32_t* erro, bool* continua) {
      ++steps;
      r.step(seq, erro, continua);
    };
    // The bulletin requests are looked for however the run ends.
    int bulletin = 0;
    hooks.bulletin_requests = [&] { ++bulletin; };
    EXPECT_EQ(ZunInpIF(hooks), r.want) << r.name;
    EXPECT_EQ(steps, r.steps) << r.name;
    EXPECT_EQ(bulletin, 1) << r.name;
    const std::vector<std::string> recent = LinhasRecentes();
    EXPECT_TRUE(recent.back().ends_with(r.tail)) << r.name << ": " << recent.back();
  }
  SetTickSource(nullptr);
  SysExitCode = 0;
  SetLogFileName(log.string());
  Loga("the kept lines go out");
  SetLogFileName("zuninput.log");
  unsetenv("TEMP");
  fs::remove_all(dir);
}

// A login failure seen from outside, with the reader of the console gone
// before the service writes its first line.
TEST(Executable, LoginFailureWithAClosedConsole) {
  const fs::path dir = ScratchDir("zunpipe");
  const std::string cmd = "cd '" + dir.string() + "' && { sleep 0.3; '" + ZUNINPUT_EXE +
                          "'; echo $? > status.txt; } | true";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "status.txt"), std::to_string(4077 & 0xFF) + "\n");
  const std::string log = ReadFile(dir / "zuninput.log");
  EXPECT_NE(log.find("- ZunInpIF end erro:4077 Sys.ExitCode:4077 QuantosImportou(ou tentou):0\r\n"),
            std::string::npos)
      << log;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zun
