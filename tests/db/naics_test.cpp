#include "db/naics.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace zun {
namespace {

// The codes the table must hold, sectors, then subsectors, then industry
// groups, as the industry list defines them.
constexpr const char* kSetores = "11 21 22 23 31 42 44 48 51 52 53 54 55 56 61 62 71 72 81 92 ";
constexpr const char* kSubsetores =
    "111 112 113 114 115 211 212 213 221 236 237 238 311 312 313 314 315 316 321 322 323 324 "
    "325 326 327 331 332 333 334 335 336 337 339 423 424 425 441 442 443 444 445 446 447 448 "
    "451 452 453 454 481 482 483 484 485 486 487 488 491 492 493 511 512 515 517 518 519 521 "
    "522 523 524 525 531 532 533 541 551 561 562 611 621 622 623 624 711 712 713 721 722 811 "
    "812 813 814 921 922 923 924 925 926 927 928 ";
constexpr const char* kGrupos =
    "1111 1112 1113 1114 1119 1121 1122 1123 1124 1125 1129 1131 1132 1133 1141 1142 1151 "
    "1152 1153 2111 2121 2122 2123 2131 2211 2212 2213 2361 2362 2371 2372 2373 2379 2381 "
    "2382 2383 2389 3111 3112 3113 3114 3115 3116 3117 3118 3119 3121 3122 3131 3132 3133 "
    "3141 3149 3151 3152 3159 3161 3162 3169 3211 3212 3219 3221 3222 3231 3241 3251 3252 "
    "3253 3254 3255 3256 3259 3261 3262 3271 3272 3273 3274 3279 3311 3312 3313 3314 3315 "
    "3321 3322 3323 3324 3325 3326 3327 3328 3329 3331 3332 3333 3334 3335 3336 3339 3341 "
    "3342 3343 3344 3345 3346 3351 3352 3353 3359 3361 3362 3363 3364 3365 3366 3369 3371 "
    "3372 3379 3391 3399 4231 4232 4233 4234 4235 4236 4237 4238 4239 4241 4242 4243 4244 "
    "4245 4246 4247 4248 4249 4251 4411 4412 4413 4421 4422 4431 4441 4442 4451 4452 4453 "
    "4461 4471 4481 4482 4483 4511 4512 4521 4529 4531 4532 4533 4539 4541 4542 4543 4811 "
    "4812 4821 4831 4832 4841 4842 4851 4852 4853 4854 4855 4859 4861 4862 4869 4871 4872 "
    "4879 4881 4882 4883 4884 4885 4889 4911 4921 4922 4931 5111 5112 5121 5122 5151 5152 "
    "5171 5172 5174 5179 5182 5191 5211 5221 5222 5223 5231 5232 5239 5241 5242 5251 5259 "
    "5311 5312 5313 5321 5322 5323 5324 5331 5411 5412 5413 5414 5415 5416 5417 5418 5419 "
    "5511 5611 5612 5613 5614 5615 5616 5617 5619 5621 5622 5629 6111 6112 6113 6114 6115 "
    "6116 6117 6211 6212 6213 6214 6215 6216 6219 6221 6222 6223 6231 6232 6233 6239 6241 "
    "6242 6243 6244 7111 7112 7113 7114 7115 7121 7131 7132 7139 7211 7212 7213 7223 7224 "
    "7225 8111 8112 8113 8114 8121 8122 8123 8129 8131 8132 8133 8134 8139 8141 9211 9221 "
    "9231 9241 9251 9261 9271 9281 ";

std::vector<int> Codigos(const char* lista) {
  std::vector<int> v;
  std::istringstream in(lista);
  for (int c; in >> c;) v.push_back(c);
  return v;
}

// Every 16-bit code is tried, so a key missing, added or mistyped shows up,
// and so do five-digit codes.
TEST(NaicsTest, TableHoldsExactlyTheListedCodesWithThreeNames) {
  std::vector<int> esperados[3] = {Codigos(kSetores), Codigos(kSubsetores), Codigos(kGrupos)};
  EXPECT_EQ(esperados[0].size(), 20u);
  EXPECT_EQ(esperados[1].size(), 99u);
  EXPECT_EQ(esperados[2].size(), 312u);
  std::vector<int> achados[3];
  for (int c = std::numeric_limits<int16_t>::min(); c <= std::numeric_limits<int16_t>::max(); ++c) {
    const auto codigo = static_cast<int16_t>(c);
    const bool valido = NaicsValido(codigo);
    EXPECT_EQ(valido, *NomeNaics(codigo, 1) != '\0') << c;
    EXPECT_STREQ(NomeNaics(codigo, 3), "") << c;
    EXPECT_STREQ(NomeNaics(codigo, -1), "") << c;
    if (!valido) continue;
    ASSERT_TRUE(c >= 10 && c <= 9999) << c;
    achados[c < 100 ? 0 : c < 1000 ? 1 : 2].push_back(c);
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
  for (int n = 0; n < 3; ++n) EXPECT_EQ(achados[n], esperados[n]) << n;
  EXPECT_EQ(achados[0].size() + achados[1].size() + achados[2].size(),
            static_cast<size_t>(kNumLinhasNaics));
}

TEST(NaicsTest, FixedNames) {
  struct Caso {
    int16_t codigo;
    const char* nome[3];
  };
  const Caso casos[] = {
      {11,
       {"Agricultura, pecu\xE1ria, silvicultura, pesca e ca\xE7"
        "a",
        "Agriculture, Forestry, Fishing and Hunting",
        "Agricultura, ganader\xED"
        "a, aprovechamiento forestal, pesca y caza"}},
      {31, {"Ind\xFAstria manufatureira", "Manufacturing", "Industrias manufactureras"}},
      {423,
       {"Com\xE9rcio atacadista de bens dur\xE1veis", "Merchant Wholesalers, Durable Goods",
        "Comercio al por mayor de mercancias durables"}},
      {1111,
       {"Cultivo de gr\xE3os e sementes", "Oilseed and Grain Farming",
        "Cultivo de semillas oleaginosas, leguminosas y cereales"}},
      {5221, {"Bancos", "Depository Credit Intermediation", "Bancos"}},
      {61, {"Educac\xE3o", "Educational Services", "Servicios educativos"}},
  };
  for (const Caso& c : casos) {
    for (int lingua = 0; lingua < 3; ++lingua) {
      EXPECT_STREQ(NomeNaics(c.codigo, lingua), c.nome[lingua]) << c.codigo << " " << lingua;
    }
  }
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
