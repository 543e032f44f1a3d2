// Cost of one stored-procedure call through the whole session path
// (TomaDataSet, setters, ExecStProc, getters, DevolveDataSet) on the embedded
// database, next to the raw SQLite autocommit insert with the same pragmas.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "embedded/password_hash.h"
#include "embedded/procedure_catalog.h"
#include "foundation/log.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

const char kInsert[] = "INSERT INTO bench(a, b, c, d, e) VALUES (?, ?, ?, ?, ?)";

std::string BenchDir() {
  const auto dir = std::filesystem::temp_directory_path() / "zun_dbutil_bench";
  std::filesystem::create_directories(dir);
  return dir.string();
}

// A fresh database file DIR/name.db with a user and the bench table.
std::string FreshDb(const std::string& name) {
  const std::string path = BenchDir() + "/" + name + ".db";
  for (const char* ext : {"", "-wal", "-shm"}) std::remove((path + ext).c_str());
  sqlite3* db = OpenSqliteFile(path, true);
  const std::string sql =
      "CREATE TABLE users(name TEXT PRIMARY KEY, password_hash TEXT NOT NULL);"
      "CREATE TABLE bench(id INTEGER PRIMARY KEY, a INTEGER, b INTEGER, c REAL, d TEXT, e REAL);"
      "INSERT INTO users VALUES('bench', '" +
      HashPassword("pw") + "');";
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  return path;
}

void RegisterBenchProcedures() {
  using D = DataType;
  const std::vector<ProcParam> five = {{"@a", D::kInteger},
                                       {"@b", D::kInteger},
                                       {"@c", D::kDouble},
                                       {"@d", D::kString},
                                       {"@e", D::kDateTime}};
  std::vector<ProcParam> calc = five;
  calc.push_back({"@soma", D::kInteger, ParamDirection::kInputOutput});
  calc.push_back({"@eco", D::kString, ParamDirection::kInputOutput});
  RegisterProcedure("BenchCalc", calc, [](ProcContext& c) {
    c.Out("@soma", Value::Int(c.In("@a").AsInt() + c.In("@b").AsInt()));
    c.Out("@eco", c.In("@d"));
  });
  RegisterProcedure("BenchInsert", five, [](ProcContext& c) {
    c.Exec(kInsert, {c.In("@a"), c.In("@b"), c.In("@c"), c.In("@d"), c.In("@e")});
  });
}

class Session {
 public:
  explicit Session(const std::string& name) {
    SetLogFileName(BenchDir() + "/zuninput.log");
    RegisterBenchProcedures();
    FreshDb(name);
    s_.SetConnectionString("Provider=SQLite;Data Source=local;Initial Catalog=" + name +
                           ";Data Directory=" + BenchDir() + ";User ID=bench;Password=pw");
    s_.Open();
  }
  TAdoDataBaseComInfoTran& s() { return s_; }

 private:
  TAdoDataBaseComInfoTran s_;
};

void SetFive(const std::unique_ptr<Command>& cmd, int32_t i) {
  SetParamInt(cmd, "@a", i);
  SetParamInt(cmd, "@b", 2 * i);
  SetParamFloat(cmd, "@c", i * 0.5);
  SetParamStr(cmd, "@d", "PETR4");
  SetParamDateTime(cmd, "@e", 45000.5);
}

void BM_FullPath_Proc5In2Out(benchmark::State& state) {
  Session session("bench_calc");
  int32_t i = 0;
  for (auto _ : state) {
    auto cmd = session.s().TomaDataSet(CommandType::kStoredProc, "BenchCalc");
    SetFive(cmd, ++i);
    if (ExecStProc(cmd, ModoStProc::kExecuta) != 0) state.SkipWithError("call failed");
    int32_t soma = 0;
    std::string eco;
    GetParamInt(cmd, "@soma", &soma);
    GetParamStr(cmd, "@eco", &eco);
    benchmark::DoNotOptimize(soma);
    session.s().DevolveDataSet(&cmd);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FullPath_Proc5In2Out);

void BM_FullPath_InsertProc(benchmark::State& state) {
  Session session("bench_insert");
  int32_t i = 0;
  for (auto _ : state) {
    auto cmd = session.s().TomaDataSet(CommandType::kStoredProc, "BenchInsert");
    SetFive(cmd, ++i);
    if (ExecStProc(cmd, ModoStProc::kExecuta) != 0) state.SkipWithError("call failed");
    session.s().DevolveDataSet(&cmd);
  }
  // Every call must have left its row.
  std::vector<Recordset> rs;
  session.s().Provider().ExecuteSql("SELECT COUNT(*) FROM bench", 30, &rs);
  rs.at(0).First();
  if (rs.at(0).Field(0).AsInt64() != static_cast<int64_t>(state.iterations())) {
    state.SkipWithError("rows missing");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FullPath_InsertProc);

// The reference: the same row through one reused prepared statement, each
// insert its own implicit transaction, on a file opened with the provider's
// pragmas.
void BM_RawSqlite_AutocommitInsert(benchmark::State& state) {
  sqlite3* db = OpenSqliteFile(FreshDb("bench_raw"), false);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, kInsert, -1, &st, nullptr);
  // The provider stores a date-time as this text.
  const std::string date = Value::DateTime(45000.5).AsString();

  int32_t i = 0;
  for (auto _ : state) {
    ++i;
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_int(st, 2, 2 * i);
    sqlite3_bind_double(st, 3, i * 0.5);
    sqlite3_bind_text(st, 4, "PETR4", -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 5, date.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_close_v2(db);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawSqlite_AutocommitInsert);

}  // namespace
}  // namespace zun
