#include "service/login.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <thread>
#include <vector>

#include "db/global_state.h"
#include "db/user_context.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/switches.h"
#include "foundation/text.h"
#include "foundation/version.h"
#include "notify/mail.h"
#include "notify/repeat_guard.h"
#include "service/codes.h"
#include "service/procedure_check.h"
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

// Whether the SQL Server at server ("HOST" or "HOST,PORT"; a named
// instance is not asked) answers a pre-login that it does not do
// encryption: a login that requires TLS then fails with nothing in the
// driver's message to say so. Each step waits at most 3 s.
bool ServidorSemCriptografia(const std::string& server) {
  if (server.find('\\') != std::string::npos) return false;
  const size_t virgula = server.find(',');
  const std::string host = server.substr(0, virgula);
  const std::string port = virgula == std::string::npos ? "1433" : server.substr(virgula + 1);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* ai = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &ai) != 0 || ai == nullptr) return false;
  const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  bool sem = false;
  pollfd p{fd, POLLOUT, 0};
  if (fd >= 0 && (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0 || errno == EINPROGRESS) &&
      ::poll(&p, 1, 3000) == 1 && (p.revents & POLLOUT) != 0) {
    // A pre-login packet: VERSION (6 bytes) and ENCRYPTION = on.
    const unsigned char pedido[] = {0x12, 1, 0,  26, 0, 0,    1, 0, 0x00, 0, 11, 0, 6,
                                    0x01, 0, 17, 0,  1, 0xFF, 0, 0, 0,    0, 0,  0, 0x01};
    unsigned char r[512];
    size_t n = 0;
    p.events = POLLIN;
    if (::send(fd, pedido, sizeof pedido, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof pedido)) {
      while (n < sizeof r && ::poll(&p, 1, 3000) == 1) {
        const ssize_t k = ::recv(fd, r + n, sizeof r - n, 0);
        if (k <= 0) break;
        n += static_cast<size_t>(k);
        if (n >= 8 && n >= static_cast<size_t>(r[2] << 8 | r[3])) break;
      }
    }
    // The answer's options: token, offset and length, up to 0xFF.
    for (size_t i = 8; n > 8 && r[0] == 0x04 && i + 5 <= n && r[i] != 0xFF; i += 5) {
      const size_t at = 8 + static_cast<size_t>(r[i + 1] << 8 | r[i + 2]);
      if (r[i] == 0x01 && at < n) sem = r[at] == 0x02;  // ENCRYPT_NOT_SUP
    }
  }
  if (fd >= 0) ::close(fd);
  ::freeaddrinfo(ai);
  return sem;
}

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
  // Raises rather than giving no command object.
  std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "CheckClientVersionV2");
  try {
    const bool admin = TemSwitch("AdminVersion");
    SetParamInt(cmd, "@ClientVersion", admin ? 999999 : kClientVersion);
    SetParamInt(cmd, "@PatchNum", admin ? 999999 : kPatchNum);
    e = ExecStProc(cmd, ModoStProc::kExecuta);
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

int32_t GetInfoDoUsuario() {
  LimpaContextoDoUsuario();
  std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "GetInfoDoUsuario");
  const int32_t erro = ExecStProc(cmd, ModoStProc::kExecuta);
  if (erro == 0) {
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
  return erro;
}

int32_t ChamaSetuser(const std::string& novo_user) {
  std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "ChamaSetuser");
  int32_t e = 0;
  try {
    SetParamStr(cmd, "@novouser", novo_user);
    e = ExecStProc(cmd, ModoStProc::kExecuta);
  } catch (...) {
    DevolveDataSet(&cmd);
    throw;
  }
  DevolveDataSet(&cmd);
  if (e == 0) {
    usuario_trocado = novo_user;
    // The switch's code is the one returned; a context that fails to refill
    // stays cleared.
    (void)GetInfoDoUsuario();
  }
  return e;
}

int32_t InitDbConnection(const std::string& user, const std::string& password, bool exclusive,
                         const PedidoDeLogin& ask, bool administrador) {
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
    // Only for the line below: LeDadosDeLogin reads it again and fails on it.
    (void)LeAlvoDoLogin(&alvo, &ignored);
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
    if (e == 0) e = GetInfoDoUsuario();
    if (e == 0 && administrador && !UsuarioIsAdmin) {
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
    // Before the first file needs one: what the database lacks is known now.
    if (e == 0) ConfereProcedimentos();
    if (e == 0) e = LeDadosIniciais();
    if (e == 0 && !IsLogged(false)) e = kErroLoginSemConexao;
  } catch (const std::exception& x) {
    CodigoDaExcecao("InitDbConnection", &e, x, kErroLoginFalhou);
    msg_erro = std::string("exception:") + x.what();
    if (e == kErroLoginFalhou && !d.sem_criptografia && d.odbc_dsn.empty() &&
        Maiusculas(d.provider) != "SQLITE" && !IsLogged(false) &&
        ServidorSemCriptografia(d.server)) {
      msg_erro = "encryption: the server " + d.server +
                 " does not offer TLS, which the login requires (-OdbcNoEncryption goes without "
                 "it and sends the password in clear); " +
                 msg_erro;
    }
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
