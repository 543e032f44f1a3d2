#include "tds_types.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>

#include "foundation/text.h"
#include "foundation/text_1252.h"

namespace zun::testing {
namespace {

constexpr char kCollation[] = "\x09\x04\xD0\x00\x34";  // SQL_Latin1_General_CP1_CI_AS
constexpr double kDay = 86400.0;
constexpr int kDaysTo1900 = 2, kDaysToYear1 = 693593;  // from 1899-12-30

bool IsUnicode(uint8_t w) { return w == kNVarChar || w == kNChar || w == kNText; }
bool IsChar(uint8_t w) { return w == kBigVarChar || w == kBigChar || IsUnicode(w) || w == kText; }
bool IsBinary(uint8_t w) { return w == kBigVarBinary || w == kBigBinary || w == kImage; }
bool IsLong(uint8_t w) { return w == kText || w == kNText || w == kImage; }
bool IsDecimal(uint8_t w) { return w == kDecimalN || w == kNumericN; }

// A decimal's value bytes: 5, 9, 13 or 17 by its precision.
unsigned DecimalBytes(int precision) {
  return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}
// A time's bytes by its scale.
unsigned TimeBytes(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

// A little-endian integer of 1 to 8 bytes, sign extended unless unsigned.
int64_t Integer(const std::string& b, bool is_signed = true) {
  uint64_t v = 0;
  for (size_t i = b.size(); i-- > 0;) v = v << 8 | static_cast<uint8_t>(b[i]);
  if (is_signed && b.size() < 8 && (b.back() & 0x80)) v -= uint64_t{1} << (8 * b.size());
  return static_cast<int64_t>(v);
}
void PutInteger(Out* o, uint64_t v, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) o->U8(static_cast<unsigned>(v >> (8 * i)) & 0xFF);
}

// The payload of a (max) value: its total length, then chunks ending with
// an empty one ([MS-TDS] 2.2.5.2.3).
std::string ReadPlp(In* in, bool* null) {
  const uint64_t total = in->U64();
  *null = total == ~0ULL;
  std::string raw;
  if (*null) return raw;
  for (uint32_t n; (n = in->U32()) != 0;) raw += in->Bytes(n);
  return raw;
}

// The bytes a text or binary value of type t is sent as.
std::string Payload(const SqlType& t, const Value& v) {
  if (IsBinary(t.wire)) return v.type() == DataType::kBinary ? v.Bytes() : v.AsString();
  if (!IsUnicode(t.wire)) return v.AsString();
  Out text;
  text.Ucs2(v.AsString());
  return text.b;
}

Value TextValue(const SqlType& t, const std::string& raw) {
  if (IsBinary(t.wire)) return Value::Binary(raw);
  return Value::String(IsUnicode(t.wire) ? Ucs2Text(raw) : raw);
}

// Time of day in units of 10^-scale seconds. A day number holds about a
// microsecond, so the time is rounded to that first: digits past it are noise.
uint64_t Ticks(double day_number, int scale) {
  const double frac = day_number - std::floor(day_number);
  const auto us = static_cast<uint64_t>(std::llround(frac * kDay * 1e6));
  if (scale >= 6) return us * static_cast<uint64_t>(std::pow(10.0, scale - 6));
  return static_cast<uint64_t>(std::llround(static_cast<double>(us) / std::pow(10.0, 6 - scale)));
}

}  // namespace

void Out::Ucs2(const std::string& cp1252) {
  for (char16_t c : Cp1252ToUtf16(cp1252)) U16(c);
}
void Out::BVarchar(const std::string& s) { U8(Cp1252ToUtf16(s).size()), Ucs2(s); }
void Out::UsVarchar(const std::string& s) { U16(Cp1252ToUtf16(s).size()), Ucs2(s); }

std::string Ucs2Text(const std::string& raw) {
  std::u16string w(raw.size() / 2, u'\0');
  std::memcpy(w.data(), raw.data(), w.size() * 2);
  return Utf16ToCp1252(w);
}

SqlType ParseType(const std::string& declaration) {
  std::string d;
  for (char c : declaration)
    if (c != ' ' && c != '\t') d += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t paren = d.find('(');
  const std::string base = d.substr(0, paren);
  std::vector<std::string> args;
  if (paren != std::string::npos) {
    std::string a = d.substr(paren + 1, d.find(')') - paren - 1);
    for (size_t comma; (comma = a.find(',')) != std::string::npos; a.erase(0, comma + 1))
      args.push_back(a.substr(0, comma));
    args.push_back(a);
  }
  const auto arg = [&](size_t i, int fallback) {
    return i < args.size() ? (args[i] == "max" ? 0 : std::stoi(args[i])) : fallback;
  };
  static const std::map<std::string, SqlType> fixed = {
      {"tinyint", {kIntN, 1}},       {"smallint", {kIntN, 2}},
      {"int", {kIntN, 4}},           {"bigint", {kIntN, 8}},
      {"bit", {kBitN, 1}},           {"real", {kFltN, 4}},
      {"money", {kMoneyN, 8}},       {"smallmoney", {kMoneyN, 4}},
      {"datetime", {kDateTimeN, 8}}, {"smalldatetime", {kDateTimeN, 4}},
      {"date", {kDateN, 3}},         {"text", {kText, 0}},
      {"ntext", {kNText, 0}},        {"image", {kImage, 0}}};
  if (const auto it = fixed.find(base); it != fixed.end()) return it->second;
  if (base == "float") return {kFltN, arg(0, 53) <= 24 ? 4u : 8u};
  if (base == "decimal" || base == "numeric")
    return {base == "decimal" ? kDecimalN : kNumericN, 0, arg(0, 18), arg(1, 0)};
  if (base == "time" || base == "datetime2")
    return {base == "time" ? kTimeN : kDateTime2N, 0, 0, arg(0, 7)};
  static const std::map<std::string, uint8_t> sized = {
      {"varchar", kBigVarChar}, {"char", kBigChar},           {"nvarchar", kNVarChar},
      {"nchar", kNChar},        {"varbinary", kBigVarBinary}, {"binary", kBigBinary}};
  if (const auto it = sized.find(base); it != sized.end())
    return {it->second, static_cast<unsigned>(arg(0, 1))};
  throw std::runtime_error("type " + declaration + " not understood");
}

SqlType TypeOf(DataType t) {
  static const std::map<DataType, const char*> types = {
      {DataType::kInteger, "int"},  {DataType::kBigInt, "bigint"},
      {DataType::kDouble, "float"}, {DataType::kDateTime, "datetime"},
      {DataType::kBoolean, "bit"},  {DataType::kBinary, "varbinary(max)"}};
  const auto it = types.find(t);
  return ParseType(it != types.end() ? it->second : "nvarchar(4000)");
}

TypeDescription Describe(const SqlType& t) {
  // Name, then DATA_TYPE, PRECISION, LENGTH, SCALE, RADIX, SQL_DATA_TYPE,
  // SQL_DATETIME_SUB, CHAR_OCTET_LENGTH and SS_DATA_TYPE; kNull for NULL.
  constexpr int kNull = INT32_MIN;
  const auto d = [](const char* name, std::initializer_list<int> n) {
    TypeDescription r{name, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    Value* fields[] = {&r.data_type,     &r.precision,    &r.length, &r.scale,  &r.radix,
                       &r.sql_data_type, &r.datetime_sub, &r.octets, &r.ss_type};
    const int* v = n.begin();
    for (Value* f : fields) *f = *v == kNull ? Value() : Value::Int(*v), ++v;
    return r;
  };
  const int size = static_cast<int>(t.size), s4 = t.size == 4;
  switch (t.wire) {
    case kIntN: {
      static const char* names[] = {"", "tinyint", "smallint", "", "int", "", "", "", "bigint"};
      const int odbc = t.size == 1 ? -6 : t.size == 2 ? 5 : s4 ? 4 : -5;
      const int digits = t.size == 1 ? 3 : t.size == 2 ? 5 : s4 ? 10 : 19;
      return d(names[t.size], {odbc, digits, size, 0, 10, odbc, kNull, kNull, 38});
    }
    case kBitN:
      return d("bit", {-7, 1, 1, kNull, kNull, -7, kNull, kNull, 50});
    case kFltN:
      return d(s4 ? "real" : "float",
               {s4 ? 7 : 6, s4 ? 7 : 15, size, kNull, 10, s4 ? 7 : 6, kNull, kNull, 109});
    case kMoneyN:
      return d(s4 ? "smallmoney" : "money",
               {3, s4 ? 10 : 19, s4 ? 12 : 21, 4, 10, 3, kNull, kNull, 110});
    case kDecimalN:
    case kNumericN: {
      const int odbc = t.wire == kDecimalN ? 3 : 2;
      return d(odbc == 3 ? "decimal" : "numeric", {odbc, t.precision, t.precision + 2, t.scale, 10,
                                                   odbc, kNull, kNull, odbc == 3 ? 106 : 108});
    }
    case kDateTimeN:
      return d(s4 ? "smalldatetime" : "datetime",
               {93, s4 ? 16 : 23, 16, s4 ? 0 : 3, kNull, 9, 3, kNull, 111});
    case kDateN:
      return d("date", {91, 10, 6, 0, kNull, 9, 1, kNull, 0});
    case kTimeN:
      return d("time",
               {-154, t.scale ? 9 + t.scale : 8, 10, t.scale, kNull, -154, kNull, kNull, 0});
    case kDateTime2N:
      return d("datetime2", {93, t.scale ? 20 + t.scale : 19, 16, t.scale, kNull, 9, 3, kNull, 0});
    default:
      break;
  }
  // Text and binary: (max) reports 0 as its size.
  static const std::map<uint8_t, std::pair<const char*, int>> texts = {
      {kBigVarChar, {"varchar", 12}},
      {kBigChar, {"char", 1}},
      {kNVarChar, {"nvarchar", -9}},
      {kNChar, {"nchar", -8}},
      {kBigVarBinary, {"varbinary", -3}},
      {kBigBinary, {"binary", -2}},
      {kText, {"text", -1}},
      {kNText, {"ntext", -10}},
      {kImage, {"image", -4}}};
  const auto& [name, odbc] = texts.at(t.wire);
  const int chars = IsLong(t.wire) ? 2147483647 : size;
  const int bytes = IsUnicode(t.wire) && chars < 1073741824 ? 2 * chars : chars;
  const bool text = IsChar(t.wire);
  return d(name,
           {odbc, chars, bytes, kNull, kNull, odbc, kNull, text ? bytes : kNull, text ? 39 : 37});
}

void TypeInfo(Out* o, const SqlType& t) {
  o->U8(t.wire);
  if (IsDecimal(t.wire))
    return o->U8(DecimalBytes(t.precision)), o->U8(t.precision), o->U8(t.scale);
  if (t.wire == kDateN) return;
  if (t.wire == kTimeN || t.wire == kDateTime2N) return o->U8(t.scale);
  if (IsLong(t.wire)) {
    o->U32(0x7FFFFFFF);
    if (IsChar(t.wire)) o->b.append(kCollation, 5);
    return;
  }
  if (!IsChar(t.wire) && !IsBinary(t.wire)) return o->U8(t.size);
  o->U16(t.Max() ? 0xFFFF : t.size * (IsUnicode(t.wire) ? 2 : 1));
  if (IsChar(t.wire)) o->b.append(kCollation, 5);
}

void PutValue(Out* o, const SqlType& t, const Value& v) {
  const bool text = IsChar(t.wire) || IsBinary(t.wire);
  if (v.IsNull()) {
    if (text && (t.Max() || IsLong(t.wire))) return IsLong(t.wire) ? o->U8(0) : o->U64(~0ULL);
    return text ? o->U16(0xFFFF) : o->U8(0);
  }
  if (text) {
    const std::string bytes = Payload(t, v);
    if (IsLong(t.wire)) {  // a text pointer and timestamp, then the value
      o->U8(16), o->b.append(16, '\x01'), o->b.append(8, '\0');
      return o->U32(bytes.size()), void(o->b += bytes);
    }
    if (!t.Max()) {
      if (bytes.size() > 8000) throw std::runtime_error("value longer than its type");
      return o->U16(bytes.size()), void(o->b += bytes);
    }
    o->U64(bytes.size());
    if (!bytes.empty()) o->U32(bytes.size()), o->b += bytes;
    return o->U32(0);
  }
  switch (t.wire) {
    case kIntN:
      return o->U8(t.size), PutInteger(o, static_cast<uint64_t>(v.AsInt64()), t.size);
    case kBitN:
      return o->U8(1), o->U8(v.AsBool() ? 1 : 0);
    case kFltN: {
      if (t.size == 4) {
        const float f = static_cast<float>(v.AsDouble());
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return o->U8(4), o->U32(bits);
      }
      const double d = v.AsDouble();
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      return o->U8(8), o->U64(bits);
    }
    case kMoneyN: {  // ten-thousandths; the 8-byte form high half first
      const int64_t m = std::llround(v.AsDouble() * 10000.0);
      if (t.size == 4) return o->U8(4), o->U32(static_cast<uint32_t>(m));
      return o->U8(8), o->U32(static_cast<uint32_t>(static_cast<uint64_t>(m) >> 32)),
             o->U32(static_cast<uint32_t>(m));
    }
    case kDecimalN:
    case kNumericN: {  // sign (1 positive), then the scaled magnitude
      const double x = v.AsDouble();
      char digits[400];
      std::snprintf(digits, sizeof digits, "%.*f", t.scale, std::fabs(x));
      unsigned __int128 n = 0;
      for (const char* c = digits; *c; ++c)
        if (*c != '.') n = n * 10 + static_cast<unsigned>(*c - '0');
      const unsigned bytes = DecimalBytes(t.precision);
      o->U8(bytes), o->U8(x < 0 ? 0 : 1);
      for (unsigned k = 0; k + 1 < bytes; ++k) o->U8(static_cast<unsigned>(n >> (8 * k)) & 0xFF);
      return;
    }
    case kDateTimeN: {
      const double dn = v.AsDateTime();
      int64_t days = static_cast<int64_t>(std::floor(dn));
      if (t.size == 4) {
        const int64_t min = std::llround((dn - static_cast<double>(days)) * 1440.0);
        return o->U8(4), o->U16(static_cast<unsigned>(days - kDaysTo1900)),
               o->U16(static_cast<unsigned>(min));
      }
      // Days since 1900-01-01, then 1/300 seconds ([MS-TDS] 2.2.5.5.1.8).
      int64_t ms = std::llround((dn - static_cast<double>(days)) * kDay * 1000.0);
      if (ms >= 86400000) ++days, ms = 0;
      return o->U8(8), o->U32(static_cast<uint32_t>(days - kDaysTo1900)),
             o->U32(static_cast<uint32_t>(std::llround(static_cast<double>(ms) * 0.3)));
    }
    case kDateN:
    case kTimeN:
    case kDateTime2N: {
      const double dn = v.AsDateTime();
      const bool date = t.wire != kTimeN, time = t.wire != kDateN;
      o->U8((time ? TimeBytes(t.scale) : 0) + (date ? 3 : 0));
      if (time) PutInteger(o, Ticks(dn, t.scale), TimeBytes(t.scale));
      if (date) PutInteger(o, static_cast<uint64_t>(std::floor(dn) + kDaysToYear1), 3);
      return;
    }
    default:
      throw std::runtime_error("type " + std::to_string(t.wire) + " cannot be sent");
  }
}

Value ReadValue(In* in, SqlType* type) {
  SqlType t;
  t.wire = in->U8();
  // The fixed-length types carry no lengths: read as their nullable twins.
  static const std::map<uint8_t, SqlType> fixed = {
      {0x30, {kIntN, 1}},   {0x34, {kIntN, 2}},      {0x38, {kIntN, 4}},     {0x7F, {kIntN, 8}},
      {0x32, {kBitN, 1}},   {0x3B, {kFltN, 4}},      {0x3E, {kFltN, 8}},     {0x7A, {kMoneyN, 4}},
      {0x3C, {kMoneyN, 8}}, {0x3A, {kDateTimeN, 4}}, {0x3D, {kDateTimeN, 8}}};
  std::string raw;
  if (const auto it = fixed.find(t.wire); it != fixed.end()) {
    t = it->second;
    raw = in->Bytes(t.size);
  } else if (IsLong(t.wire)) {
    in->U32();
    if (IsChar(t.wire)) in->Bytes(5);
    const uint32_t n = in->U32();
    if (type != nullptr) *type = t;
    if (n == 0xFFFFFFFF) return Value();
    return TextValue(t, in->Bytes(n));
  } else if (IsChar(t.wire) || IsBinary(t.wire)) {
    const uint16_t max = in->U16();
    if (IsChar(t.wire)) in->Bytes(5);  // the collation
    t.size = max == 0xFFFF ? 0 : max / (IsUnicode(t.wire) ? 2 : 1);
    if (type != nullptr) *type = t;
    bool null = false;
    if (t.Max()) {
      raw = ReadPlp(in, &null);
    } else {
      const uint16_t n = in->U16();
      null = n == 0xFFFF;
      if (!null) raw = in->Bytes(n);
    }
    return null ? Value() : TextValue(t, raw);
  } else if (IsDecimal(t.wire)) {
    in->U8();
    t.precision = in->U8(), t.scale = in->U8();
  } else if (t.wire == kTimeN || t.wire == kDateTime2N) {
    t.scale = in->U8();
  } else if (t.wire == kIntN || t.wire == kBitN || t.wire == kFltN || t.wire == kMoneyN ||
             t.wire == kDateTimeN) {
    t.size = in->U8();
  } else if (t.wire != kDateN) {
    throw std::runtime_error("type " + std::to_string(t.wire) + " not understood");
  }
  if (type != nullptr) *type = t;
  if (raw.empty()) {
    const uint8_t n = in->U8();
    if (n == 0) return Value();
    raw = in->Bytes(n);
  }
  const size_t n = raw.size();
  switch (t.wire) {
    case kIntN:
      return n == 8 ? Value::BigInt(Integer(raw))
                    : Value::Int(static_cast<int32_t>(Integer(raw, n > 1)));
    case kBitN:
      return Value::Bool(raw[0] != 0);
    case kFltN: {
      if (n == 4) {
        float f;
        std::memcpy(&f, raw.data(), 4);
        return Value::Double(f);
      }
      double d;
      std::memcpy(&d, raw.data(), 8);
      return Value::Double(d);
    }
    case kMoneyN: {
      const int64_t m =
          n == 4 ? Integer(raw)
                 : Integer(raw.substr(0, 4)) * 4294967296LL + Integer(raw.substr(4), false);
      return Value::Double(static_cast<double>(m) / 10000.0);
    }
    case kDecimalN:
    case kNumericN: {
      long double m = 0;
      for (size_t k = n; k-- > 1;) m = m * 256 + static_cast<uint8_t>(raw[k]);
      const double x = static_cast<double>(m / std::pow(10.0L, t.scale));
      return Value::Double(raw[0] ? x : -x);
    }
    case kDateTimeN:
      if (n == 4)
        return Value::DateTime(static_cast<double>(Integer(raw.substr(0, 2), false) + kDaysTo1900) +
                               static_cast<double>(Integer(raw.substr(2), false)) / 1440.0);
      return Value::DateTime(static_cast<double>(Integer(raw.substr(0, 4)) + kDaysTo1900) +
                             static_cast<double>(Integer(raw.substr(4), false)) / 300.0 / kDay);
    default: {  // date, time, datetime2: time in 10^-scale seconds, days since 0001-01-01
      const size_t time = t.wire == kDateN ? 0 : n - (t.wire == kTimeN ? 0 : 3);
      const double ticks = time ? static_cast<double>(Integer(raw.substr(0, time), false)) : 0;
      const double days =
          t.wire == kTimeN ? 0
                           : static_cast<double>(Integer(raw.substr(time), false) - kDaysToYear1);
      return Value::DateTime(days + ticks / std::pow(10.0, t.scale) / kDay);
    }
  }
}

SqlType ColumnFor(DataType declared, const std::vector<const Value*>& values) {
  DataType t = declared;
  size_t longest = 0;
  for (const Value* v : values) {
    if (v->IsNull()) continue;
    t = t == DataType::kEmpty || t == v->type() ? v->type() : DataType::kString;
    if (v->type() == DataType::kString) longest = std::max(longest, v->AsString().size());
  }
  SqlType c = TypeOf(t);
  if (c.wire == kNVarChar && longest > 4000) c.size = 0;
  return c;
}

}  // namespace zun::testing
