// The company and series records. Each keyword has one table of lines,
// each line a file of its own, run in order on one database; then the rows
// the table touched.
#include "importers/objects/company_series.h"

#include <string>

#include "../../support/import_fixture.h"
#include "db/user_context.h"
#include "importers/objects/registration.h"

namespace zun {
namespace {

// The indicator values the records wrote.
constexpr char kIndicadores[] =
    "SELECT eaa, id_eaa, idindica, valornum, valorst FROM valor_indicador "
    "ORDER BY eaa, id_eaa, idindica";

class CompanySeriesImport : public ImportDb<RegistraImportadoresDeObjetos> {
 protected:
  void SetUp() override {
    ImportDb::SetUp();
    SqlScript(
        "INSERT INTO fmt_bal (id, nome) VALUES (5, 'Holdings');"
        "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (2, 1, 3, 1, 0);"
        "UPDATE anb SET pais_pro_cod_zun = 0");
    UsuarioIsAdmin = true;  // formats of further sources, moving series
  }
};

// A new company needs fields 3 to 10 (9 and 10 anything but "-"); a known
// one takes what is given. "3-5" sets the first two formats only.
TEST_F(CompanySeriesImport, ObjEmp) {
  EXPECT_EQ(RodaArquivos(
                {{"*OBJEMP VALE 0 \"Vale S/A\" 1 1 3-5 212 \"  Mining  \" x y 3359"},
                 {"*OBJEMP PETR 0 - - - - 212\r\n*OBJEMP NOVA 0 Nova 1 1 0 212 Texto - y", 7130},
                 {"*OBJEMP NOVA 0 Nova 1 1 0 212 Texto x", 7130},
                 {"*OBJEMP PETR 0 - - - 1-2-1-2"},
                 {"*OBJEMP petr 0 \"PETROLEO BRASILEIRO\" 0 2 3-5 - - - - 1234"},
                 {"*OBJEMP PETR", 7126},
                 {"*OBJEMP PETR 0 a 1 1 0 212 t x y z w", 7126},
                 {"*OBJEMP - 0", 7127},
                 {"*OBJEMP PETR x", 7128},
                 {"*OBJEMP PETR 99", 4173},
                 {"*OBJEMP PETR 0 - 2 99", 7131},
                 {"*OBJEMP PETR 0 - - 99", 7132},
                 {"*OBJEMP PETR 0 - - - 1-2-1-2-1", 7134},
                 {"*OBJEMP PETR 0 - - - 3-", 7134},
                 {"*OBJEMP PETR 0 - - - 3-4", 7134},
                 {"*OBJEMP PETR 0 - - - - 9999", 7133}},
                "SELECT cod, nome, moedabal_local, fmtbal, fmtbal1, fmtbal2, fmtbal3, naics, cnpj "
                "FROM empresa ORDER BY id"),
            "PETR|PETROLEO BRASILEIRO|2|3|5|1|2|0|1234;VALE|Vale S/A|1|3|5|0|0|212|3359");
  EXPECT_EQ(LinhasComoTexto(*Db, kIndicadores), "2|2|58||Mining");
}

// The abbreviated form normalises the name for the company's country and
// cuts it to 50 characters.
TEST_F(CompanySeriesImport, ObjEmpAbrev) {
  EXPECT_EQ(
      RodaArquivos({{"*OBJEMPABREV PETR 0 \"COMPANHIA ABCDEFGHIJ KLMNOPQRST UVWXYZABCD "
                     "EFGHIJKLMN OPQRSTUVWX\""},
                    {"*OBJEMPABREV GE 1 \"GENERAL ELECTRIC COMPANY\" 1 2 0 3341 \"THE COMPANY\" x "
                     "y"}},
                   "SELECT nome FROM empresa ORDER BY id"),
      "Cia. Abcdefghij Klmnopqrst Uvwxyzabcd Efghijklmn O;General Electric Co.");
  EXPECT_EQ(LinhasComoTexto(*Db, kIndicadores), "2|2|58||The Co.");
}

// "*OBJSERIE PETR4 1" followed by "-" up to the field, which is "x".
TEST_F(CompanySeriesImport, ObjSerieCamposInvalidos) {
  std::vector<CasoDeArquivo> casos;
  int32_t codigo = 15261;
  for (int campo : {6, 7, 9, 10, 12, 13, 14, 15, 16, 17, 18, 19}) {
    std::string linha = "*OBJSERIE PETR4 1";
    for (int k = 3; k < campo; ++k) linha += " -";
    casos.push_back({linha + " x", codigo++});
  }
  RodaArquivos(casos);
}

// A new series needs fields 3 to 19; the asset fields go together and
// move a series to another asset.
TEST_F(CompanySeriesImport, ObjSerie) {
  EXPECT_EQ(
      RodaArquivos({{"*OBJSERIE PETR3 1 PETR 0 ON N 2 \"Texto\" 1 12.5 \"Petrobras ON\" "
                     "Y N 7 1 3 0 4 5"},
                    {"*OBJSERIE PETR4 1 petr 0 PN Y - - 2 - - - - - - - 1"},
                    {"*OBJSERIE PETR5 1 PETR 0 ON N 2 t 1 - n N N 0 0 0 0 0 0", 15274},
                    {"*OBJSERIE PETR4 1 - - - - - - - - - - - 9\r\n*OBJSERIE PETR5 1", 15274},
                    {"*OBJSERIE PETR6 1 PETR 0 ON N 2 t 1 1e-400 n N N 0 0 0 0 0 0", 15264},
                    {"*OBJSERIE PETR4 1 PETR - -", 15273},
                    {"*OBJSERIE PETR4 1 - 0 -", 15273},
                    {"*OBJSERIE PETR4 1 PETR - - x", 15261},
                    {"*OBJSERIE PETR4 1 PETR 0 RF", 4172},
                    {"*OBJSERIE PETR4 1 VALE 0 ON", 4170},
                    {"*OBJSERIE PETR4 1 - - - - 12", 15262},
                    {"*OBJSERIE PETR4 1 - - - - - - - - - - - - - - 99", 15270},
                    {"*OBJSERIE PETR4", 15260},
                    {"*OBJSERIE PETR4 1 - - - - - - - - - - - - - - - - - -", 15260},
                    {"*OBJSERIE PETR4 x", 4177},
                    {"*OBJSERIE PETR9 7 PETR 0 ON N 2 t 1 1 n N N 0 0 0 0 0 0", 4177}},
                   "SELECT cod, acao, cancelado, tipo_de_bgl_destino, moedacot, traz_dados_da_emp, "
                   "id_calendario, disable_copy, formato_de_cadastro, mapa_colonia, "
                   "override_grupos_campo_cotacao, tipo_de_contrato FROM anb ORDER BY id"),
      "PETR4|2|1|0|2|0|0|0|0|0|0|1;PETR3|1|0|2|1|1|7|1|3|4|5|0");
  EXPECT_EQ(LinhasComoTexto(*Db, kIndicadores), "0|2|1||Petrobras ON;0|2|46|12.5|;0|2|48||Texto");
  UsuarioIsAdmin = false;  // a calendar or a source's format changes only with the right
  RodaArquivos(
      {{"*OBJSERIE PETR3 1 - - - - - - - 98\r\n*OBJEMP PETR 0 - - - 3-5", 50506},
       {"*OBJSERIE PETR3 1 - - - - - - - 99\r\n*OBJSERIE PETR4 1 - - - - - - - - - - - 9", 50529}});
}

}  // namespace
}  // namespace zun
