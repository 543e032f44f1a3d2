// "*NW" blocks, each a file of its own, run in order on one database: the
// file's result, the block's message and the news stored (CR LF shown as
// "|").
#include "importers/market/news.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "../../support/import_fixture.h"
#include "importers/ownership/registration.h"
#include "importers/statements/registration.h"

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
           "line:4 ImpNws PETR/0 : error:50714", cb},  // on its *NW line
          // Without END: the check pass fails, the import pass never runs.
          {"*NW PETR 0 2024-05-12 -\nText\n# comment", 3943, "line:1 reached EOF", cb},
          {"*NW PETR 0 2024-05-12\nX\nEND", 3943, "Invalid # of fields", cb},
          {"*NW \"\" 0 2024-05-12 -\nX\nEND", 3943, "Empty <company>", cb},
          {"*NW PETR 80 2024-05-12 -\nX\nEND", 3943, "Invalid <country>", cb},
          {"*NW PETR 0 - -\nX\nEND", 3943, "Invalid <pub_date>", cb},
          {"*NW PETR 0 2024-05-12 -2\nX\nEND", 3943, "Invalid <seq>", cb},
      },
      "SELECT date(date), seq, replace(replace(txt, char(13, 10), '|'), '||', '| |') "
      "FROM noticia ORDER BY date, seq");
}

bool RegistraBlocos() {
  return RegistraImportadoresDeMercado() && RegistraImportadoresDeParticipacoes() &&
         RegistraImportadoresDeBalancos();
}

// Every block keyword with a line over the frame's limit among its lines
// stops at it with the frame's code, in a child held to 512 MB more address
// space than it starts with and to 20 seconds.
using BlocosDb = ImportDb<RegistraBlocos>;

TEST_F(BlocosDb, EveryBlockStopsAtARefusedLine) {
  const std::string longa(70 * 1024, 'x');
  const auto limitado = [&](const std::string& cabecalho) {
    size_t paginas = 0;
    std::ifstream("/proc/self/statm") >> paginas;
    const rlim_t limite = paginas * sysconf(_SC_PAGESIZE) + (rlim_t{512} << 20);
    const rlimit lim{limite, limite};
    setrlimit(RLIMIT_AS, &lim);
    alarm(20);
    std::fprintf(stderr, "result:%d\n", Importa(cabecalho + "\n" + longa + "\nEND\n"));
    std::_Exit(0);
  };
  for (const char* cabecalho :
       {"*NW PETR 0 2024-05-10 -", "*FS PETR 0 2023-12-31 1", "*FSIFNEWER PETR 0 2023-12-31 1",
        "*FSUPDATE PETR 0 2023-12-31 1", "*FSNEWDB PETR 0 2023-12-31 1", "*APRESFBAL 5",
        "*SHAREHOLDERS PETR 0 2024-12-31", "*PORTFOLIO PETR 0 2024-12-31 - -"}) {
    EXPECT_EXIT(limitado(cabecalho), ::testing::ExitedWithCode(0), "result:3944") << cabecalho;
  }
}

}  // namespace
}  // namespace zun
