// A TDS 7.4 server for tests: it serves an embedded database file on
// 127.0.0.1 so that the SQL Server provider runs through a real ODBC driver
// (FreeTDS) over TCP. Each connection has its own embedded-provider session
// on the file, as several service processes share it; the stored procedures
// and SQL texts run there, and every request the provider can send is
// answered as SQL Server 2019 answers it: the liveness probe, @@TRANCOUNT,
// transaction requests with and without a transaction, errors with SQL
// Server's numbers that let the procedure finish, and ATTENTION.
//
//   tds_test_server --db PATH [--port N] [--encryption not-supported|required]
//                   [--stall-login] [--stall-call N] [--drop-at N]
//                   [--drop-after N] [--deadlock-at N] [--drop-on NAME]
//                   [--opens-tran NAME[,NAME...]] [--log PATH]
//
// Prints "listening on 127.0.0.1:N" when ready; SIGTERM ends it at once.
// Calls (procedures and SQL texts) and requests are counted over all
// connections from 1; --log gets one line per prelogin, per login and per
// connection end (with the connection's request count). --opens-tran names
// procedures that begin a transaction of their own and commit it at their
// end, so that a stalled one leaves it open (XACT_ABORT OFF). --drop-on
// ends the connection at the first call of procedure NAME, before it runs.
//
// Thread-safety: one detached thread per connection; the fault counters are
// atomic, the log is guarded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <atomic>
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
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/procedure_catalog.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbclient/sqlite/text_1252.h"

namespace zun {
namespace {

struct Options {
  std::string db;
  int port = 0;
  bool require_encryption = false;
  bool stall_login = false;
  int stall_call = 0, drop_at = 0, drop_after = 0, deadlock_at = 0;
  std::string log;
  std::vector<std::string> opens_tran;  // upper case
  std::string drop_on;                  // upper case
} opt;

std::atomic<int> calls{0}, requests{0};
std::atomic<bool> dropped_on{false};  // --drop-on has ended a connection
std::mutex mu;                        // the log file
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
constexpr uint8_t kIntN = 0x26, kBitN = 0x68, kFltN = 0x6D, kDateTimeN = 0x6F, kDateTime2N = 0x2A,
                  kNVarChar = 0xE7, kNText = 0x63, kVarBinary = 0xA5;
constexpr char kCollation[] = "\x09\x04\xD0\x00\x34";  // SQL_Latin1_General_CP1_CI_AS
constexpr char kVersion[] =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\t"
    "Copyright (C) 2019 Microsoft Corporation\n\tDeveloper Edition (64-bit) on Linux";

struct Out {
  std::string b;
  void U8(unsigned v) { b += static_cast<char>(v); }
  void U16(unsigned v) { U8(v & 0xFF), U8(v >> 8); }
  void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
  void U64(uint64_t v) { U32(static_cast<uint32_t>(v)), U32(static_cast<uint32_t>(v >> 32)); }
  void Ucs2(const std::string& cp1252) {
    for (char16_t c : Cp1252ToUtf16(cp1252)) U16(c);
  }
  void BVarchar(const std::string& s) { U8(Cp1252ToUtf16(s).size()), Ucs2(s); }
  void UsVarchar(const std::string& s) { U16(Cp1252ToUtf16(s).size()), Ucs2(s); }
  // A token whose 2-byte length follows its type.
  void Token(uint8_t type, const Out& body) { U8(type), U16(body.b.size()), b += body.b; }
};

std::string Ucs2Text(const std::string& raw) {
  std::u16string w(raw.size() / 2, u'\0');
  std::memcpy(w.data(), raw.data(), w.size() * 2);
  return Utf16ToCp1252(w);
}

struct In {
  const std::string& s;
  size_t p = 0;
  void Need(size_t n) const {
    if (p + n > s.size()) throw std::runtime_error("short message");
  }
  uint8_t U8() { return Need(1), static_cast<uint8_t>(s[p++]); }
  uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
  uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
  std::string Bytes(size_t n) { return Need(n), p += n, s.substr(p - n, n); }
  std::string Ucs2(size_t chars) { return Ucs2Text(Bytes(chars * 2)); }
  bool AtEnd() const { return p >= s.size(); }
  // ALL_HEADERS ([MS-TDS] 2.2.5.3): its length counts itself.
  void SkipHeaders() { p += U32() - 4; }
};

// How a value of each type goes out, and the SQL Server type the catalog
// procedure reports for a parameter of it (ODBC 3 numbers; -1: NULL).
struct SqlType {
  uint8_t wire;
  const char* name;
  int odbc, precision, length, scale;
};
SqlType TypeOf(DataType t) {
  static const std::map<DataType, SqlType> types = {
      {DataType::kInteger, {kIntN, "int", 4, 10, 4, 0}},
      {DataType::kBigInt, {kIntN, "bigint", -5, 19, 8, 0}},
      {DataType::kDouble, {kFltN, "float", 6, 15, 8, -1}},
      {DataType::kDateTime, {kDateTimeN, "datetime", 93, 23, 16, 3}},
      {DataType::kBoolean, {kBitN, "bit", -7, 1, 1, -1}},
      {DataType::kBinary, {kVarBinary, "varbinary", -3, 0, 0, -1}}};
  const auto it = types.find(t);
  return it != types.end() ? it->second : SqlType{kNVarChar, "nvarchar", -9, 4000, 8000, -1};
}

struct Column {
  uint8_t type;
  unsigned len;  // fixed length, or the nvarchar's characters
};

void TypeInfo(Out* o, const Column& c) {
  o->U8(c.type);
  switch (c.type) {
    case kNVarChar:
      o->U16(c.len * 2);
      o->b.append(kCollation, 5);
      break;
    case kVarBinary:
      o->U16(0xFFFF);
      break;
    default:
      o->U8(c.len);
  }
}

void PutValue(Out* o, const Column& c, const Value& v) {
  if (v.IsNull()) {
    if (c.type == kVarBinary) return o->U64(~0ULL);
    return c.type == kNVarChar ? o->U16(0xFFFF) : o->U8(0);
  }
  switch (c.type) {
    case kIntN:
      o->U8(c.len);
      if (c.len == 8) return o->U64(static_cast<uint64_t>(v.AsInt64()));
      return o->U32(static_cast<uint32_t>(v.AsInt()));
    case kBitN:
      return o->U8(1), o->U8(v.AsBool() ? 1 : 0);
    case kFltN: {
      const double d = v.AsDouble();
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      return o->U8(8), o->U64(bits);
    }
    case kDateTimeN: {
      // Days since 1900-01-01, then 1/300 seconds ([MS-TDS] 2.2.5.5.1.8).
      const double dn = v.AsDateTime();
      int64_t days = static_cast<int64_t>(std::floor(dn));
      int64_t ms = std::llround((dn - static_cast<double>(days)) * 86400000.0);
      if (ms >= 86400000) ++days, ms = 0;
      return o->U8(8), o->U32(static_cast<uint32_t>(days - 2)),
             o->U32(static_cast<uint32_t>(std::llround(static_cast<double>(ms) * 0.3)));
    }
    case kVarBinary: {  // its length, one chunk and the terminator
      const std::string bytes = v.type() == DataType::kBinary ? v.Bytes() : v.AsString();
      o->U64(bytes.size());
      if (!bytes.empty()) o->U32(bytes.size()), o->b += bytes;
      return o->U32(0);
    }
    default: {
      Out text;
      text.Ucs2(v.AsString());
      return o->U16(text.b.size()), void(o->b += text.b);
    }
  }
}

// The column a set of values fits: their one kind, else text.
Column ColumnFor(DataType declared, const std::vector<const Value*>& values) {
  DataType t = declared;
  for (const Value* v : values) {
    if (!v->IsNull()) t = t == DataType::kEmpty || t == v->type() ? v->type() : DataType::kString;
  }
  const uint8_t w = TypeOf(t).wire;
  if (w == kIntN) return {w, t == DataType::kBigInt ? 8u : 4u};
  if (w == kBitN) return {w, 1};
  if (w == kNVarChar) return {w, 4000};
  return {w, 8};
}

// RETURNVALUE of an output parameter ([MS-TDS] 2.2.7.18): by ordinal and
// name, status 1 (output), no user type, nullable.
void ReturnValue(Out* o, size_t ordinal, const std::string& name, const Column& c, const Value& v) {
  o->U8(kReturnValue), o->U16(ordinal), o->BVarchar(name), o->U8(1), o->U32(0), o->U16(1);
  TypeInfo(o, c);
  PutValue(o, c, v);
}

// A little-endian integer of 1 to 8 bytes, sign extended.
int64_t Integer(const std::string& b) {
  int64_t v = 0;
  for (size_t i = b.size(); i-- > 0;) v = v << 8 | static_cast<uint8_t>(b[i]);
  if (b.size() < 8 && (b.back() & 0x80)) v -= int64_t{1} << (8 * b.size());
  return v;
}

// [MS-TDS] 2.2.5.4, 2.2.5.5: a parameter value as FreeTDS sends the
// provider's bindings: int, bigint and bit, float, datetime2 (timestamps),
// nvarchar and ntext (long text), varbinary(max).
Value ReadValue(In* in) {
  const uint8_t type = in->U8();
  if (type == kIntN || type == kBitN || type == kFltN) {
    in->U8();  // the largest length
    const uint8_t n = in->U8();
    if (n == 0) return Value();
    const std::string b = in->Bytes(n);
    if (type == kBitN) return Value::Bool(b[0] != 0);
    if (type == kIntN) return n == 8 ? Value::BigInt(Integer(b)) : Value::Int(Integer(b));
    double d = 0;
    if (n == 8) std::memcpy(&d, b.data(), 8);
    return Value::Double(d);
  }
  if (type == kDateTime2N) {  // time in 10^-scale seconds, days since 0001-01-01
    const int scale = in->U8();
    const uint8_t n = in->U8();
    if (n == 0) return Value();
    const std::string b = in->Bytes(n) + '\0';
    const double t = static_cast<double>(Integer(b.substr(0, n - 3u) + '\0'));
    return Value::DateTime(static_cast<double>(Integer(b.substr(n - 3u)) - 693593) +
                           t / std::pow(10.0, scale) / 86400.0);
  }
  std::string raw;
  if (type == kVarBinary) {  // varbinary(max): the total length, then chunks
    in->U16();
    const uint32_t total = in->U32();
    if (in->U32() == 0xFFFFFFFF && total == 0xFFFFFFFF) return Value();
    for (uint32_t n; (n = in->U32()) != 0;) raw += in->Bytes(n);
    return Value::Binary(raw);
  }
  if (type == kNText) {
    in->U32();
    in->Bytes(5);
    const uint32_t n = in->U32();
    if (n == 0xFFFFFFFF) return Value();
    raw = in->Bytes(n);
  } else if (type == kNVarChar) {
    in->Bytes(2 + 5);  // the largest length, the collation
    const uint16_t n = in->U16();
    if (n == 0xFFFF) return Value();
    raw = in->Bytes(n);
  } else {
    throw std::runtime_error("type " + std::to_string(type) + " not understood");
  }
  return Value::String(Ucs2Text(raw));
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
};

class Session {
 public:
  explicit Session(int fd) : fd_(fd) {}
  void Run() {
    uint8_t type;
    std::string body;
    if (opt.stall_login) {
      while (ReadMessage(&type, &body)) {
      }
      return;
    }
    if (!ReadMessage(&type, &body) || type != kPrelogin) return;
    Log("prelogin");
    Prelogin();
    // The server does no TLS: a handshake instead of LOGIN7, or any LOGIN7
    // when encryption is required, ends the connection.
    if (!ReadMessage(&type, &body) || type != kLogin7 || opt.require_encryption || !Login(body))
      return;
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
          Batch(Ucs2Text(body.substr(in.p)), &o);
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
        Log(dropped_on_ ? "dropped at the call of " + opt.drop_on
                        : "dropped after call " + std::to_string(opt.drop_after));
        break;
      }
      if (!o.b.empty()) Send(o);
    }
    Log("end user=" + user_ + " requests=" + std::to_string(requests_));
  }

 private:
  bool ReadMessage(uint8_t* type, std::string* body) {
    auto receive = [&](char* at, size_t n) {
      for (ssize_t got; n > 0; at += got, n -= static_cast<size_t>(got)) {
        if ((got = ::recv(fd_, at, n, 0)) <= 0) return false;
      }
      return true;
    };
    body->clear();
    for (;;) {
      char h[8];
      if (!receive(h, 8)) return false;
      *type = static_cast<uint8_t>(h[0]);
      const size_t len =
          static_cast<size_t>(static_cast<uint8_t>(h[2]) << 8 | static_cast<uint8_t>(h[3]));
      if (len < 8) return false;
      const size_t at = body->size();
      body->resize(at + len - 8);
      if (!receive(body->data() + at, len - 8)) return false;
      if (h[1] & 1) return true;  // end of message
    }
  }

  // A reply (packet type 4) in packets of the size agreed at the login.
  void Send(const Out& o) {
    size_t at = 0;
    do {
      const size_t n = std::min(packet_ - 8, o.b.size() - at);
      std::string p(8, '\0');
      p[0] = 4;
      p[1] = at + n == o.b.size() ? 1 : 0;
      p[2] = static_cast<char>((n + 8) >> 8), p[3] = static_cast<char>((n + 8) & 0xFF);
      p[5] = 51;  // the session id
      p += o.b.substr(at, n);
      if (::send(fd_, p.data(), p.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(p.size())) return;
      at += n;
    } while (at < o.b.size());
  }

  void Prelogin() {
    // [MS-TDS] 2.2.6.5: VERSION, ENCRYPTION, INSTOPT, THREADID, MARS. Without
    // TLS the server answers ENCRYPT_NOT_SUP (a client that requires
    // encryption must then end the connection) or, with --encryption
    // required, ENCRYPT_REQ (the client must start TLS before LOGIN7).
    const std::string data[] = {std::string("\x0F\x00\x07\xD0\x00\x00", 6),
                                std::string(1, opt.require_encryption ? 3 : 2), std::string(1, 0),
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
      return Ucs2Text(raw);
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
    Log("login7 user=" + user_ + " ok");
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
  int Statement(Out* o, bool in_proc, F run) {
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
    std::vector<Column> cols;
    for (int c = 0; c < rs.FieldCount(); ++c) {
      std::vector<const Value*> vals;
      for (const auto& row : rs.rows()) vals.push_back(&row[static_cast<size_t>(c)]);
      cols.push_back(ColumnFor(DataType::kEmpty, vals));
    }
    o->U8(kColMetadata), o->U16(cols.size());
    for (int c = 0; c < rs.FieldCount(); ++c) {
      o->U32(0), o->U16(0x0001 | 0x0008);  // nullable, updateable unknown
      TypeInfo(o, cols[static_cast<size_t>(c)]);
      o->BVarchar(rs.FieldName(c));
    }
    for (const auto& row : rs.rows()) {
      o->U8(kRow);
      for (size_t c = 0; c < cols.size(); ++c) PutValue(o, cols[c], row[c]);
    }
    Done(o, done, kCount | more, 0xC1, rs.rows().size());
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
      const SqlType t = TypeOf(p.type);
      const bool ret = p.direction == ParamDirection::kReturnValue;
      // SQL Server reports an OUTPUT parameter as input/output (2), the
      // return value as 5.
      const int io = ret ? 5 : p.direction == ParamDirection::kInput ? 1 : 2;
      const bool text = t.odbc == -9, date = t.odbc == 93;
      // clang-format off
      rs.AddRow({Value::String("ZunInput"), Value::String("dbo"), Value::String(proc->name + ";1"),
                 Value::String(ret ? "@RETURN_VALUE" : p.name), n(io), Value::Int(t.odbc),
                 Value::String(t.name), n(t.precision), n(t.length), n(t.scale),
                 n(text || t.odbc == -3 ? -1 : 10), n(ret ? 0 : 1), Value(), Value(),
                 Value::Int(date ? 9 : t.odbc), n(date ? 3 : -1), n(text ? t.length : -1),
                 n(ordinal++), Value::String(ret ? "NO" : "YES"), n(38)});
      // clang-format on
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
      if (!given[static_cast<size_t>(k)])
        throw SqlError{201, 4, 16,
                       "Procedure or function '" + name + "' expects parameter '" + params[k].name +
                           "', which was not supplied."};
    }
    return params;
  }

  // Whether the call of name ends the connection before it runs (--drop-on).
  bool DropsOn(const std::string& full_name) {
    const std::string name = Maiusculas(full_name.substr(full_name.rfind('.') + 1));
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
    const int failed = Statement(&body, true, [&] { db_.CallProcedure(name, &params, 0, &out); });
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
      if (ps[i].output) ReturnValue(&body, i + 1, p.name, ColumnFor(p.type, {&p.value}), p.value);
    }
    Done(&body, kDoneProc, more, 0xE0, 0);
    o->b += own.b + body.b;
  }

  // One RPC: a system procedure by its id ([MS-TDS] 2.2.6.6: 11 sp_prepare,
  // 12 sp_execute, 13 sp_prepexec, 15 sp_unprepare), the catalog's
  // description of a procedure, or a procedure of the database. A call
  // refused before it runs gets its ERROR and DONEPROC only.
  void Call(int id, const std::string& name, const std::vector<RpcParam>& ps, Out* o,
            unsigned more) {
    auto values_from = [&](size_t first) {
      std::vector<Value> v;
      for (size_t i = first; i < ps.size(); ++i) v.push_back(ps[i].value);
      return v;
    };
    auto text = [&](int handle) -> const std::string& {
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
      if ((id == 12 || id == 13 || (id == 0 && !sproc_columns)) &&
          Fault(o, kDoneProc, id == 0 && OpensTran(name)))
        return;
      if (id == 0 && !sproc_columns) return Procedure(name, ps, o, more);
      int status = 0;
      if (id == 11 || id == 13) {
        const int h = next_handle_++;
        prepared_[h] = ps.at(2).value.AsString();
        if (id == 13)
          status = Statement(o, true, [&] { Text(prepared_[h], values_from(3), o, true); });
        o->U8(kReturnStatus), o->U32(static_cast<uint32_t>(status));
        ReturnValue(o, 1, "@handle", {kIntN, 4}, Value::Int(h));
      } else if (id == 12) {
        const std::string& sql = text(ps.at(0).value.AsInt());
        status = Statement(o, true, [&] { Text(sql, values_from(1), o, true); });
        o->U8(kReturnStatus), o->U32(static_cast<uint32_t>(status));
      } else if (id == 15) {
        prepared_.erase(ps.at(0).value.AsInt());
        o->U8(kReturnStatus), o->U32(0);
      } else {
        ProcedureColumns(ps, o);
      }
      Done(o, kDoneProc, more, 0xE0, 0);
    } catch (const SqlError& e) {
      Error(o, e, kDoneProc, more);
    }
  }

  void Rpc(In* in, Out* o) {
    const uint16_t name_len = in->U16();
    int id = name_len == 0xFFFF ? in->U16() : 0;
    const std::string name = id ? std::string() : in->Ucs2(name_len);
    // FreeTDS names sp_execute instead when it sends several calls in one
    // request (a parameter array).
    if (id == 0 && strcasecmp(name.c_str(), "sp_execute") == 0) id = 12;
    in->U16();  // option flags
    std::vector<RpcParam> ps;
    while (!in->AtEnd() && static_cast<uint8_t>(in->s[in->p]) != 0xFF &&
           static_cast<uint8_t>(in->s[in->p]) != 0x80) {
      RpcParam p;
      p.name = in->Ucs2(in->U8());
      p.output = (in->U8() & 1) != 0;
      p.value = ReadValue(in);
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
    if (!Fault(o, kDone)) Statement(o, false, [&] { Text(sql, {}, o, false); });
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

  // BEGIN TRAN, COMMIT and ROLLBACK as texts, also behind "IF @@TRANCOUNT > 0";
  // false for any other text.
  bool Transaction(std::string u, Out* o) {
    const std::string guard = "IF @@TRANCOUNT > 0 ";
    const bool guarded = u.rfind(guard, 0) == 0;
    if (guarded) u.erase(0, guard.size());
    const size_t blank = u.find(' ');
    const std::string verb = u.substr(0, blank), what = blank == u.npos ? "" : u.substr(blank + 1);
    const bool tran = what == "TRAN" || what == "TRANSACTION";
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
  void Commit(Out* o) {
    if (tran_count_ == 0)
      throw SqlError{3902, 1, 16,
                     "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."};
    if (--tran_count_ > 0) return;
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

  int fd_;
  SqliteConnection db_;
  size_t packet_ = 4096;
  uint64_t tran_ = 0, next_tran_ = 1;
  int tran_count_ = 0;  // @@TRANCOUNT
  int requests_ = 0;
  // The request's call that runs, then loses the link (--drop-after); one
  // that runs, then stalls (--stall-call on a procedure opening a
  // transaction); a request that ATTENTION ended.
  bool drop_ = false, stall_ = false, cancelled_ = false, dropped_on_ = false;
  std::map<int, std::string> prepared_;
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
  opt.drop_after = n("--drop-after");
  opt.drop_on = zun::Maiusculas(a["--drop-on"]);
  for (size_t at = 0; at < a["--opens-tran"].size();) {
    const size_t comma = std::min(a["--opens-tran"].find(',', at), a["--opens-tran"].size());
    opt.opens_tran.push_back(zun::Maiusculas(a["--opens-tran"].substr(at, comma - at)));
    at = comma + 1;
  }
  opt.require_encryption = a["--encryption"] == "required";
  opt.stall_login = a.count("--stall-login");
  if (opt.db.empty()) {
    std::fprintf(stderr, "usage: tds_test_server --db PATH [--port N] ...\n");
    return 2;
  }
  if (!opt.log.empty()) zun::log_file = std::fopen(opt.log.c_str(), "a");
  zun::RegisterDatabaseProcedures();
  // Hands its values back: the types no procedure of the database takes.
  zun::RegisterProcedure("zun_eco",
                         {{"@g", zun::DataType::kBigInt, zun::ParamDirection::kInputOutput},
                          {"@t", zun::DataType::kDateTime, zun::ParamDirection::kInputOutput},
                          {"@x", zun::DataType::kBinary, zun::ParamDirection::kInputOutput}},
                         [](zun::ProcContext& c) {
                           for (const char* n : {"@g", "@t", "@x"}) c.Out(n, c.In(n));
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
