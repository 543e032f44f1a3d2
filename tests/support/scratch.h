// A scratch directory named after the running test, a file's bytes and
// child processes: what the tests share.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "foundation/log.h"

namespace zun {

// The bytes of p ("" when it cannot be read).
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ostringstream out;
  out << std::ifstream(p, std::ios::binary).rdbuf();
  return out.str();
}

// An empty directory prefix-<process id>-<test name> in the temporary
// directory; what an earlier run left there is gone.
inline std::filesystem::path ScratchDir(const std::string& prefix) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      (prefix + "-" + std::to_string(getpid()) + "-" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// A child process that runs body and exits with its result.
inline pid_t Spawn(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

// What a shell command did: its exit status (-1 when it did not exit) and
// its standard output.
struct RunResult {
  int status = -1;
  std::string out;
};

inline RunResult RunShell(const std::string& command) {
  RunResult r;
  FILE* p = popen(command.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int w = pclose(p);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return r;
}

// The exit status of the child process pid (-1 when it did not exit).
inline int ExitStatus(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zun
