// Help, version and the switches the service does not know.
#include "service/usage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "../support/scratch.h"
#include "foundation/text.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(Usage, UnknownSwitchesAreNamedWithoutTheirValues) {
  EXPECT_EQ(
      SwitchesDesconhecidos({"zuninput", "-provider:SQLite", "/USER=a", "'-li'", "-PathIF:x:y",
                             "-provder:SQLite", "-userx", "-pasword:s3cr3t", "s3cr3t", "-"}),
      (std::vector<std::string>{"-provder", "-userx", "-pasword", "(argument 8)", "(argument 9)"}));
}

// A switch read anywhere in the program and missing from the known list
// would be reported as unknown although it works.
TEST(Usage, EverySwitchTheProgramReadsIsKnown) {
  const std::regex read(R"((?:LeSwitch|TemSwitch|LeSwitch255)\("([A-Za-z0-9_]+)\")");
  int seen = 0;
  for (const auto& f : fs::recursive_directory_iterator(fs::path(ZUN_TEST_SOURCE_DIR) / "src")) {
    if (f.path().extension() != ".cpp") continue;
    const std::string text = ReadFile(f.path());
    for (std::sregex_iterator m(text.begin(), text.end(), read), end; m != end; ++m) {
      ++seen;
      const std::string key = (*m)[1];
      EXPECT_TRUE(
          std::any_of(SwitchesConhecidos().begin(), SwitchesConhecidos().end(),
                      [&](const std::string& k) { return Maiusculas(k) == Maiusculas(key); }))
          << key << " read in " << f.path().filename();
    }
  }
  EXPECT_GT(seen, 15);
}

}  // namespace
}  // namespace zun
