// The small reference table records run through the import engine (check
// pass, then import pass) against the embedded database. Each keyword has
// one table of lines, each line one file, run in order on one database:
// the file's result, then the rows it touched. A line that fails its check
// writes nothing; one that the database refuses fails in the import pass.
#include "importers/objects/small_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../db/zi_globs_fixture.h"
#include "../../engine/test_files.h"
#include "engine/imp_main.h"
#include "importers/objects/registration.h"

namespace zun {
namespace {

struct Caso {
  const char* linha;
  int32_t resultado;
  const char* consulta;
  const char* linhas;  // rows joined by ";", columns by "|"
};

class ImpDeTeste : public TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string&) override {}
};

class SmallTablesImport : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeObjetos());
  }

  std::string Linhas(const std::string& sql) {
    std::vector<Recordset> out;
    Db->Provider().ExecuteSql(sql, 30, &out);
    std::string got;
    for (const auto& row : out.at(0).rows()) {
      if (!got.empty()) got += ";";
      for (size_t i = 0; i < row.size(); ++i) got += (i ? "|" : "") + row[i].AsString();
    }
    return got;
  }

  void Roda(const std::vector<Caso>& casos) {
    for (const Caso& c : casos) {
      ImpDeTeste imp(EscreveArquivo("small.txt", std::string(c.linha) + "\r\n"), true);
      while (imp.CanGoOn()) imp.ImportNext();
      EXPECT_EQ(imp.ResultCode(), c.resultado) << c.linha;
      EXPECT_EQ(Linhas(c.consulta), c.linhas) << c.linha;
    }
  }

  // The login's reading of the reference data still passes.
  void LoginLeOsDados() {
    int32_t e = -1;
    LeDadosIniciais(&e);
    EXPECT_EQ(e, 0);
  }
};

TEST_F(SmallTablesImport, Pais) {
  const char* q = "SELECT nome FROM pais WHERE id = 68";
  Roda({
      {"*PAIS 68 68 Atlantis", 0, q, "Atlantis"},
      {"*pais 68 068 \"Nova Atlantis\"", 0, q, "Nova Atlantis"},
      {"*PAIS 68 68 Atlantis extra", 3943, q, "Nova Atlantis"},
      {"*PAIS 68 68 \"\"", 3943, q, "Nova Atlantis"},
      {"*PAIS 68 \"\" Atlantis", 3943, q, "Nova Atlantis"},
      {"*PAIS 68 68", 3943, q, "Nova Atlantis"},
      {"*PAIS x 68 Atlantis", 3943, q, "Nova Atlantis"},
      {"*PAIS 68 69 Atlantis", 3943, q, "Nova Atlantis"},
      {"*PAIS 80 80 Atlantis", 3943, "SELECT count(*) FROM pais", "80"},
  });
  LoginLeOsDados();
}

TEST_F(SmallTablesImport, Currency) {
  const char* q = "SELECT nome FROM moeda WHERE id = 2";
  Roda({
      {"*CURRENCY 2 USD 1 \"Dolar americano\"", 0, q, "Dolar americano (USD)"},
      {"*CURRENCY 2 USD 1 \"\"", 0, q, "Dolar americano (USD)"},
      {"*CURRENCY 2 usd 1", 0, q, "Dolar americano (USD)"},
      {"*CURRENCY 2 USD 1 Dollar extra", 3943, q, "Dolar americano (USD)"},
      {"*CURRENCY 2 \"\" 1 Dollar", 3943, q, "Dolar americano (USD)"},
      {"*CURRENCY 2 USD x Dollar", 3943, q, "Dolar americano (USD)"},
      {"*CURRENCY 2 EUR 1 Euro", 3943, q, "Dolar americano (USD)"},
      {"*CURRENCY 2 USD 0 Dollar", 3943, q, "Dolar americano (USD)"},
      {"*CURRENCY 32 XYZ 9 Nova", 3943, "SELECT count(*) FROM moeda", "32"},
  });
  LoginLeOsDados();
}

TEST_F(SmallTablesImport, Bolsa) {
  const char* q = "SELECT id, pais, cod, codiso10383 FROM bolsa WHERE id >= 4";
  Roda({
      {"*BOLSA 4 0 B3 BVMF", 0, q, "4|0|B3|BVMF"},
      {"*BOLSA 4 0 B3", 0, q, "4|0|B3|"},
      {"*BOLSA 4 0 \"\" BVMF", 3943, q, "4|0|B3|"},
      {"*BOLSA 4 0 B3 BVMF extra", 3943, q, "4|0|B3|"},
      {"*BOLSA 4 x B3", 3943, q, "4|0|B3|"},
      {"*BOLSA 5 0 NYSE", 3943, q, "4|0|B3|"},
      {"*BOLSA 5 80 LSE XLON", 3943, q, "4|0|B3|"},
  });
}

TEST_F(SmallTablesImport, VotingStatus) {
  const char* q = "SELECT id, cod FROM vote_stat WHERE id >= 2";
  Roda({
      {"*VOTINGSTATUS 3 PNA", 0, q, "2|UNT;3|PNA"},
      {"*VOTINGSTATUS 3 \"\"", 3943, q, "2|UNT;3|PNA"},
      {"*VOTINGSTATUS 3 PNB x", 3943, q, "2|UNT;3|PNA"},
      {"*VOTINGSTATUS 3", 3943, q, "2|UNT;3|PNA"},
      {"*VOTINGSTATUS 4 ON", 3943, q, "2|UNT;3|PNA"},
  });
}

const char kContas[] =
    "SELECT id_conta, hide_no_zuninput, bloco_padrao_na_digitacao, identificacao_de_contas "
    "FROM conta_bal_ajuste";

TEST_F(SmallTablesImport, HideNoZunInput) {
  Roda({
      {"*HIDENOZUNINPUT 12", 0, kContas, "12|1|0|0"},
      {"*HIDENOZUNINPUT 13 1", 3943, kContas, "12|1|0|0"},
      {"*HIDENOZUNINPUT", 3943, kContas, "12|1|0|0"},
      {"*HIDENOZUNINPUT 0", 3943, kContas, "12|1|0|0"},
  });
}

TEST_F(SmallTablesImport, BlocoPadraoNaDigitacao) {
  Roda({
      {"*BLOCOPADRAONADIGITACAO 2 12", 0, kContas, "12|0|2|0"},
      {"*BLOCOPADRAONADIGITACAO 2", 3943, kContas, "12|0|2|0"},
      {"*BLOCOPADRAONADIGITACAO 3 12 x", 3943, kContas, "12|0|2|0"},
      {"*BLOCOPADRAONADIGITACAO 9 12", 3943, kContas, "12|0|2|0"},
  });
}

TEST_F(SmallTablesImport, IdentificacaoDeContas) {
  Roda({
      {"*IDENTIFICACAODECONTAS 7 12", 0, kContas, "12|0|0|7"},
      {"*IDENTIFICACAODECONTAS 7", 3943, kContas, "12|0|0|7"},
      {"*IDENTIFICACAODECONTAS 8 1.5", 3943, kContas, "12|0|0|7"},
      {"*IDENTIFICACAODECONTAS 8 6001", 3943, kContas, "12|0|0|7"},
  });
}

TEST_F(SmallTablesImport, OcoTipo) {
  const char* q = "SELECT id, seq, abrv, nome, loca, lb1, lb2 FROM oco_tipo WHERE id >= 4";
  Roda({
      {"*OCOTIPO 4 4 BON Bonus 0 \"Label 1\" \"Label 2\"", 0, q, "4|4|BON|Bonus|0|Label 1|Label 2"},
      {"*OCOTIPO 4 5 BON \"Bonus shares\" 9", 0, q, "4|5|BON|Bonus shares|0||"},
      {"*OCOTIPO 4 6 \"\" Bonus 0", 3943, q, "4|5|BON|Bonus shares|0||"},
      {"*OCOTIPO 4 6 BON \"\" 0", 3943, q, "4|5|BON|Bonus shares|0||"},
      {"*OCOTIPO 4 6 BON Bonus x", 3943, q, "4|5|BON|Bonus shares|0||"},
      {"*OCOTIPO 4 6 BON Bonus 0 a b c", 3943, q, "4|5|BON|Bonus shares|0||"},
      {"*OCOTIPO 5 1 DIV Dividendo 0", 3943, q, "4|5|BON|Bonus shares|0||"},
  });
}

TEST_F(SmallTablesImport, TipoObj) {
  const char* q = "SELECT count(*) FROM tipo_obj";
  Roda({
      {"*TIPOOBJ 5 Warrant", 4431, q, "4"},
      {"*TIPOOBJ", 4431, q, "4"},
  });
}

TEST_F(SmallTablesImport, ListChoice) {
  const char* q41 =
      "SELECT id, id_doc, nome_pt, nome_en, nome_es FROM campo_lista_valores "
      "WHERE formatocampo = 41 AND id >= 3";
  const char* q32 =
      "SELECT id, nome_pt, nome_en, nome_es FROM campo_lista_valores "
      "WHERE formatocampo = 32 AND id_doc = 'AB12'";
  Roda({
      {"*LISTCHOICE 41 NEW Talvez", 0, q41, "3||Talvez|Talvez|Talvez"},
      {"*LISTCHOICE 41 3 Talvez \"\" Quizas", 0, q41, "3||Talvez|Talvez|Quizas"},
      {"*LISTCHOICE 41 new \"\" Maybe", 0, q41, "3||Talvez|Talvez|Quizas;4|||Maybe|Maybe"},
      {"*LISTCHOICE 32 doc-id:ab-12 Anual Annual", 0, q32, "3|Anual|Annual|Annual"},
      {"*LISTCHOICE 32 DOC-ID:A/B.12 Anual Yearly Anual", 0, q32, "3|Anual|Yearly|Anual"},
      {"*LISTCHOICE 41 0 Zero", 4400, q41, "3||Talvez|Talvez|Quizas;4|||Maybe|Maybe"},
      {"*LISTCHOICE 41 -2 Menos", 4400, q41, "3||Talvez|Talvez|Quizas;4|||Maybe|Maybe"},
      {"*LISTCHOICE 41 abc X", 4400, q41, "3||Talvez|Talvez|Quizas;4|||Maybe|Maybe"},
      {"*LISTCHOICE x NEW X", 4400, q41, "3||Talvez|Talvez|Quizas;4|||Maybe|Maybe"},
      {"*LISTCHOICE 41 9 Nove", 50411, q41, "3||Talvez|Talvez|Quizas;4|||Maybe|Maybe"},
      {"*LISTCHOICE 103 NEW X", 50410, "SELECT count(*) FROM campo_lista_valores", "7"},
  });
}

}  // namespace
}  // namespace zun
