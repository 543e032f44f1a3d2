// The command cache, nested transactions, reconnection, the server version
// and the session's free forms, on the scripted provider.
#include "toolbox/dbutil/session.h"

#include <gtest/gtest.h>

#include "log_capture.h"
#include "scripted_fixture.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/server_version.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

class CacheTest : public ScriptedSession {
 protected:
  void SetUp() override {
    ScriptedSession::SetUp();
    for (int i = 0; i < 10; ++i) {
      db_.Add(Name(i), {In("@a", DataType::kInteger)},
              [](Parameters* p, std::vector<Recordset>*) { Retorna(p, 0); });
    }
  }
  static std::string Name(int i) { return "Proc" + std::to_string(i); }
  std::unique_ptr<Command> Take(int i) { return s_.TomaDataSet(CommandType::kStoredProc, Name(i)); }
};

TEST_F(CacheTest, GivenBackObjectIsReusedWithItsParameters) {
  auto a = Take(0);
  EXPECT_EQ(s_.DsAcc(), 1);
  EXPECT_EQ(a->CommandTimeout(), 130);
  a->Params().ParamByName("@a").value = Value::Int(42);
  ASSERT_EQ(ExecStProc(a, 0), 0);
  Command* raw = a.get();
  s_.DevolveDataSet(&a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(s_.DsAcc(), 0);
  EXPECT_EQ(s_.DsCacheSlot(0), raw);
  auto b = Take(0);
  EXPECT_EQ(b.get(), raw);
  EXPECT_EQ(s_.DsCacheSlot(0), nullptr);
  EXPECT_EQ(db_.describes, 1);
  EXPECT_EQ(b->Params().ParamByName("@a").value, Value::Int(42));
  s_.DevolveDataSet(&b);
}

TEST_F(CacheTest, GivingBackClosesTheResultSet) {
  db_.Add("Rows", {}, [](Parameters* p, std::vector<Recordset>* out) {
    Recordset rs({"x"});
    rs.AddRow({Value::Int(1)});
    out->push_back(rs);
    Retorna(p, 0);
  });
  auto a = s_.TomaDataSet(CommandType::kStoredProc, "Rows");
  ASSERT_EQ(ExecStProc(a, 2), 0);
  ASSERT_TRUE(a->Active());
  s_.DevolveDataSet(&a);
  auto b = s_.TomaDataSet(CommandType::kStoredProc, "Rows");
  EXPECT_FALSE(b->Active());
  s_.DevolveDataSet(&b);
}

TEST_F(CacheTest, NinthEvictsSlotZeroThenOne) {
  std::vector<std::unique_ptr<Command>> lent;
  for (int i = 0; i < 9; ++i) lent.push_back(Take(i));
  EXPECT_EQ(s_.DsAcc(), 9);
  for (int i = 0; i < 8; ++i) s_.DevolveDataSet(&lent[static_cast<size_t>(i)]);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s_.DsCacheSlot(i)->Text(), Name(i));
  EXPECT_EQ(s_.DsCacheNext(), 0);

  s_.DevolveDataSet(&lent[8]);
  EXPECT_EQ(s_.DsCacheSlot(0)->Text(), Name(8));
  EXPECT_EQ(s_.DsCacheSlot(1)->Text(), Name(1));
  EXPECT_EQ(s_.DsCacheNext(), 1);

  auto nine = Take(9);
  s_.DevolveDataSet(&nine);
  EXPECT_EQ(s_.DsCacheSlot(1)->Text(), Name(9));
  EXPECT_EQ(s_.DsCacheSlot(2)->Text(), Name(2));
  EXPECT_EQ(s_.DsCacheNext(), 2);
  EXPECT_EQ(s_.DsAcc(), 0);

  // The evicted procedures are described again; a cached one is not.
  const int before = db_.describes;
  auto zero = Take(0);
  auto two = Take(2);
  EXPECT_EQ(db_.describes, before + 1);
  s_.DevolveDataSet(&zero);  // into slot 2, freed by taking Proc2
  s_.DevolveDataSet(&two);   // all full again: slot 2 is replaced, next is 3
  EXPECT_EQ(s_.DsCacheSlot(2)->Text(), Name(2));
  EXPECT_EQ(s_.DsCacheNext(), 3);
}

TEST_F(CacheTest, RoundRobinSlotOutOfRangeRestartsAtZero) {
  std::vector<std::unique_ptr<Command>> lent;
  for (int i = 0; i < 9; ++i) lent.push_back(Take(i));
  for (auto& c : lent) c->Close();
  for (int i = 0; i < 8; ++i) s_.DevolveDataSet(&lent[static_cast<size_t>(i)]);
  s_.SetDsCacheNext(8);
  s_.DevolveDataSet(&lent[8]);
  EXPECT_EQ(s_.DsCacheSlot(0)->Text(), Name(8));
  EXPECT_EQ(s_.DsCacheNext(), 1);
}

TEST_F(CacheTest, SameProcedureTwiceGivesTwoObjectsAndFillsTwoSlots) {
  auto a = Take(3);
  auto b = Take(3);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(db_.describes, 2);
  s_.DevolveDataSet(&a);
  s_.DevolveDataSet(&b);
  ASSERT_NE(s_.DsCacheSlot(0), nullptr);
  ASSERT_NE(s_.DsCacheSlot(1), nullptr);
  EXPECT_EQ(s_.DsCacheSlot(0)->Text(), Name(3));
  EXPECT_EQ(s_.DsCacheSlot(1)->Text(), Name(3));
  EXPECT_EQ(s_.DsCacheSlot(2), nullptr);
}

TEST_F(CacheTest, KeyIsKindAndExactText) {
  auto a = Take(1);
  s_.DevolveDataSet(&a);
  auto text = s_.TomaDataSet(CommandType::kText, Name(1));
  EXPECT_EQ(text->Type(), CommandType::kText);
  EXPECT_NE(s_.DsCacheSlot(0), nullptr);  // the stored procedure stays cached
  s_.DevolveDataSet(&text);
  // Another letter case is another text: the provider is asked, and fails.
  EXPECT_THROW(s_.TomaDataSet(CommandType::kStoredProc, "proc1"), ProviderError);
  EXPECT_EQ(s_.DsAcc(), 0);
}

TEST_F(CacheTest, FlushCacheFreesSlotsAndWarnsAboutLentObjects) {
  auto a = Take(0);
  auto b = Take(1);
  s_.DevolveDataSet(&a);
  LogCapture log;
  s_.FlushCache();
  EXPECT_EQ(s_.DsCacheSlot(0), nullptr);
  EXPECT_TRUE(log.Has("warning DbUtil.FlushCache DsAcc:1"));
  s_.DevolveDataSet(&b);
  log.Mark();
  s_.FlushCache();
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(CacheTest, FreeFormsUseDbAndForeignObjectsAreFreedWithWarning) {
  EXPECT_THROW(
      {
        try {
          TomaDataSet(CommandType::kStoredProc, Name(0));
        } catch (const EDBException& e) {
          EXPECT_EQ(e.Code(), 3718);
          throw;
        }
      },
      EDBException);
  std::unique_ptr<Command> none;
  DevolveDataSet(&none);  // nothing to do

  Connection plain;
  plain.SetConnectionString("Provider=Scripted");
  plain.Open();
  auto foreign = std::make_unique<Command>(&plain, CommandType::kStoredProc, Name(4));
  LogCapture log;
  DevolveDataSet(foreign);
  EXPECT_EQ(foreign, nullptr);
  EXPECT_TRUE(log.Has("warning TomaDataSet Proc4 db:Connection"));

  auto own = s_.TomaDataSet(CommandType::kStoredProc, Name(5));
  DevolveDataSet(own);
  EXPECT_EQ(own, nullptr);
  EXPECT_EQ(s_.DsCacheSlot(0)->Text(), Name(5));
  EXPECT_EQ(s_.DsAcc(), 0);
}

class TranTest : public ScriptedSession {};

TEST_F(TranTest, NestedFailureRollsBackOnceAtTheOuterLevel) {
  s_.BeginTran();
  s_.BeginTran();
  EXPECT_EQ(s_.TranCount(), 2);
  EXPECT_EQ(db_.begins, 1);
  s_.EndTran(false);
  EXPECT_TRUE(s_.TranFailed());
  EXPECT_EQ(db_.rollbacks, 0);
  s_.EndTran(false);
  EXPECT_EQ(s_.TranCount(), 0);
  EXPECT_EQ(db_.rollbacks, 1);
  EXPECT_EQ(db_.commits, 0);
  EXPECT_FALSE(s_.InTransaction());
}

TEST_F(TranTest, AllOkCommitsOnceAndFailureFlagIsClearedByTheNextNest) {
  s_.BeginTran();
  s_.EndTran(false);
  EXPECT_EQ(db_.rollbacks, 1);
  s_.BeginTran();
  EXPECT_FALSE(s_.TranFailed());
  s_.BeginTran();
  s_.EndTran(true);
  EXPECT_EQ(db_.commits, 0);
  s_.EndTran(true);
  EXPECT_EQ(db_.commits, 1);
  EXPECT_EQ(db_.begins, 2);
}

TEST_F(TranTest, UnbalancedOrForeignTransactionsRaiseAssertions) {
  try {
    s_.EndTran(true);
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("toolbox\\dbutil, line "), std::string::npos);
  }
  EXPECT_EQ(s_.TranCount(), 0);
  s_.BeginTrans();  // behind the session's back
  EXPECT_THROW(s_.BeginTran(), EAssertionFailed);
}

using TranDeathTest = TranTest;

TEST_F(TranDeathTest, OuterOkAfterInnerFailureStopsWith250WithoutCommit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        s_.BeginTran();
        s_.BeginTran();
        s_.EndTran(false);
        s_.EndTran(true);
        std::exit(db_.commits + db_.rollbacks == 0 ? 0 : 1);  // not reached
      },
      ::testing::ExitedWithCode(250), "");
  EXPECT_EQ(db_.commits, 0);
}

TEST_F(TranTest, FreeFormsActOnDb) {
  EXPECT_THROW(DbBeginTran(), EDBException);
  Db = std::make_unique<TAdoDataBaseComInfoTran>();
  Db->SetConnectionString("Provider=Scripted");
  Db->Open();
  DbBeginTran();
  EXPECT_EQ(Db->TranCount(), 1);
  DbEndTran(true);
  EXPECT_EQ(db_.commits, 1);
  Db.reset();
}

class ReconnectTest : public ScriptedSession {
 protected:
  void SetUp() override {
    ScriptedSession::SetUp();
    db_.Add("Grava", {}, [this](Parameters* p, std::vector<Recordset>*) {
      if (fail_with_.empty()) {
        Retorna(p, 0);
        return;
      }
      if (drop_link_) db_.lost = true;
      throw ProviderError(fail_with_);
    });
    cmd_ = s_.TomaDataSet(CommandType::kStoredProc, "Grava");
  }
  void TearDown() override { s_.DevolveDataSet(&cmd_); }

  std::string fail_with_;
  bool drop_link_ = false;
  std::unique_ptr<Command> cmd_;
};

TEST_F(ReconnectTest, LostLinkBackAfterTwoFailedOpensRepeatsTheCallOnce) {
  db_.lost = true;
  db_.opens_to_fail = 2;
  LogCapture log;
  EXPECT_EQ(ExecStProc(cmd_, 0), 0);
  EXPECT_EQ(db_.calls["Grava"], 1);
  EXPECT_EQ(db_.opens, 1 + 3);
  EXPECT_TRUE(log.Has("TAdoDataBaseComInfoTran.TentaReconectar #1 ExecStProc-Grava"));
  EXPECT_TRUE(log.Has("TAdoDataBaseComInfoTran.TentaReconectar #3 ExecStProc-Grava"));
  EXPECT_FALSE(log.HasPrefix("TAdoDataBaseComInfoTran.TentaReconectar #4"));
  EXPECT_TRUE(log.Has("TAdoDataBaseComInfoTran.TentaReconectar result:Y"));
  EXPECT_TRUE(
      log.HasPrefix("exception ProviderError:[DBNETLIB][ConnectionOpen (Connect()).]SQL "
                    "Server does not exist TAdoDataBaseComInfoTran.TentaReconectar #1"));
  EXPECT_TRUE(
      log.HasPrefix("exception ProviderError:[DBNETLIB][ConnectionWrite (send()).]General "
                    "network error ExecStProc->TentaReconectar"));
}

TEST_F(ReconnectTest, LiveProbeMeansNoAttemptAndNoRepeat) {
  fail_with_ = "Transaction was deadlocked";
  LogCapture log;
  EXPECT_EQ(ExecStProc(cmd_, 0), 3939);
  EXPECT_EQ(db_.calls["Grava"], 1);
  EXPECT_EQ(db_.probes, 1);
  EXPECT_EQ(db_.opens, 1);
  EXPECT_TRUE(log.Has(
      "TAdoDataBaseComInfoTran.TentaReconectar detected it is still connected; ExecStProc-Grava"));
  EXPECT_TRUE(log.Has("TAdoDataBaseComInfoTran.TentaReconectar result:N"));
  EXPECT_TRUE(log.Has("ExecStProc erro:3939 ProviderError:Transaction was deadlocked"));
}

TEST_F(ReconnectTest, TwentyFailedAttemptsGiveUp) {
  db_.lost = true;
  db_.opens_to_fail = 1000;
  LogCapture log;
  EXPECT_EQ(ExecStProc(cmd_, 0), 3939);
  EXPECT_EQ(db_.opens, 1 + 20);
  EXPECT_TRUE(log.Has("TAdoDataBaseComInfoTran.TentaReconectar #20 ExecStProc-Grava"));
  EXPECT_TRUE(log.Has("TAdoDataBaseComInfoTran.TentaReconectar result:N"));
  EXPECT_FALSE(s_.Connected());
}

TEST_F(ReconnectTest, WithoutAutoReconnectNothingIsTried) {
  s_.SetAutoReconnect(false);
  db_.lost = true;
  EXPECT_EQ(ExecStProc(cmd_, 0), 3939);
  EXPECT_EQ(db_.probes, 0);
  EXPECT_EQ(db_.opens, 1);
  EXPECT_FALSE(s_.TentaReconectar("x"));
}

TEST_F(ReconnectTest, ALinkThatDropsOnEveryCallEndsAfterBoundedRepeats) {
  fail_with_ = "General network error";
  drop_link_ = true;
  EXPECT_EQ(ExecStProc(cmd_, 0), 3939);
  EXPECT_EQ(db_.calls["Grava"], 21);
}

TEST_F(ReconnectTest, WrongTypeMessagesGive3542WithoutProbe) {
  const char* messages[] = {
      "Application uses a value of the wrong type for the current operation",
      "O aplicativo est\xE1 usando um valor incorreto para a opera\xE7\xE3o atual",
  };
  for (const char* m : messages) {
    fail_with_ = m;
    LogCapture log;
    EXPECT_EQ(ExecStProc(cmd_, 0), 3542);
    EXPECT_TRUE(log.Has(std::string("ExecStProc Grava CRS:0 error:3542 ") + m));
  }
  EXPECT_EQ(db_.probes, 0);
  // A message that differs from both is an ordinary provider error.
  fail_with_ = "Application uses a value of the wrong type for the current operation.";
  EXPECT_EQ(ExecStProc(cmd_, 0), 3939);
  EXPECT_EQ(db_.probes, 1);
}

TEST_F(ReconnectTest, CodeOfAnEDBExceptionIsKeptAndNoReconnect) {
  db_.Add("Raises", {}, [](Parameters*, std::vector<Recordset>*) { throw EDBException(5555); });
  auto c = s_.TomaDataSet(CommandType::kStoredProc, "Raises");
  EXPECT_EQ(ExecStProc(c, 0), 5555);
  EXPECT_EQ(db_.probes, 0);
  s_.DevolveDataSet(&c);
}

TEST(VersaoDoTextoTest, PrefixTable) {
  struct Row {
    const char* text;
    int32_t want;
  };
  const Row rows[] = {
      {"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86)", 1},
      {"Microsoft SQL Server 7.00 - 7.00.623", 0},
      {"Microsoft SQL Server 2000 - 8.00.2039", 2},
      {"Microsoft SQL Server 2005 - 9.00.5000.00", 3},
      {"Microsoft SQL Server 2008 R2 (SP2)", 4},
      {"Microsoft SQL Server 2012 - 11.0", 5},
      {"Microsoft SQL Server 2014 - 12.0", 6},
      {"Microsoft SQL Server 2016 (SP1)", 7},
      {"Microsoft SQL Server 2017 (RTM-CU13)", 8},
      {"Microsoft SQL Server 2019 (RTM)", 0},
      {"microsoft SQL Server 2008", 0},
      {"", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(VersaoDoTexto(r.text), r.want) << r.text;
}

TEST_F(ScriptedSession, DetectaVersaoSetsReturnValueName) {
  struct Row {
    const char* text;
    int32_t version;
    const char* name;
  };
  const Row rows[] = {
      {"Microsoft SQL Server 2005 - 9.00", 3, "@RETURN_VALUE"},
      {"Microsoft SQL Server  7.00 - 7.00.623", 1, "RETURN_VALUE"},
      {"SQLite 3.40 (ZunInput embedded)", 0, "RETURN_VALUE"},
      {"Microsoft SQL Server 2000 - 8.00", 2, "@RETURN_VALUE"},
  };
  for (const Row& r : rows) {
    db_.version_text = r.text;
    DetectaVersaoDoServidor(&s_);
    EXPECT_EQ(VersaoDoServidor, r.version) << r.text;
    EXPECT_EQ(NomeDoRetorno, r.name) << r.text;
  }
  EXPECT_EQ(s_.DsAcc(), 0);
  EXPECT_EQ(s_.DsCacheSlot(0), nullptr);

  // The return value is then read under the new name.
  db_.Add(
      "New", {},
      [](Parameters* p, std::vector<Recordset>*) {
        p->ParamByName("@RETURN_VALUE").value = Value::Int(61);
      },
      "@RETURN_VALUE");
  auto c = s_.TomaDataSet(CommandType::kStoredProc, "New");
  EXPECT_EQ(ExecStProc(c, 0), 61);
  s_.DevolveDataSet(&c);
  NomeDoRetorno = "RETURN_VALUE";
  VersaoDoServidor = 0;
}

}  // namespace
}  // namespace zun
