// The quote records: each line of a table is a file of its own, imported in
// order on one database; its result code and a text its messages must hold.
// Then the quotes the table left.
#include "importers/market/quotes.h"

#include <sstream>

#include "../../support/import_fixture.h"

namespace zun {
namespace {

using QuoteImport = MercadoDb;

TEST_F(QuoteImport, FieldRules) {
  RodaArquivos({
      {"*QT PETR4 1 2024-07-03"},
      {"*QT PETR4 1 2024-07-02 1"},
      {"*qt PETR4 1 2024-07-04 0 5 6"},
      {"*QT PETR4 1 2024-07-04 1.5 * - \"\" 2e3 6 7 8 9 10 11 12"},
      {"*QT PETR4 1 2024-07-06 1 2 3 4 5 6 7 8 9 10 11 12 \"\" \"\""},
      {"*QT PETR4 1 2024-07-06 1 2 3 4 5 6 7 8 9 10 11 12 13", 3950, "Invalid # of fields : <13>"},
      {"*QT PETR4 1 2024-07-06 1 2 3 4 5 6 7 8 9 10 11 12 \"\" \"\" \"\" \"\" \"\" \"\" \"\" \"\" "
       "\"\" \"\" x",
       0, "error:4390"},
      {"*QT \"\" 1 2024-07-06", 3951, "Empty <ticker>"},
      {"*QT PETR4 9 2024-07-06", 3952, "Invalid <exchange>"},
      {"*QT PETR4 x 2024-07-06", 3952, "Invalid <exchange>"},
      {"*QT PETR4 1 2023-02-30", 3953, "Invalid <date>"},
      {"*QT PETR4 1 2024-07-06 1 1,5", 3954, "Invalid <vlr#2:1,5>"},
      {"*QT VALE3 1 2024-07-06 1", 0, "error:4042"},
      {"*QT PETR-provis 1 2024-07-05 7"},
      {"*QT PETR4 1 2024-07-09 1\r\n*QT PETR4 1 -", 50602, "error:50602"},
      {"*QTNOOVERWRITE PETR4 1 2024-07-05 8 9"},
      {"*QTNOOVERWRITE PETR4 1 2024-07-05 8 9", 0, "error:3757"},
      {"*QTIF PETR4 1 2024-07-05 \"# 1 > 10.5\" 20", 0, "error:4383"},
      {"*QTIF PETR4 1 2024-07-05 \"# 1 < 10.5\" 20 *"},
      {"*QTIF PETR4 1 2024-07-05 \"# 1 >= 10.5\" 20", 4394, "Error:4394 Invalid line:"},
      {"*QTIF PETR4 1 2024-07-05 \"x 1 > 1\" 20", 4392, "Error:4392 Invalid line:"},
      {"*QTIF PETR4 1 2024-07-05 \"# a > 1\" 20", 4393, "Error:4393 Invalid line:"},
      {"*QTIF PETR4 1 2024-07-05 \"#\t1 > x\" 20", 4395, "Error:4395 Invalid line:"},
      {"*QTIF PETR4 1 2024-07-05 \"# 1 > 1 z\" 20", 4396, "Error:4396 Invalid line:"},
      {"*DELQT PETR4 1 2024-07-02 2024-07-02"},
      {"*DELQT PETR4 1 2024-07-03 2024-07-03 x", 3950, "Invalid # of fields"},
      {"*DELQT \"\" 1 - -", 3951, "Empty <ticker>"},
      {"*DELQT PETR4 x - -", 3952, "Invalid <exchange>"},
      {"*DELQT PETR4 1 2024-13-01 -", 3953, "Invalid from <date>"},
      {"*DELQT PETR4 1 - 2024-13-01", 3953, "Invalid to <date>"},
      {"*DELQT PETR4 1 2020-01-01 2020-01-02", 0, "error:3757"},
      {"*QT PETR4 1 2024-07-10 1\r\n*DELQT VALE3 1 2020-01-01 2020-01-02", 50601, "error:50601"},
      {"*QT PETR4 1 2024-07-11 1\r\n*DELQT PETR4 1 - -", 50604, "error:50604"},
      {"*QT PETR4 1 2024-07-12 1\r\n*DELQT PETR4 1 2024-07-06 2024-07-05", 50605, "error:50605"},
  });
  // The error lines of the check pass failed before anything was written.
  // Each quote as day:values 1, 2, 3 and 12 (N for NULL).
  EXPECT_EQ(Linhas("SELECT substr(data, 1, 10) || ':' || COALESCE(valor1, 'N') || '/' || "
                   "COALESCE(valor2, 'N') || '/' || COALESCE(valor3, 'N') || '/' || "
                   "COALESCE(valor12, 'N') FROM cotacao ORDER BY data"),
            "2024-07-03:N/N/N/N;2024-07-04:1.5/5.0/N/12.0;2024-07-05:20.0/9.0/N/N;2024-07-06:1.0/"
            "2.0/3.0/12.0");
  // Each quote written is logged once, and so is the range deleted; a quote
  // equal to the stored one, one that changes nothing and one whose
  // condition fails are not.
  EXPECT_EQ(Linhas("SELECT tip, count(*) FROM data_log GROUP BY tip"), "41|8;43|1");
  // An open end reaches the first or the last quote; the log counts what went.
  EXPECT_EQ(RodaArquivos({{"*DELQT PETR4 1 - 2024-07-04"}, {"*DELQT PETR4 1 2024-07-06 -"}},
                         "SELECT group_concat(substr(data, 1, 10)) || '|' || (SELECT "
                         "group_concat(aux) FROM data_log WHERE tip = 43) FROM cotacao"),
            "2024-07-05|1,2,1");
}

// The import pass writes with the check pass's answer for the line: a
// series another writer renames between the passes is skipped as unknown,
// as the check pass would have skipped it, and the file still succeeds.
TEST_F(QuoteImport, ASeriesRenamedAfterTheCheckPassIsSkipped) {
  struct Renomeia : ImpDeTeste {
    using ImpDeTeste::ImpDeTeste;
    void StartImport() override {
      Db->Execute("UPDATE anb SET cod = 'PETR4X' WHERE cod = 'PETR4'");
      ImpDeTeste::StartImport();
    }
  } imp(EscreveArquivo("import.txt", "*QT PETR4 1 2024-07-20 1\r\n"), true);
  while (imp.CanGoOn()) imp.ImportNext();
  EXPECT_EQ(imp.ResultCode(), 0) << imp.msgs;
  EXPECT_NE(imp.msgs.find("PETR4/1 error:error:4042"), std::string::npos) << imp.msgs;
  EXPECT_EQ(imp.LinhasPuladas, 1);
}

// Each condition's code, then its operator and terms.
TEST_F(QuoteImport, Condition) {
  const struct {
    const char* texto;
    const char* lido;
  } casos[] = {
      {"# 3 > 10.5", "0 11 3 10.5"},
      {"# 13 > 1", "50603"},
      {"# 0 > 1", "50603"},
      {"#  12\t### -1e2", "0 1 12 -100"},
      {"# 1 !! -", "0 7 1 -nan"},
      {"", "4392"},
      {"# 1", "4394"},
      {"# 1 =", "0 8 1 -nan"},
      {"# 1 <> 2 3", "4396"},
  };
  for (const auto& c : casos) {
    int32_t op = -1, t1 = -1;
    double t2 = -1;
    const int32_t code = LeCondicao(c.texto, &op, &t1, &t2);
    std::ostringstream lido;
    lido << code;
    if (code == 0) lido << ' ' << op << ' ' << t1 << ' ' << t2;
    EXPECT_EQ(lido.str(), c.lido) << c.texto;
  }
}

}  // namespace
}  // namespace zun
