#include "web/queue_access.h"

#include <cstdio>

#include "foundation/momento.h"
#include "foundation/text.h"
#include "foundation/text_1252.h"
#include "service/login_inputs.h"
#include "toolbox/dbutil/import_queue.h"

namespace zun::web {
namespace {

std::unique_ptr<Command> Call(Connection& conn, const std::string& proc,
                              const std::vector<std::pair<const char*, Value>>& in) {
  int32_t code = 0;
  auto cmd = RunProcedure(&conn, proc, in, &code);
  if (code != 0) throw Refused(proc, code);
  return cmd;
}

std::string Text(const Value& v) {
  if (v.IsNull()) return "";
  if (v.type() == DataType::kDateTime) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(v.AsDouble(), &y, &mo, &d, &h, &mi, &s, &ms);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return buf;
  }
  return v.AsString();
}

}  // namespace

Refused::Refused(const std::string& proc, int32_t c)
    : std::runtime_error(proc + " refused with " + std::to_string(c)), code(c) {}

std::string ToUtf8(const std::string& cp1252) { return Cp1252ToUtf8(cp1252); }
std::string FromUtf8(const std::string& utf8) { return Utf8ToCp1252(utf8); }

bool Login(const std::string& user, const std::string& password, std::unique_ptr<Connection>* conn,
           std::string* name, bool* admin, std::string* why) {
  if (user.empty() || password.empty()) {
    *why = "empty user or password";
    return false;
  }
  DadosDeLogin d;
  std::string msg;
  const auto never_ask = [](std::string*, std::string*) { return false; };
  const int32_t e = LeDadosDeLogin(FromUtf8(user), password, never_ask, &d, &msg);
  if (e != 0) {
    ApagaTexto(&d.password);
    *why = "login inputs refused (" + std::to_string(e) + ") " + msg;
    return false;
  }
  std::string cs = MontaStringDeConexao(d);
  ApagaTexto(&d.password);
  auto c = std::make_unique<Connection>();
  c->SetConnectionString(cs);
  ApagaTexto(&cs);
  try {
    c->Open();
    auto info = Call(*c, "GetInfoDoUsuario", {});
    *name = ToUtf8(info->Params().ParamByName("@name").value.AsString());
    *admin = info->Params().ParamByName("@IsAdmin").value.AsBool();
  } catch (const std::exception& x) {
    *why = x.what();
    return false;
  }
  // The connection keeps no password once open: a lost link ends the
  // session, and the user logs in again.
  c->SetConnectionString("");
  *conn = std::move(c);
  return true;
}

std::vector<Entry> ListEntries(Connection& conn, const std::string& state,
                               const std::string& owner) {
  auto cmd = Call(conn, "ImportFilesLista",
                  {{"@estado", state.empty() ? Value::Null() : Value::String(state)},
                   {"@usuario", owner.empty() ? Value::Null() : Value::String(FromUtf8(owner))}});
  std::vector<Entry> out;
  if (!cmd->Active()) return out;
  Recordset& rs = cmd->Current();
  for (rs.First(); !rs.Eof(); rs.Next()) {
    Entry e;
    e.id = rs.FieldByName("id").AsInt();
    e.user = ToUtf8(Text(rs.FieldByName("user")));
    e.priority = rs.FieldByName("priority").AsInt();
    e.queued = Text(rs.FieldByName("queued"));
    e.filename = ToUtf8(Text(rs.FieldByName("filename")));
    e.tries = rs.FieldByName("tries").AsInt();
    if (!rs.FieldByName("result").IsNull()) e.result = rs.FieldByName("result").AsInt();
    e.content = Text(rs.FieldByName("content")) == "Y";
    e.state = Text(rs.FieldByName("state"));
    e.why = ToUtf8(Text(rs.FieldByName("why")));
    out.push_back(std::move(e));
  }
  return out;
}

std::string EntryContent(Connection& conn, int32_t id) {
  auto cmd = Call(conn, "ImportFilesGet", {{"@id", Value::Int(id)}});
  if (!cmd->Active() || cmd->Current().RecordCount() == 0)
    throw Refused("ImportFilesGet", kErrImportFileUnknownId);
  cmd->Current().First();
  return cmd->Current().FieldByName("conteudo").AsString();
}

std::vector<LineError> EntryErrors(Connection& conn, int32_t id) {
  auto cmd = Call(conn, "ImportFilesErrosGet", {{"@id", Value::Int(id)}, {"@try", Value::Null()}});
  std::vector<LineError> out;
  if (!cmd->Active()) return out;
  Recordset& rs = cmd->Current();
  for (rs.First(); !rs.Eof(); rs.Next()) {
    LineError e;
    e.attempt = rs.FieldByName("try").AsInt();
    e.line = rs.FieldByName("line").AsInt();
    e.code = rs.FieldByName("code").IsNull() ? 0 : rs.FieldByName("code").AsInt();
    e.reason = ToUtf8(Text(rs.FieldByName("reason")));
    e.message = ToUtf8(Text(rs.FieldByName("message")));
    e.text = Text(rs.FieldByName("text"));
    out.push_back(std::move(e));
  }
  return out;
}

int32_t AddEntry(Connection& conn, const std::string& owner, int32_t priority,
                 const std::string& name, const std::string& content) {
  auto cmd = Call(conn, "ImportFilesAdd",
                  {{"@usuario", Value::String(FromUtf8(owner))},
                   {"@prioridade", Value::Int(priority)},
                   {"@filename", Value::String(FromUtf8(name))},
                   {"@conteudo", Value::Binary(content)},
                   {"@id", Value::Null()}});
  return cmd->Params().ParamByName("@id").value.AsInt();
}

bool RetryEntry(Connection& conn, int32_t id) {
  auto cmd =
      Call(conn, "ImportFilesRepete", {{"@id", Value::Int(id)}, {"@repetida", Value::Null()}});
  const Value& r = cmd->Params().ParamByName("@repetida").value;
  return !r.IsNull() && r.AsBool();
}

void CancelEntry(Connection& conn, int32_t id) {
  Call(conn, "ImportFilesCancela", {{"@id", Value::Int(id)}});
}

}  // namespace zun::web
