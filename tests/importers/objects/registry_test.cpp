// The registry records. Series PETR4's registration format (seed format 2)
// holds indicators 1, 48, 46 of the series, 103 of the class and 58, 9, 106
// of the company. One table per keyword family; each line is a file of its
// own, run in order.
#include "importers/objects/registry.h"

#include "../../support/import_fixture.h"
#include "db/global_state.h"
#include "importers/objects/registration.h"

namespace zun {
namespace {

class RegistryImport : public ImportDb<RegistraImportadoresDeObjetos> {
 protected:
  void SetUp() override {
    ImportDb::SetUp();
    DefIndicadoresHooks.Recria();
    Sql("UPDATE empresa SET cnpj = '123' WHERE id = 1");
    Sql("UPDATE anb SET pais_pro_cod_zun = 0");
    Sql("INSERT INTO registro_cod_provis VALUES ('NOVA-provis', '', 0, 0)");
  }
  void TearDown() override {
    DefIndicadoresHooks.Libera();
    ImportDb::TearDown();
  }
};

constexpr char kValores[] =
    "SELECT eaa, id_eaa, idindica, substr(data_ini, 1, 10), valornum, valorst "
    "FROM valor_indicador ORDER BY eaa, idindica, data_ini";

TEST_F(RegistryImport, ComClassSerie) {
  EXPECT_EQ(
      RodaArquivos({{"*COMREG PETR-provis 0 58 Petroleo"},
                    {"*COMREG NOVA-provis 0 58 x", 4304},
                    {"*COMREG PETR 0 58 Checked\r\n*COMREG PETR 0 106 Energia", 4307},
                    {"*COMREGADDITEMIFNEW PETR 0 106 Energia 2024-01-01"},
                    {"*COMREG PETR 0 1 x", 4292},
                    {"*COMREG PETR 0 105 x", 4292},
                    {"*COMREG VALE 0 58 x", 4174},
                    {"*COMREG PETR 0 77 x", 4301},
                    {"*COMREG PETR 0 2000000000 x", 4301},
                    {"*COMREG PETR 0 58", 4302},
                    {"*COMREG PETR 0 58 x 2024-13-01", 25072},
                    {"*COMREG PETR 0 58 x 2024-01-01 y", 4183},
                    {"*CLASSREG PETR 0 ON 103 USD"},
                    {"*CLASSREG PETR 0 PN 103 USD", 4172},
                    {"*SERIEREG PETR4 1 46 12.5 2024-03-01"},
                    {"*SERIEREG PETR-provis 1 1 Nome"},
                    {"*SERIEREG NOVA-provis 1 1 x", 4167},
                    {"*SERIEREG VALE3 1 46 1", 0, "Warning: 4178 Ticker:VALE3, Bolsa:1"},
                    {"*SERIEREG PETR4 x 46 1", 4177}},
                   kValores),
      "0|1|1|||Nome;0|1|46|2024-03-01|12.5|;1|1|103||2|;2|1|58|||Petroleo;2|1|106|2024-01-01|3|");
  // Indicator 9 of a company is its tax registration number.
  EXPECT_EQ(RodaArquivos({{"*COMREG PETR 0 9 456"}}, "SELECT cnpj FROM empresa"), "456");
  EXPECT_EQ(RodaArquivos({{"*COMREG PETR 0 9 -"}}, "SELECT cnpj FROM empresa"), "");
}

TEST_F(RegistryImport, RepeteData) {
  EXPECT_EQ(RodaArquivos({{"*SERIEREG PETR4 1 46 7 2024-01-01"},
                          {"*SERIEREG PETR4 1 46 - 2024-02-01"},
                          {"*SERIEREGREPEATDATE PETR4 1 46 2024-01-15 2024-05-01"},
                          {"*SERIEREGREPEATDATE PETR4 1 46 2024-02-15 2024-06-01"},
                          {"*COMREGREPEATDATE PETR 0 58 2024-01-15", 45080},
                          {"*COMREGREPEATDATE PETR 0 58 x 2024-01-15", 45081},
                          {"*COMREGREPEATDATE PETR 0 58 - 2024-01-15", 45081},
                          {"*SERIEREGREPEATDATE VALE3 1 46 2024-01-15 2024-05-01", 0,
                           "Warning: 4178 Ticker:VALE3, Bolsa:1"}},
                         kValores),
            "0|1|46|2024-01-01|7|;0|1|46|2024-02-01||;0|1|46|2024-05-01|7|;"
            "0|1|46|2024-06-01||");
}

TEST_F(RegistryImport, EaaReg) {
  EXPECT_EQ(RodaArquivos({{"*EAAREG PETR4 1 1 Nome"},
                          {"*EAAREG PETR4 1 58 Empresa 2024-01-01"},
                          {"*EAAREGIFEXISTS PETR4 1 103 BRL"},
                          {"*EAAREG PETR4 1 1 x\r\n*EAAREG PETR4 1 106 Novo", 4307},
                          {"*EAAREGADDITEMIFNEW PETR4 1 106 Novo"},
                          {"*EAAREG PETR4 1 105 1", 25004},
                          {"*EAAREG PETR4 1 77 1", 25001},
                          {"*EAAREG PETR4 1 1", 25002},
                          {"*EAAREG PETR4 1 1 x 2024-02-30", 25073},
                          {"*EAAREG VALE3 1 1 x", 0, "Warning: 4178 Ticker:VALE3, Bolsa:1"},
                          {"*EAAREGADDITEMIFNEW VALE3 1 1 x"},
                          {"*EAAREGIFEXISTS VALE3 1 1 x", 4178}},
                         kValores),
            "0|1|1|||Nome;1|1|103||1|;2|1|58|2024-01-01||Empresa;2|1|106||3|");
}

}  // namespace
}  // namespace zun
