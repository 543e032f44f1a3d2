// The codes table of docs/codes.md: every code the service's steps and the
// embedded database's procedures return has a row, and the reasons printed
// come from it.
#include "service/codes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace zun {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Codes, EveryCodeReturnedHasARowInTheTable) {
  std::set<int> documented;
  const std::regex row(R"(^\| (\d+) \|)", std::regex::multiline);
  const std::string table = ReadFile(fs::path(ZUN_TEST_SOURCE_DIR) / "docs/codes.md");
  for (std::sregex_iterator m(table.begin(), table.end(), row), end; m != end; ++m) {
    documented.insert(std::stoi((*m)[1]));
  }
  ASSERT_GT(documented.size(), 100u);
  // A code is a literal assigned, returned, passed as a default or given to
  // a procedure's Return; comment lines are skipped.
  const std::regex code(R"((?:[=,:?]|return|Return\()\s*(3\d{3}|4\d{3}|5\d{4}|8604)\b)");
  int seen = 0;
  for (const char* dir : {"src/service", "database"}) {
    for (const auto& f : fs::directory_iterator(fs::path(ZUN_TEST_SOURCE_DIR) / dir)) {
      std::ifstream in(f.path());
      int n = 0;
      for (std::string line; std::getline(in, line);) {
        ++n;
        if (line.find_first_not_of(' ') != std::string::npos &&
            line.compare(line.find_first_not_of(' '), 2, "//") == 0) {
          continue;
        }
        for (std::sregex_iterator m(line.begin(), line.end(), code), end; m != end; ++m) {
          ++seen;
          EXPECT_TRUE(documented.count(std::stoi((*m)[1])))
              << f.path().filename() << ":" << n << " returns " << (*m)[1]
              << ", which docs/codes.md does not explain";
        }
      }
    }
  }
  EXPECT_GT(seen, 100);
}

TEST(Codes, LinesCarryTheReasonOfTheTable) {
  const struct {
    int32_t code;
    const char* detail;
    const char* line;
  } rows[] = {
      {4218, "s@d:<X@db1>", "- x: code 4218: the database@server guard: "},
      {4218, "s@d:<X@db1>", "build's) (s@d:<X@db1>)"},
      {3942, "", "- x: code 3942: a line starts with an unknown keyword"},
      {50304, "", "- x: code 50304: no user of that name"},
      {12345, "", "- x: code 12345: a line of the file or a procedure gave it; see the log"},
  };
  for (const auto& r : rows) {
    EXPECT_NE(LinhaDoCodigo("- x", r.code, r.detail).find(r.line), std::string::npos)
        << LinhaDoCodigo("- x", r.code, r.detail);
  }
  EXPECT_EQ(MotivoDoCodigo(1), "");
}

}  // namespace
}  // namespace zun
