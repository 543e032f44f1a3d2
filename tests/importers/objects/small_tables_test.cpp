// The small reference table records run through the import engine (check
// pass, then import pass) against the embedded database. Each keyword has
// one table of lines, each line a file of its own, run in order on one
// database; then the rows the table touched. A line that fails its check,
// or whose write the database refuses, leaves nothing behind.
#include "importers/objects/small_tables.h"

#include <string>
#include <vector>

#include "../../support/import_fixture.h"
#include "importers/objects/registration.h"

namespace zun {
namespace {

using SmallTablesImport = ImportDb<RegistraImportadoresDeObjetos>;

// Tables of a keyword each: its files in order, then the rows of its query.
TEST_F(SmallTablesImport, Tabelas) {
  const struct {
    const char* consulta;
    std::vector<CasoDeArquivo> casos;
    const char* linhas;
  } tabelas[] = {
      {"SELECT nome FROM pais WHERE id >= 67 AND nome NOT LIKE 'Country%'",
       {{"*PAIS 67 JE Jersey"},
        {"*pais 68 068 \"Nova Atlantis\""},
        {"*PAIS 68 68 X extra", 3943},
        {"*PAIS 68 68 \"\"", 3943},
        {"*PAIS 68 \"\" X", 3943},
        {"*PAIS x 68 X", 3943},
        {"*PAIS 67 JE Jerseys\r\n*PAIS 68 69 X", 3943},
        {"*PAIS 80 80 X", 3943}},
       "Jersey;Nova Atlantis"},
      {"SELECT nome FROM moeda WHERE id IN (2, 8) OR id >= 32",
       {{"*CURRENCY 2 USD 1 \"Dolar americano\""},
        {"*CURRENCY 2 usd 1 \"\""},
        {"*CURRENCY 8 GBP 7"},
        {"*CURRENCY 2 USD 1 X extra", 3943},
        {"*CURRENCY 2 \"\" 1 X", 3943},
        {"*CURRENCY 2 USD x X", 3943},
        {"*CURRENCY 2 EUR 1 X", 3943},
        {"*CURRENCY 8 GBP 7 Libra\r\n*CURRENCY 32 XYZ 9 X", 3943}},
       "Dolar americano (USD);Pound sterling (GBP)"},
      {"SELECT id, pais, cod, codiso10383 FROM bolsa WHERE id >= 4",
       {{"*BOLSA 4 0 B3 X"},
        {"*BOLSA 4 0 B3"},
        {"*BOLSA 5 1 IEX IEXG"},
        {"*BOLSA 4 0 \"\" X", 3943},
        {"*BOLSA 4 0 B3 X extra", 3943},
        {"*BOLSA 4 x B3", 3943},
        {"*BOLSA 6 0 NYSE", 3943}},
       "4|0|B3|;5|1|IEX|IEXG"},
      {"SELECT id, cod FROM vote_stat WHERE id >= 3",
       {{"*VOTINGSTATUS 3 PNA"},
        {"*VOTINGSTATUS 3 \"\"", 3943},
        {"*VOTINGSTATUS 3 PNB x", 3943},
        {"*VOTINGSTATUS 4 ON", 3943}},
       "3|PNA"},
      {"SELECT id, seq, abrv, nome, loca, lb1, lb2 FROM oco_tipo WHERE id >= 4",
       {{"*OCOTIPO 4 4 BON Bonus 0 \"Label 1\" \"Label 2\""},
        {"*OCOTIPO 5 5 GRP Grouping 9"},
        {"*OCOTIPO 4 6 \"\" X 0", 3943},
        {"*OCOTIPO 4 6 BON \"\" 0", 3943},
        {"*OCOTIPO 4 6 BON X x", 3943},
        {"*OCOTIPO 4 6 BON X 0 a b c", 3943},
        {"*OCOTIPO 6 1 DIV X 0", 3943}},
       "4|4|BON|Bonus|0|Label 1|Label 2;5|5|GRP|Grouping|0||"},
      {"SELECT count(*) FROM tipo_obj", {{"*TIPOOBJ 5 Warrant", 4431}, {"*TIPOOBJ", 4431}}, "4"},
      // The three marks of an account, one after the other.
      {"SELECT id_conta, hide_no_zuninput, bloco_padrao_na_digitacao, identificacao_de_contas "
       "FROM conta_bal_ajuste",
       {{"*HIDENOZUNINPUT 12", 0, "", "12|1|0|0"},
        {"*HIDENOZUNINPUT 13 1", 3943},
        {"*HIDENOZUNINPUT", 3943},
        {"*HIDENOZUNINPUT 0", 3943},
        {"*BLOCOPADRAONADIGITACAO 2 12", 0, "", "12|1|2|0"},
        {"*BLOCOPADRAONADIGITACAO 2", 3943},
        {"*BLOCOPADRAONADIGITACAO 3 12 x", 3943},
        {"*HIDENOZUNINPUT 13\r\n*BLOCOPADRAONADIGITACAO 9 12", 3943},
        {"*IDENTIFICACAODECONTAS 7 12", 0, "", "12|1|2|7"},
        {"*IDENTIFICACAODECONTAS 7", 3943},
        {"*IDENTIFICACAODECONTAS 8 1.5", 3943},
        {"*IDENTIFICACAODECONTAS 9 12\r\n*IDENTIFICACAODECONTAS 8 6001", 3943, "", "12|1|2|7"}},
       "12|1|2|7"},
  };
  for (const auto& t : tabelas)
    EXPECT_EQ(RodaArquivos(t.casos, t.consulta), t.linhas) << t.consulta;
  const int32_t e = LeDadosIniciais();  // the login still reads what they wrote, with its checks
  EXPECT_EQ(e, 0);
}

// Bad field type or entry: 4400; what the database refuses (no such entry;
// a type without a choice list): its codes, already in the check pass.
TEST_F(SmallTablesImport, ListChoice) {
  const char* q =
      "SELECT formatocampo, id, id_doc, nome_pt, nome_en, nome_es FROM campo_lista_valores "
      "WHERE id >= 3 ORDER BY formatocampo, id";
  const char* todas = "32|3|AB12|Anual|Yearly|Anual;41|3||Talvez|Talvez|Quizas;41|4|||Maybe|Maybe";
  EXPECT_EQ(RodaArquivos({{"*LISTCHOICE 41 NEW Talvez"},
                          {"*LISTCHOICE 41 3 Talvez \"\" Quizas"},
                          {"*LISTCHOICE 41 new \"\" Maybe"},
                          {"*LISTCHOICE 32 doc-id:ab-12 Anual Annual"},
                          {"*LISTCHOICE 32 DOC-ID:A/B.12 Anual Yearly Anual"},
                          {"*LISTCHOICE 41 0 Zero", 4400},
                          {"*LISTCHOICE 41 -2 X", 4400},
                          {"*LISTCHOICE 41 abc X", 4400},
                          {"*LISTCHOICE x NEW X", 4400}},
                         q),
            todas);
  EXPECT_EQ(RodaArquivos({{"*LISTCHOICE 41 NEW Sim\r\n*LISTCHOICE 41 9 Nove", 50411}}, q), todas);
  EXPECT_EQ(RodaArquivos({{"*LISTCHOICE 41 NEW Sim\r\n*LISTCHOICE 103 NEW X", 50410}},
                         "SELECT count(*) FROM campo_lista_valores"),
            "7");
}

}  // namespace
}  // namespace zun
