// Error texts with and without the message hook, and the code derived from
// caught exceptions.
#include "toolbox/dbutil/error_text.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/log.h"
#include "toolbox/dbutil/db_exception.h"

namespace zun {
namespace {

class ErrorTextTest : public ::testing::Test {
 protected:
  void TearDown() override { MsgTextHook = nullptr; }
};

TEST_F(ErrorTextTest, WithoutHookOnlyTheCode) {
  std::string t = "stale";
  TextoDoErro(4182, &t);
  EXPECT_EQ(t, "error:4182");
}

TEST_F(ErrorTextTest, HookAskedWithOffsetInsideTheRangesOnly) {
  std::vector<int32_t> asked;
  MsgTextHook = [&asked](int32_t code, std::string* text) {
    asked.push_back(code);
    *text = "msg" + std::to_string(code);
  };
  struct Row {
    int32_t code;
    const char* want;
  };
  const Row rows[] = {
      {2999, "error:2999"},
      {3000, "msg26000 error:3000"},
      {9000, "msg32000 error:9000"},
      {9001, "error:9001"},
      {14999, "error:14999"},
      {15000, "msg38000 error:15000"},
      {19999, "msg42999 error:19999"},
      {20000, "error:20000"},
      {39999, "error:39999"},
      {40000, "msg63000 error:40000"},
      {44999, "msg67999 error:44999"},
      {45000, "error:45000"},
      {0, "error:0"},
      {-4000, "error:-4000"},
  };
  for (const Row& r : rows) {
    std::string t;
    TextoDoErro(r.code, &t);
    EXPECT_EQ(t, r.want) << r.code;
  }
  EXPECT_EQ(asked, (std::vector<int32_t>{26000, 32000, 38000, 42999, 63000, 67999}));
}

TEST_F(ErrorTextTest, HookWithoutTextFallsBackToCode) {
  MsgTextHook = [](int32_t, std::string* text) { text->clear(); };
  std::string t;
  TextoDoErro(4182, &t);
  EXPECT_EQ(t, "error:4182");
}

TEST(CodigoDaExcecaoTest, DerivesCodeInOrder) {
  struct Row {
    int32_t start;
    bool db_exception;
    int32_t dflt;
    int32_t want;
  };
  const Row rows[] = {
      {0, true, 3939, 4321},   // the exception's own code wins over the default
      {17, true, 3939, 17},    // a code already set stays
      {0, false, 3939, 3939},  // no code anywhere: the default
      {0, false, 0, 4000},     // no default either: the last resort
      {0, true, 0, 4321},
  };
  for (const Row& r : rows) {
    int32_t code = r.start;
    if (r.db_exception) {
      CodigoDaExcecao("Lugar", &code, EDBException(4321), r.dflt);
    } else {
      CodigoDaExcecao("Lugar", &code, std::runtime_error("boom"), r.dflt);
    }
    EXPECT_EQ(code, r.want);
  }
}

TEST(CodigoDaExcecaoTest, LogsPlaceCodeClassAndMessage) {
  int32_t code = 0;
  CodigoDaExcecao("ExecStProc", &code, EDBException(77), 3939);
  const auto lines = LinhasRecentes();
  ASSERT_FALSE(lines.empty());
  const std::string& last = lines.back();
  const std::string want = "ExecStProc erro:77 EDBException:EDBException:77";
  ASSERT_GE(last.size(), want.size());
  EXPECT_EQ(last.substr(last.size() - want.size()), want);
}

TEST(EDBExceptionTest, MessageAndCode) {
  EDBException e(-25);
  EXPECT_EQ(e.Code(), -25);
  EXPECT_STREQ(e.what(), "EDBException:-25");
}

}  // namespace
}  // namespace zun
