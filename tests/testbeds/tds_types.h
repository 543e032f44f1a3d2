// The TDS test server's type layer: message buffers, and SQL Server's types
// as TDS 7.4 describes (TYPE_INFO) and carries them ([MS-TDS] 2.2.5.4,
// 2.2.5.5): integers, bit, float and real, money, decimal and numeric with
// precision and scale, datetime, date, time and datetime2 with their scale,
// char, varchar, nchar, nvarchar, binary and varbinary with a length or
// (max) in PLP chunks, and the old text, ntext and image.
//
// Thread-safety: plain functions and values; nothing is shared.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "toolbox/dbclient/value.h"

namespace zun::testing {

// Wire type codes ([MS-TDS] 2.2.5.4.1-3).
constexpr uint8_t kIntN = 0x26, kBitN = 0x68, kFltN = 0x6D, kMoneyN = 0x6E, kDateTimeN = 0x6F,
                  kDecimalN = 0x6A, kNumericN = 0x6C, kDateN = 0x28, kTimeN = 0x29,
                  kDateTime2N = 0x2A, kBigVarChar = 0xA7, kBigChar = 0xAF, kNVarChar = 0xE7,
                  kNChar = 0xEF, kBigVarBinary = 0xA5, kBigBinary = 0xAD, kText = 0x23,
                  kNText = 0x63, kImage = 0x22;

// A message being built: little-endian integers and UCS-2 text.
struct Out {
  std::string b;
  void U8(unsigned v) { b += static_cast<char>(v); }
  void U16(unsigned v) { U8(v & 0xFF), U8(v >> 8); }
  void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
  void U64(uint64_t v) { U32(static_cast<uint32_t>(v)), U32(static_cast<uint32_t>(v >> 32)); }
  void Ucs2(const std::string& cp1252);
  void BVarchar(const std::string& s);
  void UsVarchar(const std::string& s);
  // A token whose 2-byte length follows its type.
  void Token(uint8_t type, const Out& body) { U8(type), U16(body.b.size()), b += body.b; }
};

// UCS-2 bytes as Windows-1252 text.
std::string Ucs2Text(const std::string& raw);

// A message being read; a read past its end throws std::runtime_error.
struct In {
  const std::string& s;
  size_t p = 0;
  void Need(size_t n) const {
    if (n > s.size() || p > s.size() - n) throw std::runtime_error("short message");
  }
  uint8_t U8() { return Need(1), static_cast<uint8_t>(s[p++]); }
  uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
  uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
  uint64_t U64() { return U32() | static_cast<uint64_t>(U32()) << 32; }
  std::string Bytes(size_t n) { return Need(n), p += n, s.substr(p - n, n); }
  std::string Ucs2(size_t chars) { return Ucs2Text(Bytes(chars * 2)); }
  bool AtEnd() const { return p >= s.size(); }
  // ALL_HEADERS ([MS-TDS] 2.2.5.3): its length counts itself.
  void SkipHeaders() { p += U32() - 4; }
};

// A SQL Server type: its wire code, the bytes of a fixed-size one or the
// characters or bytes of a text or binary one (0: (max)), and a decimal's
// precision and scale or a time's scale.
struct SqlType {
  uint8_t wire = kIntN;
  unsigned size = 4;
  int precision = 0, scale = 0;
  bool Max() const { return size == 0; }
};

// The type a declaration names ("int", "decimal(18,4)", "nvarchar(max)",
// "datetime2(3)", ...; case and blanks do not matter). Throws
// std::runtime_error for a type it does not know.
SqlType ParseType(const std::string& declaration);

// The type SQL Server describes for a value of the embedded database's kind
// t: int, bigint, float, datetime, bit, varbinary(max), else nvarchar(4000).
SqlType TypeOf(DataType t);

// What sp_sproc_columns reports for a parameter of type t, from DATA_TYPE to
// SS_DATA_TYPE but for COLUMN_TYPE and the columns after SQL_DATA_TYPE's
// group (NULL where SQL Server reports NULL).
struct TypeDescription {
  std::string name;
  Value data_type, precision, length, scale, radix, sql_data_type, datetime_sub, octets, ss_type;
};
TypeDescription Describe(const SqlType& t);

// Writes t's TYPE_INFO ([MS-TDS] 2.2.5.6).
void TypeInfo(Out* o, const SqlType& t);

// Writes v as a value of type t (NULL as t writes it). Throws
// std::runtime_error when v does not fit t.
void PutValue(Out* o, const SqlType& t, const Value& v);

// Reads a TYPE_INFO and a value, as an RPC parameter carries them; the type
// goes to *type when given. Throws std::runtime_error for a type it does not
// know or a malformed value.
Value ReadValue(In* in, SqlType* type = nullptr);

// The column a set of values of the embedded database fits: declared when
// given, else their one kind, else text; text over 4,000 characters is
// nvarchar(max).
SqlType ColumnFor(DataType declared, const std::vector<const Value*>& values);

}  // namespace zun::testing
