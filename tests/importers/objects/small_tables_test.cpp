// The small reference table records run through the import engine (check
// pass, then import pass) against the embedded database. Each keyword has
// one table of lines, each line a file of its own, run in order on one
// database; then the rows the table touched. A line that fails its check,
// or whose write the database refuses, leaves nothing behind.
#include "importers/objects/small_tables.h"

#include <gtest/gtest.h>

#include <string>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../../engine/test_files.h"
#include "../imp_de_teste.h"
#include "engine/imp_main.h"
#include "importers/objects/registration.h"

namespace zun {
namespace {

class SmallTablesImport : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeObjetos());
  }

  // Imports each line, expecting 0 for the good ones and codigo for the
  // bad ones; then the rows of consulta, joined by ";" and "|".
  std::string Roda(const Strings& boas, const Strings& ruins, int32_t codigo,
                   const std::string& consulta) {
    for (const Strings* linhas : {&boas, &ruins}) {
      for (const std::string& l : *linhas) {
        ImpDeTeste imp(EscreveArquivo("small.txt", l + "\r\n"), true);
        while (imp.CanGoOn()) imp.ImportNext();
        EXPECT_EQ(imp.ResultCode(), linhas == &boas ? 0 : codigo) << l;
      }
    }
    return LinhasComoTexto(*Db, consulta);
  }

  // The login's reading of the reference data, with its checks.
  int32_t LeDados() {
    int32_t e = -1;
    LeDadosIniciais(&e);
    return e;
  }
};

TEST_F(SmallTablesImport, Pais) {
  EXPECT_EQ(Roda({"*PAIS 67 JE Jersey", "*pais 68 068 \"Nova Atlantis\""},
                 {"*PAIS 68 68 X extra", "*PAIS 68 68 \"\"", "*PAIS 68 \"\" X", "*PAIS 68 68",
                  "*PAIS x 68 X", "*PAIS 67 JE Jerseys\r\n*PAIS 68 69 X", "*PAIS 80 80 X"},
                 3943, "SELECT nome FROM pais WHERE id >= 67 AND nome NOT LIKE 'Country%'"),
            "Jersey;Nova Atlantis");
  EXPECT_EQ(LeDados(), 0);
}

TEST_F(SmallTablesImport, Currency) {
  EXPECT_EQ(
      Roda({"*CURRENCY 2 USD 1 \"Dolar americano\"", "*CURRENCY 2 usd 1 \"\"", "*CURRENCY 8 GBP 7"},
           {"*CURRENCY 2 USD 1 X extra", "*CURRENCY 2 \"\" 1 X", "*CURRENCY 2 USD x X",
            "*CURRENCY 2 EUR 1 X", "*CURRENCY 8 GBP 7 Libra\r\n*CURRENCY 32 XYZ 9 X"},
           3943, "SELECT nome FROM moeda WHERE id IN (2, 8) OR id >= 32"),
      "Dolar americano (USD);Pound sterling (GBP)");
  EXPECT_EQ(LeDados(), 0);
}

TEST_F(SmallTablesImport, Bolsa) {
  EXPECT_EQ(Roda({"*BOLSA 4 0 B3 X", "*BOLSA 4 0 B3", "*BOLSA 5 1 IEX IEXG"},
                 {"*BOLSA 4 0 \"\" X", "*BOLSA 4 0 B3 X extra", "*BOLSA 4 x B3", "*BOLSA 6 0 NYSE"},
                 3943, "SELECT id, pais, cod, codiso10383 FROM bolsa WHERE id >= 4"),
            "4|0|B3|;5|1|IEX|IEXG");
}

TEST_F(SmallTablesImport, VotingStatus) {
  EXPECT_EQ(Roda({"*VOTINGSTATUS 3 PNA"},
                 {"*VOTINGSTATUS 3 \"\"", "*VOTINGSTATUS 3 PNB x", "*VOTINGSTATUS 3 PNB \"\" x",
                  "*VOTINGSTATUS 3", "*VOTINGSTATUS 4 ON"},
                 3943, "SELECT id, cod FROM vote_stat WHERE id >= 3"),
            "3|PNA");
}

const char kContas[] =
    "SELECT id_conta, hide_no_zuninput, bloco_padrao_na_digitacao, identificacao_de_contas "
    "FROM conta_bal_ajuste";

TEST_F(SmallTablesImport, HideNoZunInput) {
  EXPECT_EQ(Roda({"*HIDENOZUNINPUT 12"},
                 {"*HIDENOZUNINPUT 13 1", "*HIDENOZUNINPUT", "*HIDENOZUNINPUT 0"}, 3943, kContas),
            "12|1|0|0");
}

TEST_F(SmallTablesImport, BlocoPadraoNaDigitacao) {
  EXPECT_EQ(Roda({"*BLOCOPADRAONADIGITACAO 2 12"},
                 {"*BLOCOPADRAONADIGITACAO 2", "*BLOCOPADRAONADIGITACAO 3 12 x",
                  "*HIDENOZUNINPUT 13\r\n*BLOCOPADRAONADIGITACAO 9 12"},
                 3943, kContas),
            "12|0|2|0");
}

TEST_F(SmallTablesImport, IdentificacaoDeContas) {
  EXPECT_EQ(Roda({"*IDENTIFICACAODECONTAS 7 12"},
                 {"*IDENTIFICACAODECONTAS 7", "*IDENTIFICACAODECONTAS 8 1.5",
                  "*IDENTIFICACAODECONTAS 9 12\r\n*IDENTIFICACAODECONTAS 8 6001"},
                 3943, kContas),
            "12|0|0|7");
}

TEST_F(SmallTablesImport, OcoTipo) {
  EXPECT_EQ(
      Roda({"*OCOTIPO 4 4 BON Bonus 0 \"Label 1\" \"Label 2\"", "*OCOTIPO 5 5 GRP Grouping 9"},
           {"*OCOTIPO 4 6 \"\" X 0", "*OCOTIPO 4 6 BON \"\" 0", "*OCOTIPO 4 6 BON X x",
            "*OCOTIPO 4 6 BON X 0 a b c", "*OCOTIPO 6 1 DIV X 0"},
           3943, "SELECT id, seq, abrv, nome, loca, lb1, lb2 FROM oco_tipo WHERE id >= 4"),
      "4|4|BON|Bonus|0|Label 1|Label 2;5|5|GRP|Grouping|0||");
}

TEST_F(SmallTablesImport, TipoObj) {
  EXPECT_EQ(Roda({}, {"*TIPOOBJ 5 Warrant", "*TIPOOBJ"}, 4431, "SELECT count(*) FROM tipo_obj"),
            "4");
}

// Bad field type or entry: 4400; what the database refuses (no such entry;
// a type without a choice list): its codes, already in the check pass.
TEST_F(SmallTablesImport, ListChoice) {
  const char* q =
      "SELECT formatocampo, id, id_doc, nome_pt, nome_en, nome_es FROM campo_lista_valores "
      "WHERE id >= 3 ORDER BY formatocampo, id";
  const char* todas = "32|3|AB12|Anual|Yearly|Anual;41|3||Talvez|Talvez|Quizas;41|4|||Maybe|Maybe";
  EXPECT_EQ(Roda({"*LISTCHOICE 41 NEW Talvez", "*LISTCHOICE 41 3 Talvez \"\" Quizas",
                  "*LISTCHOICE 41 new \"\" Maybe", "*LISTCHOICE 32 doc-id:ab-12 Anual Annual",
                  "*LISTCHOICE 32 DOC-ID:A/B.12 Anual Yearly Anual"},
                 {"*LISTCHOICE 41 0 Zero", "*LISTCHOICE 41 -2 X", "*LISTCHOICE 41 abc X",
                  "*LISTCHOICE x NEW X"},
                 4400, q),
            todas);
  EXPECT_EQ(Roda({}, {"*LISTCHOICE 41 NEW Sim\r\n*LISTCHOICE 41 9 Nove"}, 50411, q), todas);
  EXPECT_EQ(Roda({}, {"*LISTCHOICE 41 NEW Sim\r\n*LISTCHOICE 103 NEW X"}, 50410,
                 "SELECT count(*) FROM campo_lista_valores"),
            "7");
}

}  // namespace
}  // namespace zun
