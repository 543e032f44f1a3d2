// ExecStProc in its modes, LerResult, the slow-call log and LogStProc, on the
// scripted provider.
#include "toolbox/dbutil/st_proc.h"

#include <gtest/gtest.h>

#include "foundation/momento.h"
#include "log_capture.h"
#include "scripted_fixture.h"

namespace zun {
namespace {

uint32_t g_tick = 0;
uint32_t Tick() { return g_tick; }

Recordset Rs(std::vector<std::string> cols, std::vector<std::vector<Value>> rows) {
  Recordset rs(std::move(cols));
  for (auto& r : rows) rs.AddRow(std::move(r));
  return rs;
}

class StProcTest : public ScriptedSession {
 protected:
  void SetUp() override {
    ScriptedSession::SetUp();
    db_.Add("Calc", {In("@a", DataType::kInteger), Out("@dobro", DataType::kInteger)},
            [this](Parameters* p, std::vector<Recordset>* out) {
              const int32_t a = p->ParamByName("@a").value.AsInt();
              p->ParamByName("@dobro").value = Value::Int(2 * a);
              for (auto& rs : sets_) out->push_back(rs);
              Retorna(p, ret_);
            });
    cmd_ = s_.TomaDataSet(CommandType::kStoredProc, "Calc");
    cmd_->Params().ParamByName("@a").value = Value::Int(21);
  }
  void TearDown() override { s_.DevolveDataSet(&cmd_); }

  int32_t ret_ = 0;
  std::vector<Recordset> sets_;
  std::unique_ptr<Command> cmd_;
};

TEST_F(StProcTest, ModeZeroGivesReturnValueAndOutputs) {
  ret_ = 0;
  EXPECT_EQ(ExecStProc(cmd_, 0), 0);
  EXPECT_EQ(cmd_->Params().ParamByName("@dobro").value.AsInt(), 42);
  ret_ = 4182;
  EXPECT_EQ(ExecStProc(cmd_, 0), 4182);
  EXPECT_FALSE(cmd_->Active());
}

TEST_F(StProcTest, ModeOneReadsResultColumnNotReturnValue) {
  ret_ = 99;
  struct Row {
    Value result;
    int32_t want;
  };
  const Row rows[] = {{Value::Int(0), 0}, {Value::Int(3877), 3877}, {Value::String("12"), 12}};
  for (const Row& r : rows) {
    sets_ = {Rs({"id", "Result"}, {{Value::Int(1), r.result}})};
    EXPECT_EQ(ExecStProc(cmd_, 1), r.want);
    EXPECT_TRUE(cmd_->Active());
    cmd_->Close();
  }
  EXPECT_EQ(db_.calls["Calc"], 3);
}

TEST_F(StProcTest, ModeOneWithoutUsableResult) {
  struct Row {
    std::vector<Recordset> sets;
    int32_t want;
  };
  const Row rows[] = {
      {{Rs({"id"}, {{Value::Int(1)}})}, 4090},             // no "result" column
      {{}, 4091},                                          // no result set at all
      {{Rs({"result"}, {})}, 4370},                        // no current row
      {{Rs({"result"}, {{Value::String("abc")}})}, 4370},  // unreadable value
      {{Rs({"result"}, {{Value()}})}, 4370},               // NULL is not a success
  };
  for (const Row& r : rows) {
    sets_ = r.sets;
    cmd_->Close();
    LogCapture log;
    EXPECT_EQ(ExecStProc(cmd_, 1), r.want);
    EXPECT_EQ(log.HasPrefix("GRAESP Calc error:4370 DatasetError "), r.want == 4370);
  }
}

TEST_F(StProcTest, ModeOneOnOpenResultSetGives4097WithoutCalling) {
  sets_ = {Rs({"result"}, {{Value::Int(0)}})};
  ASSERT_EQ(ExecStProc(cmd_, 1), 0);
  LogCapture log;
  EXPECT_EQ(ExecStProc(cmd_, 1), 4097);
  EXPECT_TRUE(log.Has("ExStProc erro:4097 Calc"));
  EXPECT_EQ(db_.calls["Calc"], 1);
}

TEST_F(StProcTest, ModeTwoRunsOnceOpensRowsAndGivesReturnValue) {
  ret_ = 7;
  sets_ = {Rs({"x"}, {{Value::Int(10)}, {Value::Int(20)}})};
  EXPECT_EQ(ExecStProc(cmd_, 2), 7);
  EXPECT_EQ(db_.calls["Calc"], 1);
  ASSERT_TRUE(cmd_->Active());
  EXPECT_EQ(cmd_->Current().RecordCount(), 2);
  EXPECT_EQ(cmd_->Current().FieldByName("x").AsInt(), 10);
}

TEST_F(StProcTest, UnknownModesGive4089WithoutCalling) {
  for (int mode : {3, -1, 100}) {
    LogCapture log;
    EXPECT_EQ(ExecStProc(cmd_, mode), 4089) << mode;
    EXPECT_TRUE(log.Has("ExecStProc erro:4089 EDBException:EDBException:4089"));
  }
  EXPECT_EQ(db_.calls["Calc"], 0);
  EXPECT_EQ(db_.probes, 0);
}

TEST_F(StProcTest, SqlTextCommandGives3940) {
  auto text = s_.TomaDataSet(CommandType::kText, "SELECT 1");
  EXPECT_EQ(ExecStProc(text, 0), 3940);
  s_.DevolveDataSet(&text);
}

TEST_F(StProcTest, UnreadableReturnValueGives3998) {
  db_.Add("NoReturn", {}, [](Parameters*, std::vector<Recordset>*) {});
  auto c = s_.TomaDataSet(CommandType::kStoredProc, "NoReturn");
  LogCapture log;
  EXPECT_EQ(ExecStProc(c, 0), 3998);
  EXPECT_TRUE(log.HasPrefix("ExecStProc get return/result erro:3998 DatasetError:"));
  s_.DevolveDataSet(&c);
}

TEST_F(StProcTest, ExecStProcIdSetsId) {
  db_.Add("ById", {In("@id", DataType::kInteger)}, [](Parameters* p, std::vector<Recordset>*) {
    Retorna(p, p->ParamByName("@id").value.AsInt() + 1);
  });
  auto c = s_.TomaDataSet(CommandType::kStoredProc, "ById");
  EXPECT_EQ(ExecStProcId(c, 4000, 0), 4001);
  s_.DevolveDataSet(&c);
}

TEST_F(StProcTest, LerResultWithFecharMovesOnOnlyOnSuccess) {
  sets_ = {Rs({"result"}, {{Value::Int(0)}}), Rs({"y"}, {{Value::Int(5)}})};
  ASSERT_EQ(ExecStProc(cmd_, 2), 0);
  EXPECT_EQ(LerResult(cmd_, true), 0);
  EXPECT_EQ(cmd_->Current().FieldName(0), "y");

  sets_ = {Rs({"result"}, {{Value::Int(8)}}), Rs({"y"}, {{Value::Int(5)}})};
  ASSERT_EQ(ExecStProc(cmd_, 2), 0);
  EXPECT_EQ(LerResult(cmd_, true), 8);
  EXPECT_EQ(cmd_->Current().FieldName(0), "result");
}

class SlowCallTest : public StProcTest {
 protected:
  void SetUp() override {
    StProcTest::SetUp();
    g_tick = 1000;
    SetTickSource(&Tick);
    db_.Add("Lenta",
            {In("@n", DataType::kInteger), In("@s", DataType::kString),
             In("@nada", DataType::kDouble), In("@blob", DataType::kBinary)},
            [this](Parameters* p, std::vector<Recordset>*) {
              g_tick += took_ms_;
              Retorna(p, 0);
            });
    slow_ = s_.TomaDataSet(CommandType::kStoredProc, "Lenta");
    slow_->Params().ParamByName("@n").value = Value::Int(17);
    slow_->Params().ParamByName("@s").value = Value::String("abc");
    slow_->Params().ParamByName("@blob").value = Value::Binary(std::string("\0\1\2", 3));
  }
  void TearDown() override {
    SetTickSource(nullptr);
    s_.DevolveDataSet(&slow_);
    StProcTest::TearDown();
  }
  uint32_t took_ms_ = 0;
  std::unique_ptr<Command> slow_;
};

TEST_F(SlowCallTest, CallAboveFiveSecondsIsLoggedWithParameters) {
  took_ms_ = 6254;
  LogCapture log;
  EXPECT_EQ(ExecStProc(slow_, 0), 0);
  const std::vector<std::string> want = {
      "- proc Lenta ct:3 : ExecStProc succeeded but took too long: 6.25s",
      "- #0 RETURN_VALUE : 0",
      "- #1 @n : 17",
      "- #2 @s : abc",
      "- #3 @nada : NULL",
      "- #4 @blob : Blob:3bytes",
  };
  EXPECT_EQ(log.Lines(), want);
}

TEST_F(SlowCallTest, CallOfFiveSecondsIsNotLogged) {
  took_ms_ = 5000;
  LogCapture log;
  EXPECT_EQ(ExecStProc(slow_, 0), 0);
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(SlowCallTest, LogStProcOfSqlTextShowsKindOne) {
  auto text = s_.TomaDataSet(CommandType::kText, "SELECT 1");
  LogCapture log;
  LogStProc("msg", text);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"- proc SELECT 1 ct:1 : msg"});
  s_.DevolveDataSet(&text);
}

}  // namespace
}  // namespace zun
