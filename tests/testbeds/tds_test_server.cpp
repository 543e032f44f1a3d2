// A TDS 7.4 server for tests: it serves an embedded database file on
// 127.0.0.1 so that the SQL Server provider runs through a real ODBC driver
// (FreeTDS) over TCP. Each connection has its own embedded-provider session
// on the file, as several service processes share it; the stored procedures
// and SQL texts run there, and every request the provider, FreeTDS or
// another TDS client (tedious in the tests) can send is answered as SQL
// Server 2019 answers it: TLS, the liveness probe, @@TRANCOUNT, transaction
// requests with and without a transaction, sp_executesql and prepared texts
// with declared parameters, SQL Server's types, errors with SQL Server's
// numbers that let the procedure finish, and ATTENTION.
//
//   tds_test_server --db PATH [--port N] [--encryption off|required|not-supported]
//                   [--cert PEM --key PEM] [--stall-login] [--stall-call N]
//                   [--drop-at N] [--drop-after N] [--deadlock-at N]
//                   [--drop-on NAME] [--kill-on NAME,N] [--opens-tran NAME[,NAME...]]
//                   [--log PATH] [--plain-queue]
//
// TLS as SQL Server offers it: with a certificate (made at start, or read
// from --cert and --key, written there first when they do not exist yet),
// encryption "off" (the login only unless the client asks for more),
// "required" (the whole connection, always) or "not-supported" (no TLS).
//
// Prints "listening on 127.0.0.1:N" when ready; SIGTERM ends it at once.
// Calls (procedures and SQL texts) and requests are counted over all
// connections from 1; --log gets one line per prelogin, per login and per
// connection end (with the connection's request count). --opens-tran names
// procedures that begin a transaction of their own and commit it at their
// end, so that a stalled one leaves it open (XACT_ABORT OFF). --drop-on
// ends the connection at the first call of procedure NAME, before it runs;
// --kill-on does so at its Nth call, after killing (SIGKILL) the client's
// process that its LOGIN7 names (FreeTDS sends its own).
// --plain-queue serves the queue procedures as a customer's database has
// them, without this project's additions (database/plain_queue.h).
//
// Thread-safety: one detached thread per connection; the fault counters are
// atomic, the log is guarded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "embedded/plain_queue.h"
#include "embedded/procedure_catalog.h"
#include "embedded/reference_db.h"
#include "foundation/text.h"
#include "foundation/text_1252.h"
#include "tds_transport.h"
#include "tds_types.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {
namespace {

using testing::In;
using testing::Out;
using testing::SqlType;

struct Options {
  std::string db;
  int port = 0;
  testing::ServerEncryption encryption = testing::ServerEncryption::kOff;
  bool stall_login = false;
  int stall_call = 0, drop_at = 0, drop_after = 0, deadlock_at = 0;
  std::string log;
  std::vector<std::string> opens_tran;  // upper case
  std::string drop_on;                  // upper case
  std::string kill_on;                  // upper case
  int kill_at = 0;
} opt;

std::unique_ptr<testing::TdsTlsContext> tls;
std::atomic<int> calls{0}, requests{0}, kill_calls{0};
std::atomic<bool> dropped_on{false};  // --drop-on has ended a connection
std::mutex mu;                        // the log file
FILE* log_file = nullptr;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(mu);
  if (log_file == nullptr) return;
  std::fprintf(log_file, "%s\n", line.c_str());
  std::fflush(log_file);
}

// Packet types, tokens and DONE status bits ([MS-TDS] 2.2.3.1.1, 2.2.7).
constexpr uint8_t kBatch = 1, kRpc = 3, kAttention = 6, kLogin7 = 0x10, kTm = 0x0E,
                  kPrelogin = 0x12;
constexpr uint8_t kColMetadata = 0x81, kRow = 0xD1, kDone = 0xFD, kDoneProc = 0xFE,
                  kDoneInProc = 0xFF, kReturnStatus = 0x79, kReturnValue = 0xAC, kEnvChange = 0xE3,
                  kError = 0xAA, kLoginAck = 0xAD;
constexpr uint16_t kMore = 0x01, kDoneError = 0x02, kCount = 0x10, kAttn = 0x20;
constexpr char kCollation[] = "\x09\x04\xD0\x00\x34";  // SQL_Latin1_General_CP1_CI_AS
constexpr char kVersion[] =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\t"
    "Copyright (C) 2019 Microsoft Corporation\n\tDeveloper Edition (64-bit) on Linux";

// RETURNVALUE of an output parameter ([MS-TDS] 2.2.7.18): by ordinal and
// name, status 1 (output), no user type, nullable.
void ReturnValue(Out* o, size_t ordinal, const std::string& name, const SqlType& t,
                 const Value& v) {
  o->U8(kReturnValue), o->U16(ordinal), o->BVarchar(name), o->U8(1), o->U32(0), o->U16(1);
  testing::TypeInfo(o, t);
  testing::PutValue(o, t, v);
}

// An error as SQL Server reports it: message number, state, severity (class)
// and text, as in its sys.messages.
struct SqlError {
  int number, state, cls;
  std::string text;
};

// The text of message m after mark, up to the first of ends.
std::string After(const std::string& m, const char* mark, const char* ends) {
  const size_t at = m.find(mark);
  if (at == std::string::npos) return "";
  const std::string rest = m.substr(at + std::strlen(mark));
  return rest.substr(0, rest.find_first_of(ends));
}

// SQL Server's message for a failure of the embedded database. A procedure's
// own failure is a user error (50000, or its number when it gave one).
SqlError ErrorOf(const ProviderError& e) {
  const std::string m = e.what();
  const std::string table = After(m, "failed: ", ".,"), column = After(m, "failed: ", ",");
  switch (e.NativeCode()) {  // SQLite's extended result codes
    case 1555:               // primary key
      return {2627, 1, 14,
              "Violation of PRIMARY KEY constraint 'PK_" + table +
                  "'. Cannot insert duplicate key in object 'dbo." + table + "'."};
    case 2067:  // unique index
      return {2601, 1, 14,
              "Cannot insert duplicate key row in object 'dbo." + table + "' with unique index '" +
                  column + "'."};
    case 787:  // foreign key
    case 275:  // check
      return {547, 0, 16,
              std::string("The statement conflicted with the ") +
                  (e.NativeCode() == 787 ? "FOREIGN KEY" : "CHECK") +
                  " constraint. The statement has been terminated."};
    case 1299:  // not null
      return {515, 2, 16,
              "Cannot insert the value NULL into column '" + column +
                  "'; column does not allow nulls. The statement has been terminated."};
  }
  if (e.Kind() == ErrorKind::kTimeout)
    return {1222, 56, 16, "Lock request time out period exceeded."};
  if (m.find("syntax error") != std::string::npos ||
      m.find("incomplete input") != std::string::npos) {
    static const char* const keywords[] = {"SELECT", "FROM",   "WHERE", "INSERT",
                                           "UPDATE", "DELETE", "INTO",  "VALUES",
                                           "SET",    "AND",    "OR",    "BY"};
    const std::string near = After(m, "near \"", "\"");
    const bool keyword = std::count(std::begin(keywords), std::end(keywords), Maiusculas(near)) > 0;
    return {
        keyword ? 156 : 102, 1, 15,
        std::string("Incorrect syntax near ") + (keyword ? "the keyword '" : "'") + near + "'."};
  }
  if (const std::string t = After(m, "no such table: ", " "); !t.empty())
    return {208, 1, 16, "Invalid object name '" + t + "'."};
  if (const std::string c = After(m, "no such column: ", " "); !c.empty())
    return {207, 1, 16, "Invalid column name '" + c + "'."};
  return {std::max(50000, e.NativeCode()), 1, 16, m};
}

struct RpcParam {
  std::string name;
  bool output = false;
  Value value;
  SqlType type;
};

// Parameter types SQL Server would declare where the embedded database has
// only its kinds (procedure name and parameter, in capitals).
std::map<std::string, std::string> declared_types;
// Parameters SQL Server would declare with a default (" = NULL"), which a
// call may leave out (procedure name and parameter, in capitals).
std::set<std::string> defaulted;

// The type of procedure proc's parameter param: its declared one, else t.
SqlType ParamType(const std::string& proc, const std::string& param, const SqlType& t) {
  const auto it = declared_types.find(Maiusculas(proc + param));
  return it == declared_types.end() ? t : testing::ParseType(it->second);
}

// The well-known procedure ids of [MS-TDS] 2.2.6.6, which clients may also
// send by name (with or without a "sys." or "master.." prefix); 0 for any
// other procedure.
int SystemProcedureId(const std::string& name) {
  static const char* const ids[] = {"sp_cursor",        "sp_cursoropen",     "sp_cursorprepare",
                                    "sp_cursorexecute", "sp_cursorprepexec", "sp_cursorunprepare",
                                    "sp_cursorfetch",   "sp_cursoroption",   "sp_cursorclose",
                                    "sp_executesql",    "sp_prepare",        "sp_execute",
                                    "sp_prepexec",      "sp_prepexecrpc",    "sp_unprepare"};
  const std::string base = name.substr(name.rfind('.') + 1);
  for (int i = 0; i < 15; ++i)
    if (strcasecmp(base.c_str(), ids[i]) == 0) return i + 1;
  return 0;
}

// A parameterised SQL text as sp_executesql and sp_prepare take it: the
// declarations ("@a int, @b decimal(18,4) OUTPUT") and the text with each
// reference to a declared name made ?N, N its place in the declarations
// (names may repeat and come in any order). A reference to a name not
// declared is SQL Server's error 137; text in quotes, brackets and comments
// stays as it is, and so do @@ functions.
struct Statement {
  std::string sql;
  std::vector<std::string> names;
  std::vector<SqlType> types;
  size_t used = 0;  // the highest N referenced

  Statement(const std::string& text, const std::string& declarations) {
    std::vector<std::string> parts(1);
    int depth = 0;
    for (char c : declarations) {
      depth += c == '(' ? 1 : c == ')' ? -1 : 0;
      if (c == ',' && depth == 0) {
        parts.emplace_back();
      } else {
        parts.back() += c;
      }
    }
    for (const std::string& part : parts) {
      const std::string one = AparaBrancos(part);
      if (one.empty()) continue;
      const size_t blank = std::min(one.find_first_of(" \t"), one.size());
      std::string type = AparaBrancos(one.substr(blank));
      const std::string u = Maiusculas(type);
      if (u.ends_with(" OUTPUT") || u.ends_with(" OUT"))
        type = AparaBrancos(type.substr(0, type.rfind(' ')));
      names.push_back(one.substr(0, blank)), types.push_back(testing::ParseType(type));
    }
    for (size_t i = 0; i < text.size();) {
      const char c = text[i];
      const char* end = c == '\'' ? "'" : c == '"' ? "\"" : c == '[' ? "]" : nullptr;
      if (text.compare(i, 2, "--") == 0) end = "\n";
      if (text.compare(i, 2, "/*") == 0) end = "*/";
      if (end != nullptr) {
        const size_t close = text.find(end, i + 1 + (end[0] == '*' || end[0] == '\n'));
        const size_t stop = close == std::string::npos ? text.size() : close + std::strlen(end);
        sql += text.substr(i, stop - i), i = stop;
        continue;
      }
      const auto word = [&](size_t k) {
        const char w = text[k];
        return std::isalnum(static_cast<unsigned char>(w)) || w == '_' || w == '@' || w == '#';
      };
      size_t j = i + 1;
      while (word(i) && j < text.size() && word(j)) ++j;
      if (c != '@' || text.compare(i, 2, "@@") == 0) {
        sql += text.substr(i, j - i), i = j;
        continue;
      }
      const std::string name = text.substr(i, j - i);
      size_t n = 0;
      while (n < names.size() && strcasecmp(names[n].c_str(), name.c_str()) != 0) ++n;
      if (n == names.size())
        throw SqlError{137, 2, 15, "Must declare the scalar variable \"" + name + "\"."};
      sql += "?" + std::to_string(n + 1), used = std::max(used, n + 1), i = j;
    }
  }

  // The values for the text from the parameters sent after the first
  // `first`: by name where named, else in order.
  std::vector<Value> Values(const std::vector<RpcParam>& ps, size_t first) const {
    std::vector<Value> v(std::max(used, names.size()));
    for (size_t i = first; i < ps.size(); ++i) {
      size_t n = i - first;
      for (size_t k = 0; k < names.size(); ++k)
        if (!ps[i].name.empty() && strcasecmp(names[k].c_str(), ps[i].name.c_str()) == 0) n = k;
      if (n < v.size()) v[n] = ps[i].value;
    }
    v.resize(used);
    return v;
  }
};

class Session {
 public:
  explicit Session(int fd) : wire_(fd) {}
  void Run() {
    uint8_t type;
    std::string body;
    if (opt.stall_login) {
      while (ReadMessage(&type, &body)) {
      }
      return;
    }
    if (!ReadMessage(&type, &body) || type != kPrelogin) return;
    const uint8_t asked = ClientEncryption(body);
    const uint8_t answer = testing::EncryptionAnswer(opt.encryption, asked);
    Log("prelogin encryption=" + std::to_string(asked) + " answer=" + std::to_string(answer));
    Prelogin(answer);
    // Unless neither side does TLS, the handshake comes next: a client that
    // cannot (or sends LOGIN7 in clear) loses the connection.
    if (answer != testing::kEncryptNotSup &&
        !wire_.StartTls(*tls, answer == testing::kEncryptOff)) {
      Log("no TLS handshake");
      return;
    }
    if (!ReadMessage(&type, &body) || type != kLogin7 || !Login(body)) return;
    while (ReadMessage(&type, &body)) {
      ++requests_;
      if (++requests == opt.drop_at) break;
      // One reply for all the calls of a request.
      Out o;
      drop_ = stall_ = cancelled_ = false;
      try {
        In in{body};
        if (type == kAttention) {
          // One that crossed the reply to its request is acknowledged all the same.
          Done(&o, kDone, kAttn, 0, 0);
        } else if (in.SkipHeaders(), type == kBatch) {
          Batch(testing::Ucs2Text(body.substr(in.p)), &o);
        } else if (type == kRpc) {
          while (!in.AtEnd() && !drop_ && !cancelled_) Rpc(&in, &o);
        } else if (type == kTm) {
          Tm(&in, &o);
        } else {
          break;
        }
      } catch (const std::exception& e) {
        Log(std::string("bad request: ") + e.what());
        break;
      }
      if (drop_) {
        Log(dropped_on_
                ? "dropped at a call of " + (opt.drop_on.empty() ? opt.kill_on : opt.drop_on)
                : "dropped after call " + std::to_string(opt.drop_after));
        break;
      }
      if (!o.b.empty()) Send(o);
    }
    Log("end user=" + user_ + " requests=" + std::to_string(requests_));
  }

 private:
  bool ReadMessage(uint8_t* type, std::string* body) { return wire_.ReadMessage(type, body); }

  // A reply (packet type 4) in packets of the size agreed at the login.
  void Send(const Out& o) { wire_.Send(4, o.b, packet_); }

  // The client's ENCRYPTION option of its PRELOGIN ([MS-TDS] 2.2.6.5).
  static uint8_t ClientEncryption(const std::string& body) {
    In in{body};
    for (uint8_t token; (token = in.U8()) != 0xFF;) {
      const size_t at = static_cast<size_t>(in.U8() << 8 | in.U8());
      in.U16();
      if (token == 1) return static_cast<uint8_t>(body.at(at));
    }
    return testing::kEncryptNotSup;
  }

  void Prelogin(uint8_t encryption) {
    // [MS-TDS] 2.2.6.5: VERSION, ENCRYPTION, INSTOPT, THREADID, MARS.
    const std::string data[] = {std::string("\x0F\x00\x07\xD0\x00\x00", 6),
                                std::string(1, static_cast<char>(encryption)), std::string(1, 0),
                                std::string(), std::string(1, 0)};
    Out o;
    size_t offset = 5 * 5 + 1;
    for (int i = 0; i < 5; ++i) {
      o.U8(i), o.U8(offset >> 8), o.U8(offset & 0xFF), o.U8(0), o.U8(data[i].size());
      offset += data[i].size();
    }
    o.U8(0xFF);
    for (const std::string& d : data) o.b += d;
    Send(o);
  }

  bool Login(const std::string& body) {
    // [MS-TDS] 2.2.6.4: offsets and lengths (in characters) from byte 36.
    In in{body};
    auto field = [&](size_t at, bool password) {
      in.p = at;
      const uint16_t off = in.U16(), chars = in.U16();
      std::string raw = body.substr(off, chars * 2u);
      if (password) {  // each byte: nibbles swapped, then XOR 0xA5
        for (char& c : raw) {
          const auto b = static_cast<uint8_t>(c ^ 0xA5);
          c = static_cast<char>((b << 4 | b >> 4) & 0xFF);
        }
      }
      return testing::Ucs2Text(raw);
    };
    in.p = 8;
    packet_ = std::clamp<size_t>(in.U32(), 512, 32767);
    in.p = 16;
    client_pid_ = static_cast<pid_t>(in.U32());
    user_ = field(40, false);
    const std::string password = field(44, true);
    const std::filesystem::path db(opt.db);
    const auto q = QuoteConnectionValue;
    try {
      db_.Open(ConnectionString("Provider=SQLite;Initial Catalog=" + db.stem().string() +
                                ";Data Directory=" + q(db.parent_path().string()) +
                                ";User ID=" + q(user_) + ";Password=" + q(password)));
    } catch (const ProviderError&) {
      Log("login7 user=" + user_ + " refused");
      Out o;
      Error(&o, 18456, 1, 14, "Login failed for user '" + user_ + "'.", kDone);
      Send(o);
      return false;
    }
    Log("login7 user=" + user_ + " ok tls=" + wire_.Coverage());
    // The collation, then the acknowledgement: what FreeTDS needs of SQL
    // Server's answer (database, language and packet size stay as asked).
    Out o, t;
    t.U8(7), t.U8(5), t.b.append(kCollation, 5), t.U8(0);
    o.Token(kEnvChange, t);
    Out ack;
    ack.U8(1), ack.b += std::string("\x74\x00\x00\x04", 4), ack.BVarchar("Microsoft SQL Server");
    ack.b += std::string("\x0F\x00\x07\xD0", 4);
    o.Token(kLoginAck, ack);
    Done(&o, kDone, 0, 0, 0);
    Send(o);
    return true;
  }

  // ENVCHANGE of a transaction ([MS-TDS] 2.2.7.9): 8 begin, 9 commit, 10 rollback.
  void EnvTran(Out* o, int type) {
    Out e, id;
    e.U8(type);
    id.U64(tran_);
    if (type == 8) {
      e.U8(8), e.b += id.b, e.U8(0);
    } else {
      e.U8(0), e.U8(8), e.b += id.b;
    }
    o->Token(kEnvChange, e);
  }

  // Counts a call and applies the fault switches to it; true when they
  // answered it instead. A call that opens a transaction of its own runs
  // before its stall, so that the transaction stays open.
  bool Fault(Out* o, uint8_t done, bool opens_tran = false) {
    const int n = ++calls;
    drop_ = n == opt.drop_after;  // it runs and commits; the reply is lost
    if (n == opt.stall_call) {
      if (opens_tran) return stall_ = true, false;
      Stall(o, Out());
      return true;
    }
    if (n != opt.deadlock_at) return false;
    // The victim's transaction is undone, the caller's or its own, and the
    // batch ends there: no return status follows.
    if (tran_count_ > 0) Rollback(o);
    Error(o, 1205, 51, 13,
          "Transaction (Process ID 51) was deadlocked on lock resources with another process "
          "and has been chosen as the deadlock victim. Rerun the transaction.",
          done);
    return true;
  }

  // Holds the call until the client gives up: it sends ATTENTION, which SQL
  // Server answers with DONE and DONE_ATTN ([MS-TDS] 2.2.2.9, 3.3.5.9). What
  // the request produced is dropped but for keep; the rest of it is not run.
  void Stall(Out* o, const Out& keep) {
    uint8_t type;
    std::string body;
    while (ReadMessage(&type, &body) && type != kAttention) {
    }
    o->b = keep.b;
    Done(o, kDone, kAttn, 0, 0);
    stall_ = false;
    cancelled_ = true;
  }

  // Runs one statement; a failure becomes SQL Server's ERROR and the
  // statement's DONE with DONE_ERROR, and the request goes on (XACT_ABORT
  // OFF). Returns 0, or the status a procedure without RETURN reports after
  // such a failure: -1 to -14 for severities 11 to 24.
  template <typename F>
  int Guarded(Out* o, bool in_proc, F run) {
    try {
      run();
      return 0;
    } catch (const ProviderError& e) {
      if (e.Kind() == ErrorKind::kConnectionLost) throw;  // the database is gone
      const SqlError s = ErrorOf(e);
      Error(o, s, in_proc ? kDoneInProc : kDone, in_proc ? kMore : 0);
      return 10 - s.cls;
    }
  }

  // COLMETADATA and the ROWs of rs, then the DONE token done with its count.
  void Rows(Out* o, const Recordset& rs, uint8_t done, unsigned more) {
    std::vector<SqlType> cols;
    for (int c = 0; c < rs.FieldCount(); ++c) {
      std::vector<const Value*> vals;
      for (const auto& row : rs.rows()) vals.push_back(&row[static_cast<size_t>(c)]);
      cols.push_back(ColumnType(rs.FieldName(c), vals));
    }
    o->U8(kColMetadata), o->U16(cols.size());
    for (int c = 0; c < rs.FieldCount(); ++c) {
      o->U32(0), o->U16(0x0001 | 0x0008);  // nullable, updateable unknown
      testing::TypeInfo(o, cols[static_cast<size_t>(c)]);
      o->BVarchar(rs.FieldName(c));
    }
    for (const auto& row : rs.rows()) {
      o->U8(kRow);
      for (size_t c = 0; c < cols.size(); ++c) testing::PutValue(o, cols[c], row[c]);
    }
    Done(o, done, kCount | more, 0xC1, rs.rows().size());
  }

  // Runs a parameterised statement with the values sent after the first
  // `first` parameters; a column that is one of its parameters has its
  // declared type, as SQL Server gives it.
  void Run(const Statement& st, const std::vector<RpcParam>& ps, size_t first, Out* o) {
    for (size_t n = 0; n < st.types.size(); ++n) hints_["?" + std::to_string(n + 1)] = st.types[n];
    try {
      Text(st.sql, st.Values(ps, first), o, true);
    } catch (...) {
      hints_.clear();
      throw;
    }
    hints_.clear();
  }

  SqlType ColumnType(const std::string& name, const std::vector<const Value*>& values) const {
    const auto it = hints_.find(name);
    return it != hints_.end() ? it->second : testing::ColumnFor(DataType::kEmpty, values);
  }

  // Runs a SQL text with ?/@Pn placeholders taking values in order.
  void Text(const std::string& sql, const std::vector<Value>& values, Out* o, bool in_proc) {
    const uint8_t done = in_proc ? kDoneInProc : kDone;
    const unsigned more = in_proc ? kMore : 0;
    std::vector<Recordset> out;
    const int changed = db_.ExecuteSqlParams(sql, values, 0, &out);
    for (const Recordset& rs : out) Rows(o, rs, done, more);
    if (out.empty()) Done(o, done, kCount | more, 0xC5, changed);
  }

  void ProcedureColumns(const std::vector<RpcParam>& ps, Out* o) {
    // The provider asks for one procedure by its exact name.
    std::shared_ptr<const ProcedureEntry> proc;
    for (const RpcParam& p : ps) {
      if (strcasecmp(p.name.c_str(), "@procedure_name") == 0)
        proc = FindProcedure(p.value.AsString());
    }
    // The driver names the columns itself.
    Recordset rs(std::vector<std::string>(20));
    auto n = [](int v) { return v < 0 ? Value() : Value::Int(v); };
    int ordinal = 0;
    for (const ProcParam& p : proc ? proc->signature : std::vector<ProcParam>{}) {
      const testing::TypeDescription t =
          testing::Describe(ParamType(proc->name, p.name, testing::TypeOf(p.type)));
      const bool ret = p.direction == ParamDirection::kReturnValue;
      // SQL Server reports an OUTPUT parameter as input/output (2), the
      // return value as 5.
      const int io = ret ? 5 : p.direction == ParamDirection::kInput ? 1 : 2;
      rs.AddRow({Value::String("ZunInput"),
                 Value::String("dbo"),
                 Value::String(proc->name + ";1"),
                 Value::String(ret ? "@RETURN_VALUE" : p.name),
                 n(io),
                 t.data_type,
                 Value::String(t.name),
                 t.precision,
                 t.length,
                 t.scale,
                 t.radix,
                 n(ret ? 0 : 1),
                 Value(),
                 Value(),
                 t.sql_data_type,
                 t.datetime_sub,
                 t.octets,
                 n(ordinal++),
                 Value::String(ret ? "NO" : "YES"),
                 t.ss_type});
    }
    Rows(o, rs, kDoneInProc, kMore);
    o->U8(kReturnStatus), o->U32(0);
  }

  // The procedure's parameters with the values sent: by name where the
  // client names them, else by position after the return value; *at gets
  // each value's place. Raises SqlError as SQL Server refuses the call.
  Parameters Arguments(const std::string& name, const std::vector<RpcParam>& ps,
                       std::vector<int>* at) {
    Parameters params;
    try {
      params = db_.DescribeProcedure(name);
    } catch (const ProviderError& e) {
      if (e.Kind() == ErrorKind::kConnectionLost) throw;
      throw SqlError{2812, 62, 16, "Could not find stored procedure '" + name + "'."};
    }
    std::vector<bool> given(static_cast<size_t>(params.Count()));
    for (size_t i = 0; i < ps.size(); ++i) {
      int k = static_cast<int>(i) + 1;
      if (!ps[i].name.empty()) {
        const Parameter* p = params.Find(ps[i].name);
        if (p == nullptr || p == &params[0])
          throw SqlError{8145, 2, 16,
                         ps[i].name + " is not a parameter for procedure " + name + "."};
        k = static_cast<int>(p - &params[0]);
      } else if (k >= params.Count()) {
        throw SqlError{8144, 2, 16,
                       "Procedure or function " + name + " has too many arguments specified."};
      }
      params[k].value = ps[i].value;
      given[static_cast<size_t>(k)] = true;
      at->push_back(k);
    }
    for (int k = 1; k < params.Count(); ++k) {
      if (!given[static_cast<size_t>(k)] && defaulted.count(Maiusculas(name + params[k].name)) == 0)
        throw SqlError{201, 4, 16,
                       "Procedure or function '" + name + "' expects parameter '" + params[k].name +
                           "', which was not supplied."};
    }
    return params;
  }

  // Whether the call of name ends the connection before it runs: the
  // first one (--drop-on), or the Nth over all connections (--kill-on),
  // which kills the client's process first, as a kill of the service would
  // end it with its request under way.
  bool DropsOn(const std::string& full_name) {
    const std::string name = Maiusculas(full_name.substr(full_name.rfind('.') + 1));
    if (name == opt.kill_on && ++kill_calls == opt.kill_at) {
      Log("killed the client (pid " + std::to_string(client_pid_) + ") at call " +
          std::to_string(opt.kill_at) + " of " + opt.kill_on);
      if (client_pid_ > 0) ::kill(client_pid_, SIGKILL);
      return drop_ = dropped_on_ = true;
    }
    if (opt.drop_on.empty() || name != opt.drop_on || dropped_on.exchange(true)) return false;
    return drop_ = dropped_on_ = true;
  }

  bool OpensTran(const std::string& name) const {
    return std::count(opt.opens_tran.begin(), opt.opens_tran.end(), Maiusculas(name)) > 0;
  }

  // A procedure of the database: its rows, RETURNSTATUS, one RETURNVALUE per
  // output parameter in the order they were sent, DONEPROC ([MS-TDS] 2.2.2.5,
  // 2.2.2.6). One that opens a transaction of its own begins it first and
  // commits it at its end (nested in the caller's, @@TRANCOUNT counts both).
  void Procedure(const std::string& full_name, const std::vector<RpcParam>& ps, Out* o,
                 unsigned more) {
    const std::string name = full_name.substr(full_name.rfind('.') + 1);
    std::vector<int> at;
    Parameters params = Arguments(name, ps, &at);
    Out own, body;  // its BEGIN TRAN's ENVCHANGE, and what follows it
    const bool opens = OpensTran(name);
    if (opens) Begin(&own);
    const int64_t before = TotalChanges();
    std::vector<Recordset> out;
    const int failed = Guarded(&body, true, [&] { db_.CallProcedure(name, &params, 0, &out); });
    if (stall_) return Stall(o, own);
    // Without SET NOCOUNT ON a procedure's writes report their rows; they
    // come before its result sets here, as the writes run first.
    if (const int64_t changed = TotalChanges() - before; changed > 0 && !failed)
      Done(&body, kDoneInProc, kCount | kMore, 0xC5, static_cast<uint64_t>(changed));
    for (const Recordset& rs : out) Rows(&body, rs, kDoneInProc, kMore);
    if (opens) Commit(&body);
    const Value& rv = params[0].value;
    body.U8(kReturnStatus), body.U32(static_cast<uint32_t>(failed        ? failed
                                                           : rv.IsNull() ? 0
                                                                         : rv.AsInt()));
    for (size_t i = 0; i < ps.size(); ++i) {
      const Parameter& p = params[at[i]];
      if (ps[i].output)
        ReturnValue(&body, i + 1, p.name,
                    ParamType(name, p.name, testing::ColumnFor(p.type, {&p.value})), p.value);
    }
    Done(&body, kDoneProc, more, 0xE0, 0);
    o->b += own.b + body.b;
  }

  // One RPC: a system procedure by its well-known id ([MS-TDS] 2.2.6.6; 10
  // sp_executesql, 11 sp_prepare, 12 sp_execute, 13 sp_prepexec and 15
  // sp_unprepare run, the server cursors 1 to 9 and 14 are refused with
  // 16937), the catalog's description of a procedure, or a procedure of the
  // database. A call refused before it runs gets its ERROR and DONEPROC only.
  void Call(int id, const std::string& name, const std::vector<RpcParam>& ps, Out* o,
            unsigned more) {
    auto prepared = [&](int handle) -> const Statement& {
      const auto it = prepared_.find(handle);
      if (it == prepared_.end())
        throw SqlError{
            8179, 4, 16,
            "Could not find prepared statement with handle " + std::to_string(handle) + "."};
      return it->second;
    };
    try {
      const bool sproc_columns = id == 0 && strcasecmp(name.c_str(), "sp_sproc_columns") == 0;
      if (id == 0 && !sproc_columns && DropsOn(name)) return;
      if ((id == 10 || id == 12 || id == 13 || (id == 0 && !sproc_columns)) &&
          Fault(o, kDoneProc, id == 0 && OpensTran(name)))
        return;
      if (id == 0 && !sproc_columns) return Procedure(name, ps, o, more);
      int status = 0;
      if (id == 11 || id == 13) {
        const int h = next_handle_++;
        const Statement& st =
            prepared_.emplace(h, Statement(ps.at(2).value.AsString(), ps.at(1).value.AsString()))
                .first->second;
        if (id == 13) status = Guarded(o, true, [&] { Run(st, ps, 3, o); });
        o->U8(kReturnStatus), o->U32(static_cast<uint32_t>(status));
        ReturnValue(o, 1, "@handle", testing::ParseType("int"), Value::Int(h));
      } else if (id == 10) {
        const Statement st(ps.at(0).value.AsString(),
                           ps.size() > 1 && !ps[1].value.IsNull() ? ps[1].value.AsString() : "");
        status = Guarded(o, true, [&] { Run(st, ps, 2, o); });
        o->U8(kReturnStatus), o->U32(static_cast<uint32_t>(status));
        // Outputs come back as they went: the text cannot assign them here.
        for (size_t i = 2; i < ps.size(); ++i)
          if (ps[i].output) ReturnValue(o, i, ps[i].name, ps[i].type, ps[i].value);
      } else if (id == 12) {
        const Statement& st = prepared(ps.at(0).value.AsInt());
        status = Guarded(o, true, [&] { Run(st, ps, 1, o); });
        o->U8(kReturnStatus), o->U32(static_cast<uint32_t>(status));
      } else if (id == 15) {
        prepared_.erase(ps.at(0).value.AsInt());
        o->U8(kReturnStatus), o->U32(0);
      } else if (id != 0) {
        throw SqlError{16937, 1, 16,
                       "A server cursor cannot be opened on the given statement or statements. "
                       "Use a default result set or client cursor."};
      } else {
        ProcedureColumns(ps, o);
      }
      Done(o, kDoneProc, more, 0xE0, 0);
    } catch (const SqlError& e) {
      Error(o, e, kDoneProc, more);
    }
  }

  void Rpc(In* in, Out* o) {
    // [MS-TDS] 2.2.6.6: the procedure by name, or 0xFFFF and a well-known id.
    const uint16_t name_len = in->U16();
    const std::string name = name_len == 0xFFFF ? std::string() : in->Ucs2(name_len);
    const int id = name_len == 0xFFFF ? in->U16() : SystemProcedureId(name);
    in->U16();  // option flags
    std::vector<RpcParam> ps;
    while (!in->AtEnd() && static_cast<uint8_t>(in->s[in->p]) != 0xFF &&
           static_cast<uint8_t>(in->s[in->p]) != 0x80) {
      RpcParam p;
      p.name = in->Ucs2(in->U8());
      p.output = (in->U8() & 1) != 0;
      p.value = testing::ReadValue(in, &p.type);
      ps.push_back(std::move(p));
    }
    // Several calls in one request are separated by 0xFF ([MS-TDS] 2.2.6.6).
    const unsigned more = in->AtEnd() ? 0 : kMore;
    if (more) in->U8();
    Call(id, name, ps, o, more);
  }

  // A SQL batch: what the driver and the session ask of the server itself
  // (settings, @@VERSION, @@TRANCOUNT, the probe "exec sp_server_info 1",
  // transaction statements), else one statement of the database. A text
  // the database cannot run is answered with SQL Server's error for it.
  void Batch(const std::string& sql, Out* o) {
    const std::string u = Maiusculas(AparaBrancos(sql));
    const size_t blank = u.find(' ');
    const std::string verb = u.substr(0, blank), rest = blank == u.npos ? "" : u.substr(blank + 1);
    if (verb == "SET") return Done(o, kDone, 0, 0, 0);
    if (u == "SELECT @@VERSION" || u == "SELECT @@TRANCOUNT") {
      Recordset rs({""});
      rs.AddRow({u == "SELECT @@VERSION" ? Value::String(kVersion) : Value::Int(tran_count_)});
      return Rows(o, rs, kDone, 0);
    }
    if (verb == "EXEC" || verb == "EXECUTE") return Exec(AparaBrancos(sql.substr(blank + 1)), o);
    if (Transaction(u, o)) return;
    if (!Fault(o, kDone)) Guarded(o, false, [&] { Text(sql, {}, o, false); });
  }

  // EXEC of a procedure without arguments, or of sp_server_info with an
  // attribute's number.
  void Exec(const std::string& text, Out* o) {
    const std::string name = text.substr(0, text.find(' '));
    if (strcasecmp(name.c_str(), "sp_server_info") != 0) {
      try {
        if (!DropsOn(name) && !Fault(o, kDoneProc, OpensTran(name))) Procedure(name, {}, o, 0);
      } catch (const SqlError& e) {
        Error(o, e, kDone);
      }
      return;
    }
    static const char* const attributes[][2] = {
        {"DBMS_NAME", "Microsoft SQL Server"},
        {"DBMS_VER", "Microsoft SQL Server 2019 - 15.0.2000.5"}};
    const int asked = name.size() < text.size() ? std::atoi(text.c_str() + name.size()) : 0;
    Recordset rs({"attribute_id", "attribute_name", "attribute_value"});
    for (int id = 1; id <= 2; ++id) {
      if (asked == 0 || asked == id)
        rs.AddRow({Value::Int(id), Value::String(attributes[id - 1][0]),
                   Value::String(attributes[id - 1][1])});
    }
    Rows(o, rs, kDoneInProc, kMore);
    o->U8(kReturnStatus), o->U32(0);
    Done(o, kDoneProc, 0, 0xE0, 0);
  }

  // BEGIN TRAN, COMMIT and ROLLBACK as texts, also behind "IF @@TRANCOUNT > 0",
  // and SAVE TRAN name and ROLLBACK TRAN name (a savepoint: @@TRANCOUNT
  // stays, the savepoint too); false for any other text.
  bool Transaction(std::string u, Out* o) {
    const std::string guard = "IF @@TRANCOUNT > 0 ";
    const bool guarded = u.rfind(guard, 0) == 0;
    if (guarded) u.erase(0, guard.size());
    const size_t blank = u.find(' ');
    const std::string verb = u.substr(0, blank), what = blank == u.npos ? "" : u.substr(blank + 1);
    const bool tran = what == "TRAN" || what == "TRANSACTION";
    const size_t named = what.find(' ');
    const std::string kind = what.substr(0, named);
    if ((verb == "SAVE" || verb == "ROLLBACK") && named != what.npos &&
        (kind == "TRAN" || kind == "TRANSACTION")) {
      try {
        SavePoint(verb == "SAVE", what.substr(named + 1));
        Done(o, kDone, 0, 0, 0);
      } catch (const SqlError& e) {
        Error(o, e, kDone);
      }
      return true;
    }
    if (!(verb == "BEGIN" && tran) &&
        !((verb == "COMMIT" || verb == "ROLLBACK") && (tran || what.empty() || what == "WORK")))
      return false;
    try {
      if (!guarded || tran_count_ > 0)
        verb == "BEGIN" ? Begin(o) : verb == "COMMIT" ? Commit(o) : Rollback(o);
      Done(o, kDone, 0, 0, 0);
    } catch (const SqlError& e) {
      Error(o, e, kDone);
    }
    return true;
  }

  // A transaction manager request ([MS-TDS] 2.2.6.9): 5 begin, 7 commit, 8
  // rollback; commit and rollback may begin the next transaction at once.
  void Tm(In* in, Out* o) {
    const uint16_t type = in->U16();
    try {
      if (type == 5) {
        Begin(o);
      } else if (type == 7 || type == 8) {
        in->Bytes(in->U8());
        type == 7 ? Commit(o) : Rollback(o);
        if (!in->AtEnd() && in->U8() == 1) Begin(o);
      }
      Done(o, kDone, 0, 0, 0);
    } catch (const SqlError& e) {
      Error(o, e, kDone);
    }
  }

  static void Done(Out* o, uint8_t token, unsigned status, unsigned cmd, uint64_t count) {
    o->U8(token), o->U16(status), o->U16(cmd), o->U64(count);
  }
  // An ERROR token of SQL Server's message number, state and class
  // ([MS-TDS] 2.2.7.10), then the DONE token done that ends the request in error.
  static void Error(Out* o, int32_t number, int state, int cls, const std::string& text,
                    uint8_t done, unsigned more = 0) {
    Out t;
    t.U32(static_cast<uint32_t>(number)), t.U8(state), t.U8(cls), t.UsVarchar(text);
    t.BVarchar("ZUNTDS"), t.BVarchar(""), t.U32(1);
    o->Token(kError, t);
    Done(o, done, more | kDoneError, done == kDoneProc ? 0xE0 : 0, 0);
  }
  static void Error(Out* o, const SqlError& e, uint8_t done, unsigned more = 0) {
    Error(o, e.number, e.state, e.cls, e.text, done, more);
  }

  // @@TRANCOUNT's transaction: the outermost BEGIN begins it, the outermost
  // COMMIT commits it, any ROLLBACK undoes it all ([MS-TDS] 2.2.7.9 for the
  // ENVCHANGEs). Commit and rollback without one raise 3902 and 3903.
  void Begin(Out* o) {
    if (tran_count_ == 0) {
      db_.BeginTransaction();
      tran_ = next_tran_++;
      EnvTran(o, 8);
    }
    ++tran_count_;
  }
  // SAVE TRANSACTION name (save) and ROLLBACK TRANSACTION name: a name may
  // repeat, the rollback goes to its latest savepoint and keeps it.
  void SavePoint(bool save, const std::string& name) {
    if (tran_count_ == 0 && save)
      throw SqlError{628, 0, 16,
                     "Cannot issue SAVE TRANSACTION when there is no active transaction."};
    if (save) {
      db_.Savepoint("\"" + name + "\"");
      saves_.push_back(name);
    } else if (std::find(saves_.begin(), saves_.end(), name) == saves_.end()) {
      throw SqlError{
          6401, 1, 16,
          "Cannot roll back " + name + ". No transaction or savepoint of that name was found."};
    } else {
      db_.RollbackToSavepoint("\"" + name + "\"");
      saves_.erase(std::find(saves_.rbegin(), saves_.rend(), name).base(), saves_.end());
    }
  }
  void Commit(Out* o) {
    if (tran_count_ == 0)
      throw SqlError{3902, 1, 16,
                     "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."};
    if (--tran_count_ > 0) return;
    saves_.clear();
    try {
      db_.Commit();
    } catch (const ProviderError& e) {  // rolled back
      EnvTran(o, 10);
      tran_ = 0;
      if (e.Kind() == ErrorKind::kConnectionLost) throw;
      throw ErrorOf(e);
    }
    EnvTran(o, 9);
    tran_ = 0;
  }
  void Rollback(Out* o) {
    if (tran_count_ == 0)
      throw SqlError{3903, 1, 16,
                     "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."};
    tran_count_ = 0;
    saves_.clear();
    if (db_.InTransaction()) db_.Rollback();  // else one the database undid itself
    EnvTran(o, 10);
    tran_ = 0;
  }
  int64_t TotalChanges() {
    Recordset rs;
    db_.Run("SELECT total_changes()", {}, &rs);
    rs.First();
    return rs.Field(0).AsInt64();
  }

  testing::TdsTransport wire_;
  SqliteConnection db_;
  size_t packet_ = 4096;
  uint64_t tran_ = 0, next_tran_ = 1;
  int tran_count_ = 0;              // @@TRANCOUNT
  std::vector<std::string> saves_;  // the transaction's savepoints, oldest first
  pid_t client_pid_ = 0;            // as the client's LOGIN7 gives it
  int requests_ = 0;
  // The request's call that runs, then loses the link (--drop-after); one
  // that runs, then stalls (--stall-call on a procedure opening a
  // transaction); a request that ATTENTION ended.
  bool drop_ = false, stall_ = false, cancelled_ = false, dropped_on_ = false;
  std::map<int, Statement> prepared_;
  std::map<std::string, SqlType> hints_;  // column types of the statement running
  int next_handle_ = 1;
  std::string user_;
};

}  // namespace
}  // namespace zun

int main(int argc, char** argv) {
  // Options are "--name value" pairs but for --stall-login and --plain-queue.
  std::map<std::string, std::string> a;
  for (int i = 1; i < argc; ++i) {
    const std::string k = argv[i];
    a[k] = k == "--stall-login" || k == "--plain-queue" || i + 1 == argc ? "1" : argv[++i];
  }
  const auto n = [&](const char* k) { return std::atoi(a[k].c_str()); };
  zun::Options& opt = zun::opt;
  opt.db = a["--db"], opt.log = a["--log"], opt.port = n("--port"), opt.drop_at = n("--drop-at");
  opt.stall_call = n("--stall-call"), opt.deadlock_at = n("--deadlock-at");
  opt.drop_after = n("--drop-after");
  opt.drop_on = zun::Maiusculas(a["--drop-on"]);
  if (const size_t comma = a["--kill-on"].find(','); comma != std::string::npos) {
    opt.kill_on = zun::Maiusculas(a["--kill-on"].substr(0, comma));
    opt.kill_at = std::atoi(a["--kill-on"].c_str() + comma + 1);
  }
  for (size_t at = 0; at < a["--opens-tran"].size();) {
    const size_t comma = std::min(a["--opens-tran"].find(',', at), a["--opens-tran"].size());
    opt.opens_tran.push_back(zun::Maiusculas(a["--opens-tran"].substr(at, comma - at)));
    at = comma + 1;
  }
  opt.encryption = a["--encryption"] == "required" ? zun::testing::ServerEncryption::kRequired
                   : a["--encryption"] == "not-supported"
                       ? zun::testing::ServerEncryption::kNotSupported
                       : zun::testing::ServerEncryption::kOff;
  opt.stall_login = a.count("--stall-login");
  if (opt.db.empty()) {
    std::fprintf(stderr, "usage: tds_test_server --db PATH [--port N] ...\n");
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);  // a write to a closed link fails instead
  try {
    if (opt.encryption != zun::testing::ServerEncryption::kNotSupported) {
      if (!a["--cert"].empty() && !std::filesystem::exists(a["--cert"]))
        zun::testing::WriteSelfSignedCertificate(a["--cert"], a["--key"]);
      zun::tls = std::make_unique<zun::testing::TdsTlsContext>(a["--cert"], a["--key"]);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tds_test_server: %s\n", e.what());
    return 1;
  }
  if (!opt.log.empty()) zun::log_file = std::fopen(opt.log.c_str(), "a");
  zun::RegisterDatabaseProcedures();
  if (a.count("--plain-queue")) zun::RegisterPlainQueueProcedures();
  // Hands its values back: the types no procedure of the database takes,
  // with the SQL Server types it declares where the database has none, each
  // with a default (NULL), so that a call may send only some.
  using zun::DataType;
  const std::pair<const char*, const char*> eco[] = {
      {"@g", "bigint"},        {"@t", "datetime"}, {"@x", "varbinary(max)"},
      {"@d", "decimal(18,4)"}, {"@m", "money"},    {"@dt", "date"},
      {"@d2", "datetime2(7)"}, {"@tm", "time(7)"}, {"@v", "varchar(50)"},
      {"@n", "nvarchar(max)"}};
  std::vector<zun::ProcParam> eco_params;
  for (const auto& [name, type] : eco) {
    const zun::testing::SqlType t = zun::testing::ParseType(type);
    const DataType kind = t.wire == zun::testing::kBigVarBinary ? DataType::kBinary
                          : t.wire == zun::testing::kIntN       ? DataType::kBigInt
                          : t.wire == zun::testing::kDecimalN || t.wire == zun::testing::kMoneyN
                              ? DataType::kDouble
                          : t.wire == zun::testing::kBigVarChar || t.wire == zun::testing::kNVarChar
                              ? DataType::kString
                              : DataType::kDateTime;
    eco_params.push_back({name, kind, zun::ParamDirection::kInputOutput});
    zun::declared_types[zun::Maiusculas(std::string("zun_eco") + name)] = type;
    zun::defaulted.insert(zun::Maiusculas(std::string("zun_eco") + name));
  }
  zun::RegisterProcedure("zun_eco", eco_params, [eco](zun::ProcContext& c) {
    for (const auto& e : eco) c.Out(e.first, c.In(e.first));
  });
  // Names a party in its output, then writes a name for it: a party that
  // does not exist fails the write (547) with the output already set.
  zun::RegisterProcedure(
      "zun_parte", {{"@id", zun::DataType::kInteger, zun::ParamDirection::kInputOutput}},
      [](zun::ProcContext& c) {
        c.Out("@id", c.In("@id"));
        c.Exec("INSERT INTO acionista_nome (id, nome) VALUES (?, 'x')", {c.In("@id")});
      });
  const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(opt.port));
  socklen_t len = sizeof addr;
  if (::bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(lfd, 64) != 0 ||
      ::getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("tds_test_server");
    return 1;
  }
  std::printf("listening on 127.0.0.1:%d\n", ntohs(addr.sin_port));
  std::fflush(stdout);
  // Runs until a signal ends the process.
  for (;;) {
    const int fd = ::accept(lfd, nullptr, nullptr);
    if (fd >= 0)
      std::thread([fd] {
        zun::Session(fd).Run();
        ::close(fd);
      }).detach();
  }
}
