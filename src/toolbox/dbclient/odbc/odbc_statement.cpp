#include "toolbox/dbclient/odbc/odbc_statement.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "foundation/text_1252.h"

namespace zun {

namespace {

Value ReadColumn(OdbcLink& link, SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT sql_type) {
  const OdbcApi& api = link.Api();
  SQLLEN ind = 0;
  const auto get = [&](SQLSMALLINT c_type, void* buf, SQLLEN size) {
    const SQLRETURN rc = api.GetData(stmt, col, c_type, buf, size, &ind);
    link.Check(rc, SQL_HANDLE_STMT, stmt, "GetData");
    return rc;
  };
  switch (OdbcDataType(sql_type)) {
    case DataType::kInteger: {
      SQLINTEGER v = 0;
      get(SQL_C_SLONG, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::Int(v);
    }
    case DataType::kBigInt: {
      SQLBIGINT v = 0;
      get(SQL_C_SBIGINT, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::BigInt(v);
    }
    case DataType::kBoolean: {
      unsigned char v = 0;
      get(SQL_C_BIT, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::Bool(v != 0);
    }
    case DataType::kDouble: {
      double v = 0;
      get(SQL_C_DOUBLE, &v, sizeof v);
      return ind == SQL_NULL_DATA ? Value() : Value::Double(v);
    }
    case DataType::kDateTime: {
      // A datetimeoffset reads as the clock time at its own offset; a time
      // as that time of day 0 (the driver fills in a date of its own).
      SQL_TIMESTAMP_STRUCT v{};
      get(SQL_C_TYPE_TIMESTAMP, &v, sizeof v);
      if (ind == SQL_NULL_DATA) return Value();
      if (IsOdbcTimeType(sql_type)) v.year = 1899, v.month = 12, v.day = 30;
      return Value::DateTime(OdbcDayNumber(v));
    }
    default:
      break;
  }
  // Text and binary data come in pieces until the driver has no more.
  const bool binary = OdbcDataType(sql_type) == DataType::kBinary;
  std::string bytes;
  char buf[4096];
  const size_t room = binary ? sizeof buf : sizeof buf - sizeof(SQLWCHAR);
  for (;;) {
    const SQLRETURN rc = get(binary ? SQL_C_BINARY : SQL_C_WCHAR, buf, sizeof buf);
    if (rc == SQL_NO_DATA) break;
    if (ind == SQL_NULL_DATA) return Value();
    const bool more = ind == SQL_NO_TOTAL || static_cast<size_t>(ind) > room;
    bytes.append(buf, more ? room : static_cast<size_t>(ind));
    if (!more || rc == SQL_SUCCESS) break;
  }
  if (binary) return Value::Binary(bytes);
  std::u16string w(bytes.size() / 2, u'\0');
  std::memcpy(w.data(), bytes.data(), w.size() * 2);
  return Value::String(Utf16ToCp1252(w));
}

Recordset ReadRecordset(OdbcLink& link, SQLHSTMT stmt, SQLSMALLINT columns) {
  const OdbcApi& api = link.Api();
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  for (SQLUSMALLINT c = 1; c <= columns; ++c) {
    SQLWCHAR name[256];
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    link.Check(api.DescribeCol(stmt, c, name, 256, &len, &type, &size, &digits, &nullable),
               SQL_HANDLE_STMT, stmt, "DescribeCol");
    names.push_back(OdbcNarrow(
        name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), 255)));
    types.push_back(type);
  }
  Recordset rs(names);
  for (;;) {
    const SQLRETURN rc = api.Fetch(stmt);
    if (rc == SQL_NO_DATA) break;
    link.Check(rc, SQL_HANDLE_STMT, stmt, "Fetch");
    std::vector<Value> row;
    row.reserve(types.size());
    for (SQLUSMALLINT c = 1; c <= columns; ++c)
      row.push_back(ReadColumn(link, stmt, c, types[c - 1]));
    rs.AddRow(std::move(row));
  }
  return rs;
}

}  // namespace

void ReadOdbcResults(OdbcLink& link, SQLHSTMT stmt, SQLRETURN rc, std::vector<Recordset>* out,
                     SQLLEN* changed, std::vector<OdbcDiagnostico>* avisos) {
  const OdbcApi& api = link.Api();
  // Every step may carry the server's error: one raised after the first
  // result set comes with the move to the next. A step that succeeds with
  // messages may hold the error of a row of a parameter array, which the
  // next step would clear: they are kept for the status array.
  if (avisos != nullptr) avisos->clear();
  const auto guarda = [&](SQLRETURN r) {
    if (r != SQL_SUCCESS_WITH_INFO) return;
    const std::vector<OdbcDiagnostico> d = OdbcDiagnosticos(api, SQL_HANDLE_STMT, stmt);
    if (avisos != nullptr) avisos->insert(avisos->end(), d.begin(), d.end());
  };
  link.Check(rc, SQL_HANDLE_STMT, stmt, "Execute");
  guarda(rc);
  if (rc == SQL_NO_DATA) {
    // Microsoft's driver answers SQL_NO_DATA at execute when the first
    // result is an update that touched no rows, with rows and outputs still
    // to come: only SQLMoreResults tells that the run is over.
    rc = api.MoreResults(stmt);
    if (rc == SQL_NO_DATA) return;
    if (rc == SQL_ERROR) {
      // A driver that had nothing pending may call the question out of order.
      SQLWCHAR st[6] = {};
      SQLINTEGER native = 0;
      SQLSMALLINT len = 0;
      SQLWCHAR msg[512];
      const SQLRETURN d = api.GetDiagRec(SQL_HANDLE_STMT, stmt, 1, st, &native, msg, 512, &len);
      if ((d == SQL_SUCCESS || d == SQL_SUCCESS_WITH_INFO) && OdbcNarrow(st, 5) == "HY010") return;
    }
    link.Check(rc, SQL_HANDLE_STMT, stmt, "MoreResults");
  }
  for (;;) {
    SQLSMALLINT columns = 0;
    link.Check(api.NumResultCols(stmt, &columns), SQL_HANDLE_STMT, stmt, "NumResultCols");
    if (columns > 0) {
      Recordset rs = ReadRecordset(link, stmt, columns);
      if (out != nullptr) out->push_back(std::move(rs));
    } else if (changed != nullptr) {
      // The count of a step is gone once the next one is asked for.
      SQLLEN n = 0;
      if (api.RowCount(stmt, &n) == SQL_SUCCESS && n > 0) *changed += n;
    }
    rc = api.MoreResults(stmt);
    if (rc == SQL_NO_DATA) return;
    link.Check(rc, SQL_HANDLE_STMT, stmt, "MoreResults");
    guarda(rc);
  }
}

OdbcProcedure DescribeOdbcProcedure(OdbcLink& link, SQLHSTMT stmt, const std::string& name) {
  // "schema.procedure", or a procedure of any schema (the first one found).
  const OdbcApi& api = link.Api();
  const size_t dot = name.rfind('.');
  std::u16string schema = OdbcWide(dot == std::string::npos ? "" : name.substr(0, dot));
  const std::string proc_name = dot == std::string::npos ? name : name.substr(dot + 1);
  std::u16string proc = OdbcWide(proc_name);
  const SQLRETURN rc =
      api.ProcedureColumns(stmt, nullptr, 0, schema.empty() ? nullptr : OdbcChars(schema),
                           static_cast<SQLSMALLINT>(schema.size()), OdbcChars(proc),
                           static_cast<SQLSMALLINT>(proc.size()), nullptr, 0);
  std::vector<Recordset> sets;
  ReadOdbcResults(link, stmt, rc, &sets);
  struct Linha {
    int ordinal;
    Parameter p;
    SQLSMALLINT sql_type;
  };
  std::vector<Linha> linhas;
  std::string first_schema;
  bool has_schema = false;
  for (Recordset& rs : sets) {
    if (rs.FieldCount() < 10) continue;
    for (rs.First(); !rs.Eof(); rs.Next()) {
      // Procedure names may carry SQL Server's ";1" group number; the
      // search is a pattern, so only the exact name counts.
      std::string found = rs.Field(2).AsString();
      found = found.substr(0, found.find(';'));
      if (strcasecmp(found.c_str(), proc_name.c_str()) != 0) continue;
      const std::string sch = rs.Field(1).AsString();
      if (!has_schema) {
        first_schema = sch;
        has_schema = true;
      } else if (sch != first_schema) {
        continue;
      }
      const int column_type = rs.Field(4).AsInt();
      if (column_type == SQL_RESULT_COL) continue;
      Linha l;
      l.sql_type = static_cast<SQLSMALLINT>(rs.Field(5).AsInt());
      l.p.type = OdbcDataType(l.sql_type);
      l.p.name = rs.Field(3).AsString();
      l.p.direction = column_type == SQL_RETURN_VALUE         ? ParamDirection::kReturnValue
                      : column_type == SQL_PARAM_OUTPUT       ? ParamDirection::kOutput
                      : column_type == SQL_PARAM_INPUT_OUTPUT ? ParamDirection::kInputOutput
                                                              : ParamDirection::kInput;
      if (l.p.direction == ParamDirection::kReturnValue && l.p.name.empty()) {
        l.p.name = "@RETURN_VALUE";
      } else if (l.p.name.rfind('@', 0) != 0) {
        l.p.name = "@" + l.p.name;
      }
      const Value& size = rs.Field(7);
      const Value& digits = rs.Field(9);
      l.p.size = size.IsNull() ? 0 : size.AsInt();
      l.p.precision = OdbcDataType(l.sql_type) == DataType::kString ? 0 : l.p.size;
      l.p.scale = digits.IsNull() ? 0 : digits.AsInt();
      const Value* ord = rs.FieldCount() >= 18 ? &rs.Field(17) : nullptr;
      l.ordinal = ord == nullptr || ord->IsNull() ? static_cast<int>(linhas.size()) : ord->AsInt();
      if (l.p.direction == ParamDirection::kReturnValue) l.ordinal = -1;
      linhas.push_back(std::move(l));
    }
  }
  if (linhas.empty()) throw ProviderError("Procedure <" + name + "> not found");
  std::stable_sort(linhas.begin(), linhas.end(),
                   [](const Linha& a, const Linha& b) { return a.ordinal < b.ordinal; });
  OdbcProcedure d;
  for (Linha& l : linhas) {
    d.params.Add(l.p);
    d.sql_types.push_back(l.sql_type);
  }
  return d;
}

SQLLEN SendOdbcColumns(OdbcLink& link, SQLHSTMT stmt, std::vector<OdbcColumn>* cols, size_t n) {
  const OdbcApi& api = link.Api();
  std::vector<SQLUSMALLINT> status(n, SQL_PARAM_UNUSED);
  SQLULEN feitas = 0;
  const auto attr = [&](SQLINTEGER a, SQLPOINTER v) { api.SetStmtAttr(stmt, a, v, 0); };
  attr(SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN));
  attr(SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(n)));
  attr(SQL_ATTR_PARAM_STATUS_PTR, status.data());
  attr(SQL_ATTR_PARAMS_PROCESSED_PTR, &feitas);
  // The statement serves single rows again afterwards, also after a failure.
  const auto restaura = [&] {
    api.FreeStmt(stmt, SQL_CLOSE);
    attr(SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)));
    attr(SQL_ATTR_PARAM_STATUS_PTR, nullptr);
    attr(SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr);
    api.FreeStmt(stmt, SQL_RESET_PARAMS);
  };
  SQLLEN linhas = 0;
  try {
    for (size_t j = 0; j < cols->size(); ++j) {
      OdbcColumn& c = (*cols)[j];
      link.Check(api.BindParameter(stmt, static_cast<SQLUSMALLINT>(j + 1), SQL_PARAM_INPUT,
                                   c.c_type, c.sql_type, c.size, c.digits, c.buf.data(),
                                   static_cast<SQLLEN>(c.width), c.ind.data()),
                 SQL_HANDLE_STMT, stmt, "BindParameter @" + std::to_string(j + 1));
    }
    const SQLRETURN rc = api.Execute(stmt);
    std::vector<OdbcDiagnostico> avisos;
    ReadOdbcResults(link, stmt, rc, nullptr, &linhas, &avisos);
    for (SQLUSMALLINT st : status) {
      if (st != SQL_PARAM_ERROR) continue;
      std::vector<OdbcDiagnostico> d = avisos;
      const std::vector<OdbcDiagnostico> agora = OdbcDiagnosticos(api, SQL_HANDLE_STMT, stmt);
      d.insert(d.end(), agora.begin(), agora.end());
      link.Falha(d, "Execute (a row of the array)");
    }
  } catch (const ProviderError&) {
    restaura();
    throw;
  }
  restaura();
  return linhas;
}

std::string OdbcCallText(const std::string& name, const Parameters& params) {
  std::string call = "{";
  std::string args;
  for (int i = 0; i < params.Count(); ++i) {
    const Parameter& p = params[i];
    if (p.direction == ParamDirection::kReturnValue) {
      call += "? = ";
    } else {
      args += args.empty() ? "?" : ",?";
    }
  }
  return call + "call " + name + "(" + args + ")}";
}

}  // namespace zun
