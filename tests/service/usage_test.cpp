// Help, version and the switches the service does not know.
#include "service/usage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>

#include "../support/scratch.h"
#include "foundation/text.h"
#include "service/config_file.h"

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
  const std::regex read(R"((?:LeSwitch|TemSwitch|LeSwitch255|SwitchLigado)\("([A-Za-z0-9_]+)\")");
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

// The help and the manual name every switch the service knows, and the
// help marks with "*" exactly the keys the configuration file takes.
TEST(Usage, HelpManualAndConfigurationAgree) {
  const auto upper = [](const std::vector<std::string>& v) {
    std::set<std::string> out;
    for (const std::string& k : v) out.insert(Maiusculas(k));
    return out;
  };
  std::string man = ReadFile(fs::path(ZUN_TEST_SOURCE_DIR) / "docs/man/zuninput.8");
  std::erase(man, '\\');  // roff's "\-"
  for (const std::string& text : {std::string(TextoDeAjuda()), man}) {
    std::set<std::string> named, marked;
    const std::regex sw(R"((\*?)-([A-Za-z][A-Za-z0-9]+))");
    for (std::sregex_iterator m(text.begin(), text.end(), sw), end; m != end; ++m) {
      named.insert(Maiusculas((*m)[2].str()));
      if ((*m)[1].length() > 0) marked.insert(Maiusculas((*m)[2].str()));
    }
    for (const std::string& k : upper(SwitchesConhecidos())) EXPECT_TRUE(named.count(k)) << k;
    for (const std::string& k : upper(ChavesDaConfiguracao())) {
      // The manual lists the keys of the configuration file by name.
      EXPECT_NE(Maiusculas(text).find(k), std::string::npos) << k;
    }
    if (text == TextoDeAjuda()) {
      EXPECT_EQ(marked, upper(ChavesDaConfiguracao()));
    }
  }
}

}  // namespace
}  // namespace zun
