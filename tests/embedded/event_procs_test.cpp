// The corporate action and news procedures on a real database file: the
// refusals the importers' check pass never lets through (their writes, and
// the refusals they reach, are run by the market importer tables). Each
// table runs in order on one database: a call's code, then the rows of the
// test's query (a refused call leaves them as they were).
#include "../support/db_fixture.h"

namespace zun {
namespace {

using namespace proc_args;

const Value kDia = Value::DateTime(45422);    // 2024-05-10
const Value kOutro = Value::DateTime(45423);  // 2024-05-11

using EventProcs = ProcDb;

// Events are keyed by series, ex-date, type and number: moeda -1 deletes,
// and deleting nothing says so.
TEST_F(EventProcs, CorporateActions) {
  auto prv = [](const char* ticker, Value bolsa, Value udex, Value tipo, Value moeda, Value acoes,
                Value seq = I(0)) {
    return Params{{"@ticker", S(ticker)}, {"@bolsa", bolsa}, {"@udex", udex},   {"@seq", seq},
                  {"@tipo", tipo},        {"@moeda", moeda}, {"@acoes", acoes}, {"@valor", F(0.5)},
                  {"@cotA", F(1)},        {"@cotB", F(0)}};
  };
  Roda(
      "SELECT date(udex), tipo, seq, moeda, acoes, valor, cot_a, cot_b, qac_a FROM provento "
      "ORDER BY udex, tipo",
      {
          {"PrvImport", prv(" petr4 ", I(1), kDia, I(1), I(2), F(100)), 0,
           "2024-05-10|1|0|2|100|0.5|1|0|1"},
          {"PrvImport", prv("PETR4", I(1), kDia, I(1), I(-1), N, I(1)), 8604},
          {"PrvImport", prv("PETR4", I(1), kOutro, I(1), I(-1), N), 8604},
          {"PrvImport", prv("PETR4", I(2), kDia, I(2), I(1), N), 3758},
          {"PrvImport", prv("PETR4", I(9), kDia, I(2), I(1), N), 50701},
          {"PrvImport", prv("PETR4", N, kDia, I(2), I(1), N), 50701},
          {"PrvImport", prv("PETR4", I(1), kDia, I(7), I(1), N), 50703},
          {"PrvImport", prv("PETR4", I(1), kDia, I(2), I(1), N, I(-1)), 50704},
          {"PrvImport", prv("PETR4", I(1), kDia, I(2), I(32), N), 50705},
          {"PrvImport", prv("PETR4", I(1), kDia, I(2), N, N), 50705},
          {"PrvImport", prv("PETR4", I(1), kDia, I(0), I(1), N), 50706},
      },
      false);
}

TEST_F(EventProcs, News) {
  auto nws = [](const char* cod, Value pais, Value date, Value seq, const char* txt) {
    return Params{{"@cod", S(cod)}, {"@pais", pais}, {"@date", date},
                  {"@seq", seq},    {"@dra", N},     {"@txt", S(txt)}};
  };
  Roda("SELECT date(date), seq, txt FROM noticia ORDER BY date, seq",
       {
           {"NwsImport", nws("petr", I(0), kDia, I(-1), "A"), 0, "2024-05-10|0|A"},
           {"NwsImport", nws("PETR", I(1), kDia, I(-1), "D"), 3752},
           {"NwsImport", nws("PETR", I(80), kDia, I(-1), "D"), 50711},
           {"NwsImport", nws("PETR", N, kDia, I(-1), "D"), 50711},
           {"NwsImport", nws("PETR", I(0), N, I(-1), "D"), 50712},
           {"NwsImport", nws("PETR", I(0), kDia, I(-2), "D"), 50713},
           {"NwsImport", nws("PETR", I(0), kDia, N, "D"), 50713},
       },
       false);
}

}  // namespace
}  // namespace zun
