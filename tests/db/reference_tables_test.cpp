#include "db/reference_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "db/texto_na_lingua.h"

namespace zun {
namespace {

struct PaisCase {
  const char* text;
  bool found;
  int32_t id;
};

TEST(PaisCodToIdTest, Cases) {
  const PaisCase cases[] = {
      {"uk", true, 7},   {"UK", true, 7},  {"GB", false, -1},   {"GBR", true, 7}, {"--", true, 9},
      {"-", true, 9},    {"---", true, 9}, {"----", false, -1}, {"70", true, 70}, {"068", true, 68},
      {"80", false, -1}, {"79", true, 79}, {"br", true, 0},     {"bra", true, 0}, {"NN", true, 9},
      {"5", true, 5},    {"07", true, 7},  {"", false, -1},     {"JE", true, 67}, {"JEY", true, 67},
      {"-1", false, -1}, {"X", false, -1}, {"us ", false, -1},
  };
  for (const PaisCase& c : cases) {
    bool found = !c.found;
    EXPECT_EQ(PaisCodToId(c.text, &found), c.id) << c.text;
    EXPECT_EQ(found, c.found) << c.text;
  }
}

// Every two-letter code of the table parses back to its own id, so a
// database that stores them passes the country check.
TEST(PaisCodToIdTest, TableCodesRoundTrip) {
  std::set<std::string> seen;
  for (int i = 0; i < kNumPaises; ++i) {
    const CodigoDePais& c = CodigoDoPais(i);
    bool found = false;
    if (*c.cod2) {
      EXPECT_TRUE(seen.insert(c.cod2).second) << c.cod2;
      EXPECT_EQ(PaisCodToId(c.cod2, &found), i) << c.cod2;
      EXPECT_EQ(PaisCodToId(c.cod3, &found), i) << c.cod3;
    } else {
      EXPECT_GE(i, 68);
    }
  }
}

struct CampoCase {
  int n;
  const char* text;
  const char* want;
};

TEST(CampoDoTextoTest, Fields) {
  const CampoCase cases[] = {
      {1, "Registro|Fund facts|Datos generales", "Registro"},
      {2, "Registro| Fund facts |Datos generales", "Fund facts"},
      {3, "Registro|Fund facts|Datos generales", "Datos generales"},
      {4, "Registro|Fund facts|Datos generales", ""},
      {2, "Registro", ""},
      {1, " Registro ", "Registro"},
      {0, "a|b", ""},
      {2, "a||c", ""},
      {3, "a||c", "c"},
  };
  for (const CampoCase& c : cases) EXPECT_EQ(CampoDoTexto(c.n, c.text), c.want) << c.text;
}

}  // namespace
}  // namespace zun
