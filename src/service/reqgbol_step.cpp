#include "service/reqgbol_step.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>

#include "db/global_state.h"
#include "foundation/log.h"
#include "notify/mail.h"
#include "notify/repeat_guard.h"
#include "service/codes.h"
#include "service/login.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

constexpr char kLugar[] = "ProcuraReqGBolNoDataLogEGeraNua";

// One attempt: asks for the pending requests and writes the marker in one
// transaction. Returns the attempt's code; *prioridade and *io_res as read.
[[nodiscard]] int32_t PedeEGeraNua(int32_t* prioridade, int* io_res) {
  int32_t code = 0;
  std::unique_ptr<Command> cmd;
  std::optional<Transacao> transacao;
  try {
    // The requests count as served only together with their marker file:
    // a file that cannot be written leaves them pending for the next run.
    transacao.emplace();
    cmd = TomaDataSet(CommandType::kStoredProc, "GetReqGBol");
    code = ExecStProc(cmd, ModoStProc::kExecuta);
    if (code == 0) {
      GetParamInt(cmd, "@Prioridade", prioridade);
      if (*prioridade > 0) {
        const std::string name = PathReqGBol + "reqgbol" + std::to_string(*prioridade) + ".nua";
        // Never through a link, and a named pipe in its place never blocks.
        const int fd = ::open(
            name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd < 0 || ::close(fd) != 0) {
          *io_res = errno;
          code = kErroPedidoDeBoletim;
        }
      }
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao(kLugar, &code, x, kErrChamada);
  }
  DevolveDataSet(&cmd);
  if (transacao) {
    try {
      transacao->Termina(code == 0);
    } catch (const std::exception& x) {
      CodigoDaExcecao(kLugar, &code, x, kErrChamada);
    }
  }
  return code;
}

}  // namespace

int32_t ProcuraReqGBolNoDataLogEGeraNua() {
  int32_t prioridade = 0;
  int io_res = 0;
  // Without a connected session (a failed login, already reported) there is
  // nothing to ask and nothing new to report.
  if (!IsLogged(false)) {
    Loga("ProcuraReqGBolNoDataLogEGeraNua skipped: no session");
    return 0;
  }
  int32_t code = PedeEGeraNua(&prioridade, &io_res);
  // A failure of the database (a lost link above all: the step's
  // transaction went with it) gets one more attempt on a link that works,
  // reopened when it was lost, so the requests are served by this run.
  if (code != 0 && code != kErroPedidoDeBoletim && Db) {
    Db->TentaReconectar(kLugar);
    if (Db->Connected()) {
      Loga(std::string(kLugar) + " erro:" + std::to_string(code) + "; once more");
      prioridade = 0;
      io_res = 0;
      code = PedeEGeraNua(&prioridade, &io_res);
    }
  }
  if (code != 0 || prioridade != 0) {
    Loga("ProcuraReqGBolNoDataLogEGeraNua GBPri:" + std::to_string(prioridade) +
         " Erro:" + std::to_string(code) + " IoRes:" + std::to_string(io_res));
  }
  if (code != 0) {
    NotificaSemRepetir("reqgbol " + std::to_string(code) + " " + std::to_string(io_res),
                       "ZunInput ProcuraReqGBolNoDataLogEGeraNua error",
                       {"Erro", std::to_string(code), "GBPri", std::to_string(prioridade), "IoRes",
                        std::to_string(io_res)},
                       "gr");
  }
  return code;
}

}  // namespace zun
