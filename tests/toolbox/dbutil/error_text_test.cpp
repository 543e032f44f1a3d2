// Error texts with and without the message hook, the code derived from a
// caught exception.
#include "toolbox/dbutil/error_text.h"

#include <gtest/gtest.h>

#include "toolbox/dbutil/db_exception.h"

namespace zun {
namespace {

TEST(ErrorTextTest, HookOnlyInsideItsRanges) {
  std::string t;
  TextoDoErro(4182, &t);
  EXPECT_EQ(t, "error:4182");
  MsgTextHook = [](int32_t code, std::string* text) {
    if (code != 26500) *text = "m" + std::to_string(code);
  };
  const std::pair<int32_t, const char*> rows[] = {
      {2999, "error:2999"},   {3000, "m26000 error:3000"},   {9000, "m32000 error:9000"},
      {9001, "error:9001"},   {15000, "m38000 error:15000"}, {19999, "m42999 error:19999"},
      {20000, "error:20000"}, {40000, "m63000 error:40000"}, {44999, "m67999 error:44999"},
      {45000, "error:45000"}, {3500, "error:3500"},  // the hook gives no text
  };
  for (const auto& [code, want] : rows) {
    TextoDoErro(code, &t);
    EXPECT_EQ(t, want);
  }
  MsgTextHook = nullptr;
}

// The first code stands; an exception of no code gives the default, else 4000.
TEST(ErrorTextTest, CodigoDaExcecaoOrder) {
  int32_t code = 0;
  CodigoDaExcecao("Lugar", &code, EDBException(77), 3939);
  CodigoDaExcecao("Lugar", &code, EDBException(78), 3939);
  EXPECT_EQ(code, 77);
  for (const auto& [dflt, want] : {std::pair{3939, 3939}, std::pair{0, 4000}}) {
    code = 0;
    CodigoDaExcecao("Lugar", &code, std::runtime_error("x"), dflt);
    EXPECT_EQ(code, want);
  }
}

}  // namespace
}  // namespace zun
