// The ODBC provider against a real server through the real driver manager:
// PostgreSQL with psqlODBC, on the throw-away cluster that the test fixture
// starts (scripts/pg-cluster.sh). Inputs and outputs of every type, an
// unknown procedure, and a killed backend that the session reconnects.
// Describing, return values, result sets, transactions and errors by kind
// through a real driver: the TDS tier (tds_wire_test and the service's
// examples over TDS).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

std::string SocketDir() {
  std::ifstream f(std::string(ZUN_TEST_BINARY_DIR) + "/pg-cluster.state");
  std::string dir;
  std::getline(f, dir);
  return dir;
}

std::string Cs() {
  return "Provider=ODBC;Odbc Driver=PostgreSQL Unicode;Data Source=" + SocketDir() +
         ";Initial Catalog=postgres;User ID=zun;Password=x;Application Name=ZunInput";
}

const char* const kSchema[] = {
    "DROP TABLE IF EXISTS zc",
    "CREATE TABLE zc(id serial PRIMARY KEY, s varchar(20) UNIQUE)",
    "CREATE OR REPLACE FUNCTION zc_eco(INOUT i integer, INOUT g bigint, INOUT d float8,"
    " INOUT t timestamp(3), INOUT b boolean, INOUT s varchar(20), INOUT x bytea) AS $$"
    " BEGIN s := s || '!'; END $$ LANGUAGE plpgsql",
    "CREATE OR REPLACE FUNCTION zc_grava(v varchar(20)) RETURNS integer AS $$"
    " INSERT INTO zc(s) VALUES (v) RETURNING 0 $$ LANGUAGE sql",
};

class PostgresContract : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SocketDir().empty()) {
      if (std::getenv("CI") != nullptr)
        FAIL() << "PostgreSQL must run in CI: install it (make deps)";
      GTEST_SKIP() << "PostgreSQL is not installed: the PostgreSQL tier did not run";
    }
    c_.SetConnectionString(Cs());
    c_.Open();
    for (const char* sql : kSchema) c_.Execute(sql);
  }
  Connection c_;
};

TEST_F(PostgresContract, InputsComeBackAsOutputsOfEveryType) {
  const Value rows[][7] = {
      {Value::Int(-7), Value::BigInt(int64_t{1} << 40), Value::Double(2.25),
       Value::DateTime(45000.5 + 0.123 / 86400), Value::Bool(true), Value::String("ol\xE1 \x80"),
       Value::Binary(std::string("\0\xFF", 2))},
      {Value(), Value(), Value(), Value(), Value(), Value(), Value()},
  };
  Command cmd(&c_, CommandType::kStoredProc, "zc_eco");
  for (const auto& row : rows) {
    for (int i = 0; i < 7; ++i) cmd.Params()[i].value = row[i];
    cmd.Execute();
    for (int i = 0; i < 6; ++i) {
      if (i == 3 && !row[i].IsNull()) {
        EXPECT_NEAR(cmd.Params()[i].value.AsDateTime(), row[i].AsDateTime(), 0.0005 / 86400);
      } else if (i == 4 && !row[i].IsNull()) {
        // psqlODBC hands booleans out as the text "1" or "0".
        EXPECT_EQ(cmd.Params()[i].value.AsBool(), row[i].AsBool());
      } else if (i == 5 && !row[i].IsNull()) {
        EXPECT_EQ(cmd.Params()[i].value.AsString(), row[i].AsString() + "!");
      } else {
        EXPECT_EQ(cmd.Params()[i].value, row[i]) << cmd.Params()[i].name;
      }
    }
    EXPECT_EQ(cmd.Params()[6].value.Bytes(), row[6].Bytes());
  }
  try {
    Command unknown(&c_, CommandType::kStoredProc, "zc_nenhuma");
    ADD_FAILURE() << "an unknown procedure was described";
  } catch (const ProviderError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kOther);
  }
}

TEST_F(PostgresContract, AKilledBackendIsReconnectedAndTheCallRepeated) {
  TAdoDataBaseComInfoTran s;
  s.SetConnectionString(Cs());
  s.SetAutoReconnect(true);
  s.Open();
  auto cmd = s.TomaDataSet(CommandType::kStoredProc, "zc_grava");
  Command pid(&s, CommandType::kText, "SELECT pg_backend_pid()");
  pid.Open();
  c_.Execute("SELECT pg_terminate_backend(" + pid.Current().Field(0).AsString() + ")");
  pid.Close();
  cmd->Params().ParamByName("@v").value = Value::String("depois");
  EXPECT_EQ(ExecStProc(cmd, 0), 0);
  EXPECT_TRUE(s.Connected());
  Command rows(&c_, CommandType::kText, "SELECT count(*) FROM zc");
  rows.Open();
  EXPECT_EQ(rows.Current().Field(0).AsInt(), 1);
  s.DevolveDataSet(&cmd);
}

}  // namespace
}  // namespace zun
