// Composition blocks: the keyword line, the item-line forms, the value
// rules and the replacement of a stored composition.
#include "importers/ownership/compositions.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "../../support/import_fixture.h"
#include "db/global_state.h"
#include "foundation/switches.h"
#include "importers/ownership/registration.h"

namespace zun {
namespace {

// Parties 1 "111"/0, 2 "TOTAL"/1 and 3 "222"/0.
constexpr char kPartesDeTeste[] =
    "INSERT INTO acionista (id, pais, nome, doc) VALUES (1, 0, 'Ana', '111'), "
    "(2, 1, 'Bob', 'TOTAL'), (3, 0, 'Fundo', '222');"
    "INSERT INTO acionista_doc (id, docpais, doc_id) VALUES (1, 0, '111'), (2, 1, 'TOTAL'), "
    "(3, 0, '222')";

constexpr char kItens[] =
    "SELECT c.TipoDocumento, i.nac, i.vot, i.vlr, i.TipoAplicacao, "
    "IFNULL(i.TipoClassificacao, '-') FROM compaccitem i JOIN compacc c ON c.id = i.cac "
    "ORDER BY c.id, i.nac, i.TipoAplicacao, i.vot";

std::string Bloco(const std::string& cabecalho, const std::string& itens) {
  return cabecalho + "\r\n" + itens + "END\r\n";
}

class Composicao : public ImportDb<RegistraImportadoresDeParticipacoes> {
 protected:
  void SetUp() override {
    ImportDb::SetUp();
    SqlScript(kPartesDeTeste);
  }
};

constexpr char kSh[] = "*SHAREHOLDERS PETR 0 2024-12-31";
constexpr char kPf[] = "*PORTFOLIO PETR 0 2024-12-31 - -";

// One stored shareholder composition, replaced block after block.
TEST_F(Composicao, Acionistas) {
  const std::string total =
      "0|1|0|20|0|-;0|1|1|10|0|-;0|2147483647|0|200|0|-;"
      "0|2147483647|1|100|0|-";
  RodaArquivos(
      {{Bloco(kSh, "TOTAL total 100 200\r\n111 0 10 20\r\n"), 0, "DocType: ShareHolders", total},
       {std::string(kSh) + "\r\n111 0 1 2\r\n", 4188, "", total},
       {Bloco(kSh, "IdShareHolder:1 10 20 30\r\n"), 4262, "ImpCac line too long: 30", total},
       {Bloco(kSh, "TOTAL 1 10 20 30\r\n"), 0, "", "0|2|0|20|0|-;0|2|1|10|0|-;0|2|2|30|0|-"},
       {Bloco(kSh, "111 0 10 20\r\n# note\r\n111 0 5 -\r\nIdShareHolderNoPais:65535 9 7 8\r\n"), 0,
        "", "0|1|1|15|0|-;0|2147483647|0|8|0|-;0|2147483647|1|7|0|-"},
       {Bloco(kSh, "999 0 1 2\r\n998 0 1 2\r\n"), 4178,
        "ImpCac invalid doc:\"998\"/0 error:4178 valor:0",
        "0|1|1|15|0|-;0|2147483647|0|8|0|-;0|2147483647|1|7|0|-"},
       {Bloco(kSh, "111 0 0 0\r\n"), 0, "", ""},
       {"*SHAREHOLDER Nova 0 n777\r\n" + Bloco(kSh, "NotToCleanDoc:n777 0 3 4\r\n"), 0, "",
        "0|4|0|4|0|-;0|4|1|3|0|-"},
       // A document added by the file is found by its letters and digits.
       {"*SHAREHOLDER Nova 0 n-778\r\n" + Bloco(kSh, "N778 0 5 6\r\n"), 0, "",
        "0|5|0|6|0|-;0|5|1|5|0|-"}},
      kItens);
  EXPECT_EQ(LinhasComoTexto(*Db, "SELECT COUNT(*) FROM compacc"), "1");
}

// A new party of the same file is accepted in the check pass and found in
// the import pass, through the procedures and through the document cache
// (loaded before the party was added), whatever the letter case of its
// document.
TEST_F(Composicao, ParteNovaDoArquivo) {
  for (const bool cache : {false, true}) {
    const std::string doc = cache ? "n556" : "555";
    RodaArquivos(
        {{Bloco(kSh, "111 0 1\r\n") + "*SHAREHOLDER Nova 0 " + doc + "\r\n" +
              Bloco("*SHAREHOLDERS PETR 0 2025-01-31", doc + " 0 3 4\r\n"),
          0, "",
          cache ? "0|1|1|1|0|-;0|5|0|4|0|-;0|5|1|3|0|-" : "0|1|1|1|0|-;0|4|0|4|0|-;0|4|1|3|0|-"}},
        kItens, cache);
  }
}

TEST_F(Composicao, Carteira) {
  RodaArquivos({{Bloco(kPf,
                       "222 0 1 1500.5 #1\r\n111 0 2 0\r\nIdPFItem:3 2 50% 7\r\n222 0 1 - #1\r\n"
                       "222 0 1 2.5 1\r\n222 0 1 1.5 #1\r\nIdPFItem:1 2 0\r\n"
                       "FREE-FLOAT free-float 9\r\n"),
                 0, "Ignored item: #0 \"111\"/0", "1|3|3|4|1|1;1|3|3|7|2|-;1|2147483645|3|9|0|-"}},
               kItens);
  EXPECT_EQ(LinhasComoTexto(*Db, "SELECT eh_aplicacao FROM acionista WHERE id = 3"), "1");
  SetProgramArgs({"zuninput", "/PfNaoCheckarAplicacaoAcionista"});
  RodaArquivos({{Bloco(kPf, "111 0 1 3\r\n"), 0, "", "1|1|3|3|1|-"}}, kItens);
  EXPECT_EQ(LinhasComoTexto(*Db, "SELECT eh_aplicacao FROM acionista WHERE id = 1"), "0");
  Sql("DELETE FROM compaccitem");
  RodaArquivos({{Bloco("*PORTFOLIO PETR 0 2024-12-31 - - 3", "222 0 1 5 50%\r\n"), 0,
                 "Percentage values are ignored", "3|3|3|5|1|-"}},
               kItens);
}

// The checks of the keyword line and of the item lines, in their order.
TEST_F(Composicao, Erros) {
  EXPECT_EQ(RodaArquivos(
                {
                    {Bloco("*SHAREHOLDERS \"\" 0 2024-12-31", ""), 4184, "Empty <company>"},
                    {Bloco("*SHAREHOLDERS PETR 99 2024-12-31", ""), 4182},
                    {Bloco("*SHAREHOLDERS VALE 0 2024-12-31", ""), 4406, "Invalid company VALE/0"},
                    {Bloco("*SHAREHOLDERS PETR 0 -", ""), 4185, "Invalid date"},
                    {Bloco("*SHAREHOLDERS PETR 0 2024-12-31 20250101", ""), 4186, "Invalid date"},
                    {Bloco("*SHAREHOLDERS PETR 0 2024-12-31 - 100 1", ""), 4183,
                     "Token InPct:\"100\" ignored"},
                    {Bloco("*PORTFOLIO PETR 0 2024-12-31 - - x", ""), 40003},
                    {Bloco("*PORTFOLIO PETR 0 2024-12-31 - - 2", ""), 40013},
                    {Bloco("*PORTFOLIO PETR 0 2024-12-31 - - 7", ""), 40013},
                    {Bloco("*PORTFOLIO PETR 0 2024-12-31 - - 1 x", ""), 4183, "Too many fields"},
                    {Bloco(kPf, "222 0 x 5\r\n"), 4258, "ImpCac invalid line <x> error:4258"},
                    {Bloco(kPf, "222 0 1\r\n"), 4259},
                    {Bloco(kPf, "222 0 1 abc\r\n"), 4261},
                    {Bloco(kPf, "222 0 1 5 #9\r\n"), 45090},
                    {Bloco(kPf, "IdPFItem:x 1 5\r\n"), 51190},
                    {Bloco(kSh, "111 0 x\r\n"), 4191},
                    {Bloco(kSh, "111 0 1 x\r\n"), 4192},
                    {Bloco(kSh, "111 0 1 2 x\r\n"), 4210},
                    {Bloco(kSh, "111 99 1 2\r\n"), 4182},
                    {Bloco(kSh, "TOTAL 55 10 20\r\n"), 4178,
                     "ImpCac invalid doc:\"TOTAL\"/55 error:4178"},
                    {Bloco(kSh, "111 0 1 2 3 x\r\n"), 4262, "ImpCac invalid line <3> error:4262"},
                    {Bloco(kSh, "IdShareHolder:77 1 2\r\n"), 4329},  // no such party: nothing stays
                },
                kItens),
            "");
}

TEST(IdDoCodigoNoPais, Faixas) {
  const struct {
    int32_t codigo, pais, id;
  } casos[] = {{65535, 9, NacTotal}, {65534, 9, NacBase}, {65533, 9, NacFreeFloat},
               {65535, 0, 10055535}, {123, 55, 550123},   {12345, 55, 15502345},
               {9999, 0, 9999},      {2147483647, 79, 0}, {0, 0, 0},
               {-1, 55, 0},          {110000, 55, 0}};
  for (const auto& c : casos) {
    EXPECT_EQ(IdDoCodigoNoPais(c.codigo, c.pais), c.id) << c.codigo << "/" << c.pais;
  }
}

// Repeated keys add up, NaN removes, a set 0 removes, and compaction keeps
// only the kind's values.
TEST(PoeValor, SomaERemove) {
  tCacItems itens;
  const double nan = std::nan("");
  PoeValor(&itens, 1, 0, true, 10, 1, 0);
  PoeValor(&itens, 2, 0, true, 5, 1, 0);
  PoeValor(&itens, 1, 0, true, 2.5, 1, 0);
  PoeValor(&itens, 1, 0, true, 0, 3, 0);
  PoeValor(&itens, 1, 0, true, 4, 1, 1);
  ASSERT_EQ(itens.Itens.size(), 4u);
  EXPECT_EQ(itens.Itens[0].Vlr, 12.5);
  PoeValor(&itens, 1, 0, true, nan, 1, 0);  // the last item takes its place
  EXPECT_EQ(itens.Itens[0].TipoClassificacao, 1);
  PoeValor(&itens, 2, 0, false, 0, 1, 0);
  EXPECT_EQ(itens.Itens.size(), 2u);
  EXPECT_TRUE(CompactaItens(&itens));
  ASSERT_EQ(itens.Itens.size(), 1u);
  EXPECT_EQ(itens.Itens[0].Vlr, 4);
  EXPECT_FALSE(CompactaItens(&itens));
  itens.TipoDocumento = 1;
  EXPECT_TRUE(CompactaItens(&itens));
  EXPECT_TRUE(itens.Itens.empty());
}

// Under a locale whose decimal point is "," (compiled for the test: none is
// installed), the rows still hold the numbers exactly (and %g's six digits
// would lose them).
TEST_F(Composicao, NumerosComPontoEmQualquerLocale) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zun-virgula";
  const std::filesystem::path made = dir / "virgula" / "LC_NUMERIC";
  if (!std::filesystem::exists(made)) {
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "virgula.src")
        << "LC_NUMERIC\ndecimal_point \"<U002C>\"\n"
           "thousands_sep \"<U002E>\"\ngrouping 3;3\nEND LC_NUMERIC\n";
    const std::string cmd = "localedef -c -i " + (dir / "virgula.src").string() + " -f UTF-8 " +
                            (dir / "virgula").string() + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == -1 || !std::filesystem::exists(made)) {
      GTEST_SKIP() << "localedef not available";
    }
  }
  setenv("LOCPATH", dir.c_str(), 1);
  ASSERT_NE(setlocale(LC_NUMERIC, "virgula"), nullptr);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%g", 2.5);
  EXPECT_STREQ(buf, "2,5");
  const auto imp = ImportaArquivo(Bloco(kPf, "222 0 1 1234567.25\r\n"));
  const std::string numero = NumeroSql(0.1);
  setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(imp->ResultCode(), 0) << imp->msgs;
  EXPECT_EQ(numero, "0.1");
  EXPECT_EQ(LinhasComoTexto(*Db, kItens), "1|3|3|1234567.25|1|-");
  unsetenv("LOCPATH");
}

}  // namespace
}  // namespace zun
