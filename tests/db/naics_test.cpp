#include "db/naics.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace zun {
namespace {

// Every 16-bit code is tried: the valid ones have a name in each language,
// in Windows-1252, and hang from a valid parent, so a mistyped key shows up.
TEST(NaicsTest, EveryCodeOfTheTableHasThreeNamesAndAValidParent) {
  int validos = 0;
  for (int c = std::numeric_limits<int16_t>::min(); c <= std::numeric_limits<int16_t>::max(); ++c) {
    const auto codigo = static_cast<int16_t>(c);
    const bool valido = NaicsValido(codigo);
    EXPECT_EQ(valido, *NomeNaics(codigo, 1) != '\0') << c;
    EXPECT_STREQ(NomeNaics(codigo, 3), "") << c;
    EXPECT_STREQ(NomeNaics(codigo, -1), "") << c;
    if (!valido) continue;
    ++validos;
    ASSERT_TRUE(c >= 10 && c <= 9999) << c;
    EXPECT_EQ(c >= 100, NaicsValido(NaicsPai(codigo))) << c;
    for (int lingua = 0; lingua < 3; ++lingua) {
      const std::string nome = NomeNaics(codigo, lingua);
      EXPECT_FALSE(nome.empty()) << c << " " << lingua;
      // Windows-1252 text: a UTF-8 accented letter would start with 0xC3.
      EXPECT_EQ(nome.find('\xC3'), std::string::npos) << c << " " << lingua;
    }
    for (const char* p = NomeNaics(codigo, 1); *p; ++p) {
      EXPECT_GT(static_cast<unsigned char>(*p), 31) << c;
      EXPECT_LT(static_cast<unsigned char>(*p), 128) << c;
    }
  }
  EXPECT_EQ(validos, kNumLinhasNaics);
}

TEST(NaicsTest, ParentsAndDescent) {
  const struct {
    int16_t codigo, pai;
  } pais[] = {{3341, 334}, {334, 31}, {4411, 441}, {441, 44},  {4931, 493},  {493, 48},
              {3211, 321}, {321, 31}, {4511, 451}, {451, 44},  {4621, 462},  {462, 44},
              {331, 31},   {339, 31}, {5221, 522}, {522, 52},  {52, 0},      {100, 10},
              {99, 0},     {0, 0},    {-1, 0},     {-3341, 0}, {32767, 3276}};
  for (const auto& p : pais) EXPECT_EQ(NaicsPai(p.codigo), p.pai) << p.codigo;

  const struct {
    int16_t codigo, ancestral;
    bool descende;
  } casos[] = {{3341, 3341, true}, {3341, 334, true},   {3341, 31, true}, {3341, 33, false},
               {3341, 3, false},   {3341, 0, false},    {31, 31, true},   {0, 0, false},
               {4931, 48, true},   {4931, 49, false},   {4511, 44, true}, {4511, 45, false},
               {334, 3341, false}, {3342, 3341, false}, {-5, -5, false},  {5221, 52, true}};
  for (const auto& c : casos) {
    EXPECT_EQ(NaicsDescendeDe(c.codigo, c.ancestral), c.descende) << c.codigo << " " << c.ancestral;
  }
}

TEST(NaicsTest, CodesOutsideTheTable) {
  for (int16_t c : {0, 1, 32, 33, 45, 46, 49, 99, 3340, 10000, 11111, 31111, -11, -1111}) {
    EXPECT_FALSE(NaicsValido(c)) << c;
    for (int lingua = 0; lingua < 3; ++lingua) EXPECT_STREQ(NomeNaics(c, lingua), "") << c;
  }
  EXPECT_TRUE(NaicsValido(3211));
  EXPECT_TRUE(NaicsValido(4511));
}

}  // namespace
}  // namespace zun
