#include "foundation/switches.h"

#include <gtest/gtest.h>

namespace zun {
namespace {

struct SwitchCase {
  std::vector<std::string> args;  // without the program path
  std::string key;
  bool present;
  std::string value;
};

TEST(LeSwitch, Forms) {
  const SwitchCase cases[] = {
      {{"-user:abc"}, "user", true, "abc"},
      {{"/USER=abc"}, "user", true, "abc"},
      {{"\"-user:abc\""}, "user", true, "abc"},
      {{"-user:'abc'"}, "user", true, "abc"},
      {{"-password:\"a b \""}, "password", true, "a b "},
      {{"-user"}, "user", true, ""},
      {{"-userx"}, "user", false, ""},
      {{"user:abc"}, "user", false, ""},
      {{"-user:a", "-user:b"}, "user", true, "a"},
      {{"-userx:1", "-user:b"}, "user", true, "b"},
      {{"-us"}, "user", false, ""},
      {{"-user:'abc\""}, "user", true, "'abc\""},
      {{"-x:" + std::string(300, 'a')}, "x", true, std::string(255, 'a')},
  };
  for (const SwitchCase& c : cases) {
    std::vector<std::string> args = {"zuninput"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SetProgramArgs(args);
    std::string value = "stale";
    EXPECT_EQ(LeSwitch(c.key, &value), c.present) << c.args[0];
    EXPECT_EQ(value, c.value) << c.args[0];
    EXPECT_EQ(TemSwitch(c.key), c.present) << c.args[0];
  }
  SetProgramArgs({"-user:abc"});  // the program's path is no switch
  EXPECT_FALSE(TemSwitch("user"));
}

}  // namespace
}  // namespace zun
