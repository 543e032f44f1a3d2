// The ODBC provider over a scripted ODBC layer, for what a driver may do
// that FreeTDS against the TDS test server does not (tds_wire_test): outputs
// written only once SQLMoreResults has answered SQL_NO_DATA, errors raised
// after the first result set, long text whose total the driver does not
// know (SQL_NO_TOTAL).
#include "toolbox/dbclient/odbc/odbc_provider.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "../../testbeds/scripted_odbc.h"
#include "toolbox/dbclient/command.h"

namespace zun {
namespace {

using namespace testing::odbc;

class OdbcScripted : public ::testing::Test {
 protected:
  void SetUp() override {
    g = &server_;
    RegisterProvider("ODBC", [] { return std::make_unique<OdbcConnection>(kScripted); });
    c_.SetConnectionString(
        "Provider=ODBC;Data Source=db1;Initial Catalog=Zun;User ID=u;Password=p");
    c_.Open();
  }
  void TearDown() override { UnregisterProvider("ODBC"); }
  // A procedure P: return value, an integer input, an output text of 30.
  void DefineP(std::vector<Step> steps) {
    server_.procs["P"] = {{{"@RETURN_VALUE", SQL_RETURN_VALUE, SQL_INTEGER, 10},
                           {"@n", SQL_PARAM_INPUT, SQL_INTEGER, 10},
                           {"@s", SQL_PARAM_INPUT_OUTPUT, SQL_VARCHAR, 30}},
                          std::move(steps),
                          {Value::Int(61), Value(),
                           Value::String("sa\xED"
                                         "da")}};
  }
  Server server_;
  Connection c_;
};

// Outputs written only once the last result set is read; an error after the
// first result set fails the call and leaves the connection and its
// transaction open; a long text read in pieces (SQL_NO_TOTAL) arrives whole.
TEST_F(OdbcScripted, ScriptedRunsOfAProcedure) {
  const std::string longo(5000, '\xE9');
  const std::pair<std::vector<Step>, int> rows[] = {
      {{Rows({{Value::String(longo)}}), Rows({{Value::String("a")}})}, 2},
      {{Rows({}), Error("42000", 50000)}, -1},  // -1: the call fails
  };
  for (const auto& [steps, result_sets] : rows) {
    DefineP(steps);
    c_.Open();
    c_.BeginTrans();
    Command cmd(&c_, CommandType::kStoredProc, "P");
    cmd.Params().ParamByName("@n").value = Value::Int(5);
    try {
      cmd.Open();
      ASSERT_GE(result_sets, 0);
      EXPECT_EQ(cmd.Params().ReturnValue()->value, Value::Int(61));
      EXPECT_EQ(cmd.Params().ParamByName("@s").value.AsString(),
                "sa\xED"
                "da");
      EXPECT_EQ(cmd.Current().Field(0).AsString(), longo);
      int sets = cmd.Active() ? 1 : 0;
      while (cmd.NextRecordset()) ++sets;
      EXPECT_EQ(sets, result_sets);
    } catch (const ProviderError& e) {
      EXPECT_EQ(result_sets, -1);
      EXPECT_EQ(e.SqlState(), "42000");
    }
    EXPECT_TRUE(c_.Connected());
    EXPECT_TRUE(c_.InTransaction());
  }
}

// The login's timeout: EndToEnd.LoginFailures, a server that never answers it.
// The driver manager pools no connections.
TEST_F(OdbcScripted, ADescriptionTheServerNeverAnswersEndsAtItsTimeout) {
  EXPECT_EQ(server_.pooling, static_cast<SQLULEN>(SQL_CP_OFF));
  server_.stalls = true;
  EXPECT_THROW(Command(&c_, CommandType::kStoredProc, "P"), ProviderError);
}

// After a failure the connection's word on the transaction is the server's:
// in one (serializable) exactly when autocommit is off and the server still
// holds it. Outside the session's transactions calls read committed. A
// deadlock and a timeout through the real driver: TdsWire.FaultsByKind.
TEST_F(OdbcScripted, TransactionStateAgreesWithTheServerAfterAFailure) {
  EXPECT_EQ(server_.isolation, SQL_TXN_READ_COMMITTED);
  const std::tuple<const char*, Step, bool> rows[] = {
      {"uncommittable transaction", Error("25000", 3998), false},
      {"procedure's own error", Error("42000", 50001), true},
      {"failed commit", Step{}, false},
  };
  for (const auto& [what, step, still] : rows) {
    SCOPED_TRACE(what);
    server_.commit_fails = step.error.state.empty();
    c_.BeginTrans();
    DefineP({});
    Command ok(&c_, CommandType::kStoredProc, "P");
    ok.Execute();
    DefineP({step});
    Command cmd(&c_, CommandType::kStoredProc, "P");
    EXPECT_THROW(server_.commit_fails ? c_.CommitTrans() : cmd.Execute(), ProviderError);
    const SQLULEN isolation = still ? SQL_TXN_SERIALIZABLE : SQL_TXN_READ_COMMITTED;
    EXPECT_EQ(std::make_tuple(c_.InTransaction(), server_.autocommit, server_.trancount,
                              server_.isolation),
              std::make_tuple(still, !still, still ? 1 : 0, isolation));
    if (c_.InTransaction()) c_.RollbackTrans();
    EXPECT_EQ(std::make_pair(server_.autocommit, server_.isolation),
              std::make_pair(true, SQLULEN{SQL_TXN_READ_COMMITTED}));
  }
}

// Microsoft's driver answers SQL_NO_DATA at execute when a procedure's first
// result is an update that touched no rows; its rows and outputs follow.
// An output the driver never writes reads as NULL, not as the buffer's 0.
TEST_F(OdbcScripted, EarlyNoDataAndUnwrittenOutputs) {
  DefineP({Step{}, Rows({{Value::String("a")}})});
  server_.procs["P"].early_no_data = true;
  Command cmd(&c_, CommandType::kStoredProc, "P");
  cmd.Open();
  EXPECT_EQ(cmd.Params().ReturnValue()->value, Value::Int(61));
  EXPECT_EQ(cmd.Current().Field(0).AsString(), "a");
  server_.procs["P"].outputs_written = false;
  cmd.Execute();
  EXPECT_TRUE(cmd.Params().ReturnValue()->value.IsNull());
}

// A (max) output comes back whole through either driver, also beyond 8000
// characters; one longer than the buffer is refused, never cut.
TEST_F(OdbcScripted, MaxTextOutputsComeBackWhole) {
  for (const char* driver : {"FreeTDS", "ODBC Driver 18 for SQL Server"}) {
    c_.SetConnectionString(std::string("Provider=ODBC;Data Source=db1;Odbc Driver=") + driver);
    c_.Open();
    for (size_t n : {10u, 9000u, 70000u}) {
      SCOPED_TRACE(std::string(driver) + " " + std::to_string(n));
      server_.procs["M"] = {{{"@RETURN_VALUE", SQL_RETURN_VALUE, SQL_INTEGER, 10},
                             {"@t", SQL_PARAM_INPUT_OUTPUT, SQL_WVARCHAR, 0}},
                            {},
                            {Value::Int(0), Value::String(std::string(n, 'x'))}};
      Command cmd(&c_, CommandType::kStoredProc, "M");
      try {
        cmd.Execute();
        EXPECT_EQ(cmd.Params()[1].value.AsString().size(), n);
      } catch (const ProviderError& e) {
        EXPECT_EQ(n, 70000u) << e.what();
      }
    }
  }
}

// Decimal and money inputs reach the server as the program's value at the
// server's scale (a driver converting a double cuts its binary fraction);
// time and datetimeoffset columns read as date-times.
TEST_F(OdbcScripted, DecimalInputsAndTimeColumns) {
  const std::tuple<double, int, const char*> rows[] = {
      {1.15, 2, "1.15"}, {0.29, 4, "0.2900"}, {-1234.5678, 4, "-1234.5678"}};
  for (const auto& [x, scale, text] : rows) {
    server_.procs["D"] = {
        {{"@RETURN_VALUE", SQL_RETURN_VALUE, SQL_INTEGER, 10},
         {"@m", SQL_PARAM_INPUT, SQL_DECIMAL, 19, scale}},
        {Step{2, {{Value::DateTime(0.5), Value::DateTime(45000.25)}}, {}, {-154, -155}}},
        {Value::Int(0), Value()}};
    c_.Open();
    Command cmd(&c_, CommandType::kStoredProc, "D");
    cmd.Params()[1].value = Value::Double(x);
    cmd.Open();
    EXPECT_EQ(server_.decimals.back(), text);
    EXPECT_EQ(cmd.Current().Field(0), Value::DateTime(0.5));
    EXPECT_EQ(cmd.Current().Field(1), Value::DateTime(45000.25));
  }
}

TEST(OdbcProvider, ConnectionStrings) {
  const OdbcDriver tds13{"/x/libtdsodbc.so", 103}, tds14{"/x/libtdsodbc.so", 104};
  const std::tuple<const char*, OdbcDriver, const char*> rows[] = {
      {"Provider=SQLOLEDB.1;Data Source=db1;Initial Catalog=Zun;User ID=u;Password=\"a;b\"",
       {},
       "Driver={FreeTDS};Server=db1;Port=1433;Database=Zun;UID=u;PWD={a;b};TDS_Version=7.4;"
       "ClientCharset=CP1252;Encryption=require"},
      {"Provider=SQLOLEDB.1;Data Source=db1\\INST;Odbc Driver=/x/libtdsodbc.so",
       {},
       "Driver={/x/"
       "libtdsodbc.so};Server=db1\\INST;TDS_Version=7.4;ClientCharset=CP1252;Encryption=require"},
      // A data source names its own server.
      {"Provider=ODBC;Odbc DSN=zun;Data Source=db1;User ID=u;Password= p ",
       {},
       "DSN=zun;UID=u;PWD={ p };Encrypt=yes;ConnectRetryCount=0"},
      // "}" only where the driver undoes "}}"; refused where it would read
      // "x" and then a database of the password's choosing.
      {"Data Source=db1;User ID=u;Password=\"x};Database=y\"", tds14,
       "Driver={FreeTDS};Server=db1;Port=1433;UID=u;PWD={x}};Database=y};TDS_Version=7.4;"
       "ClientCharset=CP1252;Encryption=require"},
      {"Data Source=db1;User ID=u;Password=\"x};Database=y\";Odbc Driver=ODBC Driver 18",
       {},
       "Driver={ODBC Driver 18};Server=db1;UID=u;PWD={x}};Database=y};Encrypt=yes;"
       "ConnectRetryCount=0"},
      {"Data Source=db1;User ID=u;Password=\"x};Database=y\"", tds13, nullptr},
      {"Data Source=db1;User ID=u;Password=a}b", {}, nullptr},
      {"Odbc DSN=zun;User ID=u;Password=a}b", tds13, nullptr},
      // TLS: required unless declined for a server without it.
      {"Odbc DSN=zun", tds14, "DSN=zun;Encryption=require"},
      {"Data Source=db1;Use Encryption for Data=False;Odbc Driver=ODBC Driver 18",
       {},
       "Driver={ODBC Driver 18};Server=db1;Encrypt=no;ConnectRetryCount=0"},
  };
  for (const auto& [ado, driver, odbc] : rows) {
    SCOPED_TRACE(ado);
    try {
      EXPECT_EQ(OdbcConnectionString(ConnectionString(ado), driver), odbc ? odbc : "refused");
    } catch (const ProviderError& e) {
      EXPECT_EQ(odbc, nullptr);
      EXPECT_NE(std::string(e.what()).find("value of PWD"), std::string::npos) << e.what();
    }
  }
}

// FreeTDS's version is read from its library before connecting: from a
// file, and through the driver manager's lists from the one installed here.
TEST(OdbcProvider, FreeTdsVersionFromTheLibrary) {
  const std::string path = std::string(ZUN_TEST_BINARY_DIR) + "/fake_libtdsodbc.so";
  using namespace std::string_literals;
  std::ofstream(path, std::ios::binary) << "\177ELF\0freetds v\0freetds v1.4.22\0\0\0"s;
  EXPECT_EQ(FreeTdsLibraryVersion(path), 104);
  EXPECT_EQ(FreeTdsLibraryVersion(path + ".none"), 0);
  OdbcConnection real;
  try {
    real.Open(ConnectionString("Data Source=127.0.0.1,1;User ID=u;Password=a}b"));
    ADD_FAILURE();
  } catch (const ProviderError& e) {
    EXPECT_EQ(std::string(e.what()).find("unknown version"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace zun
