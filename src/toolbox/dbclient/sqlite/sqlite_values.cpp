#include "toolbox/dbclient/sqlite/sqlite_values.h"

#include <cstdio>

#include "foundation/momento.h"
#include "foundation/text.h"
#include "foundation/text_1252.h"

namespace zun {

std::string SqliteTrim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

ErrorKind SqliteKindOf(int extended_code) {
  switch (extended_code & 0xff) {
    case SQLITE_CONSTRAINT:
      return ErrorKind::kConstraint;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_INTERRUPT:
      return ErrorKind::kTimeout;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_READONLY:
      return ErrorKind::kConnectionLost;
    default:
      return ErrorKind::kOther;
  }
}

[[noreturn]] void SqliteFail(sqlite3* db, const std::string& what) {
  const int code = db != nullptr ? sqlite3_extended_errcode(db) : 0;
  const std::string msg = db != nullptr ? Utf8ToCp1252(sqlite3_errmsg(db)) : "no database";
  throw ProviderError(what + ": " + msg, code, SqliteKindOf(code));
}

std::string SqliteDateTimeText(double dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(dt, &y, &mo, &d, &h, &mi, &s, &ms);
  if (y < 0 || y > 9999) {
    char buf[48];
    if (ms != 0) {
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
    } else {
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    }
    return buf;
  }
  // Every bound value of a date goes through here: digits by hand.
  char buf[24] = "0000-00-00 00:00:00.000";
  auto poe = [&buf](int pos, int v, int digitos) {
    for (int i = pos + digitos - 1; i >= pos; --i, v /= 10)
      buf[i] = static_cast<char>('0' + v % 10);
  };
  poe(0, y, 4);
  poe(5, mo, 2);
  poe(8, d, 2);
  poe(11, h, 2);
  poe(14, mi, 2);
  poe(17, s, 2);
  if (ms == 0) return std::string(buf, 19);
  poe(20, ms, 3);
  return std::string(buf, 23);
}

bool SqliteIsDateTimeDecl(const char* decl) {
  if (decl == nullptr) return false;
  const std::string u = Maiusculas(decl);
  return u.find("DATE") != std::string::npos || u.find("TIME") != std::string::npos;
}

std::vector<char> SqliteDateTimeColumns(sqlite3_stmt* st, int ncol) {
  std::vector<char> dt(static_cast<size_t>(ncol));
  for (int i = 0; i < ncol; ++i) {
    dt[static_cast<size_t>(i)] = SqliteIsDateTimeDecl(sqlite3_column_decltype(st, i));
  }
  return dt;
}

Value SqliteColumnValue(sqlite3_stmt* st, int i, bool date_time) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return Value::Null();
    case SQLITE_INTEGER: {
      const int64_t v = sqlite3_column_int64(st, i);
      if (v >= INT32_MIN && v <= INT32_MAX) return Value::Int(static_cast<int32_t>(v));
      return Value::BigInt(v);
    }
    case SQLITE_FLOAT:
      if (date_time) {
        return Value::DateTime(sqlite3_column_double(st, i));
      }
      return Value::Double(sqlite3_column_double(st, i));
    case SQLITE_BLOB: {
      const void* p = sqlite3_column_blob(st, i);
      const int n = sqlite3_column_bytes(st, i);
      return Value::Binary(std::string(static_cast<const char*>(p), static_cast<size_t>(n)));
    }
    default: {
      const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      const int n = sqlite3_column_bytes(st, i);
      Value v = Value::String(Utf8ToCp1252(std::string(p, static_cast<size_t>(n))));
      if (date_time && n >= 10) {
        try {
          return Value::DateTime(v.AsDateTime());
        } catch (const DatasetError&) {
        }
      }
      return v;
    }
  }
}

void SqliteBind(sqlite3* db, sqlite3_stmt* st, int i, const Value& v) {
  int rc = SQLITE_OK;
  switch (v.type()) {
    case DataType::kEmpty:
      rc = sqlite3_bind_null(st, i);
      break;
    case DataType::kInteger:
    case DataType::kBigInt:
    case DataType::kBoolean:
      rc = sqlite3_bind_int64(st, i, v.AsInt64());
      break;
    case DataType::kDouble:
      rc = sqlite3_bind_double(st, i, v.AsDouble());
      break;
    case DataType::kDateTime: {
      const std::string t = SqliteDateTimeText(v.AsDateTime());
      rc = sqlite3_bind_text(st, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
      break;
    }
    case DataType::kString: {
      const std::string t = Cp1252ToUtf8(v.Bytes());
      rc = sqlite3_bind_text(st, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
      break;
    }
    case DataType::kBinary:
      rc = sqlite3_bind_blob(st, i, v.Bytes().data(), static_cast<int>(v.Bytes().size()),
                             SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) SqliteFail(db, "bind");
}

Value SqliteCoerce(const Value& v, DataType type) {
  if (v.IsNull()) return v;
  try {
    switch (type) {
      case DataType::kInteger:
        return Value::Int(v.AsInt());
      case DataType::kBigInt:
        return Value::BigInt(v.AsInt64());
      case DataType::kDouble:
        return Value::Double(v.AsDouble());
      case DataType::kDateTime:
        return Value::DateTime(v.AsDateTime());
      case DataType::kBoolean:
        return Value::Bool(v.AsBool());
      case DataType::kString:
        return Value::String(v.AsString());
      case DataType::kBinary:
        return Value::Binary(v.Bytes());
      case DataType::kEmpty:
        return v;
    }
  } catch (const DatasetError&) {
  }
  throw ProviderError(ErrorKind::kWrongType,
                      "Application uses a value of the wrong type for the current operation");
}

}  // namespace zun
