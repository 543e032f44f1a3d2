// The account plan and statement formats: the five keywords with their
// codes, the tree of a format, the format's store and load, and the account
// cache with its format marks.
#include "importers/statements/account_plan.h"

#include <string>
#include <vector>

#include "../../support/plan_fixture.h"
#include "db/id_text_list.h"

namespace zun {
namespace {

using AccountPlan = PlanoDeContasDb;

// "*CBAL" with every field valid; carac "yes" is true.
std::string CBal(const std::string& id = "4001", const std::string& nome6 = "Ac",
                 int carac_ruim = -1, const std::string& fim = "") {
  std::string s = "*CBAL " + id + " Ativo Assets Activo At As " + nome6 + " 1 2 3 4 0 0";
  for (int i = 0; i < 16; ++i) s += i == carac_ruim ? " 2" : i == 0 ? " yes" : " N";
  return s + fim + "\n";
}

TEST_F(AccountPlan, KeywordsAndTheirCodes) {
  const struct {
    std::string arquivo;
    int32_t codigo;
    const char* consulta;
    const char* linhas;
    const char* msg = "";  // a block's refusal names its line and why
  } casos[] = {
      {CBal(), 0,
       "SELECT id, bloco, ordemnobloco, carac_periodizavel, carac_emmoeda FROM conta_bal "
       "WHERE id > 3000",
       "4001|1|2|1|0"},
      {CBal("x"), 3974, "", ""},
      {CBal("4002", "\"\""), 3993, "", ""},
      {"*CBAL 4002 a b c d e f 1 2 3 z\n", 3978, "", ""},
      {"*CBAL 4002 a b c d e f 1 2 3 4 0 q\n", 3991, "", ""},
      {CBal("4002", "Ac", 0), 3979, "", ""},
      {CBal("4002", "Ac", 3), 15557, "", ""},
      {CBal("4002", "Ac", 15), 15561, "", ""},
      {CBal("4002", "Ac", -1, " \"\" extra"), 3992, "", ""},
      // Refused before the good line is written.
      {CBal("4003") + CBal("6001"), 50901, "SELECT count(*) FROM conta_bal WHERE id > 3000", "1"},
      // Block 8 is unknown; a block defined before the line is known.
      {CBal("4004") + "*CBAL 4005 a b c d e f 8 2 3 4 0 0 N N N N N N N N N N N N N N N N\n", 50903,
       "SELECT count(*) FROM conta_bal WHERE id > 3000", "1"},
      // A blank name is told before the unknown block.
      {"*CBAL 4005 \" \" b c d e f 8 2 3 4 0 0 N N N N N N N N N N N N N N N N\n", 3993, "", ""},
      {"*BLOCOCBAL 9 Nove\n*CBAL 4005 a b c d e f 9 2 3 4 0 0 N N N N N N N N N N N N N N N N\n", 0,
       "SELECT bloco FROM conta_bal WHERE id = 4005", "9"},
      {"*DELCBAL 4001 x\n", 3943, "", ""},
      {"*DELCBAL 4009\n", 3943, "", ""},  // no such account
      {"*DELCBAL 4001\n", 0, "SELECT count(*) FROM conta_bal WHERE id = 4001", "0"},
      {"*BLOCOCBAL 0 A B C\n", 3943, "", ""},
      {"*BLOCOCBAL 7 Caixa Cash\n", 0, "SELECT nome FROM bloco_conta_bal WHERE id = 7",
       "Caixa|Cash|"},
      {"*FBAL 5 0 \"\" \"\"\n", 3943, "", ""},
      {"*FBAL 0 0 Padrao\n", 3943, "SELECT count(*) FROM fmt_bal WHERE id = 0", "0"},
      {"*FBAL 5 0 \"\" Bancos\n", 0, "SELECT nome, pais FROM fmt_bal WHERE id = 5", "Bancos|0"},
      {"*FBAL 5 0 Outro\n*APRESFBAL 6\n1 1\nEND\n", 3943, "SELECT nome FROM fmt_bal WHERE id = 5",
       "Bancos", "line:2 *APRESFBAL 6: format 6 does not exist (*FBAL)"},
      {"*APRESFBAL 5\n1 1\n0 10 13 0 0\nEND\n", 3943, "", "",
       "line:3 *APRESFBAL 5: Invalid <sign>"},
      {"*APRESFBAL 5\n1 1\n0 10 2 0 0 x\nEND\n", 3943, "", "",
       "line:3 *APRESFBAL 5: Too many fields"},
      {"*APRESFBAL 5\n1 1\n0 10 2 0 0 \"\" x\nEND\n", 3943, "", ""},
      {"*APRESFBAL 5\n0 10 2 0 0\n", 3943, "", "", "line:1 *APRESFBAL 5: reached EOF"},
      {"*APRESFBAL 5\n1 1\n0 5999 2 0 0\nEND\n", 3943, "SELECT count(*) FROM ApresFmtBalItems", "0",
       "line:3 *APRESFBAL 5: account 5999 is not in the account plan (*CBAL)"},
      // An unknown account is refused before an earlier line is written; one
      // that an earlier line adds is accepted.
      {CBal("4007") + "*APRESFBAL 5\n0 5999 2 0 0\nEND\n", 3943,
       "SELECT count(*) FROM conta_bal WHERE id = 4007", "0"},
      {CBal("4008") + "*APRESFBAL 5\n0 4008 2 0 0\nEND\n", 0,
       "SELECT count(*) FROM ApresFmtBalItems WHERE conta = 4008", "1"},
      {"*APRESFBAL 5\n1 2\n4 1 2 3\n0 10 2 1 0\nend\n", 0,
       "SELECT seq, tipo, conta, sinal, indentacao, bloco FROM ApresFmtBalItems ORDER BY seq",
       "1|1|0|0|0|2;2|4|0|0|0|;3|0|10|2|1|"},
  };
  for (const auto& c : casos) {
    RodaArquivos({{c.arquivo, c.codigo, c.msg,
                   *c.consulta ? std::optional<std::string>(c.linhas) : std::nullopt}},
                 c.consulta);
  }
}

TEST_F(AccountPlan, FormatOfAtMost4000Lines) {
  std::string bloco = "*APRESFBAL 1\n";
  for (int i = 0; i < 4000; ++i) bloco += "0 1 2 0 0\n";
  EXPECT_EQ(Importa(bloco + "END\n"), 0);
  EXPECT_EQ(Linhas("SELECT count(*), max(seq) FROM ApresFmtBalItems"), "4000|4000");
  EXPECT_EQ(Importa(bloco + "0 1 2 0 0\nEND\n"), 3943);
  EXPECT_NE(msgs_.find("line:4002 *APRESFBAL 1: more than 4000 lines"), std::string::npos) << msgs_;
}

// Parent, depth, has-children and hidden of each line, as "p/d/F/H".
std::string Arvore(const TFormatoBal& f) {
  std::string s;
  for (const TLinhaFmtBal& l : f.Linhas) {
    s += (s.empty() ? "" : " ") + std::to_string(l.Pai) + "/" + std::to_string(l.Profundidade) +
         (l.TemFilhos ? "F" : "") + (l.Oculta ? "H" : "");
  }
  return s;
}

TEST_F(AccountPlan, TreeOfAFormat) {
  Sql("INSERT INTO conta_bal_ajuste (id_conta, hide_no_zuninput) VALUES (3, 1)");
  const struct {
    const char* nome;
    std::vector<const char*> linhas;
    const char* arvore;
  } casos[] = {
      // header, A, B and C under T, T under A: the later claim wins.
      {"parts under their total",
       {"H", "1/0/0", "2/1/2", "3/1/2", "4/1/1"},
       "0/0 0/0F 5/2 5/2H 2/1F"},
      // a total takes the earlier total and stops there; a subtracted part.
      {"chained totals", {"1/0/2", "2/0/4", "3/0/1", "4/0/2", "5/0/1"}, "3/2 3/2 5/1FH 5/1 0/0F"},
      // a header line ends both scans; a deeper line is skipped.
      {"scans stop", {"1/0/0", "2/2/0", "6/1/0", "T2/1", "7/1/1"}, "0/0F 0/0 1/1 0/0 0/0"},
  };
  for (const auto& c : casos) EXPECT_EQ(Arvore(Formato(c.linhas)), c.arvore) << c.nome;
}

TEST_F(AccountPlan, FormatStoredAndLoaded) {
  TFormatoBal f = Formato({"H", "1/0/0", "2/1/2", "3/1/2", "4/1/1"}, 1);
  f.Linha(1).bloco = 2;
  ASSERT_EQ(DbApresFormatoBalPut(f), 0);
  f.Linhas.pop_back();
  ASSERT_EQ(DbApresFormatoBalPut(f), 0);  // the surplus row goes
  TFormatoBal lido;
  ASSERT_EQ(CarregaFormatoBal(1, &lido), 0);
  ASSERT_EQ(Arvore(lido), "0/0 0/0F 2/1 2/1");
  EXPECT_EQ(std::make_tuple(lido.id, lido.Linha(1).bloco, lido.Linha(3).conta),
            std::make_tuple(1, 2, 2));
  EXPECT_EQ(CarregaFormatoBal(77, &lido), 50910);  // no such format
  EXPECT_EQ(lido.Count(), 0);
  EXPECT_EQ(DbApresFormatoBalPut(Formato({"1/0/0"}, 77)), 3523);
}

TEST_F(AccountPlan, CacheLoadsAFormatOnceUntilAnAccountChanges) {
  ASSERT_EQ(DbApresFormatoBalPut(Formato({"1/0/0", "2/0/0"}, 1)), 0);
  TCacheContaBal& cache = CacheContaBal();
  cache.Limpa();  // of what the tree of the format read
  const struct {
    int32_t conta, fmtbal;
    bool forget_antes;
    int64_t leituras;
  } passos[] = {
      {1, 1, false, 1}, {2, 1, false, 1}, {1, -1, false, 1}, {2, 1, true, 2}, {9, 1, false, 3}};
  for (const auto& p : passos) {
    if (p.forget_antes) cache.Forget(p.conta);
    EXPECT_EQ(cache.Get(p.conta, p.fmtbal).id, p.conta);
    EXPECT_EQ(cache.Leituras(), p.leituras) << p.conta;
  }
  EXPECT_EQ(cache.Get(1).Nome_Extenso, "c1|a1|c1");
  EXPECT_EQ(CodigoLevantado([&] { cache.Get(0, 1); }), 3763);
  EXPECT_EQ(CodigoLevantado([&] { cache.Get(5999, 1); }), 50902);
  // "*CBAL" forgets the account it wrote.
  const int64_t antes = cache.Leituras();
  ASSERT_EQ(Importa(CBal("2")), 0);
  EXPECT_EQ(cache.Get(2, 1).Nome_Extenso, "Ativo|Assets|Activo");
  EXPECT_GT(cache.Leituras(), antes);
}

}  // namespace
}  // namespace zun
