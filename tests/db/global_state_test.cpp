#include "db/global_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "../support/zi_globs_fixture.h"
#include "db/reqgbol.h"
#include "embedded/procedure_catalog.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

using GlobalStateTest = ZiGlobsDb;

// Every read also makes the indicator definitions anew.
TEST_F(GlobalStateTest, EveryLoginReadsFreshLists) {
  int recria = 0;
  DefIndicadoresHooks.Recria = [&] { ++recria; };
  int32_t e = LeDadosIniciais();
  ASSERT_EQ(e, 0);
  ASSERT_EQ(EnumVote->Conta(), 3);
  ASSERT_EQ(ListasDeValores[32]->Conta(), 2);
  EXPECT_EQ(ListasDeValores[42]->Conta(), 0);  // each list reads its own format
  Sql("INSERT INTO vote_stat (id, cod) VALUES (3, 'PNA')");
  Sql("INSERT INTO campo_lista_valores (formatocampo, id, nome_pt) VALUES (32, 9, 'Novo')");
  EXPECT_EQ(EnumVote->Conta(), 3);
  e = LeDadosIniciais();
  DefIndicadoresHooks = {};
  ASSERT_EQ(e, 0);
  EXPECT_EQ(EnumVote->Conta(), 4);
  EXPECT_EQ(ListasDeValores[32]->Conta(), 3);
  EXPECT_EQ(recria, 2);
}

// Each change is rolled back: the seed data passes every check.
TEST_F(GlobalStateTest, ConsistencyChecksAndTheirCodes) {
  const struct {
    const char* name;
    const char* sql;  // the change, statements separated by ";"
    int32_t code;
    const char* log;  // a line that must be logged ("" for none)
  } cases[] = {
      {"two-letter code GB", "UPDATE pais SET cod = 'GB' WHERE id = 7", 3701,
       "- TestaEnumPaisCod error s:GB e:7"},
      {"code of another id", "UPDATE pais SET cod = 'BR' WHERE id = 70", 3701,
       "- TestaEnumPaisCod error s:BR e:70"},
      {"three-letter code", "UPDATE pais SET cod = 'gbr' WHERE id = 7", 0, ""},
      {"currency id 32", "INSERT INTO moeda (id, cod, pais, nome) VALUES (32, 'X', 9, 'X (X)')",
       3719, "- TestaEnumMoeda error/warning s:X (X) e:32 pais:9 erro:3719 "},
      {"currency country", "UPDATE moeda SET pais = 2 WHERE id = 1", 0,
       "- TestaEnumMoeda error/warning s:Real (BRL) e:1 pais:2 erro:0  PaisDaMoeda:0"},
      {"currency symbol", "UPDATE moeda SET nome = 'Real BRX' WHERE id = 1", 0,
       "- TestaEnumMoeda error/warning s:Real BRX e:1 pais:0 erro:0  SimboloDaMoeda:BRL"},
      {"asset type 0 unmarked", "UPDATE tipo_obj SET marca = 0 WHERE id = 0", 4369, ""},
      {"NacTotal missing", "DELETE FROM acionista WHERE id = 2147483647", 4178,
       "NU.CENT: nao achei acionista NacTotal erro:4178"},
      {"NacBase missing", "DELETE FROM acionista WHERE id = 2147483646", 4178,
       "NU.CENT: nao achei acionista NacBase erro:4178"},
      {"NacFreeFloat missing", "DELETE FROM acionista WHERE id = 2147483645", 4178,
       "NU.CENT: nao achei acionista NacFreeFloat erro:4178"},
      {"country check first",
       "UPDATE pais SET cod = 'GB' WHERE id = 7;UPDATE tipo_obj SET marca = 0 WHERE id = 0", 3701,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Db->BeginTran();
    SqlScript(c.sql);
    LogCapture log;
    const int32_t e = LeDadosIniciais();
    Db->EndTran(false);
    EXPECT_EQ(e, c.code);
    EXPECT_TRUE(!*c.log || log.Has(c.log)) << c.log;
    EXPECT_EQ(log.Has("NU.CENT error:4178"), c.code == 4178);
  }
}

TEST_F(GlobalStateTest, ClassCheckWarnsAndMarksParents) {
  Sql("INSERT INTO classe (id, nome, mae) VALUES (5, 'Orphan', 99)");
  Sql("INSERT INTO classe (id, nome, mae) VALUES (6, 'Loop A', 7)");
  Sql("INSERT INTO classe (id, nome, mae) VALUES (7, 'Loop B', 6)");
  LogCapture log;
  int32_t e = LeDadosIniciais();
  EXPECT_EQ(e, 0);  // warnings only
  EXPECT_TRUE(log.Has("Warning: Class #4 filha de 99 nao existe!"));
  EXPECT_TRUE(log.Has("Warning: Class #5 tem circular reference de maes"));
  EXPECT_TRUE(log.Has("Warning: Class #6 tem circular reference de maes"));
  EXPECT_FALSE(log.HasPrefix("Warning: Class #1 "));
  std::vector<int> marcas;  // Equity (1) has children
  for (int id : {1, 2, 4, 6}) marcas.push_back(EnumClasses->ItemDoId(id)->Marca & 1);
  EXPECT_EQ(marcas, (std::vector<int>{1, 0, 0, 1}));
}

TEST_F(GlobalStateTest, ListThatCannotBeReadOrNoSessionEndsTheRead) {
  UnregisterProcedure("EnumMoeda");
  int32_t e = -1;
  EXPECT_THROW(e = LeDadosIniciais(), EZunInputException);
  RegisterDatabaseProcedures();
  Db->Close();
  e = LeDadosIniciais();
  EXPECT_EQ(e, 3718) << "without a connected session";
}

TEST(PedeReqGBolTest, KeepsTheMostUrgentPriority) {
  struct Case {
    std::vector<int32_t> asks;
    int32_t want;
  };
  const Case cases[] = {
      {{3, 1, 2}, 1}, {{2}, 2}, {{0}, 0}, {{-5, 4}, 4}, {{4, 0, -1}, 4}, {{5, 3, 9}, 3}, {{}, 0},
  };
  for (const Case& c : cases) {
    PrioridadeReqGBol = 0;
    for (int32_t p : c.asks) PedeReqGBol(p);
    EXPECT_EQ(PrioridadeReqGBol, c.want);
  }
  PrioridadeReqGBol = 0;
}

// The pending bulletin request the database holds, served by "GetReqGBol".
int32_t PedidoServido() {
  auto cmd = TomaDataSet(CommandType::kStoredProc, "GetReqGBol");
  int32_t e = ExecStProc(cmd, ModoStProc::kExecuta);
  int32_t p = -1;
  if (e == 0) GetParamInt(cmd, "@Prioridade", &p);
  DevolveDataSet(&cmd);
  return e == 0 ? p : -e;
}

// A failed request keeps its priority for the next one; a sent one clears it.
TEST_F(GlobalStateTest, ReqGBolKeepsThePriorityUntilSent) {
  PedeReqGBol(3);
  PedeReqGBol(2);
  UnregisterProcedure("ReqGBol");
  LogCapture log;
  const int32_t e = ReqGBol("m");
  RegisterDatabaseProcedures();
  EXPECT_NE(e, 0);
  EXPECT_TRUE(log.Has("ReqGBol Pri:2 error:" + std::to_string(e) + " m"));
  EXPECT_EQ(PrioridadeReqGBol, 2);
  EXPECT_EQ(Db->DsAcc(), 0);
  EXPECT_EQ(ReqGBol("motivo  x "), 0);
  EXPECT_TRUE(log.Has("ReqGBol Pri:2 ok motivo  x "));
  EXPECT_EQ(PrioridadeReqGBol, 0);
  EXPECT_EQ(Linhas("SELECT prioridade, motivo, user_name FROM reqgbol"), "2|motivo  x |leitor");
  EXPECT_EQ(PedidoServido(), 2);
  EXPECT_EQ(PedidoServido(), 0);  // served once
}

TEST_F(GlobalStateTest, DataLogAddSendsNullsForEmptyTextAndNoDate) {
  // Kinds without checks of their own (42 is a quote bulletin).
  ASSERT_EQ(DataLogAdd(51, 7, 3, 0, ""), 0);
  ASSERT_EQ(DataLogAdd(52, 7, 3, std::nan(""), "t"), 0);
  ASSERT_EQ(DataLogAdd(53, 7, 3, NuloFloat(), " "), 0);
  ASSERT_EQ(DataLogAdd(54, 7, 3, 45000.5, "texto"), 0);
  EXPECT_EQ(
      Linhas("SELECT tip, quote(date), quote(txt), oid, aux FROM data_log WHERE tip > 50 "
             "ORDER BY tip"),
      "51|NULL|NULL|7|3;52|NULL|'t'|7|3;53|NULL|' '|7|3;54|'2023-03-15 12:00:00'|'texto'|7|3");
}

// Shutdown with a pending request: sent through ReqGBol when connected,
// 3797 without a connection, nothing when the run already failed. The
// fixture's own shutdown finds nothing left to end.
using ShutdownTest = ZiGlobsDb;

TEST_F(ShutdownTest, PendingRequestIsSentOrKeptOr3797) {
  const struct {
    bool connected;
    int32_t code, want;
    const char* left;
  } rows[] = {{false, 0, 3797, ""}, {true, 4077, 4077, "[x]"}, {true, 0, 0, ""}};
  for (const auto& r : rows) {
    if (Db == nullptr) {
      IniciaZiGlobs();
      Conecta();
    }
    ReqGBolPendente = "[x]";
    PedeReqGBol(1);
    if (!r.connected) Db->Close();
    int32_t code = r.code;
    EncerraZiGlobs(&code);
    EXPECT_EQ(code, r.want);
    EXPECT_EQ(ReqGBolPendente, r.left);
    EXPECT_EQ(std::make_tuple(Db.get(), EnumPais.get(), ListasDeValores[32].get()),
              std::make_tuple(nullptr, nullptr, nullptr));
  }
  IniciaZiGlobs();  // the stored request, read through a second start-up
  Conecta();
  EXPECT_EQ(Linhas("SELECT prioridade, motivo FROM reqgbol"), "1|[ZiGlobs.fini [x]]");
}

TEST_F(ShutdownTest, StartUpAndShutdownAreCounted) {
  IniciaZiGlobs();  // nested: no new session
  TAdoDataBaseComInfoTran* db = Db.get();
  int32_t code = 0;
  EncerraZiGlobs(&code);
  EXPECT_EQ(Db.get(), db);  // the outer start-up still holds it
  EncerraZiGlobs(&code);
  EXPECT_EQ(Db, nullptr);
  EncerraZiGlobs(&code);  // unmatched: nothing
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace zun
