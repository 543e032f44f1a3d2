// The systemd units in deploy/systemd/ as systemd itself reads them, and
// their hardening as systemd scores it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include "../support/scratch.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(SystemdUnits, VerifyWithoutAComplaint) {
  if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "systemd-analyze is not installed";
  }
  const fs::path dir = ScratchDir("zun-units");
  // The service names the installed executable; here it is the one built.
  for (const char* unit : {"zuninput.service", "zuninput.timer", "zuninput-web.service"}) {
    std::string s = ReadFile(fs::path(ZUN_TEST_SOURCE_DIR) / "deploy/systemd" / unit);
    ASSERT_FALSE(s.empty()) << unit;
    for (size_t at; (at = s.find("/usr/local/bin/zuninput")) != std::string::npos;) {
      s.replace(at, 23, ZUNINPUT_EXE);
    }
    std::ofstream(dir / unit) << s;
  }
  const std::string cmd = "systemd-analyze verify --man=no '" +
                          (dir / "zuninput.service").string() + "' '" +
                          (dir / "zuninput.timer").string() + "' '" +
                          (dir / "zuninput-web.service").string() + "' 2>&1";
  const RunResult verify = RunShell(cmd);
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_EQ(verify.out, "") << "every line systemd-analyze prints is a complaint";
  // The hardening: an exposure of 1.5 at most (systemd-analyze counts in
  // tenths).
  for (const char* unit : {"zuninput.service", "zuninput-web.service"}) {
    const std::string score = "systemd-analyze security --offline=yes --threshold=15 '" +
                              (dir / unit).string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(score.c_str()), 0) << score;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zun
