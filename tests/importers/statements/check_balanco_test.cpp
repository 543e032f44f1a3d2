// The consistency check as a table: each row is a small format, the cells
// of period 0 before the check, and the cells and grade after it.
#include "importers/statements/check_balanco.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "../../support/plan_fixture.h"
#include "../../support/log_capture.h"
#include "db/global_state.h"

namespace zun {
namespace {

// Cells as text: "conta=valor" separated by blanks, "*" after a computed
// cell (CalcOuRx).
void PoeCelulas(const std::string& texto, int periodo, TBalanco* bal) {
  std::istringstream in(texto);
  for (std::string item; in >> item;) {
    const size_t igual = item.find('=');
    const bool calc = item.back() == '*';
    bal->SetValor(periodo, std::stoi(item.substr(0, igual)), std::stod(item.substr(igual + 1)),
                  calc);
  }
}

std::string Celulas(const TBalanco& bal, int periodo) {
  std::ostringstream out;
  out << std::setprecision(15);
  for (int a = 1; a <= kMaxContaBal; ++a) {
    if (bal.Nulo(periodo, a)) continue;
    out << (out.tellp() > 0 ? " " : "") << a << "=" << bal.Valor(periodo, a)
        << (bal.Celula(periodo, a).CalcOuRx ? "*" : "");
  }
  return out.str();
}

// The tree layout: a group line A, its parts B and C and their total T.
const std::vector<const char*> kAbct = {"H", "10/0/0", "11/1/2", "12/1/2", "13/1/1"};
// Two runs of summands after a header: S1 = 20 + 21, S2 = S1 + 23.
const std::vector<const char*> kCorrida = {"H", "20/0/2", "21/0/2", "22/0/1", "23/0/2", "24/0/1"};
// A subtracted part: 32 = 30 - 31.
const std::vector<const char*> kMenos = {"H", "30/0/2", "31/0/4", "32/0/1"};

struct Caso {
  const char* what;
  std::vector<const char*> formato;
  const char* antes;   // cells of period 0 before the check
  const char* depois;  // and after it ("": as before)
  int32_t nota;        // ChecagemFalhou
  bool incompleto = false;
  int32_t meses = 12;
  double datamoeda = 45291;
};

class CheckBalanco : public PlanoDeContasDb {};

TEST_F(CheckBalanco, Table) {
  // Account 40 is calculated: a part right below it starts its own run of
  // summands.
  Sql("UPDATE conta_bal SET comocalcular = 1 WHERE id = 40");
  const Caso casos[] = {
      {"total equals its parts", kAbct, "10=100 11=60 12=40 13=100", "", 0},
      {"total differs from its parts", kAbct, "10=100 11=60 12=39 13=100", "", 2},
      {"missing part of a full total is 0", kAbct, "10=100 11=100 13=100",
       "10=100 11=100 12=0* 13=100", 0},
      {"missing part of a short total: nothing written", kAbct, "10=100 11=60 13=100", "", 2},
      {"earlier computed cells are recomputed", kAbct, "10=100 11=100 12=7* 13=100",
       "10=100 11=100 12=0* 13=100", 0},
      {"total 0 zeroes its missing parts", kAbct, "10=0 13=0", "10=0 11=0* 12=0* 13=0", 0},
      {"unreported group line grades 1", kAbct, "11=60 12=40 13=100", "", 1},
      {"unreported top-level total grades 1", kMenos, "30=500 31=50", "", 1},
      {"subtracted part", kMenos, "30=500 31=50 32=450", "", 0},
      {"subtracted part added is wrong", kMenos, "30=500 31=50 32=550", "", 2},
      {"summand start keeps a zero total's parts empty", kMenos, "32=0", "", 0},
      {"part after a calculated account starts a run",
       {"40/0/0", "41/0/2", "42/0/2", "43/0/1"},
       "40=1 43=0",
       "",
       0},
      {"part after a reported account is zeroed",
       {"10/0/0", "41/0/2", "42/0/2", "43/0/1"},
       "10=1 43=0",
       "10=1 41=0* 42=0* 43=0",
       0},
      {"chain through the previous total", kCorrida, "20=5 22=5 24=5", "20=5 21=0* 22=5 23=0* 24=5",
       0},
      {"unreported previous total is computed", kCorrida, "20=5 21=2 23=3 24=10",
       "20=5 21=2 22=7* 23=3 24=10", 0},
      {"previous total in conflict", kCorrida, "20=5 21=2 22=8 24=10", "", 2},
      {"months missing", kAbct, "10=100 11=60 12=40 13=100", "", 2, false, 0},
      {"currency date missing", kAbct, "10=100 11=60 12=40 13=100", "", 2, false, 12, 0},
      {"identification group agrees", {"50/0/0/7", "60/0/0/7"}, "50=10 60=10", "", 0},
      {"identification group disagrees", {"50/0/0/7", "60/0/0/7"}, "50=10 60=11", "", 2},
      {"identified line without value", {"50/0/0/7", "51/0/0"}, "51=3", "", 0, true},
      {"group confirms a computed total",
       {"H", "50/0/2", "51/0/2", "52/0/1/3", "60/0/0/3"},
       "50=5 51=7 60=12",
       "50=5 51=7 52=12* 60=12",
       0},
      {"ratio within 1e-8 is equal", kAbct, "10=1000000009 11=1000000000 12=0 13=1000000000", "",
       0},
      {"format without lines", {}, "10=1", "", 0},
  };
  for (const Caso& c : casos) {
    const TFormatoBal fmt = Formato(c.formato);
    TBalanco bal;
    bal.meses = c.meses;
    bal.datamoeda = c.datamoeda;
    bal.AceitarFalhaNaChecagem = true;
    bal.Incompleto = !c.incompleto;
    PoeCelulas(c.antes, 0, &bal);
    PoeCelulas("10=3 12=4*", 1, &bal);
    TCheckBalanco(fmt, bal, 0).Checa();
    EXPECT_EQ(Celulas(bal, 0), *c.depois ? c.depois : c.antes) << c.what;
    EXPECT_EQ(bal.ChecagemFalhou, c.nota) << c.what;
    EXPECT_EQ(bal.Incompleto, c.incompleto) << c.what;
    EXPECT_EQ(bal.AceitarFalhaNaChecagem, c.nota != 0) << c.what;
    EXPECT_EQ(Celulas(bal, 1), "10=3 12=4*") << c.what << ": the other period stays";
  }
}

TEST_F(CheckBalanco, BothPeriods) {
  const TFormatoBal fmt = Formato(kAbct);
  TBalanco bal;
  bal.meses = 3;
  bal.datamoeda = 45291;
  PoeCelulas("10=9 11=9 13=9", 0, &bal);
  PoeCelulas("10=4 11=4 13=4", 1, &bal);
  bal.AceitarFalhaNaChecagem = true;
  ChecaBalanco(fmt, bal);
  EXPECT_EQ(Celulas(bal, 0), "10=9 11=9 12=0* 13=9");
  EXPECT_EQ(Celulas(bal, 1), "10=4 11=4 12=0* 13=4");
  EXPECT_EQ(bal.ChecagemFalhou, 0);
  EXPECT_FALSE(bal.AceitarFalhaNaChecagem);
  // A full period that fails is not passed over by a quarter that agrees.
  for (int falha : {0, 1}) {
    bal.LimpaValores();
    bal.AceitarFalhaNaChecagem = true;
    PoeCelulas(falha == 0 ? "11=9 12=1 13=9" : "11=9 13=9", 0, &bal);
    PoeCelulas(falha == 1 ? "11=9 12=1 13=9" : "11=9 13=9", 1, &bal);
    ChecaBalanco(fmt, bal);
    EXPECT_EQ(bal.ChecagemFalhou, 2) << "period " << falha;
    EXPECT_TRUE(bal.AceitarFalhaNaChecagem) << "period " << falha;
  }
  // With the debug switch the lines in conflict go to the log.
  LogCapture log;
  DbgDifChecagemBal = true;
  ChecaBalanco(fmt, bal);
  DbgDifChecagemBal = false;
  EXPECT_TRUE(log.Has("ChecaBal dif emp:0 per:1 linha:5 conta:13 rep:9 calc:10"));
}

TEST(Valorigual, Bounds) {
  const double nulo = std::nan("");
  const double inf = HUGE_VAL;
  const struct {
    double a, b;
    bool igual;
  } casos[] = {
      {1e9, 1e9 + 9, true},  {1e9, 1e9 + 11, false}, {0, 1e-9, true},  {1e-9, 0, true},
      {0, 1e-4, false},      {1e-4, 0, false},       {-5, 5, false},   {nulo, nulo, true},
      {nulo, inf, true},     {nulo, 0, false},       {0, nulo, false}, {1e308, 1e-308, false},
      {-1e-12, 1e-12, true}, {100, 100, true},
  };
  for (const auto& c : casos) EXPECT_EQ(Valorigual(c.a, c.b), c.igual) << c.a << " vs " << c.b;
}

}  // namespace
}  // namespace zun
