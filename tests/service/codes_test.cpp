// The codes table of docs/codes.md: it and the codes the layers name agree,
// and the reasons printed come from it.
#include "service/codes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include "../support/scratch.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

// The numbers a text gives named constants.
std::set<int> Numeros(const std::string& text) {
  const std::regex number(R"(\bk\w+\s*=\s*(\d{4,5});)");
  std::set<int> found;
  for (std::sregex_iterator m(text.begin(), text.end(), number), end; m != end; ++m) {
    found.insert(std::stoi((*m)[1]));
  }
  return found;
}

// Every code a layer names in its codes header has its row, and every row
// its named code (an importer's in its folder's codes header).
TEST(Codes, TheTableAndTheNamedCodesAgree) {
  const fs::path root(ZUN_TEST_SOURCE_DIR);
  std::set<int> rows;
  const std::regex row(R"(^\| (\d+) \|)", std::regex::multiline);
  const std::string table = ReadFile(root / "docs/codes.md");
  for (std::sregex_iterator m(table.begin(), table.end(), row), end; m != end; ++m) {
    rows.insert(std::stoi((*m)[1]));
  }
  std::set<int> named;
  for (const char* header :
       {"src/foundation/codes.h", "src/toolbox/dbutil/codes.h", "src/db/codes.h",
        "src/engine/codes.h", "src/notify/codes.h", "src/service/codes.h", "src/embedded/codes.h",
        "src/toolbox/dbutil/import_queue.h"}) {
    const std::set<int> codes = Numeros(ReadFile(root / header));
    EXPECT_FALSE(codes.empty()) << header;
    for (int code : codes) {
      named.insert(code);
      EXPECT_TRUE(rows.count(code)) << header << " names " << code << ", which docs/codes.md lacks";
    }
  }
  std::set<int> importers;  // an importer's line codes need no row
  for (const char* header :
       {"src/importers/market/market_codes.h", "src/importers/objects/object_codes.h",
        "src/importers/ownership/ownership_codes.h",
        "src/importers/statements/statement_codes.h"}) {
    const std::set<int> codes = Numeros(ReadFile(root / header));
    importers.insert(codes.begin(), codes.end());
  }
  for (int code : rows) {
    EXPECT_TRUE(named.count(code) || importers.count(code))
        << code << " of docs/codes.md is named nowhere";
  }
}

TEST(Codes, LinesCarryTheReasonOfTheTable) {
  const struct {
    int32_t code;
    const char* detail;
    const char* line;
  } rows[] = {
      {4218, "s@d:<X@db1>", "- x: code 4218: the database@server guard: "},
      {4218, "s@d:<X@db1>", "`Servername` names) (s@d:<X@db1>)"},
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
