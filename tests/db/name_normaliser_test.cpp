// The company-name normaliser on a fresh reference database: the seed
// tables of Brazil (0) and the United States (1), country 2 with two
// abbreviations where one contains the other, country 5 without tables.
#include "db/name_normaliser.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/zi_globs_fixture.h"
#include "embedded/procedure_catalog.h"

namespace zun {
namespace {

class NameNormaliserTest : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    LiberaNormalizadorDeNomes();
    SqlScript(
        "INSERT INTO nome_abrev (pais, tipo, chave, valor) VALUES (2, 1, 'banco', 'Bco.'), "
        "(2, 1, 'banco nacional', 'Banco Nac.'), (2, 2, 'de', '')");
  }
  void TearDown() override {
    LiberaNormalizadorDeNomes();
    ZiGlobsDb::TearDown();
  }
};

TEST_F(NameNormaliserTest, NamesTakeTheHouseSpellingOfTheirCountry) {
  struct Caso {
    const char* nome;
    int32_t pais;
    const char* esperado;
  };
  const Caso casos[] = {
      {"  companhia  de  seguros ", 0, "Cia. de Seguros"},
      {"DE OLHO NO DE", 0, "De Olho No de"},  // capitalised only at the start
      {"casa de dedo", 0, "Casa de Dedo"},    // not inside a longer word
      {"BANCO NACIONAL DE BANCO", 2, "Banco Nac. de Bco."},
      {"banco nacionalista", 2, "Bco. Nacionalista"},
      {"a..b", 0, "A.B"},
      {"a.,b", 0, "A.,B"},
      {"a - b", 0, "A - B"},
      {"", 0, ""},
      {"PETROBRAS S/A", 0, "Petrobras S.A."},
      {"petrobras s.a.", 0, "Petrobras S.A."},
      {"IBM DO BRASIL", 0, "IBM do Brasil"},
      {"\xc1GUAS DE S\xc3O PAULO PARTICIPA\xc7\xd5"
       "ES",
       0, "\xc1guas de S\xe3o Paulo Part."},
      {"ind\xdaSTRIA E COM\xc9RCIO", 0, "Ind. e Com."},
      {"Sociedade An\xd4nima   2000//x", 0, "S.A. 2000/X"},
      {"\x93the company\x94 \x96 \x97 of ohio\x92s", 1, "\"the Co.\" - - of Ohio\x92S"},
      {"general motors corporation", 1, "General Motors Corp."},
      {"companhia vale", 1, "Companhia Vale"},  // Brazil's table is not the US's
      {"companhia  vale", 5, "Companhia Vale"},
  };
  for (const Caso& c : casos) EXPECT_EQ(NormalizaNome(c.pais, c.nome), c.esperado) << c.nome;
}

TEST_F(NameNormaliserTest, TablesAreReadOncePerCountry) {
  EXPECT_EQ(NormalizaNome(0, "acme corporation"), "Acme Corporation");
  Sql("INSERT INTO nome_abrev (pais, tipo, chave, valor) VALUES (0, 1, 'corporation', 'Corp.')");
  EXPECT_EQ(NormalizaNome(0, "acme corporation"), "Acme Corporation");
  EXPECT_EQ(NormalizaNome(1, "acme corporation"), "Acme Corp.");
  EXPECT_EQ(NormalizaNome(0, "acme corporation"), "Acme Corp.");
}

TEST_F(NameNormaliserTest, TablesThatCannotBeReadLeaveTheNameAsGiven) {
  struct Caso {
    int32_t pais;
    ProcFn proc;  // replaces "BufPorPaisGet"; none: the database's own
    const char* linha;
  };
  auto status = [](int32_t code) {
    Recordset rs({"result", "ConteudoLen"});
    rs.AddRow({Value::Int(code), Value::Int(0)});
    return rs;
  };
  const Caso casos[] = {
      {80, nullptr, "Warn:15679 pais:80 nome:[ACME corp]"},
      {3, [&](ProcContext& c) { c.AddResult(status(c.In("@tipo").AsInt() == 2 ? 4321 : 4251)); },
       "Warn:15680 pais:3 nome:[ACME corp]"},
      {3, [&](ProcContext& c) { c.AddResult(status(0)); },
       "Warn:16016 pais:3 nome:[ACME corp] exception:[DatasetError]Command BufPorPaisGet: no "
       "open result set"},
  };
  for (const Caso& c : casos) {
    if (c.proc) {
      RegisterProcedure("BufPorPaisGet",
                        {{"@pais", DataType::kInteger}, {"@tipo", DataType::kInteger}}, c.proc);
    }
    for (int vez = 0; vez < 2; ++vez) {  // nothing is cached: the second call reads again
      LogCapture log;
      EXPECT_EQ(NormalizaNome(c.pais, "ACME corp"), "ACME corp");
      EXPECT_EQ(log.Lines(), std::vector<std::string>{c.linha});
      EXPECT_EQ(Db->DsAcc(), 0);
    }
  }
  RegisterDatabaseProcedures();
}

TEST_F(NameNormaliserTest, TablesParseTheirTextAndListsKeepTheirOrder) {
  int32_t erro = -1;
  TListaStringsAbrev lista(5, &erro, 1, true);
  EXPECT_EQ(erro, 0) << "an empty table is no failure";
  lista.Analisa("b=2\r\n\r\n==a = 1 = x\nB=3\n", 0);
  EXPECT_EQ(lista.Texto(), "a = 1\r\nb = 3\r\n");
  lista.MostraValor = false;
  EXPECT_EQ(lista.Texto(), "a\r\nb\r\n");

  TNormalizadorDeNomes n;  // tab between key and value, CR after each entry
  n.CarregaAbreviacoes("Banco\tBco.\rbanco nacional\tBN\rBANCO\tX\rab\tY\r\tZ");
  std::string ordem;
  for (const auto& a : n.Abreviacoes) ordem += a.Chave + "=" + a.Valor + ";";
  EXPECT_EQ(ordem, "banco nacional=BN;banco=Bco.;ab=Y;");
  EXPECT_EQ(n.Normaliza("o banco"), "O Banco") << "without UsaAbreviacoes, no abbreviation";
}

}  // namespace
}  // namespace zun
