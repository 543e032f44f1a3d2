// "*CA" lines, each a file of its own, run in order on one database: the
// file's result, the line's message and the corporate actions stored.
#include "importers/market/corporate_actions.h"

#include "../../support/import_fixture.h"

namespace zun {
namespace {

TEST_F(MercadoDb, CorporateActionForms) {
  const char* um = "2024-05-10|1|1||0.5";
  const char* dois = "2024-05-10|1|2|100|0.75";
  RodaArquivos(
      {
          {"*CA PETR4 1 2024-05-10 1 1 - 0.5", 0, "", um},
          {"*ca petr4 1 2024.05.10 1 2 100 0.75\r\n", 0, "", dois},
          {"*CA PETR4 1 2024-05-10 1 1", 3943, "Invalid # of fields", dois},
          {"*CA PETR4 1 2024-05-10 1", 3943, "Invalid # of fields", dois},
          {"*CA PETR4 1 2024-05-10 1 1 1 1 9", 3943, "Invalid # of fields", dois},
          {"*CA \"\" 1 2024-05-10 1 1 1 1", 3943, "Empty <ticker>", dois},
          {"*CA PETR4 9 2024-05-10 1 1 1 1", 3943, "Invalid <exchange>", dois},
          {"*CA PETR4 x 2024-05-10 1 1 1 1", 3943, "Invalid <exchange>", dois},
          {"*CA PETR4 1 2024-02-30 1 1 1 1", 3943, "Invalid <udex>", dois},
          {"*CA PETR4 1 2024-05-10 7 1 1 1", 3943, "Invalid <type>", dois},
          {"*CA PETR4 1 2024-05-10 1 32 1 1", 3943, "Invalid <currency>", dois},
          {"*CA PETR4 1 2024-05-10 1 DELETE 1 1", 3943, "Invalid <currency>", dois},
          {"*CA PETR4 1 2024-05-10 0 1 1 1", 3943, "pvr.tipo=0 not allowed!", dois},
          {"*CA PETR4 1 2024-05-10 1 1 1,5 1", 3943, "Invalid number field (#7)", dois},
          {"*CA PETR4 1 2024-05-10 1 1 1 x", 3943, "Invalid number field (#8)", dois},
          // The check pass refuses what the database would: an event without a date.
          {"*CA PETR4 1 2024-05-11 1 1 1 1\r\n*CA PETR4 1 - 1 1 1 1", 3943,
           "ImpPrv PETR4/1 error:50702", dois},
          // Results that do not fail the line: an unknown series, and a
          // deletion of nothing (type 0 may be deleted).
          {"*CA VALE3 1 2024-05-10 1 1 1 1", 0, "ImpPrv VALE3/1 error:3758", dois},
          {"*CA PETR4 1 2024-05-10 0 DELETE", 0, "ImpPrv PETR4/1 error:8604", dois},
          {"*CA PETR4 1 2024-05-10 1 delete", 0, "", ""},
      },
      "SELECT date(udex), tipo, moeda, acoes, valor FROM provento ORDER BY udex, tipo");
}

}  // namespace
}  // namespace zun
