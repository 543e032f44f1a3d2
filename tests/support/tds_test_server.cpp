// A TDS 7.4 server for tests: it serves an embedded database file on
// 127.0.0.1 so that the SQL Server provider runs through a real ODBC driver
// (FreeTDS) over TCP. Each connection has its own embedded-provider session
// on the file, as several service processes share it; the stored procedures
// and SQL texts run there, and the replies take the shape SQL Server gives
// them, to FreeTDS and to other TDS clients (tedious in the tests).
//
//   tds_test_server --db PATH [--port N] [--encryption off|required|not-supported]
//                   [--cert PEM --key PEM] [--stall-login] [--stall-call N]
//                   [--drop-at N] [--deadlock-at N] [--log PATH]
//
// TLS as SQL Server offers it: with a certificate (made at start, or read
// from --cert and --key, written there first when they do not exist yet),
// encryption "off" (the login only unless the client asks for more),
// "required" (the whole connection, always) or "not-supported" (no TLS).
//
// Prints "listening on 127.0.0.1:N" when ready; SIGTERM ends it at once.
// Calls (procedures and SQL texts) and requests are counted over all
// connections from 1; --log gets one line per prelogin, per login and per
// connection end (with the connection's request count).
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
#include <string>
#include <thread>
#include <vector>

#include "database/reference_db.h"
#include "foundation/text.h"
#include "tds_transport.h"
#include "tds_types.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/procedure_catalog.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbclient/sqlite/text_1252.h"

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
  int stall_call = 0, drop_at = 0, deadlock_at = 0;
  std::string log;
} opt;

std::unique_ptr<testing::TdsTlsContext> tls;
std::atomic<int> calls{0}, requests{0};
std::mutex mu;  // the log file
FILE* log_file = nullptr;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(mu);
  if (log_file == nullptr) return;
  std::fprintf(log_file, "%s\n", line.c_str());
  std::fflush(log_file);
}

// Packet types, tokens, DONE status bits and wire types ([MS-TDS] 2.2.3.1.1,
// 2.2.7, 2.2.5.4).
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

struct RpcParam {
  std::string name;
  bool output = false;
  Value value;
  SqlType type;
};

// Parameter types SQL Server would declare where the embedded database has
// only its kinds (procedure name and parameter, in capitals).
std::map<std::string, std::string> declared_types;

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
        throw ProviderError("Must declare the scalar variable \"" + name + "\".", 137);
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
  explicit Session(int fd) : fd_(fd), wire_(fd) {}
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
      try {
        In in{body};
        in.SkipHeaders();
        if (type == kBatch) {
          Batch(testing::Ucs2Text(body.substr(in.p)));
        } else if (type == kRpc) {
          // One reply for all the calls of a request.
          Out o;
          while (!in.AtEnd()) Rpc(&in, &o);
          if (!o.b.empty()) Send(o);
        } else if (type == kTm) {
          Tm(&in);
        } else {
          break;
        }
      } catch (const std::exception& e) {
        Log(std::string("bad request: ") + e.what());
        break;
      }
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

  // Counts a call; true when the fault switches answer it instead.
  bool Fault(Out* o, uint8_t done) {
    const int n = ++calls;
    if (n == opt.stall_call) {
      // Held until the client gives up: it sends ATTENTION, which SQL Server
      // answers with DONE and DONE_ATTN ([MS-TDS] 2.2.2.9, 3.3.5.9).
      uint8_t type;
      std::string body;
      while (ReadMessage(&type, &body) && type != kAttention) {
      }
      Out a;
      Done(&a, kDone, kAttn, 0, 0);
      Send(a);
      return true;
    }
    if (n != opt.deadlock_at) return false;
    // The victim's transaction is undone and the batch ends.
    if (db_.InTransaction()) End(o, false);
    Error(o, 1205, 51, 13,
          "Transaction (Process ID 51) was deadlocked on lock resources with another process "
          "and has been chosen as the deadlock victim. Rerun the transaction.",
          done);
    return true;
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
    Text(st.sql, st.Values(ps, first), o, true);
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

  void Procedure(const std::string& full_name, std::vector<RpcParam>& ps, Out* o) {
    const std::string name = full_name.substr(full_name.rfind('.') + 1);
    Parameters params = db_.DescribeProcedure(name);
    // Values by name where the client names them, else by position after
    // the return value (as FreeTDS sends them).
    const auto slot = [&](size_t i) -> Parameter& {
      Parameter* named = ps[i].name.empty() ? nullptr : params.Find(ps[i].name);
      return named != nullptr ? *named : params[static_cast<int>(i) + 1];
    };
    for (size_t i = 0; i < ps.size(); ++i) slot(i).value = ps[i].value;
    const int64_t before = TotalChanges();
    std::vector<Recordset> out;
    db_.CallProcedure(name, &params, 0, &out);
    // Without SET NOCOUNT ON a procedure's writes report their rows; they
    // come before its result sets here, as the writes run first.
    if (const int64_t changed = TotalChanges() - before; changed > 0)
      Done(o, kDoneInProc, kCount | kMore, 0xC5, static_cast<uint64_t>(changed));
    for (const Recordset& rs : out) Rows(o, rs, kDoneInProc, kMore);
    // [MS-TDS] 2.2.2.5, 2.2.2.6: RETURNSTATUS, then one RETURNVALUE per output
    // parameter in the order they were sent, then DONEPROC.
    const Value& rv = params[0].value;
    o->U8(kReturnStatus), o->U32(static_cast<uint32_t>(rv.IsNull() ? 0 : rv.AsInt()));
    for (size_t i = 0; i < ps.size(); ++i) {
      const Parameter& p = slot(i);
      if (ps[i].output)
        ReturnValue(o, i + 1, p.name,
                    ParamType(name, p.name, testing::ColumnFor(p.type, {&p.value})), p.value);
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
    try {
      // 10 sp_executesql, 11 sp_prepare, 12 sp_execute, 13 sp_prepexec and
      // 15 sp_unprepare run; server cursors are not offered.
      const bool sproc_columns = strcasecmp(name.c_str(), "sp_sproc_columns") == 0;
      if ((id == 10 || id == 12 || id == 13 || (id == 0 && !sproc_columns)) && Fault(o, kDoneProc))
        return;
      if (id == 11 || id == 13) {
        const int h = next_handle_++;
        const Statement& st =
            prepared_.emplace(h, Statement(ps.at(2).value.AsString(), ps.at(1).value.AsString()))
                .first->second;
        if (id == 13) Run(st, ps, 3, o);
        o->U8(kReturnStatus), o->U32(0);
        ReturnValue(o, 1, "@handle", testing::ParseType("int"), Value::Int(h));
      } else if (id == 10) {
        const Statement st(ps.at(0).value.AsString(),
                           ps.size() > 1 && !ps[1].value.IsNull() ? ps[1].value.AsString() : "");
        Run(st, ps, 2, o);
        o->U8(kReturnStatus), o->U32(0);
        // Outputs come back as they went: the text cannot assign them here.
        for (size_t i = 2; i < ps.size(); ++i)
          if (ps[i].output) ReturnValue(o, i, ps[i].name, ps[i].type, ps[i].value);
      } else if (id == 12) {
        Run(prepared_.at(ps.at(0).value.AsInt()), ps, 1, o);
      } else if (id == 15) {
        prepared_.erase(ps.at(0).value.AsInt());
      } else if (id != 0) {
        Error(o, 16937, 1, 16,
              "A server cursor cannot be opened on the given statement or statements. Use a "
              "default result set or client cursor.",
              kDoneProc, more);
        return;
      } else if (sproc_columns) {
        ProcedureColumns(ps, o);
      } else {
        Procedure(name, ps, o);
      }
      Done(o, kDoneProc, more, 0xE0, 0);
    } catch (const ProviderError& e) {
      // SQL Server's message: a duplicate key is 2627, anything else a user
      // error numbered from 50000.
      const bool key = e.Kind() == ErrorKind::kConstraint;
      Error(o, key ? 2627 : std::max(50000, e.NativeCode()), 1, key ? 14 : 16, e.what(), kDoneProc,
            more);
    }
  }

  void Batch(const std::string& sql) {
    Out o;
    const std::string u = Maiusculas(AparaBrancos(sql));
    if (u.rfind("SET ", 0) == 0) {
      Done(&o, kDone, 0, 0, 0);
    } else if (u == "SELECT @@VERSION") {
      Recordset rs({""});
      rs.AddRow({Value::String(kVersion)});
      Rows(&o, rs, kDone, 0);
    } else if (!Fault(&o, kDone)) {
      Text(sql, {}, &o, false);
    }
    if (!o.b.empty()) Send(o);
  }

  void Tm(In* in) {
    // [MS-TDS] 2.2.6.9: 5 begin, 7 commit, 8 rollback; commit and rollback
    // may begin the next transaction at once.
    Out o;
    const uint16_t type = in->U16();
    if (type == 5) {
      Begin(&o);
    } else if (type == 7 || type == 8) {
      in->Bytes(in->U8());
      if (db_.InTransaction()) End(&o, type == 7);  // else one the server ended already
      if (!in->AtEnd() && in->U8() == 1) Begin(&o);
    }
    Done(&o, kDone, 0, 0, 0);
    Send(o);
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
  void Begin(Out* o) {
    db_.BeginTransaction();
    tran_ = next_tran_++;
    EnvTran(o, 8);
  }
  void End(Out* o, bool commit) {
    commit ? db_.Commit() : db_.Rollback();
    EnvTran(o, commit ? 9 : 10);
    tran_ = 0;
  }
  int64_t TotalChanges() {
    Recordset rs;
    db_.Run("SELECT total_changes()", {}, &rs);
    rs.First();
    return rs.Field(0).AsInt64();
  }

  int fd_;
  testing::TdsTransport wire_;
  SqliteConnection db_;
  size_t packet_ = 4096;
  uint64_t tran_ = 0, next_tran_ = 1;
  int requests_ = 0;
  std::map<int, Statement> prepared_;
  std::map<std::string, SqlType> hints_;  // column types of the statement running
  int next_handle_ = 1;
  std::string user_;
};

}  // namespace
}  // namespace zun

int main(int argc, char** argv) {
  // Options are "--name value" pairs but for --stall-login.
  std::map<std::string, std::string> a;
  for (int i = 1; i < argc; ++i) {
    const std::string k = argv[i];
    a[k] = k == "--stall-login" || i + 1 == argc ? "1" : argv[++i];
  }
  const auto n = [&](const char* k) { return std::atoi(a[k].c_str()); };
  zun::Options& opt = zun::opt;
  opt.db = a["--db"], opt.log = a["--log"], opt.port = n("--port"), opt.drop_at = n("--drop-at");
  opt.stall_call = n("--stall-call"), opt.deadlock_at = n("--deadlock-at");
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
  // Hands its values back: the types no procedure of the database takes,
  // with the SQL Server types it declares where the database has none.
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
  }
  zun::RegisterProcedure("zun_eco", eco_params, [eco](zun::ProcContext& c) {
    for (const auto& e : eco) c.Out(e.first, c.In(e.first));
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
