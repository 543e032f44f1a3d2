#include "service/password_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../support/log_capture.h"
#include "../support/scratch.h"
#include "foundation/log.h"
#include "foundation/secret_file.h"
#include "foundation/switches.h"

namespace zun {
namespace {

// Every source at once is tried in order: the first that gives a password
// wins, a refused file fails the login, and nothing shows the password: the
// variable is gone from the environment whichever source won.
TEST(PasswordSource, FirstSourceWinsAndTheLogNeverShowsThePassword) {
  const std::string dir = ScratchDir("zun-pwsrc");
  const std::string good = dir + "/good";
  std::ofstream(good) << "from-file\n";
  ::chmod(good.c_str(), 0600);
  const struct {
    std::vector<std::string> args;
    const char* env;  // null: unset
    int32_t code;
    const char* password;
    const char* logged;  // a line that must be logged
  } rows[] = {
      {{"-password:from-switch", "-PasswordFile:" + good},
       "from-env",
       0,
       "from-switch",
       "Warn: the password was given with -password"},
      {{"-password:", "-PasswordFile:" + good}, "from-env", 0, "from-file", ""},
      {{"-PasswordFile"}, "from-env", 4273, "", "PasswordFile refused: no file named"},
      {{}, "from-env", 0, "from-env", ""},
      {{}, "", 0, "", ""},
      {{}, nullptr, 0, "", ""},
  };
  for (const auto& r : rows) {
    std::vector<std::string> args = r.args;
    args.insert(args.begin(), "zuninput");
    SetProgramArgs(args);
    if (r.env != nullptr) {
      ::setenv(kPasswordVariable, r.env, 1);
    } else {
      ::unsetenv(kPasswordVariable);
    }
    char* planted = std::getenv(kPasswordVariable);
    LogCapture log;
    std::string password = "stale";
    std::string msg;
    EXPECT_EQ(LeSenhaDoLogin(&password, &msg), r.code) << args.back();
    EXPECT_EQ(password, r.password) << args.back();
    EXPECT_EQ(msg.empty(), r.code == 0) << msg;
    const std::string logged = log.Text();
    EXPECT_NE(logged.find(r.logged), std::string::npos) << logged;
    EXPECT_EQ(logged.find("from-"), std::string::npos) << logged;
    EXPECT_EQ(std::getenv(kPasswordVariable), nullptr) << "left for children to inherit";
    EXPECT_EQ(planted != nullptr ? planted[0] : '\0', '\0') << "left in the process's memory";
  }
  ::unsetenv(kPasswordVariable);
  SetProgramArgs({"zuninput"});
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zun
