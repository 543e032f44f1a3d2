// Import files for the engine tests, written to a scratch folder of the test
// process (tests run as parallel processes and must not share files).
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zun {

using Strings = std::vector<std::string>;

// The scratch folder of this test process, removed when the process ends.
inline const std::filesystem::path& PastaDeTeste() {
  struct Pasta {
    std::filesystem::path dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) /
                                ("engine_test_files-" + std::to_string(getpid()));
    ~Pasta() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  };
  static const Pasta pasta;
  return pasta.dir;
}

// Writes bytes unchanged to the file name of the scratch folder; its path.
inline std::string EscreveArquivo(const std::string& name, const std::string& bytes) {
  const std::filesystem::path& dir = PastaDeTeste();
  std::filesystem::create_directories(dir);
  const std::string path = (dir / name).string();
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

}  // namespace zun
