// "*NW" blocks, each a file of its own, run in order on one database: the
// file's result, the block's message and the news stored (CR LF shown as
// "|").
#include "importers/market/news.h"

#include "quote_fixture.h"

namespace zun {
namespace {

TEST_F(MercadoDb, NewsBlocks) {
  const char* a = "2024-05-10|0|First| |  indented| END";
  const char* ab = "2024-05-10|0|First| |  indented| END;2024-05-10|5|Five;2024-05-11|0|Next";
  const char* cb = "2024-05-10|0|Fixed;2024-05-10|5|Five;2024-05-11|0|Next";
  RodaArquivos(
      {
          {"*NW PETR 0 2024-05-10 -\r\nFirst\r\n\r\n# comment\r\n  indented\r\n END\r\nEND\r\n", 0,
           "", a},
          {"*nw PETR 0 2024-05-10 \"\"\nFirst\n\n  indented\n// comment\n END\nEND", 0,
           "ImpNws PETR/0 : error:8604", a},
          {"*NW PETR 0 2024-05-10 5\nFive\nEND\n*NW PETR 0 2024-05-11 -\nNext\nEND", 0, "", ab},
          {"*NW PETR 0 2024-05-10 0\nFixed\nEND", 0, "", cb},
          {"*NW VALE 0 2024-05-10 -\nX\nEND", 0, "ImpNws VALE/0 : error:3752", cb},
          {"*NW PETR 0 2024-05-13 -\nX\nEND\n*NW PETR 0 2024-05-10 -\nEND", 3943,
           "ImpNws PETR/0 : error:50714", cb},
          // Without END: the check pass fails, the import pass never runs.
          {"*NW PETR 0 2024-05-12 -\nText\n# comment", 3943, "reached EOF", cb},
          {"*NW PETR 0 2024-05-12 -", 3943, "reached EOF", cb},
          {"*NW PETR 0 2024-05-12\nX\nEND", 3943, "Invalid # of fields", cb},
          {"*NW PETR 0 2024-05-12 - x\nX\nEND", 3943, "Invalid # of fields", cb},
          {"*NW \"\" 0 2024-05-12 -\nX\nEND", 3943, "Empty <company>", cb},
          {"*NW PETR 80 2024-05-12 -\nX\nEND", 3943, "Invalid <country>", cb},
          {"*NW PETR BR 2024-05-12 -\nX\nEND", 3943, "Invalid <country>", cb},
          {"*NW PETR 0 - -\nX\nEND", 3943, "Invalid <pub_date>", cb},
          {"*NW PETR 0 2024-13-01 -\nX\nEND", 3943, "Invalid <pub_date>", cb},
          {"*NW PETR 0 2024-05-12 -2\nX\nEND", 3943, "Invalid <seq>", cb},
          {"*NW PETR 0 2024-05-12 x\nX\nEND", 3943, "Invalid <seq>", cb},
      },
      "SELECT date(date), seq, replace(replace(txt, char(13, 10), '|'), '||', '| |') "
      "FROM noticia ORDER BY date, seq");
}

}  // namespace
}  // namespace zun
