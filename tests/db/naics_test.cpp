#include "db/naics.h"

#include <gtest/gtest.h>

#include <limits>

namespace zun {
namespace {

// Every 16-bit code is tried: the valid ones hang from a valid parent, so a
// mistyped key shows up, and the range sectors have no rows of their own.
TEST(NaicsTest, EveryCodeOfTheTableHangsFromAValidParent) {
  int validos = 0;
  for (int c = std::numeric_limits<int16_t>::min(); c <= std::numeric_limits<int16_t>::max(); ++c) {
    const auto codigo = static_cast<int16_t>(c);
    if (!NaicsValido(codigo)) continue;
    ++validos;
    ASSERT_TRUE(c >= 10 && c <= 9999) << c;
    EXPECT_EQ(c >= 100, NaicsValido(NaicsPai(codigo))) << c;
  }
  EXPECT_EQ(validos, kNumLinhasNaics);
  for (int16_t c : {32, 33, 45, 46, 49, 3340}) EXPECT_FALSE(NaicsValido(c)) << c;
}

TEST(NaicsTest, ParentsAndDescent) {
  const struct {
    int16_t codigo, pai;
  } pais[] = {{3341, 334}, {334, 31}, {441, 44}, {493, 48},  {522, 52},
              {52, 0},     {99, 0},   {-1, 0},   {-3341, 0}, {32767, 3276}};
  for (const auto& p : pais) EXPECT_EQ(NaicsPai(p.codigo), p.pai) << p.codigo;

  const struct {
    int16_t codigo, ancestral;
    bool descende;
  } casos[] = {{3341, 3341, true}, {3341, 31, true},    {3341, 33, false}, {3341, 0, false},
               {31, 31, true},     {0, 0, false},       {4931, 48, true},  {4931, 49, false},
               {334, 3341, false}, {3342, 3341, false}, {-5, -5, false}};
  for (const auto& c : casos) {
    EXPECT_EQ(NaicsDescendeDe(c.codigo, c.ancestral), c.descende) << c.codigo << " " << c.ancestral;
  }
}

}  // namespace
}  // namespace zun
