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
#include <sstream>

#include "foundation/momento.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/sqlite/text_1252.h"

namespace zun {
namespace {

struct Diag {
  std::string state;
  int native = 0;
  std::string message;
};
// One step of a scripted run: a result set, or a failure.
struct Step {
  std::vector<std::string> columns;
  std::vector<SQLSMALLINT> types;
  std::vector<std::vector<Value>> rows;
  Diag error;  // state set: the step fails
};
struct ProcCol {
  const char* name;
  SQLSMALLINT column_type;
  SQLSMALLINT sql_type;
  int size;
  int scale = 0;
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
  SQLULEN paramset = 1;           // rows of a parameter array, bound by column
};

// The scripted server: one per test.
struct Server {
  std::map<std::string, Proc> procs;
  std::vector<Diag> dbc_diags;
  // A server that accepts the link and never answers: the login and the
  // description end with HYT00 once their timeout is spent, and never
  // without one.
  bool stalls = false;
  SQLULEN login_timeout = 0;
  // The server's transaction as SQL Server keeps it with autocommit off
  // (implicit transactions): the first call opens one; a deadlock (1205) or
  // an uncommittable transaction (3998) rolls it back.
  bool autocommit = true, commit_fails = false;
  int trancount = 0;
  SQLULEN isolation = 0;
  bool msdriver = false;              // plays Microsoft's driver, else FreeTDS
  std::vector<std::string> decimals;  // decimal inputs as the server got them
  int executes = 0;                   // requests of prepared texts
  std::vector<std::string> received;  // each row of them, its values joined by ","
};
SQLRETURN Stall(SQLULEN timeout, std::vector<Diag>* diags) {
  if (timeout == 0) ADD_FAILURE() << "waits for ever";
  *diags = {{"HYT00", 0, "Login timeout expired"}};
  return SQL_ERROR;
}
Server* g = nullptr;

std::string N(SQLWCHAR* w, SQLINTEGER len) {
  std::u16string s(reinterpret_cast<char16_t*>(w), static_cast<size_t>(len));
  return Utf16ToCp1252(s);
}

Step Rows(std::vector<std::vector<Value>> rows) {
  return Step{{"v"}, {SQL_WVARCHAR}, std::move(rows), {}};
}

void Put(const Bind& b, const Value& v) {
  if (v.IsNull()) {
    *b.ind = SQL_NULL_DATA;
    return;
  }
  if (b.c_type == SQL_C_SLONG) *static_cast<SQLINTEGER*>(b.buf) = v.AsInt();
  if (b.c_type == SQL_C_WCHAR) {
    // The server cuts an output to its declared size: FreeTDS declares
    // nvarchar(n) for SQL_WVARCHAR (n at least 1), nvarchar(max) for
    // SQL_WLONGVARCHAR; Microsoft's driver nvarchar(max) for size 0.
    const bool max = b.sql_type == SQL_WLONGVARCHAR || (g->msdriver && b.size == 0);
    const std::u16string w =
        Cp1252ToUtf16(v.AsString())
            .substr(0, max ? std::u16string::npos : std::max<SQLULEN>(b.size, 1));
    const size_t n = std::min(w.size(), static_cast<size_t>(b.len) / 2 - 1);
    std::memcpy(b.buf, w.data(), n * 2);
    *b.ind = static_cast<SQLLEN>(w.size() * 2);
  } else {
    *b.ind = 4;
  }
}

// The current step of a run; past the last one the outputs are written.
SQLRETURN Run(Stmt* s) {
  if (s->step >= s->steps.size()) {
    for (auto& [n, b] : s->binds) {
      if (s->proc != nullptr && s->proc->outputs_written && b.io != SQL_PARAM_INPUT)
        Put(b, s->proc->outputs[static_cast<size_t>(n - 1)]);
    }
    return SQL_NO_DATA;
  }
  const Step& st = s->steps[s->step];
  if (!st.error.state.empty()) {
    if (st.error.native == 1205 || st.error.native == 3998) g->trancount = 0;
    s->diags = {st.error};
    return SQL_ERROR;
  }
  s->row = -1;
  return SQL_SUCCESS;
}

const OdbcApi kScripted = {
    [](SQLSMALLINT type, SQLHANDLE, SQLHANDLE* out) -> SQLRETURN {
      *out = type == SQL_HANDLE_STMT ? static_cast<SQLHANDLE>(new Stmt) : new int(0);
      return SQL_SUCCESS;
    },
    [](SQLSMALLINT type, SQLHANDLE h) -> SQLRETURN {
      type == SQL_HANDLE_STMT ? delete static_cast<Stmt*>(h) : delete static_cast<int*>(h);
      return SQL_SUCCESS;
    },
    [](SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) -> SQLRETURN { return SQL_SUCCESS; },
    [](SQLHDBC, SQLINTEGER attr, SQLPOINTER v, SQLINTEGER) -> SQLRETURN {
      if (attr == SQL_ATTR_LOGIN_TIMEOUT) g->login_timeout = reinterpret_cast<SQLULEN>(v);
      if (attr == SQL_ATTR_LOGIN_TIMEOUT || attr == SQL_ATTR_CONNECTION_TIMEOUT) return SQL_SUCCESS;
      if (attr == SQL_ATTR_AUTOCOMMIT) g->autocommit = v != nullptr;
      if (attr == SQL_ATTR_TXN_ISOLATION) g->isolation = reinterpret_cast<SQLULEN>(v);
      return SQL_SUCCESS;
    },
    [](SQLHDBC, SQLHWND, SQLWCHAR* in, SQLSMALLINT len, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*,
       SQLUSMALLINT) -> SQLRETURN {
      g->msdriver = N(in, len).find("ODBC Driver 18") != std::string::npos;
      if (g->stalls) return Stall(g->login_timeout, &g->dbc_diags);
      return g->dbc_diags.empty() ? SQL_SUCCESS : SQL_ERROR;
    },
    [](SQLHDBC) -> SQLRETURN { return SQL_SUCCESS; },
    [](SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLWCHAR* state, SQLINTEGER* native,
       SQLWCHAR* msg, SQLSMALLINT max, SQLSMALLINT* len) -> SQLRETURN {
      const auto& diags = type == SQL_HANDLE_STMT ? static_cast<Stmt*>(h)->diags : g->dbc_diags;
      if (rec > static_cast<SQLSMALLINT>(diags.size())) return SQL_NO_DATA;
      const Diag& d = diags[static_cast<size_t>(rec - 1)];
      const std::u16string s = Cp1252ToUtf16(d.state), m = Cp1252ToUtf16(d.message);
      std::memcpy(state, s.data(), 10);
      *native = d.native;
      std::memcpy(msg, m.data(), std::min<size_t>(m.size(), static_cast<size_t>(max)) * 2);
      *len = static_cast<SQLSMALLINT>(m.size());
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLINTEGER attr, SQLPOINTER v, SQLINTEGER) -> SQLRETURN {
      if (attr == SQL_ATTR_QUERY_TIMEOUT)
        static_cast<Stmt*>(h)->timeout = reinterpret_cast<SQLULEN>(v);
      if (attr == SQL_ATTR_PARAMSET_SIZE)
        static_cast<Stmt*>(h)->paramset = reinterpret_cast<SQLULEN>(v);
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) -> SQLRETURN {
      auto* s = static_cast<Stmt*>(h);
      const std::string t = N(text, len);
      if (t == "SELECT @@TRANCOUNT") {
        s->steps = {Step{{"n"}, {SQL_INTEGER}, {{Value::Int(g->trancount)}}, {}}};
        s->proc = nullptr;
        return Run(s);
      }
      if (!g->autocommit && g->trancount == 0) g->trancount = 1;
      for (auto& [n, b] : s->binds) {
        if (b.sql_type == SQL_DECIMAL && b.c_type == SQL_C_WCHAR) {
          g->decimals.push_back(
              N(static_cast<SQLWCHAR*>(b.buf), static_cast<SQLINTEGER>(*b.ind / 2)));
        } else if (b.sql_type == SQL_DECIMAL) {
          // A double's exact binary value with its fraction cut to the scale.
          char t[80];
          std::snprintf(t, sizeof t, "%.30f", *static_cast<double*>(b.buf));
          const std::string full = t;
          g->decimals.push_back(full.substr(0, full.find('.') + 1 + static_cast<size_t>(b.digits)));
        }
        if (g->msdriver && b.io != SQL_PARAM_INPUT && b.sql_type == SQL_WLONGVARCHAR) {
          s->diags = {{"42000", 2739, "The ntext data type cannot be used for OUTPUT parameters"}};
          return SQL_ERROR;
        }
      }
      const size_t call = t.find("call ");
      const std::string name = t.substr(call + 5, t.find('(', call) - call - 5);
      s->proc = &g->procs.at(name.substr(name.rfind('.') + 1));  // schema "dbo" only
      s->steps = s->proc->steps;
      const SQLRETURN rc = Run(s);
      return s->proc->early_no_data ? SQL_NO_DATA : rc;
    },
    [](SQLHSTMT, SQLWCHAR*, SQLINTEGER) -> SQLRETURN { return SQL_SUCCESS; },
    [](SQLHSTMT h) -> SQLRETURN {
      auto* s = static_cast<Stmt*>(h);
      ++g->executes;
      for (SQLULEN i = 0; i < s->paramset; ++i) {
        std::ostringstream row;
        for (auto& [n, b] : s->binds) {
          const SQLLEN ind = b.ind[i];
          const char* at = static_cast<const char*>(b.buf) + i * static_cast<size_t>(b.len);
          if (n > 1) row << ",";
          if (ind == SQL_NULL_DATA) {
            row << "NULL";
          } else if (b.c_type == SQL_C_SLONG) {
            row << *reinterpret_cast<const SQLINTEGER*>(static_cast<const char*>(b.buf) + i * 4);
          } else if (b.c_type == SQL_C_DOUBLE) {
            row << *reinterpret_cast<const double*>(static_cast<const char*>(b.buf) + i * 8);
          } else if (b.c_type == SQL_C_WCHAR) {
            row << N(reinterpret_cast<SQLWCHAR*>(const_cast<char*>(at)),
                     static_cast<SQLINTEGER>(ind / 2));
          }
        }
        g->received.push_back(row.str());
      }
      s->steps = {Rows({{Value::String("r")}}), Step{}};  // rows, then a count
      s->step = 0;
      s->proc = nullptr;
      return Run(s);
    },
    [](SQLHSTMT h, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT c, SQLSMALLINT t, SQLULEN size,
       SQLSMALLINT digits, SQLPOINTER buf, SQLLEN len, SQLLEN* ind) -> SQLRETURN {
      static_cast<Stmt*>(h)->binds[n] = {io, c, t, digits, size, buf, len, ind};
      // Outputs hold what the buffer held before: only the end of the run
      // sets them.
      if (io != SQL_PARAM_INPUT && c == SQL_C_SLONG) *static_cast<SQLINTEGER*>(buf) = -99;
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLSMALLINT* n) -> SQLRETURN {
      auto* s = static_cast<Stmt*>(h);
      *n = static_cast<SQLSMALLINT>(s->steps[s->step].columns.size());
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLUSMALLINT c, SQLWCHAR* name, SQLSMALLINT, SQLSMALLINT* len, SQLSMALLINT* type,
       SQLULEN*, SQLSMALLINT*, SQLSMALLINT*) -> SQLRETURN {
      const Step& st = static_cast<Stmt*>(h)->steps[static_cast<Stmt*>(h)->step];
      const std::u16string w = Cp1252ToUtf16(st.columns[c - 1u]);
      std::memcpy(name, w.data(), w.size() * 2);
      *len = static_cast<SQLSMALLINT>(w.size());
      *type = st.types[c - 1u];
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h) -> SQLRETURN {
      auto* s = static_cast<Stmt*>(h);
      s->offsets.clear();
      return ++s->row < static_cast<int>(s->steps[s->step].rows.size()) ? SQL_SUCCESS : SQL_NO_DATA;
    },
    [](SQLHSTMT h, SQLUSMALLINT c, SQLSMALLINT c_type, SQLPOINTER buf, SQLLEN len,
       SQLLEN* ind) -> SQLRETURN {
      auto* s = static_cast<Stmt*>(h);
      const Value& v = s->steps[s->step].rows[static_cast<size_t>(s->row)][c - 1u];
      if (v.IsNull()) {
        *ind = SQL_NULL_DATA;
        return SQL_SUCCESS;
      }
      if (c_type == SQL_C_SLONG) {
        *static_cast<SQLINTEGER*>(buf) = v.AsInt();
        *ind = 4;
        return SQL_SUCCESS;
      }
      if (c_type == SQL_C_TYPE_TIMESTAMP) {
        // A time column gets a date of the driver's own.
        int y, mo, d, h, mi, sec, ms;
        DecodeDateTime(v.AsDateTime(), &y, &mo, &d, &h, &mi, &sec, &ms);
        if (s->steps[s->step].types[c - 1u] == -154) y = 2026, mo = 12, d = 7;
        auto& t = *static_cast<SQL_TIMESTAMP_STRUCT*>(buf);
        t.year = static_cast<SQLSMALLINT>(y);
        t.month = static_cast<SQLUSMALLINT>(mo), t.day = static_cast<SQLUSMALLINT>(d);
        t.hour = static_cast<SQLUSMALLINT>(h), t.minute = static_cast<SQLUSMALLINT>(mi);
        t.second = static_cast<SQLUSMALLINT>(sec),
        t.fraction = static_cast<SQLUINTEGER>(ms) * 1000000u;
        *ind = sizeof(SQL_TIMESTAMP_STRUCT);
        return SQL_SUCCESS;
      }
      // Text in pieces of the caller's buffer, as drivers hand out long data.
      const std::u16string w = Cp1252ToUtf16(v.AsString());
      size_t& at = s->offsets[c];
      if (at > 0 && at >= w.size()) return SQL_NO_DATA;
      const size_t room = static_cast<size_t>(len) / 2 - 1;
      const size_t n = std::min(room, w.size() - at);
      std::memcpy(buf, w.data() + at, n * 2);
      static_cast<char16_t*>(buf)[n] = 0;
      // Drivers may not know the total of a long text: SQL_NO_TOTAL.
      *ind = at + n < w.size() ? SQL_NO_TOTAL : static_cast<SQLLEN>((w.size() - at) * 2);
      at += n;
      return at < w.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    },
    [](SQLHSTMT h) -> SQLRETURN {
      auto* s = static_cast<Stmt*>(h);
      ++s->step;
      return Run(s);
    },
    [](SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* proc, SQLSMALLINT len,
       SQLWCHAR*, SQLSMALLINT) -> SQLRETURN {
      auto* s = static_cast<Stmt*>(h);
      if (g->stalls) return Stall(s->timeout, &s->diags);
      Step st;
      st.columns.assign(18, "c");
      st.types.assign(18, SQL_INTEGER);
      st.types[1] = st.types[2] = st.types[3] = SQL_WVARCHAR;
      int ordinal = 0;
      for (const auto& [name, p] : g->procs) {
        if (name.find(N(proc, len)) == std::string::npos) continue;  // a pattern
        for (const ProcCol& c : p.cols) {
          std::vector<Value> row(18);
          row[1] = Value::String("dbo");
          row[2] = Value::String(name + ";1");
          row[3] = Value::String(c.name);
          row[4] = Value::Int(c.column_type);
          row[5] = Value::Int(c.sql_type);
          row[7] = Value::Int(c.size);
          row[9] = Value::Int(c.scale);
          row[17] = Value::Int(ordinal++);
          st.rows.push_back(row);
        }
      }
      s->steps = {st};
      s->proc = nullptr;
      return SQL_SUCCESS;
    },
    [](SQLSMALLINT, SQLHANDLE, SQLSMALLINT c) -> SQLRETURN {
      g->trancount = 0;
      if (c == SQL_COMMIT && g->commit_fails) {
        g->dbc_diags = {{"40001", 1205, "deadlock at commit"}};
        return SQL_ERROR;
      }
      return SQL_SUCCESS;
    },
    [](SQLHSTMT h, SQLUSMALLINT option) -> SQLRETURN {
      if (option == SQL_RESET_PARAMS) static_cast<Stmt*>(h)->binds.clear();
      return SQL_SUCCESS;
    },
    [](SQLHSTMT, SQLLEN* n) -> SQLRETURN {
      *n = 1;
      return SQL_SUCCESS;
    },
    nullptr,  // no lists of data sources and drivers: FreeTDS of unknown version
    nullptr,
};

Step Error(const char* state, int native) { return Step{{}, {}, {}, {state, native, "boom"}}; }

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
      {{Rows({{Value::String("a")}}), Rows({{Value::String(longo)}})}, 2},
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
  DefineP({Rows({{Value::String(longo)}})});
  c_.Open();
  Command cmd(&c_, CommandType::kStoredProc, "P");
  cmd.Open();
  EXPECT_EQ(cmd.Current().Field(0).AsString(), longo);
}

// Calls outside a transaction read committed; only the session's
// transactions run serializable, also when a deadlock ended one.
TEST_F(OdbcScripted, SerializableOnlyInsideTransactions) {
  DefineP({});
  Command cmd(&c_, CommandType::kStoredProc, "P");
  const auto call = [&] {
    cmd.Execute();
    return server_.isolation;
  };
  EXPECT_EQ(call(), SQL_TXN_READ_COMMITTED);
  for (bool commit : {true, false}) {
    c_.BeginTrans();
    EXPECT_EQ(call(), SQL_TXN_SERIALIZABLE);
    commit ? c_.CommitTrans() : c_.RollbackTrans();
    EXPECT_EQ(call(), SQL_TXN_READ_COMMITTED);
  }
  c_.BeginTrans();
  call();
  DefineP({Error("40001", 1205)});
  EXPECT_THROW(cmd.Execute(), ProviderError);
  EXPECT_EQ(server_.isolation, SQL_TXN_READ_COMMITTED);
}

TEST_F(OdbcScripted, AServerThatNeverAnswersEndsAtTheTimeouts) {
  server_.stalls = true;
  for (int step = 0; step < 2; ++step) {
    try {
      if (step == 0) Command(&c_, CommandType::kStoredProc, "P");
      if (step == 1) c_.Open();
      ADD_FAILURE();
    } catch (const ProviderError& e) {
      EXPECT_EQ(e.Kind(), ErrorKind::kTimeout);
    }
  }
  EXPECT_EQ(server_.login_timeout, 15u);
}

// After every kind of failure the connection's word on the transaction is
// the server's: in one exactly when autocommit is off and the server still
// holds it.
TEST_F(OdbcScripted, TransactionStateAgreesWithTheServerAfterEveryFailure) {
  const std::tuple<const char*, Step, bool> rows[] = {
      {"deadlock victim", Error("40001", 1205), false},
      {"uncommittable transaction", Error("25000", 3998), false},
      {"procedure's own error", Error("42000", 50001), true},
      {"duplicate key", Error("23000", 2627), true},
      {"timeout", Error("HYT00", 0), true},
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
    EXPECT_EQ(c_.InTransaction(), still);
    EXPECT_EQ(server_.autocommit, !still);
    EXPECT_EQ(server_.trancount, still ? 1 : 0);
    if (c_.InTransaction()) c_.RollbackTrans();
    EXPECT_TRUE(server_.autocommit);
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
        {Step{{"t", "o"}, {-154, -155}, {{Value::DateTime(0.5), Value::DateTime(45000.25)}}, {}}},
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

// Rows of a text go as parameter arrays, up to 1000 rows a request, each
// row's values in place; the statement then runs single rows again.
TEST_F(OdbcScripted, RowsGoAsParameterArrays) {
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 1500; ++i) {
    rows.push_back({Value::Int(i), Value::Double(i / 4.0),
                    i % 7 ? Value::String(std::string(static_cast<size_t>(i % 5), 'x')) : Value()});
  }
  Command cmd(&c_, CommandType::kText, "INSERT INTO t VALUES (?, ?, ?)");
  cmd.ExecuteRows(rows);
  EXPECT_EQ(server_.executes, 2);
  ASSERT_EQ(server_.received.size(), 1500u);
  EXPECT_EQ(server_.received[1234], "1234,308.5,xxxx");
  EXPECT_EQ(server_.received[700], "700,175,NULL");
  for (int i = 0; i < 3; ++i) cmd.Params()[i].value = rows[3][static_cast<size_t>(i)];
  cmd.Execute();
  EXPECT_EQ(server_.received.back(), "3,0.75,xxx");
  EXPECT_EQ(server_.received.size(), 1501u);
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
       "DSN=zun;UID=u;PWD={ p }"},
      // "}" only where the driver undoes "}}"; refused where it would read
      // "x" and then a database of the password's choosing.
      {"Data Source=db1;User ID=u;Password=\"x};Database=y\"", tds14,
       "Driver={FreeTDS};Server=db1;Port=1433;UID=u;PWD={x}};Database=y};TDS_Version=7.4;"
       "ClientCharset=CP1252;Encryption=require"},
      {"Data Source=db1;User ID=u;Password=\"x};Database=y\";Odbc Driver=ODBC Driver 18",
       {},
       "Driver={ODBC Driver 18};Server=db1;UID=u;PWD={x}};Database=y}"},
      {"Data Source=db1;User ID=u;Password=\"x};Database=y\"", tds13, nullptr},
      {"Data Source=db1;User ID=u;Password=a}b", {}, nullptr},
      {"Odbc DSN=zun;User ID=u;Password=a}b", tds13, nullptr},
      // TLS: required unless declined for a server without it.
      {"Odbc DSN=zun", tds14, "DSN=zun;Encryption=require"},
      {"Data Source=db1;Use Encryption for Data=False;Odbc Driver=ODBC Driver 18",
       {},
       "Driver={ODBC Driver 18};Server=db1;Encrypt=no"},
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
  std::ofstream(path, std::ios::binary) << std::string(
                                               "\x7f"
                                               "ELF\0freetds v\0",
                                               15)
                                        << "freetds v1.4.22" << std::string(3, '\0');
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
