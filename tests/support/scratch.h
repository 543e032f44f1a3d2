// A scratch directory named after the running test, a file's bytes and the
// log's latest lines: what the tests share.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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

// The log lines written after the last one that ends with mark, each ended
// by "\n".
inline std::string LogSince(const std::string& mark) {
  std::string lines;
  for (const std::string& l : LinhasRecentes()) lines = l.ends_with(mark) ? "" : lines + l + "\n";
  return lines;
}

}  // namespace zun
