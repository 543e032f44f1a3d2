#include "toolbox/dbclient/odbc/odbc_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/momento.h"
#include "foundation/text_1252.h"
#include "toolbox/dbclient/errors.h"

namespace zun {

namespace {

// SQL Server's time and datetimeoffset, as both drivers describe them.
constexpr SQLSMALLINT kSqlSsTime2 = -154;
constexpr SQLSMALLINT kSqlSsTimestampOffset = -155;

bool IsTextType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

template <typename T>
std::string Bytes(const T& x) {
  return std::string(reinterpret_cast<const char*>(&x), sizeof(T));
}

template <typename T>
T Le(const OdbcVinculo& v) {
  T x{};
  std::memcpy(&x, v.buf.data(), std::min(sizeof(T), v.buf.size()));
  return x;
}

// The type and size that declare a (max) parameter to the driver.
void DeclaraMax(bool freetds, SQLSMALLINT var, SQLSMALLINT longo, SQLSMALLINT* sql_type,
                SQLULEN* size) {
  // Microsoft's driver declares nvarchar(max) for a variable type of size
  // 0 (its long type is ntext, which no output may be); FreeTDS declares
  // nvarchar(1) for that and nvarchar(max) for the long type at TDS 7.2+.
  if (freetds) {
    *sql_type = longo;
  } else {
    *sql_type = var;
    *size = 0;
  }
}

// Raises the error of an output longer than its buffer.
[[noreturn]] void Cortado(const std::string& name, const Parameter& p, const OdbcVinculo& b) {
  throw ProviderError("Output " + p.name + " of " + name + " holds " +
                      (b.ind == SQL_NO_TOTAL ? std::string("more") : std::to_string(b.ind)) +
                      " bytes, more than the " + std::to_string(b.buf.size()) + " read");
}

}  // namespace

std::u16string OdbcWide(const std::string& cp1252) { return Cp1252ToUtf16(cp1252); }

std::string OdbcNarrow(const SQLWCHAR* w, size_t n) {
  return Utf16ToCp1252(std::u16string(reinterpret_cast<const char16_t*>(w), n));
}

bool IsOdbcTimeType(SQLSMALLINT t) {
  return t == SQL_TYPE_TIME || t == SQL_TIME || t == kSqlSsTime2;
}

DataType OdbcDataType(SQLSMALLINT t) {
  switch (t) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      return DataType::kInteger;
    case SQL_BIGINT:
      return DataType::kBigInt;
    case SQL_BIT:
      return DataType::kBoolean;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return DataType::kDouble;
    case SQL_DATETIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIME:
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
    case kSqlSsTimestampOffset:
      return DataType::kDateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return DataType::kBinary;
    default:
      return DataType::kString;
  }
}

SQLSMALLINT OdbcSqlType(DataType t) {
  switch (t) {
    case DataType::kInteger:
      return SQL_INTEGER;
    case DataType::kBigInt:
      return SQL_BIGINT;
    case DataType::kBoolean:
      return SQL_BIT;
    case DataType::kDouble:
      return SQL_DOUBLE;
    case DataType::kDateTime:
      return SQL_TYPE_TIMESTAMP;
    case DataType::kBinary:
      return SQL_VARBINARY;
    default:
      return SQL_WVARCHAR;
  }
}

SQLSMALLINT OdbcCType(DataType t) {
  switch (t) {
    case DataType::kInteger:
      return SQL_C_SLONG;
    case DataType::kBigInt:
      return SQL_C_SBIGINT;
    case DataType::kBoolean:
      return SQL_C_BIT;
    case DataType::kDouble:
      return SQL_C_DOUBLE;
    case DataType::kDateTime:
      return SQL_C_TYPE_TIMESTAMP;
    case DataType::kBinary:
      return SQL_C_BINARY;
    default:
      return SQL_C_WCHAR;
  }
}

size_t OdbcFixedWidth(SQLSMALLINT c_type) {
  switch (c_type) {
    case SQL_C_SLONG:
      return sizeof(SQLINTEGER);
    case SQL_C_SBIGINT:
      return sizeof(SQLBIGINT);
    case SQL_C_BIT:
      return 1;
    case SQL_C_DOUBLE:
      return sizeof(double);
    case SQL_C_TYPE_TIMESTAMP:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
      return 0;
  }
}

double OdbcDayNumber(const SQL_TIMESTAMP_STRUCT& ts) {
  return EncodeDateTime(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                        static_cast<int>(ts.fraction / 1000000));
}

SQL_TIMESTAMP_STRUCT OdbcTimestamp(double day_number) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(day_number, &y, &mo, &d, &h, &mi, &s, &ms);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(y);
  ts.month = static_cast<SQLUSMALLINT>(mo);
  ts.day = static_cast<SQLUSMALLINT>(d);
  ts.hour = static_cast<SQLUSMALLINT>(h);
  ts.minute = static_cast<SQLUSMALLINT>(mi);
  ts.second = static_cast<SQLUSMALLINT>(s);
  ts.fraction = static_cast<SQLUINTEGER>(ms) * 1000000u;
  return ts;
}

std::string EncodeOdbcValue(const Value& v, SQLSMALLINT c_type) {
  const bool nulo = v.IsNull();
  switch (c_type) {
    case SQL_C_SLONG:
      return Bytes<SQLINTEGER>(nulo ? 0 : v.AsInt());
    case SQL_C_SBIGINT:
      return Bytes<SQLBIGINT>(nulo ? 0 : v.AsInt64());
    case SQL_C_BIT:
      return Bytes<unsigned char>(!nulo && v.AsBool() ? 1 : 0);
    case SQL_C_DOUBLE: {
      const double x = nulo ? 0.0 : v.AsDouble();
      if (!std::isfinite(x)) throw DatasetError("not a finite number");
      return Bytes(x);
    }
    case SQL_C_TYPE_TIMESTAMP:
      return Bytes(OdbcTimestamp(nulo ? 0.0 : v.AsDateTime()));
    case SQL_C_BINARY:
      if (nulo) return std::string();
      return v.type() == DataType::kBinary ? v.Bytes() : v.AsString();
    default: {
      if (nulo) return std::string();
      const std::u16string w = OdbcWide(v.AsString());
      return std::string(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(char16_t));
    }
  }
}

OdbcDeclaracao EncodeOdbcParameter(const Parameter& p, SQLSMALLINT sql_type, bool freetds,
                                   const std::string& name, OdbcVinculo* vinculo) {
  OdbcVinculo& b = *vinculo;
  // A described text or binary parameter of size 0 is (max).
  const bool max = sql_type != 0 && p.size == 0;
  OdbcDeclaracao d;
  d.sql_type = sql_type != 0 ? sql_type : OdbcSqlType(p.type);
  d.io = p.direction == ParamDirection::kInput         ? SQL_PARAM_INPUT
         : p.direction == ParamDirection::kInputOutput ? SQL_PARAM_INPUT_OUTPUT
                                                       : SQL_PARAM_OUTPUT;
  const bool sends = d.io != SQL_PARAM_OUTPUT && !p.value.IsNull();
  d.size = static_cast<SQLULEN>(std::max(p.size, 0));
  d.digits = static_cast<SQLSMALLINT>(std::max(p.scale, 0));
  b.c_type = OdbcCType(p.type);
  try {
    std::string bytes = EncodeOdbcValue(sends ? p.value : Value(), b.c_type);
    if (b.c_type == SQL_C_DOUBLE && d.io == SQL_PARAM_INPUT &&
        (d.sql_type == SQL_DECIMAL || d.sql_type == SQL_NUMERIC)) {
      // As decimal text rounded to the server's scale: a driver that
      // converts a double cuts its binary fraction (1.15 becomes 1.14).
      double x = 0;
      std::memcpy(&x, bytes.data(), sizeof x);
      char text[400];
      const int n = std::snprintf(text, sizeof text, "%.*f", std::min<int>(d.digits, 38), x);
      bytes = EncodeOdbcValue(Value::String(std::string(text, static_cast<size_t>(std::max(n, 0)))),
                              SQL_C_WCHAR);
      b.c_type = SQL_C_WCHAR;
      b.buf.assign(bytes.size() + sizeof(char16_t), 0);
      std::memcpy(b.buf.data(), bytes.data(), bytes.size());
      b.ind = static_cast<SQLLEN>(bytes.size());
    } else if (b.c_type == SQL_C_BINARY) {
      const size_t room = d.io == SQL_PARAM_INPUT
                              ? bytes.size()
                              : std::max<size_t>(d.size ? d.size : kTextoSemTamanho, bytes.size());
      b.buf.assign(std::max<size_t>(room, 1), 0);
      std::memcpy(b.buf.data(), bytes.data(), bytes.size());
      b.ind = static_cast<SQLLEN>(bytes.size());
      d.size = std::max<SQLULEN>(std::max<SQLULEN>(d.size, bytes.size()), 1);
      if (max || d.size > 2 * kTextoCurtoMax)
        DeclaraMax(freetds, SQL_VARBINARY, SQL_LONGVARBINARY, &d.sql_type, &d.size);
    } else if (b.c_type == SQL_C_WCHAR) {
      // Text goes as Unicode; an output needs room for its real size.
      const size_t chars_in = bytes.size() / sizeof(char16_t);
      const size_t chars = d.io == SQL_PARAM_INPUT
                               ? chars_in
                               : std::max<size_t>(d.size ? d.size : kTextoSemTamanho, chars_in);
      b.buf.assign((chars + 1) * sizeof(char16_t), 0);
      std::memcpy(b.buf.data(), bytes.data(), bytes.size());
      b.ind = static_cast<SQLLEN>(bytes.size());
      d.size = std::max<SQLULEN>(std::max<SQLULEN>(d.size, chars_in), 1);
      if (IsTextType(d.sql_type)) d.sql_type = SQL_WVARCHAR;
      if (d.sql_type == SQL_WVARCHAR && (max || d.size > kTextoCurtoMax))
        DeclaraMax(freetds, SQL_WVARCHAR, SQL_WLONGVARCHAR, &d.sql_type, &d.size);
    } else {
      b.buf.assign(bytes.begin(), bytes.end());
      b.ind = static_cast<SQLLEN>(bytes.size());
      if (b.c_type == SQL_C_TYPE_TIMESTAMP) {
        // The server keeps milliseconds: three decimal digits.
        d.sql_type = SQL_TYPE_TIMESTAMP;
        d.size = 23;
        d.digits = 3;
      }
    }
  } catch (const DatasetError& x) {
    throw ProviderError(ErrorKind::kWrongType,
                        "Parameter " + p.name + " of " + name + ": " + x.what());
  }
  // An output reads as NULL unless the driver writes it: a return value the
  // driver never delivered must not read as the 0 the buffer holds.
  if (d.io == SQL_PARAM_OUTPUT || p.value.IsNull()) b.ind = SQL_NULL_DATA;
  return d;
}

Value DecodeOdbcOutput(const std::string& name, const Parameter& p, const OdbcVinculo& b) {
  if (b.ind == SQL_NULL_DATA) return Value();
  switch (b.c_type) {
    case SQL_C_SLONG:
      return Value::Int(Le<SQLINTEGER>(b));
    case SQL_C_SBIGINT:
      return Value::BigInt(Le<SQLBIGINT>(b));
    case SQL_C_BIT:
      return Value::Bool(Le<unsigned char>(b) != 0);
    case SQL_C_DOUBLE:
      return Value::Double(Le<double>(b));
    case SQL_C_TYPE_TIMESTAMP:
      return Value::DateTime(OdbcDayNumber(Le<SQL_TIMESTAMP_STRUCT>(b)));
    case SQL_C_BINARY:
      if (b.ind == SQL_NO_TOTAL || static_cast<size_t>(b.ind) > b.buf.size()) Cortado(name, p, b);
      return Value::Binary(
          std::string(reinterpret_cast<const char*>(b.buf.data()), static_cast<size_t>(b.ind)));
    default: {
      if (b.ind == SQL_NO_TOTAL || static_cast<size_t>(b.ind) > b.buf.size() - 2)
        Cortado(name, p, b);
      const size_t n = static_cast<size_t>(b.ind) / 2;
      std::u16string w(n, u'\0');
      std::memcpy(w.data(), b.buf.data(), n * 2);
      return Value::String(Utf16ToCp1252(w));
    }
  }
}

std::vector<OdbcColumn> EncodeOdbcColumns(const std::vector<std::vector<Value>>& rows,
                                          size_t inicio, size_t n, bool freetds) {
  std::vector<OdbcColumn> cols(rows[inicio].size());
  for (size_t j = 0; j < cols.size(); ++j) {
    OdbcColumn& c = cols[j];
    DataType t = DataType::kEmpty;
    size_t largura = 1;  // characters or bytes of the longest value
    for (size_t i = inicio; i < inicio + n; ++i) {
      const Value& v = rows[i].at(j);
      if (v.IsNull()) continue;
      if (t == DataType::kEmpty) t = v.type();
      if (t == DataType::kBinary) largura = std::max(largura, v.Bytes().size());
      if (t != DataType::kBinary && OdbcDataType(OdbcSqlType(t)) == DataType::kString)
        largura = std::max(largura, OdbcWide(v.AsString()).size());
    }
    c.sql_type = OdbcSqlType(t);
    c.c_type = OdbcCType(t);
    c.width = OdbcFixedWidth(c.c_type);
    if (c.c_type == SQL_C_TYPE_TIMESTAMP) {
      c.size = 23, c.digits = 3;
    } else if (c.c_type == SQL_C_BINARY) {
      c.width = largura, c.size = largura;
      if (largura > 2 * kTextoCurtoMax)
        DeclaraMax(freetds, SQL_VARBINARY, SQL_LONGVARBINARY, &c.sql_type, &c.size);
    } else if (c.c_type == SQL_C_WCHAR) {
      c.width = (largura + 1) * sizeof(char16_t), c.size = largura;
      c.sql_type = SQL_WVARCHAR;
      if (largura > kTextoCurtoMax)
        DeclaraMax(freetds, SQL_WVARCHAR, SQL_WLONGVARCHAR, &c.sql_type, &c.size);
    }
    c.buf.assign(c.width * n, 0);
    c.ind.assign(n, SQL_NULL_DATA);
    for (size_t i = 0; i < n; ++i) {
      const Value& v = rows[inicio + i][j];
      if (v.IsNull()) continue;
      const std::string bytes = EncodeOdbcValue(v, c.c_type);
      if (bytes.size() > c.width) throw DatasetError("not of the column's type");
      std::memcpy(c.buf.data() + i * c.width, bytes.data(), bytes.size());
      c.ind[i] = static_cast<SQLLEN>(OdbcFixedWidth(c.c_type) ? c.width : bytes.size());
    }
  }
  return cols;
}

}  // namespace zun
