// Statement blocks through the import engine: the tokens and codes of the
// block as a table (each row fails the check pass, or passes both), then
// the variants that read the stored statement.
#include "importers/statements/statement_import.h"

#include <gtest/gtest.h>

#include <string>

#include "importers/statements/statement.h"
#include "importers/statements/statement_store.h"
#include "statement_fixture.h"

namespace zun {
namespace {

constexpr double k20231231 = 45291;

class StatementImport : public StatementDb {
 protected:
  void SetUp() override {
    StatementDb::SetUp();
    Sql("INSERT INTO bloco_conta_bal (id, nome) VALUES (5, 'e')");
    Sql("UPDATE conta_bal SET bloco = 5 WHERE id = 55");
  }

  // The stored statement of PETR at 2023-12-31, consolidated.
  TBalanco Gravado(int32_t* code) {
    TBalanco bal;
    *code = BalGetPelaDataCons(1, k20231231, true, 0, 0, &bal);
    return bal;
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
      {"*FS PETR 0 2023-12-31 x\nEND\n", 3958, "ImpBal error:3958 PETR/0", 2},
      {k + " a\nEND\n", 4013, "ImpBal error:4013 PETR/0", 2},
      {k + " 8\nEND\n", 4014, "ImpBal error:4014 PETR/0", 2},
      {k + " 7 a\nEND\n", 40003, "ImpBal error:40003 PETR/0", 2},
      {k + " 0 2\nEND\n", 40004, "ImpBal error:40004 PETR/0", 2},
      {k + " 0 1 x\nEND\n", 4015, "ImpBal error:4015 PETR/0", 2},
      {k + "\n@10 1\n", 3959, "ImpBal error:3959 PETR/0", 2},
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

TEST_F(StatementImport, PeriodMarkersAndUpdate) {
  // "*FSUPDATE" without a stored statement stores the block as new.
  ASSERT_EQ(Importa("*FSUPDATE PETR 0 2023-12-31 1\n@10 1\n@11 3M 2\n3M\n@12 3\n@13 FY 4\n"
                    "@10 3M FY 5\nEND\n"),
            0)
      << ultima_;
  int32_t code = 0;
  TBalanco bal = Gravado(&code);
  ASSERT_EQ(code, 0);
  EXPECT_NE(bal.id, 0);
  EXPECT_EQ(bal.Valor(0, 10), 5);
  EXPECT_EQ(bal.Valor(1, 11), 2);
  EXPECT_EQ(bal.Valor(1, 12), 3);
  EXPECT_EQ(bal.Valor(0, 13), 4);
  // An update changes what it names, clears an empty value, keeps the rest.
  ASSERT_EQ(Importa("*FSUPDATE PETR 0 2023-12-31 1\n@10 6\n@13 -\nEND\n"), 0) << ultima_;
  const TBalanco depois = Gravado(&code);
  EXPECT_EQ(depois.id, bal.id);
  EXPECT_EQ(depois.Valor(0, 10), 6);
  EXPECT_TRUE(depois.Nulo(0, 13));
  EXPECT_EQ(depois.Valor(1, 12), 3);
  // "*FS" replaces it.
  ASSERT_EQ(Importa("*FS PETR 0 2023-12-31 1\n@10 7\nEND\n"), 0) << ultima_;
  EXPECT_TRUE(Gravado(&code).Nulo(1, 12));
}

// The import pass: the company's format is chosen and checked, a second
// format equal to it is refused, "*FSNEWDB" marks the statement.
TEST_F(StatementImport, FormatAndNewDatabase) {
  Sql("INSERT INTO fmt_bal (id, nome) VALUES (7, 'f')");
  const std::string consulta =
      "SELECT checagemfalhou, balentroucomonovobd FROM balanco ORDER BY id DESC LIMIT 1";
  const struct {
    std::string text;
    int32_t code;
    const char* linhas;
  } casos[] = {
      {"*FS PETR 0 2023-12-31 1\nFORMAT 7\nEND\n", 0, "2|0"},
      {"*FS PETR 0 2023-12-31 1\nFORMAT 7 7\nEND\n", 4288, "2|0"},
      {"*FSNEWDB PETR 0 2023-12-31 1\nMONTHS 3\nCURRENCYDT 2023-12-31\nFORMAT 5 7\nEND\n", 4288,
       "2|0"},
      {"*FSNEWDB PETR 0 2023-12-31 1\nMONTHS 3\nCURRENCYDT 2023-12-31\nEND\n", 0, "0|1"},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(Importa(c.text), c.code) << c.text << ultima_;
    EXPECT_EQ(Linhas(consulta), c.linhas) << c.text;
  }
  EXPECT_EQ(Linhas("SELECT fmtbal FROM empresa WHERE id = 1"), "7");
}

TEST_F(StatementImport, IfNewer) {
  const std::string bloco = "*FSIFNEWER PETR 0 2023-12-31 1\n@10 ";
  ASSERT_EQ(Importa("*FS PETR 0 2023-12-31 1\nPUBLISHDT 2024-03-01\n@10 1\nEND\n"), 0);
  const std::string aviso = "Warning: registro ignorado empresa PETR/0 Balan\xE7o de 2023-12-31 ";
  const struct {
    std::string text;
    double valor;       // account 10 afterwards
    const char* datas;  // the dates of the warning, "" for none
  } casos[] = {
      {bloco + "2\nREPORTED 2024-02-29\nEND\n", 1,
       "data divulgacao 2024-02-29 \xE9 mais antiga do que 2024-03-01\n"},
      {bloco + "3\nEND\n", 1, "data divulgacao 1899-12-30 \xE9 mais antiga do que 2024-03-01\n"},
      {bloco + "4\nPUBLISHDT 2024-03-01\nEND\n", 4, ""},
      {bloco + "5\nPUBLISHDT 2024-03-02\nEND\n", 5, ""},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(Importa(c.text), 0) << c.text;
    EXPECT_EQ(ultima_, "") << c.text;
    int32_t code = 0;
    EXPECT_EQ(Gravado(&code).Valor(0, 10), c.valor) << c.text;
    const bool com_aviso = *c.datas != 0;
    EXPECT_EQ(msgs_.find(aviso + c.datas) != std::string::npos, com_aviso) << msgs_;
    EXPECT_EQ(msgs_.find("Warning") != std::string::npos, com_aviso) << msgs_;
  }
}

}  // namespace
}  // namespace zun
