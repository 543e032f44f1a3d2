#include "zuninput_db/server_queue.h"

#include <strings.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/switches.h"
#include "foundation/text.h"
#include "service/codes.h"
#include "service/config_file.h"
#include "service/login_inputs.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/connection.h"
#include "toolbox/dbclient/provider.h"
#include "toolbox/dbutil/import_queue.h"
#include "zuninput_db/output.h"
#include "zuninput_db/queue_commands.h"

namespace zun::dbtool {

namespace {

class Servidor {
 public:
  explicit Servidor(const Args& a) {
    DadosDeLogin d;
    std::string msg;
    SetLogFileName("/dev/null");
    const int32_t e = LeDadosDeLogin("", "", PedeLoginNoTerminal, &d, &msg);
    if (e != 0) throw Failure(LinhaDoCodigo("the login is refused", e, msg));
    std::string cs = MontaStringDeConexao(d);
    conn_.SetConnectionString(cs);
    ApagaTexto(&cs);
    ApagaTexto(&d.password);
    conn_.Open();
    id_ = a.words.size() > 1 ? a.words[1] : "";
  }

  // Calls proc with the inputs; a code other than 0 fails the command with
  // the reason in words.
  std::unique_ptr<Command> Chama(const std::string& proc,
                                 const std::vector<std::pair<const char*, Value>>& in) {
    int32_t code = 0;
    auto cmd = RunProcedure(&conn_, proc, in, &code);
    if (code == 0) return cmd;
    const std::string entry = "entry " + id_;
    switch (code) {
      case kErrImportFileUnknownId:
        throw Failure("no queue entry " + id_);
      case kErrImportFileNotYours:
        throw Failure(proc + ": refused (" + std::to_string(code) +
                      "): the entry is another user's, or this is an administrator's to do");
      case kErrImportFileAlreadyDone:
        throw Failure(entry + " was imported successfully; a success is final");
      case kErrImportFileNoContent:
        throw Failure(entry + " has no stored content any more; queue the file again");
      case kErrImportFileBeingImported:
        throw Failure(entry + " is being imported right now");
      case kErrImportFileNoUser:
        throw Failure("no such user");
      default:
        throw Failure(proc + " failed with " + std::to_string(code));
    }
  }

 private:
  Connection conn_;
  std::string id_;
};

}  // namespace

bool ServidorSelecionado(const Args& a) {
  if (a.Has("--db")) {
    if (!a.switches.empty()) throw UsageError("--db names the embedded file: no " + a.switches[0]);
    return false;
  }
  std::vector<std::string> args = {"zuninput-db"};
  args.insert(args.end(), a.switches.begin(), a.switches.end());
  SetProgramArgs(args);
  if (CarregaConfiguracao(a.Has("--config") ? a.Get("--config") : CaminhoDaConfiguracao()) != 0) {
    std::string motivo;
    (void)ErroDaConfiguracao(&motivo);  // the code is the one just returned
    throw Failure("the configuration file is refused: " + motivo);
  }
  SetProgramArgs(ArgsComConfiguracao(args));
  std::string provider;
  std::string dsn;
  LeSwitch("provider", &provider);
  LeSwitch("OdbcDsn", &dsn);
  return (!provider.empty() || !dsn.empty()) && strcasecmp(provider.c_str(), "SQLite") != 0;
}

int NoServidor(const Args& a) {
  const std::string& cmd = a.words[0];
  if (cmd == "init" || cmd == "user" || cmd == "sql") {
    throw Failure(cmd +
                  " works on the embedded database file only (give --db PATH); on SQL Server "
                  "use the server's own tools, and deploy/sqlserver/ for the queue");
  }
  static const std::set<std::string> kVerbos = {"queue", "show",   "errors", "enqueue",
                                                "retry", "cancel", "purge"};
  if (kVerbos.count(cmd) == 0) throw UsageError("unknown command <" + cmd + ">");
  if (cmd == "queue") {
    Allow(a, {"--json", "--failed", "--waiting", "--user", "--config"});
    WordCount(a, 1, "");
  } else if (cmd == "enqueue") {
    const ArquivoParaAFila f = LeArquivoParaAFila(a);
    auto c = Servidor(a).Chama(
        "ImportFilesAdd", {{"@usuario", Value::String(ClientText(a.Get("--user"), "the user"))},
                           {"@prioridade", Value::Int(f.priority)},
                           {"@filename", Value::String(ClientText(f.shown, "--as"))},
                           {"@conteudo", Value::Binary(f.content)},
                           {"@id", Value::Null()}});
    std::cout << c->Params().ParamByName("@id").value.AsInt() << "\n";
    return 0;
  } else if (cmd == "purge") {
    const std::string antes = AntesDoPurge(a);
    int y, mo, d, h, mi, sec;
    std::sscanf(antes.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec);
    auto c = Servidor(a).Chama(
        "ImportFilesPurga", {{"@antes", Value::DateTime(EncodeDateTime(y, mo, d, h, mi, sec, 0))},
                             {"@apagadas", Value::Null()}});
    std::cout << c->Params().ParamByName("@apagadas").value.AsInt() << " entries deleted\n";
    return 0;
  } else {
    Allow(a, cmd == "errors" ? std::set<std::string>{"--config", "--try"}
                             : std::set<std::string>{"--config"});
  }
  Servidor servidor(a);
  if (cmd == "queue") {
    const char* estado = a.Has("--failed") ? "failed" : a.Has("--waiting") ? "waiting" : nullptr;
    auto c = servidor.Chama(
        "ImportFilesLista",
        {{"@estado", estado != nullptr ? Value::String(estado) : Value::Null()},
         {"@usuario", a.Has("--user") ? Value::String(ClientText(a.Get("--user"), "the user"))
                                      : Value::Null()}});
    ImprimeLinhas(*c, a.Has("--json"));
    return 0;
  }
  const Value id = Value::Int(static_cast<int32_t>(EntryId(a)));
  if (cmd == "show") {
    auto c = servidor.Chama("ImportFilesGet", {{"@id", id}});
    if (!c->Active() || c->Current().RecordCount() == 0) throw Failure(NoEntry(id.AsInt()));
    c->Current().First();
    const std::string bytes = c->Current().FieldByName("conteudo").AsString();
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (!std::cout) throw Failure("cannot write the content to standard output");
  } else if (cmd == "errors") {
    const Value tentativa =
        a.Has("--try") ? Value::Int(ParseInt(a.Get("--try"), "--try")) : Value::Null();
    ImprimeLinhas(*servidor.Chama("ImportFilesErrosGet", {{"@id", id}, {"@try", tentativa}}),
                  false);
  } else if (cmd == "retry") {
    auto c = servidor.Chama("ImportFilesRepete", {{"@id", id}, {"@repetida", Value::Null()}});
    const Value& r = c->Params().ParamByName("@repetida").value;
    std::cout << "entry " << id.AsInt()
              << (!r.IsNull() && r.AsBool() ? " offered once more\n" : " is still offered\n");
  } else {
    servidor.Chama("ImportFilesCancela", {{"@id", id}});
    std::cout << "entry " << id.AsInt() << " cancelled\n";
  }
  return 0;
}

}  // namespace zun::dbtool
