// The login procedures of the reference database: the client version check
// (which also tells the client the server's clock), the user information of
// the connection's current user, and the switch of that user.

#include <cctype>
#include <cstdlib>
#include <string>

#include "embedded/import_files.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"
#include "embedded/reference_db.h"

namespace zun {
namespace {

// An integer setting of the settings table; fallback when the row is
// missing or does not hold a number.
int64_t IntSetting(ProcContext& c, const std::string& name, int64_t fallback) {
  Recordset rs = c.Query("SELECT value FROM settings WHERE name = ?", {Value::String(name)});
  if (rs.RecordCount() == 0) return fallback;
  rs.First();
  const Value& v = rs.Field(0);
  if (v.IsNull()) return fallback;
  const std::string text = v.AsString();
  char* end = nullptr;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0') return fallback;
  return n;
}

int64_t InOr(ProcContext& c, const std::string& name, int64_t fallback) {
  const Value& v = c.In(name);
  return v.IsNull() ? fallback : v.AsInt64();
}

// A version check: the client (@ClientVersion, @PatchNum) must not be older
// than the minimum kept in the settings; the server's time (GMT) comes back
// in @ServerTime whatever the outcome, so a refused client can still log it.
void CheckClientVersionV2(ProcContext& c) {
  c.Out("@ServerTime", Value::DateTime(AgoraGMT()));
  const int64_t min_version = IntSetting(c, "MinClientVersion", 0);
  const int64_t min_patch = IntSetting(c, "MinPatchNum", 0);
  const int64_t version = InOr(c, "@ClientVersion", -1);
  const int64_t patch = InOr(c, "@PatchNum", -1);
  const bool older = version < min_version || (version == min_version && patch < min_patch);
  if (older) c.Return(kErrClientVersionTooOld);
}

// The row of users for name (letter case ignored); empty when none.
Recordset UserRow(ProcContext& c, const std::string& name) {
  return c.Query(
      "SELECT uid, name, email, is_admin, source_do_bal, user_flags, lingua FROM users "
      "WHERE name = ?",
      {Value::String(name)});
}

void GetInfoDoUsuario(ProcContext& c) {
  Recordset rs = UserRow(c, c.CurrentUser());
  if (rs.RecordCount() == 0) {
    c.Return(kErrCurrentUserUnknown);
    return;
  }
  rs.First();
  c.Out("@uid", Value::Int(rs.FieldByName("uid").AsInt()));
  c.Out("@name", Value::String(rs.FieldByName("name").AsString()));
  c.Out("@email", Value::String(rs.FieldByName("email").AsString()));
  c.Out("@IsAdmin", Value::Bool(rs.FieldByName("is_admin").AsInt() != 0));
  c.Out("@SourceDoBal", Value::Int(rs.FieldByName("source_do_bal").AsInt()));
  c.Out("@UserFlag", Value::Int(rs.FieldByName("user_flags").AsInt()));
  c.Out("@lingua", Value::Int(rs.FieldByName("lingua").AsInt()));
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y && !(x < 128 && y < 128 && std::tolower(x) == std::tolower(y))) return false;
  }
  return true;
}

// Makes the connection work as @novouser. Only a login that is an
// administrator may take another user's identity; an empty name (or the
// login's own name) returns to the login's user and is always allowed.
void ChamaSetuser(ProcContext& c) {
  const Value& v = c.In("@novouser");
  std::string novo = v.IsNull() ? std::string() : v.AsString();
  const size_t b = novo.find_first_not_of(" \t");
  novo =
      b == std::string::npos ? std::string() : novo.substr(b, novo.find_last_not_of(" \t") - b + 1);
  if (novo.empty() || SameName(novo, c.LoginUser())) {
    c.SetCurrentUser("");
    return;
  }
  if (!LoginEhAdministrador(c)) {
    c.Return(kErrSetuserNotAdmin);
    return;
  }
  Recordset target = UserRow(c, novo);
  if (target.RecordCount() == 0) {
    c.Return(kErrSetuserUnknownUser);
    return;
  }
  target.First();
  // The stored spelling, so that later look-ups and messages agree.
  c.SetCurrentUser(target.FieldByName("name").AsString());
}

}  // namespace

void RegisterLoginProcedures() {
  RegisterProcedure("CheckClientVersionV2",
                    {{"@ClientVersion", DataType::kInteger},
                     {"@PatchNum", DataType::kInteger},
                     {"@ServerTime", DataType::kDateTime, ParamDirection::kOutput}},
                    CheckClientVersionV2);
  RegisterProcedure("GetInfoDoUsuario",
                    {{"@uid", DataType::kInteger, ParamDirection::kOutput},
                     {"@name", DataType::kString, ParamDirection::kOutput},
                     {"@email", DataType::kString, ParamDirection::kOutput},
                     {"@IsAdmin", DataType::kBoolean, ParamDirection::kOutput},
                     {"@SourceDoBal", DataType::kInteger, ParamDirection::kOutput},
                     {"@UserFlag", DataType::kInteger, ParamDirection::kOutput},
                     {"@lingua", DataType::kInteger, ParamDirection::kOutput}},
                    GetInfoDoUsuario);
  RegisterProcedure("ChamaSetuser", {{"@novouser", DataType::kString}}, ChamaSetuser);
}

}  // namespace zun
