#include "service/login.h"

#include <chrono>
#include <exception>
#include <thread>
#include <vector>

#include "db/global_state.h"
#include "db/user_context.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/switches.h"
#include "foundation/version.h"
#include "notify/mail.h"
#include "service/codes.h"
#include "service/repeat_guard.h"
#include "service/run_summary.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/server_version.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

// The version this client reports to the database.
constexpr int32_t kClientVersion = 20;
constexpr int32_t kPatchNum = 750;
constexpr int kLoginCommandTimeout = 180;

std::string nome_do_servidor;
// The user ChamaSetuser switched to ("" while working as the login's user).
std::string usuario_trocado;
std::string nome_do_banco;

}  // namespace

const std::string& NomeDoServidorLogado() { return nome_do_servidor; }
const std::string& NomeDoBancoLogado() { return nome_do_banco; }

bool IsLogged(bool warn) {
  const bool logged = Db != nullptr && Db->Connected();
  if (!logged && warn) Loga("Warn: Not logged!");
  return logged;
}

int32_t CheckClientVersionV2() {
  int32_t e = 0;
  std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "CheckClientVersionV2");
  if (!cmd) e = kErroSemCheckClientVersion;
  try {
    if (e == 0) {
      const bool admin = TemSwitch("AdminVersion");
      SetParamInt(cmd, "@ClientVersion", admin ? 999999 : kClientVersion);
      SetParamInt(cmd, "@PatchNum", admin ? 999999 : kPatchNum);
      e = ExecStProc(cmd, 0);
    }
    if (e == 0) {
      double server_time = 0;
      GetParamDateTime(cmd, "@ServerTime", &server_time);
      const Momento server = DateTimeToMomento(server_time);
      RelogioDoServidor().SetGMT2LocalFromServer(server);
      Loga("ServerTime: " + MomentoStr(server) +
           " diff:" + DuracaoStr(RelogioDoServidor().Offset(), 20));
    }
  } catch (...) {
    DevolveDataSet(&cmd);
    throw;
  }
  DevolveDataSet(&cmd);
  if (e != 0) Loga("CheckClientVersion error:" + std::to_string(e));
  return e;
}

void GetInfoDoUsuario(int32_t* erro) {
  LimpaContextoDoUsuario();
  std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "GetInfoDoUsuario");
  *erro = ExecStProc(cmd, 0);
  if (*erro == 0) {
    try {
      GetParamByte(cmd, "@SourceDoBal", &UsuarioSourceDoBal);
      GetParamInt(cmd, "@UserFlag", &UsuarioFlags);
      GetParamStr(cmd, "@email", &UsuarioEmail);
      GetParamStr(cmd, "@name", &UsuarioNome);
      GetParamInt(cmd, "@uid", &UsuarioUid);
      GetParamBool(cmd, "@IsAdmin", &UsuarioIsAdmin);
      GetParamInt(cmd, "@lingua", &UsuarioLingua);
    } catch (...) {
      DevolveDataSet(&cmd);
      throw;
    }
  }
  DevolveDataSet(&cmd);
}

int32_t ChamaSetuser(const std::string& novo_user) {
  std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "ChamaSetuser");
  int32_t e = 0;
  try {
    SetParamStr(cmd, "@novouser", novo_user);
    e = ExecStProc(cmd, 0);
  } catch (...) {
    DevolveDataSet(&cmd);
    throw;
  }
  DevolveDataSet(&cmd);
  if (e == 0) {
    usuario_trocado = novo_user;
    int32_t ignored = 0;
    GetInfoDoUsuario(&ignored);
  }
  return e;
}

int32_t InitDbConnection(const std::string& user, const std::string& password, bool exclusive,
                         const PedidoDeLogin& ask) {
  (void)exclusive;
  int32_t e = 0;
  std::string msg_erro;
  DadosDeLogin d;
  d.user = user;
  NDTCM("zuninput.log", 20000, 1000000);
  {
    // Which installation this run works for, before anything can fail: a
    // failed login then shows what it tried.
    DadosDeLogin alvo;
    std::string ignored;
    LeAlvoDoLogin(&alvo, &ignored);
    LogaConsole("- ZunInpIF " + DescreveAlvo(alvo));
  }
  SetDbUserNameSource([] { return UsuarioNome; });
  try {
    e = LeDadosDeLogin(user, password, ask, &d, &msg_erro);
    if (e == 0) {
      if (d.sem_criptografia) {
        Loga(
            "InitDbConnection -OdbcNoEncryption: TLS is not required; a server without it "
            "receives the password in clear");
      }
      std::string cs = MontaStringDeConexao(d);
      Db->SetConnectionString(cs);
      // The session keeps the one copy its reconnections need.
      ApagaTexto(&cs);
      ApagaTexto(&d.password);
      Db->Open();
      // A client that connects in the background gets the command timeout
      // to finish; the embedded provider is open on return.
      for (int i = 0; Db->State() == ConnectionState::kConnecting && i < kLoginCommandTimeout * 100;
           ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      Db->SetCommandTimeout(kLoginCommandTimeout);
      nome_do_servidor = d.server;
      nome_do_banco = d.database;
      DetectaVersaoDoServidor(Db.get());
      e = CheckClientVersionV2();
    }
    if (e == 0) GetInfoDoUsuario(&e);
    if (e == 0 && !UsuarioIsAdmin) {
      e = kErroLoginNaoAdministrador;
      msg_erro = "not an administrator: " + UsuarioNome;
      Loga("InitDbConnection " + msg_erro);
    }
    if (e == 0) {
      // A reconnection starts as the login's user again: a file being
      // imported as its owner must go on as the owner, not as the service.
      usuario_trocado.clear();
      Db->SetRestauraAposReconectar([](TAdoDataBaseCustomizado& s) {
        if (usuario_trocado.empty()) return true;
        Command cmd(&s, CommandType::kStoredProc, "ChamaSetuser");
        cmd.Params().ParamByName("@novouser").value = Value::String(usuario_trocado);
        cmd.Execute();
        const Parameter* r = cmd.Params().ReturnValue();
        const int32_t code = r != nullptr ? r->value.AsInt() : kErrRetornoIlegivel;
        Loga("ChamaSetuser " + usuario_trocado +
             " again after reconnection erro:" + std::to_string(code));
        return code == 0;
      });
    }
    if (e == 0) LeDadosIniciais(&e);
    if (e == 0 && !IsLogged(false)) e = kErroLoginSemConexao;
  } catch (const std::exception& x) {
    CodigoDaExcecao("InitDbConnection", &e, x, kErroLoginFalhou);
    msg_erro = std::string("exception:") + x.what();
  }
  if (e != 0) {
    if (Db != nullptr && Db->State() != ConnectionState::kClosed) Db->Close();
    Loga("InitDbConnection error:" + std::to_string(e));
    // The operator's line: the code and why, where a scheduler's output goes.
    LogaConsole(LinhaDoCodigo("- login failed", e, msg_erro));
    AnotaFalhaDoServico(e, msg_erro);
    // A run every few minutes would mail the same failure every few minutes.
    NotificaSemRepetir("login " + d.user + " " + std::to_string(e) + " " + msg_erro,
                       "login error:" + d.user,
                       {"usr", d.user, "error", std::to_string(e), "msgerro", msg_erro, "program",
                        CaminhoDoExecutavel()},
                       "gor");
  }
  return e;
}

}  // namespace zun
