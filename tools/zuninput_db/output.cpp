#include "zuninput_db/output.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "foundation/momento.h"
#include "foundation/text_1252.h"
#include "toolbox/dbclient/command.h"
#include "zuninput_db/command_line.h"

namespace zun::dbtool {

namespace {

// Escapes tabs, line breaks and backslashes for tab-separated output.
std::string Escapado(const std::string& t) {
  std::string out;
  for (const char c : t) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A column value for tab-separated output: NULL is empty, blobs show their
// size, and tabs, line breaks and backslashes are escaped.
std::string Cell(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return "";
    case SQLITE_BLOB:
      return "<blob " + std::to_string(sqlite3_column_bytes(st, i)) + " bytes>";
    default:
      break;
  }
  const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
  return Escapado(p != nullptr ? p : "");
}

// A value as text, as the embedded path prints it (UTF-8; date-times as
// yyyy-mm-dd hh:nn:ss).
std::string Texto(const Value& v) {
  if (v.IsNull()) return "";
  if (v.type() == DataType::kBinary)
    return "<blob " + std::to_string(v.AsString().size()) + " bytes>";
  if (v.type() == DataType::kDateTime) {
    int y, mo, d, h, mi, sec, ms;
    DecodeDateTime(v.AsDouble(), &y, &mo, &d, &h, &mi, &sec, &ms);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, sec);
    return buf;
  }
  return Cp1252ToUtf8(v.AsString());
}

}  // namespace

// Steps st to the end, printing a header and one line per row when it has
// columns. Raises Failure.
void PrintRows(DbFile& db, sqlite3_stmt* st, std::ostream& out) {
  const int n = sqlite3_column_count(st);
  for (int i = 0; i < n; ++i) out << (i > 0 ? "\t" : "") << sqlite3_column_name(st, i);
  if (n > 0) out << '\n';
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    for (int i = 0; i < n; ++i) out << (i > 0 ? "\t" : "") << Cell(st, i);
    out << '\n';
  }
  if (rc != SQLITE_DONE) throw Failure(std::string("SQL error: ") + sqlite3_errmsg(db.handle()));
}

void ImprimeLinhas(Command& cmd, bool json) {
  if (!cmd.Active()) return;
  Recordset& rs = cmd.Current();
  if (json) {
    const auto js = [](const std::string& t) {
      std::string o = "\"";
      for (const char c : t) {
        if (c == '"' || c == '\\') o += '\\';
        if (static_cast<unsigned char>(c) < 32) {
          char b[8];
          std::snprintf(b, sizeof b, "\\u%04x", c);
          o += b;
        } else {
          o += c;
        }
      }
      return o + "\"";
    };
    std::string out = "[";
    for (rs.First(); !rs.Eof(); rs.Next()) {
      out += out.size() > 1 ? "," : "";
      for (int i = 0; i < rs.FieldCount(); ++i) {
        const std::string& n = rs.FieldName(i);
        const Value& v = rs.Field(i);
        std::string val = v.IsNull()       ? "null"
                          : n == "content" ? (Texto(v) == "Y" ? "true" : "false")
                          : n == "id" || n == "priority" || n == "tries" || n == "result"
                              ? Texto(v)
                              : js(Texto(v));
        out += (i == 0 ? "{" : ",") + js(n) + ":" + val;
      }
      out += "}";
    }
    std::cout << out << "]\n";
    return;
  }
  for (int i = 0; i < rs.FieldCount(); ++i) std::cout << (i > 0 ? "\t" : "") << rs.FieldName(i);
  std::cout << '\n';
  for (rs.First(); !rs.Eof(); rs.Next()) {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      std::cout << (i > 0 ? "\t" : "") << Escapado(Texto(rs.Field(i)));
    }
    std::cout << '\n';
  }
}

}  // namespace zun::dbtool
