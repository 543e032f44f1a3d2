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

// Writes bytes unchanged to the file name of this process's scratch folder
// (removed when the process ends); its path.
inline std::string EscreveArquivo(const std::string& name, const std::string& bytes) {
  static const struct Pasta {
    std::filesystem::path dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) /
                                ("engine_test_files-" + std::to_string(getpid()));
    ~Pasta() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } pasta;
  std::filesystem::create_directories(pasta.dir);
  const std::string path = (pasta.dir / name).string();
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

}  // namespace zun
