// A scripted ODBC layer: the function table the ODBC provider calls, with a
// server a test sets up (procedures and their descriptions, result sets,
// errors, outputs, the transaction as SQL Server keeps it), for what a
// driver may do that FreeTDS against the TDS test server does not.
//
// Thread-safety: none; one test thread, one Server at a time, reached
// through `g`, which the test points at its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/momento.h"
#include "foundation/text_1252.h"
#include "toolbox/dbclient/odbc/odbc_provider.h"
#include "toolbox/dbclient/value.h"

namespace zun::testing::odbc {

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
inline Server* g = nullptr;

inline SQLRETURN Fail(std::vector<Diag>* diags, Diag d) {
  *diags = {std::move(d)};
  return SQL_ERROR;
}
inline std::string N(const void* w, SQLLEN chars) {
  return Utf16ToCp1252(std::u16string(static_cast<const char16_t*>(w), static_cast<size_t>(chars)));
}
inline SQLLEN PutText(const std::string& text, void* buf, size_t room) {
  const std::u16string w = Cp1252ToUtf16(text);
  std::memcpy(buf, w.data(), std::min(w.size(), room) * 2);
  return static_cast<SQLLEN>(w.size());
}
inline Step Rows(std::vector<std::vector<Value>> rows) { return Step{1, std::move(rows), {}, {}}; }
inline Step Error(const char* state, int native) { return Step{0, {}, {state, native}, {}}; }
inline Stmt* S(SQLHSTMT h) { return static_cast<Stmt*>(h); }
inline const Step& Cur(SQLHSTMT h) { return S(h)->steps[S(h)->step]; }

// The current step of a run; past the last one the outputs are written.
inline SQLRETURN Run(Stmt* s) {
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
inline SQLRETURN Start(Stmt* s, std::vector<Step> steps, const Proc* proc = nullptr) {
  s->steps = std::move(steps);
  s->step = 0;
  s->proc = proc;
  return Run(s);
}

inline const OdbcApi kScripted = {
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

}  // namespace zun::testing::odbc
