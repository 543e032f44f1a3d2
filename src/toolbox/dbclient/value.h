// A database value: NULL, a 32- or 64-bit integer, a double, a date-time (a
// day-number double, day 0 = 1899-12-30), a boolean, a string (Windows-1252
// bytes) or binary data, with the conversions the program's accessors use.
// An impossible conversion (NULL or text that is not a number read as a
// number) raises DatasetError naming the value.
//
// Thread-safety: a plain value type.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

enum class DataType { kEmpty, kInteger, kBigInt, kDouble, kDateTime, kBoolean, kString, kBinary };

// The name of a data type ("Integer", "VarChar", ...), for logs and errors.
const char* DataTypeName(DataType t);

class Value {
 public:
  Value() = default;  // NULL
  static Value Null() { return Value(); }
  static Value Int(int32_t v);
  static Value BigInt(int64_t v);
  static Value Double(double v);
  static Value DateTime(double day_number);
  static Value Bool(bool v);
  static Value String(std::string v);
  static Value Binary(std::string bytes);

  DataType type() const { return type_; }
  bool IsNull() const { return type_ == DataType::kEmpty; }

  // Integer value: integers and booleans as they are, doubles rounded to the
  // nearest (ties to even), decimal text. Raises DatasetError for NULL, for
  // other text and when the value does not fit 32 bits (AsInt).
  int32_t AsInt() const;
  int64_t AsInt64() const;
  // Float value of numbers, date-times and decimal text ("." separator).
  double AsDouble() const;
  // Date-time day number of date-times, numbers and text "yyyy-mm-dd"
  // with optional " hh:nn:ss" and ".zzz".
  double AsDateTime() const;
  // Booleans; integers (not 0 = true); text "True"/"False"/"1"/"0".
  bool AsBool() const;
  // Text of any value: NULL gives "", numbers in decimal (doubles with up
  // to 15 significant digits), booleans "True"/"False", date-times as
  // "yyyy-mm-dd hh:nn:ss" (".zzz" added when the milliseconds are not 0).
  std::string AsString() const;
  // Raw bytes of text and binary values (empty otherwise).
  const std::string& Bytes() const { return s_; }

  bool operator==(const Value& o) const;

 private:
  DataType type_ = DataType::kEmpty;
  int64_t i_ = 0;
  double d_ = 0;
  std::string s_;
};

}  // namespace zun
