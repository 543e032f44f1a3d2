// Statement blocks through the import engine on the account plan of
// PlanoDeContasDb: the tokens and codes of the block as a table (each row
// fails the check pass, or passes both), then the import pass with the
// variants of the keyword.
#include "importers/statements/statement_import.h"

#include <string>

#include "../../support/plan_fixture.h"

namespace zun {
namespace {

// Account 55 is of block 5; format 7 exists and has no lines.
class StatementImport : public PlanoDeContasDb {
 protected:
  void SetUp() override {
    PlanoDeContasDb::SetUp();
    SqlScript(
        "INSERT INTO bloco_conta_bal (id, nome) VALUES (5, 'e');"
        "UPDATE conta_bal SET bloco = 5 WHERE id = 55;"
        "INSERT INTO fmt_bal (id, nome) VALUES (7, 'f')");
  }
};

TEST_F(StatementImport, TokensAndCodes) {
  const std::string k = "*FS PETR 0 2023-12-31 1";
  const struct {
    std::string text;
    int32_t code;
    const char* msg;  // the last line message
    int32_t lidas;    // lines consumed by the check pass
  } casos[] = {
      {"*FS PETR\nEND\n", 3955, "ImpBal error:3955 PETR/", 2},
      {"*FS NOPE 0 2023-12-31 1\nEND\n", 3956, "ImpBal NOPE/0 not found error:4174(->3956)", 2},
      {"*FS PETR 0 2023-13-01 1\nEND\n", 3957, "ImpBal error:3957 PETR/0", 2},
      {"*FS PETR 0 - 1\nEND\n", 50921, "ImpBal error:50921 PETR/0", 2},
      {"*FS PETR 0 2023-12-31 x\nEND\n", 3958, "ImpBal error:3958 PETR/0", 2},
      {k + " a\nEND\n", 4013, "ImpBal error:4013 PETR/0", 2},
      {k + " 8\nEND\n", 4014, "ImpBal error:4014 PETR/0", 2},
      {k + " 7 a\nEND\n", 40003, "ImpBal error:40003 PETR/0", 2},
      {k + " 0 2\nEND\n", 40004, "ImpBal error:40004 PETR/0", 2},
      {k + " 0 1 x\nEND\n", 4015, "ImpBal error:4015 PETR/0", 2},
      {k + "\n@10 1\n", 3959, "ImpBal error:3959 PETR/0", 2},
      {k + "\n\"\" 1\n@10 1\nEND\n", 3959, "ImpBal error:3959 PETR/0", 4},
      {k + "\n@10 1\n# note\n", 3959, "ImpBal error:3959 PETR/0", 3},
      {k + "\nCURRENCYDT 2023-02-30\nMONTHS 3\nEND\n", 3960, "ImpBal error:3960 PETR/0", 4},
      {k + "\nFORMAT x 1\nEND\n", 3961, "ImpBal error:3961 PETR/0", 3},
      {k + "\nMONTHS\nEND\n", 3962, "ImpBal error:3962 PETR/0", 3},
      {k + "\nMONCORR 1.5 2\nEND\n", 3963, "ImpBal error:3963 PETR/0", 3},
      {k + "\nREPORTED 1\nEND\n", 3964, "ImpBal error:3964 PETR/0", 3},
      {k + "\nCURRENCY x\nEND\n", 3965, "ImpBal error:3965 PETR/0", 3},
      {k + "\nRETIFDT x\nEND\n", 3966, "ImpBal error:3966 PETR/0", 3},
      {k + "\n@x 1\nEND\n", 3967, "ImpBal error:3967 PETR/0", 3},
      {k + "\n@0 1\nEND\n", 3968, "ImpBal error:3968 PETR/0", 3},
      {k + "\n@6001 1\nEND\n", 3968, "ImpBal error:3968 PETR/0", 3},
      {k + "\n@55 1\nEND\n", 4195, "ImpBal error:4195 PETR/0", 3},
      {k + "\n@10 3M FY x\nEND\n", 3969, "ImpBal error:3969 PETR/0", 3},
      {k + "\n@10 1 234 567\nEND\n", 3969, "ImpBal error:3969 PETR/0", 3},
      {k + "\nFOO\n@10 1\nEND\n", 3970, "ImpBal tok invalido <FOO>", 4},
      {k + "\n@3001 1\nEND\n", 50902, "ImpBal PETR/0 error:50902", 3},
      {k + "\n# note\n\nmonths 12\nfy\n3m\nreported 2024-01-02\n@10 3m fy 1.5\n@11\nend\n", 0, "",
       10},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(Importa(c.text), c.code) << c.text;
    EXPECT_EQ(ultima_, c.msg) << c.text;
    if (c.code != 0) {
      EXPECT_EQ(lidas_, c.lidas) << c.text << ": the rest of the block is dropped";
    }
  }
}

// The rows apply in order to one statement key. Company PETR has no format
// (0) until a "FORMAT" line chooses 7, whose check then grades the header.
TEST_F(StatementImport, ImportPass) {
  const std::string k = " PETR 0 2023-12-31 1\n";
  const std::string consulta =
      "SELECT b.checagemfalhou || b.balentroucomonovobd || ':' || COALESCE((SELECT "
      "group_concat(x, ' ') FROM (SELECT c.conta || '/' || c.De3Meses || '=' || c.valor AS x FROM "
      "BalancoUmaConta c WHERE c.balanco = b.id ORDER BY c.conta, c.De3Meses)), '') FROM balanco b";
  RodaArquivos(
      {
          // "*FSUPDATE" without a stored statement stores the block as new.
          {"*FSUPDATE" + k + "@10 1\n@11 3M 2\n3M\n@12 3\n@13 FY 4\n@10 3M FY 5\nEND\n", 0, "",
           "00:10/0=5.0 11/1=2.0 12/1=3.0 13/0=4.0"},
          {"*FSUPDATE" + k + "@10 6\n@13 -\nEND\n", 0, "", "00:10/0=6.0 11/1=2.0 12/1=3.0"},
          {"*FS" + k + "@10 7\nEND\n", 0, "", "00:10/0=7.0"},
          {"*FS" + k + "FORMAT 7\nEND\n", 0, "", "20:"},
          {"*FS" + k + "FORMAT 7 7\nEND\n", 4288, "", "20:"},
          {"*FSNEWDB" + k + "MONTHS 3\nCURRENCYDT 2023-12-31\nFORMAT 5 7\nEND\n", 4288, "", "20:"},
          {"*FSNEWDB" + k + "MONTHS 3\nCURRENCYDT 2023-12-31\n@10 1\nEND\n", 0, "", "01:10/0=1.0"},
      },
      consulta);
  // A format that cannot load (an account outside the plan) fails the block.
  Sql("INSERT INTO ApresFmtBalItems (fmtbal, seq, tipo, conta) VALUES (7, 1, 0, 3001)");
  EXPECT_EQ(Importa("*FS" + k + "@10 9\nEND\n"), 50902);
  EXPECT_NE(msgs_.find("line:1 ImpBal PETR/0 error:50902: the statement format 7 does not load"),
            std::string::npos)
      << msgs_;
  EXPECT_EQ(Linhas(consulta), "01:10/0=1.0");
}

TEST_F(StatementImport, IfNewer) {
  const std::string bloco = "*FSIFNEWER PETR 0 2023-12-31 1\n@10 ";
  ASSERT_EQ(Importa("*FS PETR 0 2023-12-31 1\nPUBLISHDT 2024-03-01\n@10 1\nEND\n"), 0);
  const std::string aviso = "Warning: registro ignorado empresa PETR/0 Balan\xE7o de 2023-12-31 ";
  const struct {
    std::string text;
    const char* valor;  // account 10 afterwards
    const char* datas;  // the dates of the warning, "" for none
  } casos[] = {
      {bloco + "2\nREPORTED 2024-02-29\nEND\n", "1",
       "data divulgacao 2024-02-29 \xE9 mais antiga do que 2024-03-01\n"},
      {bloco + "3\nEND\n", "1", "data divulgacao 1899-12-30 \xE9 mais antiga do que 2024-03-01\n"},
      {bloco + "4\nPUBLISHDT 2024-03-01\nEND\n", "4", ""},
      {bloco + "5\nPUBLISHDT 2024-03-02\nEND\n", "5", ""},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(Importa(c.text), 0) << c.text;
    EXPECT_EQ(ultima_, "") << c.text;
    EXPECT_EQ(Linhas("SELECT valor FROM BalancoUmaConta WHERE conta = 10"), c.valor) << c.text;
    const bool com_aviso = *c.datas != 0;
    EXPECT_EQ(msgs_.find(aviso + c.datas) != std::string::npos, com_aviso) << msgs_;
    EXPECT_EQ(msgs_.find("Warning") != std::string::npos, com_aviso) << msgs_;
  }
  // A stored statement that cannot be read fails the block and stays.
  Sql("UPDATE BalancoUmaConta SET valor = 'x'");
  for (const char* kw : {"*FSUPDATE", "*FSIFNEWER"}) {
    EXPECT_NE(Importa(std::string(kw) + " PETR 0 2023-12-31 1\nREPORTED 2025-01-01\n@11 1\nEND\n"),
              0);
    EXPECT_EQ(Linhas("SELECT group_concat(conta) FROM BalancoUmaConta"), "10") << kw;
  }
}

}  // namespace
}  // namespace zun
