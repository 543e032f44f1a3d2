#include "toolbox/dbclient/value.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "foundation/momento.h"
#include "toolbox/dbclient/errors.h"

namespace zun {
namespace {

std::string Describe(const Value& v) {
  return std::string(DataTypeName(v.type())) + " value <" + v.AsString() + ">";
}

[[noreturn]] void Cannot(const Value& v, const char* as) {
  throw DatasetError("cannot read " + Describe(v) + " as " + as);
}

bool ParseInt64(const std::string& s, int64_t* out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || end == s.c_str()) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *out = v;
  return true;
}

bool ParseDouble(const std::string& s, double* out) {
  if (s.empty()) return false;
  // Decimal notation only, as a server converts text: strtod alone would
  // also take hexadecimal numbers, "inf" and "nan".
  if (s.find_first_not_of("0123456789+-.eE ") != std::string::npos) return false;
  // strtod honours the C locale, which the program never changes.
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str()) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *out = v;
  return true;
}

// Reads exactly n digits at *p.
bool Digits(const char*& p, int n, int* out) {
  int v = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    v = v * 10 + (p[i] - '0');
  }
  p += n;
  *out = v;
  return true;
}

// "yyyy-mm-dd", optionally followed by " hh:nn:ss" (or "T" in place of the
// blank) and ".zzz"; blanks around the text allowed, nothing else.
bool ParseDateTimeText(const std::string& text, double* out) {
  const char* p = text.c_str();
  while (*p == ' ') ++p;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (!Digits(p, 4, &y) || *p++ != '-' || !Digits(p, 2, &mo) || *p++ != '-' || !Digits(p, 2, &d)) {
    return false;
  }
  if ((*p == ' ' || *p == 'T') && p[1] >= '0' && p[1] <= '9') {
    ++p;
    if (!Digits(p, 2, &h) || *p++ != ':' || !Digits(p, 2, &mi) || *p++ != ':' ||
        !Digits(p, 2, &s)) {
      return false;
    }
    if (*p == '.') {
      ++p;
      if (!Digits(p, 3, &ms)) return false;
    }
  }
  while (*p == ' ') ++p;
  if (*p != '\0') return false;
  double day = 0;
  if (!TryEncodeDate(y, mo, d, &day) || h > 23 || mi > 59 || s > 59) return false;
  *out = EncodeDateTime(y, mo, d, h, mi, s, ms);
  return true;
}

}  // namespace

const char* DataTypeName(DataType t) {
  switch (t) {
    case DataType::kEmpty:
      return "Empty";
    case DataType::kInteger:
      return "Integer";
    case DataType::kBigInt:
      return "BigInt";
    case DataType::kDouble:
      return "Double";
    case DataType::kDateTime:
      return "DBTimeStamp";
    case DataType::kBoolean:
      return "Boolean";
    case DataType::kString:
      return "VarChar";
    case DataType::kBinary:
      return "VarBinary";
  }
  return "?";
}

Value Value::Int(int32_t v) {
  Value r;
  r.type_ = DataType::kInteger;
  r.i_ = v;
  return r;
}

Value Value::BigInt(int64_t v) {
  Value r;
  r.type_ = DataType::kBigInt;
  r.i_ = v;
  return r;
}

Value Value::Double(double v) {
  Value r;
  r.type_ = DataType::kDouble;
  r.d_ = v;
  return r;
}

Value Value::DateTime(double day_number) {
  Value r;
  r.type_ = DataType::kDateTime;
  r.d_ = day_number;
  return r;
}

Value Value::Bool(bool v) {
  Value r;
  r.type_ = DataType::kBoolean;
  r.i_ = v ? 1 : 0;
  return r;
}

Value Value::String(std::string v) {
  Value r;
  r.type_ = DataType::kString;
  r.s_ = std::move(v);
  return r;
}

Value Value::Binary(std::string bytes) {
  Value r;
  r.type_ = DataType::kBinary;
  r.s_ = std::move(bytes);
  return r;
}

int64_t Value::AsInt64() const {
  switch (type_) {
    case DataType::kInteger:
    case DataType::kBigInt:
    case DataType::kBoolean:
      return i_;
    case DataType::kDouble:
    case DataType::kDateTime:
      if (!std::isfinite(d_) || std::fabs(d_) > 9.2e18) Cannot(*this, "integer");
      return static_cast<int64_t>(std::nearbyint(d_));
    case DataType::kString: {
      int64_t v = 0;
      double d = 0;
      if (ParseInt64(s_, &v)) return v;
      if (ParseDouble(s_, &d) && std::isfinite(d) && std::fabs(d) <= 9.2e18) {
        return static_cast<int64_t>(std::nearbyint(d));
      }
      Cannot(*this, "integer");
    }
    default:
      Cannot(*this, "integer");
  }
}

int32_t Value::AsInt() const {
  const int64_t v = AsInt64();
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    Cannot(*this, "32-bit integer");
  }
  return static_cast<int32_t>(v);
}

double Value::AsDouble() const {
  switch (type_) {
    case DataType::kInteger:
    case DataType::kBigInt:
    case DataType::kBoolean:
      return static_cast<double>(i_);
    case DataType::kDouble:
    case DataType::kDateTime:
      return d_;
    case DataType::kString: {
      double d = 0;
      if (ParseDouble(s_, &d)) return d;
      Cannot(*this, "float");
    }
    default:
      Cannot(*this, "float");
  }
}

double Value::AsDateTime() const {
  if (type_ == DataType::kString) {
    double day = 0;
    if (ParseDateTimeText(s_, &day)) return day;
    Cannot(*this, "date-time");
  }
  return AsDouble();
}

bool Value::AsBool() const {
  switch (type_) {
    case DataType::kBoolean:
    case DataType::kInteger:
    case DataType::kBigInt:
      return i_ != 0;
    case DataType::kDouble:
      return d_ != 0;
    case DataType::kString:
      if (strcasecmp(s_.c_str(), "true") == 0 || s_ == "1") return true;
      if (strcasecmp(s_.c_str(), "false") == 0 || s_ == "0") return false;
      Cannot(*this, "boolean");
    default:
      Cannot(*this, "boolean");
  }
}

std::string Value::AsString() const {
  char buf[64];
  switch (type_) {
    case DataType::kEmpty:
      return "";
    case DataType::kInteger:
    case DataType::kBigInt:
      return std::to_string(i_);
    case DataType::kBoolean:
      return i_ != 0 ? "True" : "False";
    case DataType::kDouble:
      std::snprintf(buf, sizeof buf, "%.15g", d_);
      return buf;
    case DataType::kDateTime: {
      int y, mo, d, h, mi, s, ms;
      DecodeDateTime(d_, &y, &mo, &d, &h, &mi, &s, &ms);
      if (ms != 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s,
                      ms);
      } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
      }
      return buf;
    }
    case DataType::kString:
    case DataType::kBinary:
      return s_;
  }
  return "";
}

bool Value::operator==(const Value& o) const {
  return type_ == o.type_ && i_ == o.i_ && (d_ == o.d_ || (d_ != d_ && o.d_ != o.d_)) && s_ == o.s_;
}

}  // namespace zun
