#include "toolbox/dbutil/accessors.h"

#include <cstring>

#include "foundation/log.h"
#include "foundation/text.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/db_exception.h"

namespace zun {
namespace {

constexpr uint64_t kMascaraNaN = 0x7FF8000000000000ULL;
constexpr uint64_t kNuloFloatBits = 0xFFF8000000000000ULL;

Value& ParamValue(DsRef cmd, const std::string& name) {
  return cmd->Params().ParamByName(name).value;
}

const Value& FieldValue(DsRef cmd, const std::string& column) {
  return cmd->Current().FieldByName(column);
}

}  // namespace

bool EhNuloFloat(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits & kMascaraNaN) == kMascaraNaN;
}

double NuloFloat() {
  double v;
  std::memcpy(&v, &kNuloFloatBits, sizeof v);
  return v;
}

void SetParamInt(DsRef cmd, const std::string& name, int32_t v) {
  ParamValue(cmd, name) = Value::Int(v);
}

void SetParamStr(DsRef cmd, const std::string& name, const std::string& v) {
  ParamValue(cmd, name) = Value::String(Apara(v));
}

void SetParamBool(DsRef cmd, const std::string& name, bool v) {
  ParamValue(cmd, name) = Value::Bool(v);
}

void SetParamFloat(DsRef cmd, const std::string& name, double v) {
  ParamValue(cmd, name) = EhNuloFloat(v) ? Value::Null() : Value::Double(v);
}

void SetParamDateTime(DsRef cmd, const std::string& name, double v) {
  ParamValue(cmd, name) = (v == 0 || EhNuloFloat(v)) ? Value::Null() : Value::DateTime(v);
}

void SetParamNull(DsRef cmd, const std::string& name) { ParamValue(cmd, name) = Value::Null(); }

void GetParamInt(DsRef cmd, const std::string& name, int32_t* v) {
  *v = ParamValue(cmd, name).AsInt();
}

int32_t ParamInt(DsRef cmd, const std::string& name) { return ParamValue(cmd, name).AsInt(); }

void GetParamByte(DsRef cmd, const std::string& name, uint8_t* v) {
  const int32_t i = ParamValue(cmd, name).AsInt();
  if (i < 0 || i > 255) throw EDBException(kErrByteForaNoParametro);
  *v = static_cast<uint8_t>(i);
}

void GetParamByteMax(DsRef cmd, const std::string& name, int32_t max, uint8_t* v) {
  const int32_t i = ParamValue(cmd, name).AsInt();
  if (i < 0 || i > 255 || i > max) {
    Loga(name + ".out of range detected. hi:" + std::to_string(max) + " vi:" + std::to_string(i));
    throw EDBException(kErrByteAcimaDoMaximo);
  }
  *v = static_cast<uint8_t>(i);
}

void GetParamStr(DsRef cmd, const std::string& name, std::string* v) {
  const Value& x = ParamValue(cmd, name);
  *v = x.IsNull() ? std::string() : Apara(x.AsString());
}

void GetParamBool(DsRef cmd, const std::string& name, bool* v) {
  *v = ParamValue(cmd, name).AsBool();
}

void GetParamDateTime(DsRef cmd, const std::string& name, double* v) {
  const Value& x = ParamValue(cmd, name);
  *v = x.IsNull() ? 0.0 : x.AsDateTime();
}

void GetFieldInt(DsRef cmd, const std::string& column, int32_t* v) { *v = FieldInt(cmd, column); }

int32_t FieldInt(DsRef cmd, const std::string& column) {
  const Value& x = FieldValue(cmd, column);
  return x.IsNull() ? 0 : x.AsInt();
}

void GetFieldStr(DsRef cmd, const std::string& column, std::string* v) {
  const Value& x = FieldValue(cmd, column);
  *v = x.IsNull() ? std::string() : Apara(x.AsString());
}

void GetFieldFloat(DsRef cmd, const std::string& column, double* v) {
  const Value& x = FieldValue(cmd, column);
  *v = x.IsNull() ? NuloFloat() : x.AsDouble();
}

void GetFieldDateTime(DsRef cmd, const std::string& column, double* v) {
  const Value& x = FieldValue(cmd, column);
  *v = x.IsNull() ? 0.0 : x.AsDateTime();
}

void GetFieldBool(DsRef cmd, const std::string& column, bool* v) {
  const Value& x = FieldValue(cmd, column);
  if (x.IsNull()) {
    *v = false;
    return;
  }
  try {
    *v = x.AsBool();
  } catch (const DatasetError&) {
    *v = x.AsInt() != 0;
  }
}

void GetFieldByte(DsRef cmd, const std::string& column, uint8_t* v) {
  const int32_t i = FieldInt(cmd, column);
  if (i < 0 || i > 255) throw EDBException(kErrByteForaNoCampo);
  *v = static_cast<uint8_t>(i);
}

}  // namespace zun
