#include "service/dry_run.h"

#include <exception>

#include "db/global_state.h"
#include "db/user_context.h"
#include "foundation/log.h"
#include "foundation/version.h"
#include "notify/mail.h"
#include "service/login.h"
#include "service/queue_step.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {

int32_t ZunInpCheck(const std::string& file_name, const std::string& check_as) {
  // Nobody hears of a check, not even of a failed login.
  SetMailSuppressed(true);
  LogaConsole(std::string("--- ZunInpIF check start ver:") + kVersaoDoPrograma + " " +
              IdentificacaoDoUsuario());
  int32_t erro = 0;
  try {
    InitDbConnection("", "", false);
    if (!IsLogged(false)) {
      Loga("- ZunInpIF login failed");
      erro = 4077;
    }
    if (erro == 0 && !check_as.empty() && check_as != UsuarioNome) {
      erro = ChamaSetuser(check_as);
      if (erro != 0) LogaConsole("- check as <" + check_as + "> erro:" + std::to_string(erro));
    }
    if (erro == 0) {
      LogaConsole("- checking <" + file_name + "> as " + UsuarioNome + ", nothing is imported");
      int32_t line_number = 0;
      std::string last_line;
      std::string diag;
      ImpCliImport(file_name, false, &line_number, &last_line, &diag, &erro, nullptr, false);
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao("ZunInpCheck", &erro, x, 4086);
    LogaConsole(std::string("- check stopped: ") + x.what());
  }
  // A bulletin request is sent at shutdown; a check asks for none.
  ReqGBolPendente.clear();
  if (SysExitCode == 0) SysExitCode = erro;
  Loga("- ZunInpIF check end" + (erro != 0 ? " erro:" + std::to_string(erro) : std::string()) +
       " <" + file_name + ">");
  return SysExitCode;
}

}  // namespace zun
