// The corporate action and news procedures on a real database file, called
// the way the importers call them. Each table runs in order on one database
// holding series PETR4 on exchange 1 of company PETR (country 0): a call's
// code, then the rows of the test's query (a refused call leaves them as
// they were).
#include "db_fixture.h"

namespace zun {
namespace {

using namespace proc_args;

const Value kDia = Value::DateTime(45422);    // 2024-05-10
const Value kOutro = Value::DateTime(45423);  // 2024-05-11

class EventProcs : public FreshDatabase {
 protected:
  void SetUp() override {
    FreshDatabase::SetUp();
    Sql(kEmpresaESerieDeTeste);
  }

  void Roda(const char* consulta, const std::vector<ChamadaDeProc>& casos) {
    RodaChamadas(*Login("Jo\xe3o.Silva", "pw"), consulta, casos);
  }
};

// Events are keyed by series, ex-date, type and number: a second import
// replaces the first; moeda -1 deletes, and deleting nothing says so.
TEST_F(EventProcs, CorporateActions) {
  auto prv = [](const char* ticker, Value bolsa, Value udex, Value tipo, Value moeda, Value acoes,
                Value seq = I(0)) {
    return Params{{"@ticker", S(ticker)}, {"@bolsa", bolsa}, {"@udex", udex},   {"@seq", seq},
                  {"@tipo", tipo},        {"@moeda", moeda}, {"@acoes", acoes}, {"@valor", F(0.5)},
                  {"@cotA", F(1)},        {"@cotB", F(0)}};
  };
  const char* um = "2024-05-10|1|0|1||0.5|1|0|1";
  const char* dois = "2024-05-10|1|0|2|100|0.5|1|0|1";
  Roda(
      "SELECT date(udex), tipo, seq, moeda, acoes, valor, cot_a, cot_b, qac_a FROM provento "
      "ORDER BY udex, tipo",
      {
          {"PrvImport", prv("PETR4", I(1), kDia, I(1), I(1), N), 0, um},
          {"PrvImport", prv(" petr4 ", I(1), kDia, I(1), I(2), F(100)), 0, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(1), I(-1), N, I(1)), 8604, dois},
          {"PrvImport", prv("PETR4", I(1), kOutro, I(1), I(-1), N), 8604, dois},
          {"PrvImport", prv("VALE3", I(1), kDia, I(2), I(1), N), 3758, dois},
          {"PrvImport", prv("PETR4", I(2), kDia, I(2), I(1), N), 3758, dois},
          {"PrvImport", prv("PETR4", I(9), kDia, I(2), I(1), N), 50701, dois},
          {"PrvImport", prv("PETR4", N, kDia, I(2), I(1), N), 50701, dois},
          {"PrvImport", prv("PETR4", I(1), N, I(2), I(1), N), 50702, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(7), I(1), N), 50703, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(2), I(1), N, I(-1)), 50704, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(2), I(32), N), 50705, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(2), N, N), 50705, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(0), I(1), N), 50706, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(0), I(-1), N), 8604, dois},
          {"PrvImport", prv("PETR4", I(1), kDia, I(1), I(-1), N), 0, ""},
      });
}

// seq -1 appends with the next free number unless the text is stored for
// that company and date already; a number given replaces its item.
TEST_F(EventProcs, News) {
  auto nws = [](const char* cod, Value pais, Value date, Value seq, const char* txt) {
    return Params{{"@cod", S(cod)}, {"@pais", pais}, {"@date", date},
                  {"@seq", seq},    {"@dra", N},     {"@txt", S(txt)}};
  };
  const char* a = "2024-05-10|0|A";
  const char* ab = "2024-05-10|0|A;2024-05-10|1|B\r\n\r\n";
  const char* abd = "2024-05-10|0|A;2024-05-10|1|B\r\n\r\n;2024-05-11|0|A";
  const char* abc = "2024-05-10|0|C;2024-05-10|1|B\r\n\r\n;2024-05-11|0|A";
  Roda("SELECT date(date), seq, txt FROM noticia ORDER BY date, seq",
       {
           {"NwsImport", nws("petr", I(0), kDia, I(-1), "A"), 0, a},
           {"NwsImport", nws("PETR", I(0), kDia, I(-1), "A"), 8604, a},
           {"NwsImport", nws("PETR", I(0), kDia, I(-1), "B\r\n\r\n"), 0, ab},
           {"NwsImport", nws("PETR", I(0), kOutro, I(-1), "A"), 0, abd},
           {"NwsImport", nws("PETR", I(0), kDia, I(0), "C"), 0, abc},
           {"NwsImport", nws("PETR", I(1), kDia, I(-1), "D"), 3752, abc},
           {"NwsImport", nws("VALE", I(0), kDia, I(-1), "D"), 3752, abc},
           {"NwsImport", nws("PETR", I(80), kDia, I(-1), "D"), 50711, abc},
           {"NwsImport", nws("PETR", N, kDia, I(-1), "D"), 50711, abc},
           {"NwsImport", nws("PETR", I(0), N, I(-1), "D"), 50712, abc},
           {"NwsImport", nws("PETR", I(0), kDia, I(-2), "D"), 50713, abc},
           {"NwsImport", nws("PETR", I(0), kDia, N, "D"), 50713, abc},
           {"NwsImport", nws("PETR", I(0), kDia, I(-1), ""), 50714, abc},
       });
}

}  // namespace
}  // namespace zun
