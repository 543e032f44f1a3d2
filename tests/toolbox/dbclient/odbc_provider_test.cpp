// The ODBC provider over a scripted ODBC layer, for what a driver may do
// that FreeTDS against the TDS test server does not (tds_wire_test): outputs
// written only once SQLMoreResults has answered SQL_NO_DATA, errors raised
// after the first result set, long text whose total the driver does not
// know (SQL_NO_TOTAL).
#include "toolbox/dbclient/odbc/odbc_provider.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "foundation/momento.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/sqlite/text_1252.h"

namespace zun {
namespace {

struct Diag {
  std::string state;
  int native = 0;
};
// One step of a scripted run: a result set of `columns` (read as text
// unless typed), a count (no columns), or a failure.
struct Step {
  int columns = 0;
  std::vector<std::vector<Value>> rows;
  Diag error;  // state set: the step fails
  std::vector<SQLSMALLINT> types;
};
struct ProcCol {
  const char* name;
  SQLSMALLINT column_type, sql_type;
  int size, scale = 0;
};
struct Proc {
  std::vector<ProcCol> cols;
  std::vector<Step> steps;
  std::vector<Value> outputs;  // by position, written at the end of the run
  // Microsoft's driver: SQL_NO_DATA at execute while the run goes on.
  bool early_no_data = false, outputs_written = true;
};
struct Bind {
  SQLSMALLINT io, c_type, sql_type, digits;
  SQLULEN size;
  void* buf;
  SQLLEN len;
  SQLLEN* ind;
};
struct Stmt {
  std::vector<Step> steps;
  size_t step = 0;
  int row = -1;
  std::map<int, Bind> binds;
  const Proc* proc = nullptr;
  std::vector<Diag> diags;
  SQLULEN timeout = 0;
  std::map<int, size_t> offsets;  // GetData position within a long text
};

// The scripted server: one per test.
struct Server {
  std::map<std::string, Proc> procs;
  std::vector<Diag> dbc_diags;
  // A server that never answers a description: it ends with HYT00 once its
  // timeout is spent, never without.
  bool stalls = false;
  SQLULEN isolation = 0;
  SQLULEN pooling = SQL_CP_ONE_PER_DRIVER;
  // The server's transaction as SQL Server keeps it with autocommit off
  // (implicit transactions): the first call opens one; an uncommittable
  // transaction (3998) rolls it back.
  bool autocommit = true, commit_fails = false, msdriver = false;  // else FreeTDS
  int trancount = 0;
  std::vector<std::string> decimals;  // decimal inputs as the server got them
};
Server* g = nullptr;

SQLRETURN Fail(std::vector<Diag>* diags, Diag d) {
  *diags = {std::move(d)};
  return SQL_ERROR;
}
std::string N(const void* w, SQLLEN chars) {
  return Utf16ToCp1252(std::u16string(static_cast<const char16_t*>(w), static_cast<size_t>(chars)));
}
SQLLEN PutText(const std::string& text, void* buf, size_t room) {
  const std::u16string w = Cp1252ToUtf16(text);
  std::memcpy(buf, w.data(), std::min(w.size(), room) * 2);
  return static_cast<SQLLEN>(w.size());
}
Step Rows(std::vector<std::vector<Value>> rows) { return Step{1, std::move(rows), {}, {}}; }
Step Error(const char* state, int native) { return Step{0, {}, {state, native}, {}}; }
Stmt* S(SQLHSTMT h) { return static_cast<Stmt*>(h); }
const Step& Cur(SQLHSTMT h) { return S(h)->steps[S(h)->step]; }

// The current step of a run; past the last one the outputs are written.
SQLRETURN Run(Stmt* s) {
  if (s->step >= s->steps.size()) {
    for (auto& [n, b] : s->binds) {
      if (s->proc == nullptr || !s->proc->outputs_written || b.io == SQL_PARAM_INPUT) continue;
      const Value& v = s->proc->outputs[static_cast<size_t>(n - 1)];
      if (v.IsNull()) {
        *b.ind = SQL_NULL_DATA;
      } else if (b.c_type == SQL_C_SLONG) {
        *static_cast<SQLINTEGER*>(b.buf) = v.AsInt();
        *b.ind = 4;
      } else {
        // The server cuts an output to its declared size: FreeTDS declares
        // nvarchar(n) for SQL_WVARCHAR (n at least 1), nvarchar(max) for
        // SQL_WLONGVARCHAR; Microsoft's driver nvarchar(max) for size 0.
        const bool max = b.sql_type == SQL_WLONGVARCHAR || (g->msdriver && b.size == 0);
        const std::string t =
            v.AsString().substr(0, max ? std::string::npos : std::max<SQLULEN>(b.size, 1));
        *b.ind = PutText(t, b.buf, static_cast<size_t>(b.len) / 2 - 1) * 2;
      }
    }
    return SQL_NO_DATA;
  }
  const Step& st = s->steps[s->step];
  s->row = -1;
  if (st.error.state.empty()) return SQL_SUCCESS;
  if (st.error.native == 3998) g->trancount = 0;
  return Fail(&s->diags, st.error);
}
SQLRETURN Start(Stmt* s, std::vector<Step> steps, const Proc* proc = nullptr) {
  s->steps = std::move(steps);
  s->step = 0;
  s->proc = proc;
  return Run(s);
}

const OdbcApi kScripted = {
    [](SQLSMALLINT type, SQLHANDLE, SQLHANDLE* out) -> SQLRETURN {
      *out = type == SQL_HANDLE_STMT ? static_cast<SQLHANDLE>(new Stmt) : new int(0);
      return SQL_SUCCESS;
    },
    [](SQLSMALLINT type, SQLHANDLE h) -> SQLRETURN {
      type == SQL_HANDLE_STMT ? delete S(h) : delete static_cast<int*>(h);
      return SQL_SUCCESS;
    },
    [](SQLHENV, SQLINTEGER attr, SQLPOINTER v, SQLINTEGER) -> SQLRETURN {
      if (attr == SQL_ATTR_CONNECTION_POOLING) g->pooling = reinterpret_cast<SQLULEN>(v);
      return SQL_SUCCESS;
    },
    [](SQLHDBC, SQLINTEGER attr, SQLPOINTER v, SQLINTEGER) -> SQLRETURN {
      if (attr == SQL_ATTR_AUTOCOMMIT) g->autocommit = v != nullptr;
      if (attr == SQL_ATTR_TXN_ISOLATION) g->isolation = reinterpret_cast<SQLULEN>(v);
      return SQL_SUCCESS;
    },
    [](SQLHDBC, SQLHWND, SQLWCHAR* in, SQLSMALLINT len, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*,
       SQLUSMALLINT) -> SQLRETURN {
      g->msdriver = N(in, len).find("ODBC Driver 18") != std::string::npos;
      return SQL_SUCCESS;
    },
    [](SQLHDBC) -> SQLRETURN { return SQL_SUCCESS; },
    [](SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLWCHAR* state, SQLINTEGER* native,
       SQLWCHAR* msg, SQLSMALLINT max, SQLSMALLINT* len) -> SQLRETURN {
      const auto& diags = type == SQL_HANDLE_STMT ? S(h)->diags : g->dbc_diags;
      if (rec > static_cast<SQLSMALLINT>(diags.size())) return SQL_NO_DATA;
      const Diag& d = diags[static_cast<size_t>(rec - 1)];
      PutText(d.state, state, 5);
      *native = d.native;
      *len = static_cast<SQLSMALLINT>(PutText("boom", msg, static_cast<size_t>(max)));
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLINTEGER attr, SQLPOINTER v, SQLINTEGER) -> SQLRETURN {
      if (attr == SQL_ATTR_QUERY_TIMEOUT) S(h)->timeout = reinterpret_cast<SQLULEN>(v);
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) -> SQLRETURN {
      const std::string t = N(text, len);
      if (t == "SELECT @@TRANCOUNT") return Start(S(h), {Rows({{Value::Int(g->trancount)}})});
      if (!g->autocommit && g->trancount == 0) g->trancount = 1;
      for (auto& [n, b] : S(h)->binds) {
        if (b.sql_type == SQL_DECIMAL)
          g->decimals.push_back(b.c_type == SQL_C_WCHAR ? N(b.buf, *b.ind / 2) : "not as text");
        if (g->msdriver && b.io != SQL_PARAM_INPUT && b.sql_type == SQL_WLONGVARCHAR)
          return Fail(&S(h)->diags, {"42000", 2739});  // ntext is no output type
      }
      const std::string name = t.substr(t.find("call ") + 5, t.find('(') - t.find("call ") - 5);
      const Proc& p = g->procs.at(name.substr(name.rfind('.') + 1));  // schema "dbo" only
      const SQLRETURN rc = Start(S(h), p.steps, &p);
      return p.early_no_data ? SQL_NO_DATA : rc;
    },
    [](SQLHSTMT, SQLWCHAR*, SQLINTEGER) -> SQLRETURN { return SQL_SUCCESS; },
    [](SQLHSTMT) -> SQLRETURN { return SQL_ERROR; },  // no prepared texts
    [](SQLHSTMT h, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT c, SQLSMALLINT t, SQLULEN size,
       SQLSMALLINT digits, SQLPOINTER buf, SQLLEN len, SQLLEN* ind) -> SQLRETURN {
      S(h)->binds[n] = {io, c, t, digits, size, buf, len, ind};
      // Outputs hold what the buffer held before: only the end of the run
      // sets them.
      if (io != SQL_PARAM_INPUT && c == SQL_C_SLONG) *static_cast<SQLINTEGER*>(buf) = -99;
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLSMALLINT* n) -> SQLRETURN {
      *n = static_cast<SQLSMALLINT>(Cur(h).columns);
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLUSMALLINT c, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT* len, SQLSMALLINT* type,
       SQLULEN*, SQLSMALLINT*, SQLSMALLINT*) -> SQLRETURN {
      *len = 0;
      *type = Cur(h).types.empty() ? SQL_WVARCHAR : Cur(h).types[c - 1u];
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h) -> SQLRETURN {
      S(h)->offsets.clear();
      return ++S(h)->row < static_cast<int>(Cur(h).rows.size()) ? SQL_SUCCESS : SQL_NO_DATA;
    },
    [](SQLHSTMT h, SQLUSMALLINT c, SQLSMALLINT c_type, SQLPOINTER buf, SQLLEN len,
       SQLLEN* ind) -> SQLRETURN {
      const Value& v = Cur(h).rows[static_cast<size_t>(S(h)->row)][c - 1u];
      if (v.IsNull()) {
        *ind = SQL_NULL_DATA;
      } else if (c_type == SQL_C_TYPE_TIMESTAMP) {
        // A time column gets a date of the driver's own.
        int y, mo, d, hh, mi, sec, ms;
        DecodeDateTime(v.AsDateTime(), &y, &mo, &d, &hh, &mi, &sec, &ms);
        if (Cur(h).types[c - 1u] == -154) y = 2026, mo = 12, d = 7;
        using U = SQLUSMALLINT;
        *static_cast<SQL_TIMESTAMP_STRUCT*>(buf) = {
            SQLSMALLINT(y), U(mo), U(d), U(hh), U(mi), U(sec), SQLUINTEGER(ms) * 1000000u};
        *ind = sizeof(SQL_TIMESTAMP_STRUCT);
      } else {
        // Text in pieces of the caller's buffer, as drivers hand out long
        // data, whose total they may not know (SQL_NO_TOTAL).
        const std::string t = v.AsString();
        size_t& at = S(h)->offsets[c];
        if (at > 0 && at >= t.size()) return SQL_NO_DATA;
        const size_t n = std::min(static_cast<size_t>(len) / 2 - 1, t.size() - at);
        static_cast<char16_t*>(buf)[PutText(t.substr(at, n), buf, n)] = 0;
        *ind = at + n < t.size() ? SQL_NO_TOTAL : static_cast<SQLLEN>(n * 2);
        at += n;
        return at < t.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
      }
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h) -> SQLRETURN {
      ++S(h)->step;
      return Run(S(h));
    },
    [](SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* proc, SQLSMALLINT len,
       SQLWCHAR*, SQLSMALLINT) -> SQLRETURN {
      if (g->stalls && S(h)->timeout == 0) ADD_FAILURE() << "waits for ever";
      if (g->stalls) return Fail(&S(h)->diags, {"HYT00", 0});
      Step st{10, {}, {}, {}};
      for (const auto& [name, p] : g->procs) {
        if (name.find(N(proc, len)) == std::string::npos) continue;  // a pattern
        for (const ProcCol& c : p.cols)
          st.rows.push_back({Value(), Value::String("dbo"), Value::String(name + ";1"),
                             Value::String(c.name), Value::Int(c.column_type),
                             Value::Int(c.sql_type), Value(), Value::Int(c.size), Value(),
                             Value::Int(c.scale)});
      }
      return Start(S(h), {st});
    },
    [](SQLSMALLINT, SQLHANDLE, SQLSMALLINT c) -> SQLRETURN {
      g->trancount = 0;
      if (c == SQL_COMMIT && g->commit_fails) return Fail(&g->dbc_diags, {"40001", 1205});
      return SQL_SUCCESS;
    },
    [](SQLHSTMT, SQLUSMALLINT) -> SQLRETURN { return SQL_SUCCESS; },
    [](SQLHSTMT, SQLLEN*) -> SQLRETURN { return SQL_ERROR; },  // no count of changed rows
    nullptr,  // no lists of data sources and drivers: FreeTDS of unknown version
    nullptr,
    nullptr,  // autocommit is what was set last
};

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
