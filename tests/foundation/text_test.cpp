// The Windows-1252 letter, digit and case tables, checked for every byte
// against the code page's own character classes.
#include "foundation/text.h"

#include <gtest/gtest.h>

#include <map>

namespace zun {
namespace {

// One character per byte, 16 per row: '.' neither letter nor digit, '9' a
// digit, 'A' a capital whose small letter is in the code page, 'a' a small
// letter whose capital is, 'x' a letter without a partner in the code page.
const char* const kClasses[16] = {
    "................", "................", "................", "9999999999......",
    ".AAAAAAAAAAAAAAA", "AAAAAAAAAAA.....", ".aaaaaaaaaaaaaaa", "aaaaaaaaaaa.....",
    "...x....x.A.A.A.", "..........a.a.aA", "..........x.....", "..99.x...9x.....",
    "AAAAAAAAAAAAAAAA", "AAAAAAA.AAAAAAAx", "aaaaaaaaaaaaaaaa", "aaaaaaa.aaaaaaaa",
};

// Capitals whose small letter is not 0x20 above them.
const std::map<int, int> kParesForaDoPasso = {
    {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};

TEST(TextCp1252Test, EveryByteHasTheCodePagesClassAndCase) {
  std::map<int, int> maiuscula_de;
  for (int b = 0; b < 256; ++b) {
    if (kClasses[b / 16][b % 16] != 'A') continue;
    const auto it = kParesForaDoPasso.find(b);
    maiuscula_de[it == kParesForaDoPasso.end() ? b + 0x20 : it->second] = b;
  }
  for (int b = 0; b < 256; ++b) {
    const char cls = kClasses[b / 16][b % 16];
    const auto c = static_cast<unsigned char>(b);
    SCOPED_TRACE(b);
    EXPECT_EQ(LetraOuDigitoCp1252(c), cls != '.');
    int minuscula = b, maiuscula = b;
    if (cls == 'A') {
      const auto it = kParesForaDoPasso.find(b);
      minuscula = it == kParesForaDoPasso.end() ? b + 0x20 : it->second;
    } else if (cls == 'a') {
      ASSERT_TRUE(maiuscula_de.count(b));
      maiuscula = maiuscula_de[b];
    }
    EXPECT_EQ(MinusculaCp1252(c), minuscula);
    EXPECT_EQ(MaiusculaCp1252(c), maiuscula);
  }
  EXPECT_EQ(MinusculasCp1252("S\xc3O PAULO \x8a\x9f-1"), "s\xe3o paulo \x9a\xff-1");
}

}  // namespace
}  // namespace zun
