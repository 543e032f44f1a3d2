// The session against the embedded database: the cache, the call modes and
// their codes, NULL rules and byte ranges through real procedures, the slow
// call log, nested transactions with the forced rollback, grouped commits,
// reconnection and the free forms on Db.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include <bit>

#include "../../support/db_fixture.h"
#include "../../support/fake_tick.h"
#include "../../support/log_capture.h"
#include "embedded/procedure_catalog.h"
#include "foundation/momento.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

// A new reference database with user "tester"/"pw" and table t in dir; its
// connection string.
std::string CriaBanco(const std::string& dir) {
  SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/dbutil_test.log");
  RegisterSqliteProvider();
  InitDatabase(dir + "/dbutil.db");
  AddUser(dir + "/dbutil.db", {"tester", "pw", "", false, 0, 0, 0});
  Rows(dir + "/dbutil.db",
       "CREATE TABLE t(id INTEGER PRIMARY KEY, a INTEGER, b TEXT, c REAL, d DATETIME, flag "
       "INTEGER)");
  return "Provider=SQLite;Data Source=local;Initial Catalog=dbutil;Data Directory=" + dir +
         ";User ID=tester;Password=pw";
}

// Rows of table t as seen by session s, through the look-up ZtConta.
int Linhas(TAdoDataBaseCustomizado* s) {
  auto cmd = s->TomaDataSet(CommandType::kStoredProc, "ZtConta");
  EXPECT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), 0);
  const int n = cmd->Params().ParamByName("@n").value.AsInt();
  s->DevolveDataSet(&cmd);
  return n;
}

uint32_t g_passo_ms = 0;  // test-clock milliseconds one ZtAdd call takes
int g_sel_calls = 0;

// One ZtAdd call with a and b on s; returns its code.
int32_t Add(TAdoDataBaseComInfoTran* s, int32_t a, const char* b = "b") {
  return ChamaProc(*s, "ZtAdd", {{"@a", Value::Int(a)}, {"@b", Value::String(b)}});
}

void Registra() {
  using D = DataType;
  constexpr auto kIO = ParamDirection::kInputOutput;
  RegisterProcedure("ZtAdd",
                    {{"@a", D::kInteger},
                     {"@b", D::kString},
                     {"@c", D::kDouble},
                     {"@d", D::kDateTime},
                     {"@flag", D::kBoolean},
                     {"@o", D::kInteger, kIO},
                     {"@s", D::kString, kIO},
                     {"@dt", D::kDateTime, kIO}},
                    [](ProcContext& c) {
                      c.Exec("INSERT INTO t(a, b, c, d, flag) VALUES (?, ?, ?, ?, ?)",
                             {c.In("@a"), c.In("@b"), c.In("@c"), c.In("@d"), c.In("@flag")});
                      c.Out("@o", c.In("@a"));
                      c.Out("@s", c.In("@b").IsNull()
                                      ? Value()
                                      : Value::String(" x" + c.In("@b").AsString() + " "));
                      c.Out("@dt", c.In("@d"));
                      g_fake_tick += g_passo_ms;
                      if (c.In("@b").AsString() == "erro") c.Return(4182);
                    });
  // One result set per ";"-separated query of @q; the return value is @id.
  RegisterProcedure("ZtSel", {{"@q", D::kString}, {"@id", D::kInteger}}, [](ProcContext& c) {
    ++g_sel_calls;
    const std::string q = c.In("@q").AsString();
    for (size_t b = 0, e; b < q.size(); b = e + 1) {
      e = std::min(q.find(';', b), q.size());
      c.AddResult(c.Query(q.substr(b, e - b)));
    }
    c.Return(c.In("@id").IsNull() ? 0 : c.In("@id").AsInt());
  });
  RegisterProcedure(
      "ZtConta", {{"@n", D::kInteger, kIO}},
      [](ProcContext& c) {
        Recordset rs = c.Query("SELECT COUNT(*) FROM t");
        rs.First();
        c.Out("@n", rs.Field(0));
      },
      /*read_only=*/true);
}

// What getter g reads from name on cmd, over a start value it must replace.
template <class T>
T Le(void (*g)(DsRef, const std::string&, T*), DsRef cmd, const std::string& name,
     std::type_identity_t<T> v = T{1}) {
  g(cmd, name, &v);
  return v;
}

int32_t CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDBException& e) {
    return e.Code();
  }
  return 0;
}

class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Registra();
    s_.SetConnectionString(CriaBanco(dir_ = ScratchDir("zundbutil")));
    s_.SetAutoReconnect(true);
    s_.Open();
    other_.SetConnectionString(s_.GetConnectionString());
    other_.Open();
    g_fake_tick = g_passo_ms = 0;
    g_sel_calls = 0;
    SetTickSource(&FakeTick);
  }
  void TearDown() override {
    SetTickSource(nullptr);
    s_.Close();
    other_.Close();
    std::filesystem::remove_all(dir_);
  }
  std::unique_ptr<Command> Take(const std::string& proc) {
    return s_.TomaDataSet(CommandType::kStoredProc, proc);
  }
  int32_t Add(int32_t a, const char* b = "b") { return zun::Add(&s_, a, b); }
  // ZtSel on q in mode 2; the caller gives the command back.
  std::unique_ptr<Command> Select(const std::string& q) {
    auto cmd = Take("ZtSel");
    SetParamStr(cmd, "@q", q);
    EXPECT_EQ(ExecStProcId(cmd, 0, ModoStProc::kExecutaEAbre), 0) << q;
    return cmd;
  }
  TAdoDataBaseComInfoTran s_, other_;  // other_: another process's view
  std::string dir_;
};

TEST_F(SqliteTest, GivenBackObjectIsClosedAndKeyedByKindAndExactText) {
  auto a = Select("SELECT 1 AS x");
  ASSERT_TRUE(a->Active());
  Command* raw = a.get();
  s_.DevolveDataSet(&a);
  auto b = Take("ZtSel");
  EXPECT_EQ(b.get(), raw);
  EXPECT_FALSE(b->Active());
  s_.DevolveDataSet(&b);
  auto text = s_.TomaDataSet(CommandType::kText, "ZtSel");
  auto lower = Take("ztsel");  // another text: a new object
  EXPECT_NE(text.get(), raw);
  EXPECT_NE(lower.get(), raw);
  EXPECT_THROW(Take("ZtMissing"), ProviderError);
  EXPECT_EQ(s_.DsAcc(), 2);  // the failed take lent nothing
  s_.DevolveDataSet(&text);
  s_.DevolveDataSet(&lower);
}

TEST_F(SqliteTest, ModesAndTheirCodes) {
  struct Row {
    const char* proc;
    const char* q;
    int mode;
    int32_t want;
    bool active;
  };
  const Row rows[] = {
      {"ZtSel", "SELECT 3877 AS result", 0, 77, false},
      {"ZtSel", "SELECT 3877 AS result", 2, 77, true},
      {"ZtSel", "SELECT 3877 AS result", 1, 3877, true},  // not the return value
      {"ZtSel", "SELECT '12' AS Result", 1, 12, true},
      {"ZtSel", "SELECT 1 AS x", 1, 4090, true},
      {"ZtConta", "", 1, 4091, false},
      {"ZtSel", "SELECT 1 AS result WHERE 0", 1, 4370, true},
      {"ZtSel", "SELECT 'abc' AS result", 1, 4370, true},
      {"ZtSel", "SELECT NULL AS result", 1, 4370, true},  // NULL is not a success
      {"ZtSel", "SELECT 0 AS result", 3, 4089, false},
      {"ZtSel", "SELECT 0 AS result", -1, 4089, false},
      // Run once: the link is alive, nothing is repeated; the insert is undone.
      {"ZtSel", "INSERT INTO t(a) VALUES (1); SELECT 1 FROM missing_table", 0, 3939, false},
      {"ZtAdd", "abc", 0, 3542, false},  // text for an integer
  };
  for (const Row& r : rows) {
    auto cmd = Take(r.proc);
    const bool sel = std::string(r.proc) == "ZtSel";
    if (sel) SetParamStr(cmd, "@q", r.q);
    if (std::string(r.proc) == "ZtAdd") SetParamStr(cmd, "@a", r.q);
    g_sel_calls = 0;
    const auto modo = static_cast<ModoStProc>(r.mode);
    EXPECT_EQ(sel ? ExecStProcId(cmd, 77, modo) : ExecStProc(cmd, modo), r.want)
        << r.proc << " " << r.q << " mode " << r.mode;
    EXPECT_EQ(cmd->Active(), r.active) << r.q << " mode " << r.mode;
    if (r.want == 3877) {
      EXPECT_EQ(ExecStProc(cmd, ModoStProc::kLeResult), 4097);  // still open: not run again
    }
    EXPECT_EQ(g_sel_calls, sel && r.want != 4089 ? 1 : 0) << r.q << " mode " << r.mode;
    if (sel && r.mode == 0 && r.want == 77) {
      // Result sets left by mode 0 are not read as mode 1's.
      SetParamStr(cmd, "@q", "SELECT 4321 AS result");
      EXPECT_EQ(ExecStProc(cmd, ModoStProc::kLeResult), 4321);
    }
    s_.DevolveDataSet(&cmd);
  }
  auto text = s_.TomaDataSet(CommandType::kText, "SELECT 1");
  EXPECT_EQ(ExecStProc(text, ModoStProc::kExecuta), 3940);
  s_.DevolveDataSet(&text);
  EXPECT_EQ(Add(1), 0);
  EXPECT_EQ(Add(-1, "erro"), 4182);  // a failure code undoes the procedure's insert
  EXPECT_EQ(Linhas(&s_), 1);         // and so does the failed call's error
}

TEST_F(SqliteTest, LerResultMovesOnOnlyOnSuccess) {
  auto cmd = Select("SELECT 0 AS result; SELECT 5 AS y");
  EXPECT_EQ(LerResult(cmd, true), 0);
  EXPECT_EQ(cmd->Current().FieldName(0), "y");
  s_.DevolveDataSet(&cmd);
  cmd = Select("SELECT 8 AS result; SELECT 5 AS y");
  EXPECT_EQ(LerResult(cmd, true), 8);
  EXPECT_EQ(cmd->Current().FieldName(0), "result");
  s_.DevolveDataSet(&cmd);
}

// Inside a nest, a lost link (it takes the transaction with it) or a
// statement after which SQLite rolls back the whole transaction, not just
// the call's savepoint (an interrupted write), fails the call, which is not
// repeated on its own, and the nest: its later calls go to a new
// transaction that is never committed alone.
TEST_F(SqliteTest, ATransactionLostInsideANestFailsTheCallAndTheNest) {
  for (bool link_lost : {true, false}) {
    SCOPED_TRACE(link_lost ? "link lost" : "transaction undone");
    s_.BeginTran();
    ASSERT_EQ(Add(1), 0);
    auto cmd = Take(link_lost ? "ZtAdd" : "ZtSel");
    if (link_lost) {
      SetParamInt(cmd, "@a", 2);
      s_.Close();
    } else {
      cmd->SetCommandTimeout(1);
      SetParamStr(cmd, "@q",
                  "INSERT INTO t(a) SELECT x FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                  "SELECT x + 1 FROM c LIMIT 1000000000) SELECT x FROM c) WHERE x < 0");
    }
    EXPECT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), 3939);
    s_.DevolveDataSet(&cmd);
    EXPECT_TRUE(s_.TranFailed());
    ASSERT_EQ(Add(3), 0);  // still inside the nest
    s_.EndTran(false);
    EXPECT_EQ(Linhas(&s_), 0);
  }
  // A link lost with no call to notice it: the nest's end has nothing left
  // to roll back, and a commit it cannot make is a code, not an assertion.
  for (const bool ok : {false, true}) {
    s_.BeginTran();
    ASSERT_EQ(Add(4), 0);
    s_.Close();
    EXPECT_EQ(CodeOf([&] { s_.EndTran(ok); }), ok ? 3939 : 0);
    s_.Open();
  }
  EXPECT_EQ(Linhas(&s_), 0);
}

TEST_F(SqliteTest, NullRulesOfSettersAndParameterGetters) {
  auto cmd = Take("ZtAdd");
  SetParamInt(cmd, "@a", 7);
  SetParamStr(cmd, "@b", "  Vale \t");
  SetParamFloat(cmd, "@c", 0.0);
  SetParamDateTime(cmd, "@d", 45000.5);
  SetParamBool(cmd, "@flag", true);
  ASSERT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), 0);
  EXPECT_EQ(std::make_tuple(Le(GetParamStr, cmd, "@s"), Le(GetParamDateTime, cmd, "@dt"),
                            Le(GetParamInt, cmd, "@o"), ParamInt(cmd, "@o")),
            std::make_tuple(std::string("xVale"), 45000.5, 7, 7));
  SetParamNull(cmd, "@a");
  SetParamNull(cmd, "@b");
  SetParamFloat(cmd, "@c", NuloFloat());
  SetParamDateTime(cmd, "@d", 0);
  SetParamNull(cmd, "@flag");
  ASSERT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), 0);
  EXPECT_EQ(std::make_pair(Le(GetParamStr, cmd, "@s"), Le(GetParamDateTime, cmd, "@dt")),
            std::make_pair(std::string(), 0.0));
  EXPECT_THROW(ParamInt(cmd, "@o"), DatasetError);
  EXPECT_THROW(Le(GetParamBool, cmd, "@flag"), DatasetError);
  EXPECT_THROW(SetParamInt(cmd, "@nao", 1), DatasetError);
  // Any quiet NaN, whatever its sign and payload, is the null number.
  const std::pair<uint64_t, bool> nans[] = {{0x7FF8000000000000ULL, true},
                                            {0x7FF4000000000000ULL, false},   // signalling
                                            {0x7FF0000000000000ULL, false}};  // infinity
  for (const auto& [bits, null] : nans) {
    SetParamFloat(cmd, "@c", std::bit_cast<double>(bits));
    SetParamDateTime(cmd, "@d", std::bit_cast<double>(bits));
    EXPECT_EQ(cmd->Params().ParamByName("@c").value.IsNull(), null) << bits;
    EXPECT_EQ(cmd->Params().ParamByName("@d").value.IsNull(), null) << bits;
  }
  SetParamBool(cmd, "@flag", true);
  EXPECT_TRUE(Le(GetParamBool, cmd, "@flag", false));
  s_.DevolveDataSet(&cmd);

  // Both rows: every getter overwrites its start value, a NULL included.
  auto list = Select("SELECT a, b, c, d, flag FROM t ORDER BY id");
  EXPECT_EQ(
      std::make_tuple(FieldInt(list, "a"), Le(GetFieldStr, list, "b"), Le(GetFieldFloat, list, "c"),
                      Le(GetFieldDateTime, list, "d"), Le(GetFieldBool, list, "flag", false)),
      std::make_tuple(7, std::string("Vale"), 0.0, 45000.5, true));
  list->Current().Next();
  EXPECT_EQ(std::make_tuple(Le(GetFieldInt, list, "a"), Le(GetFieldStr, list, "b"),
                            std::bit_cast<uint64_t>(Le(GetFieldFloat, list, "c")),
                            Le(GetFieldDateTime, list, "d"), Le(GetFieldBool, list, "flag"),
                            Le(GetFieldByte, list, "a")),
            std::make_tuple(0, std::string(), 0xFFF8000000000000ULL, 0.0, false, uint8_t{0}));
  s_.DevolveDataSet(&list);
}

TEST_F(SqliteTest, ColumnBooleansFallBackToIntegerAndBytesAreRangeChecked) {
  auto cmd = Select(
      "SELECT 2 AS b1, '7' AS b2, 'True' AS b3, '0' AS b4, 0.0 AS b5, 'talvez' AS b6, "
      "0 AS v0, 255 AS v1, 256 AS v2, -1 AS v3");
  const std::pair<const char*, bool> bools[] = {
      {"b1", true}, {"b2", true}, {"b3", true}, {"b4", false}, {"b5", false}};
  for (const auto& [col, want] : bools) EXPECT_EQ(Le(GetFieldBool, cmd, col, !want), want) << col;
  EXPECT_THROW(Le(GetFieldBool, cmd, "b6"), DatasetError);
  const std::tuple<const char*, int32_t, int> bytes[] = {
      {"v0", 0, 0}, {"v1", 0, 255}, {"v2", 4016, 0}, {"v3", 4016, 0}};
  for (const auto& [col, code, want] : bytes) {
    uint8_t y = 0;
    EXPECT_EQ(CodeOf([&] { GetFieldByte(cmd, col, &y); }), code) << col;
    EXPECT_EQ(y, want) << col;
  }
  cmd->Close();
  EXPECT_THROW(Le(GetFieldStr, cmd, "b1"), DatasetError);
  s_.DevolveDataSet(&cmd);
}

TEST_F(SqliteTest, ParameterByteRanges) {
  struct Row {
    int32_t value, max, byte_code, max_code;
  };
  const Row rows[] = {{0, 0, 0, 0},     {255, 255, 0, 0},        {7, 6, 0, 25035},
                      {7, 7, 0, 0},     {256, 300, 4017, 25035}, {-1, 10, 4017, 25035},
                      {3, -1, 0, 25035}};
  auto cmd = Take("ZtAdd");
  for (const Row& r : rows) {
    SetParamInt(cmd, "@a", r.value);
    ASSERT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), 0);
    uint8_t y = 99;
    EXPECT_EQ(CodeOf([&] { GetParamByte(cmd, "@o", &y); }), r.byte_code) << r.value;
    EXPECT_EQ(y, r.byte_code == 0 ? r.value : 99);
    y = 99;
    EXPECT_EQ(CodeOf([&] { GetParamByteMax(cmd, "@o", r.max, &y); }), r.max_code) << r.value;
    EXPECT_EQ(y, r.max_code == 0 ? r.value : 99);
  }
  s_.DevolveDataSet(&cmd);
}

TEST_F(SqliteTest, SlowCallIsLoggedWithItsParameters) {
  auto cmd = Take("ZtAdd");
  SetParamInt(cmd, "@a", 5);
  SetParamStr(cmd, "@b", "PETR4");
  g_passo_ms = 6254;
  LogCapture log;
  ASSERT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), 0);
  EXPECT_TRUE(log.Has("- #2 @b : PETR4"));
  log.Mark();
  g_passo_ms = 10;
  ASSERT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), 0);
  EXPECT_TRUE(log.Lines().empty());
  s_.DevolveDataSet(&cmd);
}

TEST_F(SqliteTest, NestedTransactions) {
  s_.BeginTran();
  ASSERT_EQ(Add(1), 0);
  s_.BeginTran();
  EXPECT_EQ(s_.TranCount(), 2);
  s_.EndTran(false);
  EXPECT_TRUE(s_.InTransaction());
  s_.EndTran(false);  // rolls back once, at the outer level
  EXPECT_EQ(Linhas(&s_), 0);
  EXPECT_FALSE(s_.InTransaction());

  s_.BeginTran();
  EXPECT_FALSE(s_.TranFailed());  // a new nest starts clean
  ASSERT_EQ(Add(1), 0);
  s_.BeginTran();
  ASSERT_EQ(Add(2), 0);
  EXPECT_EQ(Add(3, "erro"), 4182);  // undoes its own row only
  s_.EndTran(true);
  EXPECT_EQ(Linhas(&other_), 0);
  s_.EndTran(true);
  EXPECT_EQ(Linhas(&other_), 2);
  EXPECT_THROW(s_.EndTran(true), EAssertionFailed);
  // Held by scopes: an exception or an early return rolls the nest back.
  for (const bool lanca : {true, false}) {
    try {
      const Transacao fora(s_);
      ASSERT_EQ(Add(5), 0);
      const Transacao dentro(s_);
      if (lanca) throw std::runtime_error("x");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(s_.TranCount(), 0);
    EXPECT_EQ(Linhas(&other_), 2);
  }
  Transacao t(s_);
  ASSERT_EQ(Add(5), 0);
  t.Termina(true);
  EXPECT_EQ(Linhas(&other_), 3);
  s_.BeginTrans();  // behind the session's back
  EXPECT_THROW(s_.BeginTran(), EAssertionFailed);
}

// A group: each call and each nest inside it keeps its own outcome; only the
// group's commits reach other connections; a lost link loses the group.
TEST_F(SqliteTest, GroupedCommits) {
  ASSERT_TRUE(s_.IniciaGrupo());
  EXPECT_FALSE(s_.IniciaGrupo());
  ASSERT_EQ(Add(1), 0);
  EXPECT_EQ(Add(2, "erro"), 4182);  // undoes its own row only
  s_.BeginTran();                   // a nest: a savepoint of the group
  ASSERT_EQ(Add(3), 0);
  s_.EndTran(false);
  s_.BeginTran();
  ASSERT_EQ(Add(4), 0);
  s_.EndTran(true);
  auto lookup = s_.TomaDataSet(CommandType::kStoredProc, "ZtConta");
  EXPECT_EQ(ExecStProc(lookup, ModoStProc::kExecuta), 0);
  s_.DevolveDataSet(&lookup);
  EXPECT_EQ(s_.ChamadasDoGrupo(), 4) << "a look-up does not count";
  EXPECT_EQ(Linhas(&other_), 0);
  s_.ConfirmaGrupo(true);
  EXPECT_EQ(Linhas(&other_), 2) << "the rows of calls 1 and 4";
  EXPECT_EQ(s_.ChamadasDoGrupo(), 0);
  ASSERT_EQ(Add(5), 0);
  s_.DesfazGrupo();
  EXPECT_FALSE(s_.InTransaction());
  EXPECT_EQ(Linhas(&other_), 2);

  ASSERT_TRUE(s_.IniciaGrupo());
  ASSERT_EQ(Add(6), 0);
  s_.Close();  // takes the group's transaction with it
  EXPECT_EQ(Add(7), 3939);
  EXPECT_TRUE(s_.GrupoPerdido());
  ASSERT_EQ(Add(8), 0);  // goes to a transaction that the group's end undoes
  s_.DesfazGrupo();
  EXPECT_EQ(Linhas(&other_), 2);
}

// Shared reads: look-ups share one snapshot for at most its bound, while
// another connection writes without waiting; a write of this connection, a
// transaction of its own and the end of the sharing each end the snapshot.
TEST_F(SqliteTest, SharedReads) {
  s_.SharedReads(60000);
  EXPECT_EQ(Linhas(&s_), 0);
  EXPECT_FALSE(s_.InTransaction());
  ASSERT_EQ(zun::Add(&other_, 1), 0);
  EXPECT_EQ(Linhas(&s_), 0) << "the same snapshot";
  ASSERT_EQ(Add(2), 0);
  EXPECT_EQ(Linhas(&other_), 2) << "a write commits at once";
  EXPECT_EQ(Linhas(&s_), 2);
  ASSERT_EQ(zun::Add(&other_, 3), 0);
  s_.BeginTran();
  ASSERT_EQ(Add(4), 0);
  s_.EndTran(true);
  EXPECT_EQ(Linhas(&s_), 4);
  ASSERT_EQ(zun::Add(&other_, 5), 0);
  s_.SharedReads(0);
  EXPECT_EQ(Linhas(&s_), 5);
  s_.SharedReads(1);
  EXPECT_EQ(Linhas(&s_), 5);
  ASSERT_EQ(zun::Add(&other_, 6), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(Linhas(&s_), 6) << "a newer snapshot after the bound";
}

TEST_F(SqliteTest, FreeFormsUseDbAndForeignObjectsAreFreedWithWarning) {
  EXPECT_EQ(CodeOf([] { TomaDataSet(CommandType::kStoredProc, "ZtConta"); }), 3718);

  Db = std::make_unique<TAdoDataBaseComInfoTran>();
  Db->SetConnectionString(s_.GetConnectionString());
  Db->Open();
  auto cmd = TomaDataSet(CommandType::kStoredProc, "ZtAdd");
  DevolveDataSet(cmd);
  EXPECT_EQ(cmd, nullptr);
  Db.reset();

  Connection plain;
  plain.SetConnectionString(s_.GetConnectionString());
  plain.Open();
  auto foreign = std::make_unique<Command>(&plain, CommandType::kStoredProc, "ZtConta");
  DevolveDataSet(foreign);
  EXPECT_EQ(foreign, nullptr);
}

TEST_F(SqliteTest, ForcedRollbackStopsWith250LeavingTheNestUncommitted) {
  // Forked, so that the child works on this process's database file.
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(
      {
        TAdoDataBaseComInfoTran s;
        s.SetConnectionString(s_.GetConnectionString());
        s.Open();
        if (zun::Add(&s, 1) != 0) std::exit(1);  // committed on its own
        s.BeginTran();
        s.BeginTran();
        if (zun::Add(&s, 2) != 0) std::exit(1);
        s.EndTran(false);
        s.EndTran(true);
        std::exit(0);
      },
      ::testing::ExitedWithCode(250), "");
  EXPECT_EQ(Linhas(&s_), 1);
}

}  // namespace
}  // namespace zun
