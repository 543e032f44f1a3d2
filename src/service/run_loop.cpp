#include "service/run_loop.h"

#include <exception>
#include <memory>
#include <string>

#include "foundation/log.h"
#include "foundation/momento.h"
#include "service/codes.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {

int ExitStatusFor(int32_t code) {
  if (code == 0) return 0;
  const int low = static_cast<int>(static_cast<uint32_t>(code) & 0xFFu);
  return low == 0 ? 255 : low;
}

int32_t ZunInpIF(const RunHooks& hooks) {
  LogaConsole(std::string("--- ZunInpIF start ver:") + kVersaoDoPrograma + " " +
              IdentificacaoDoUsuario());
  int32_t erro = 0;
  int32_t quantos = 0;
  std::unique_ptr<TCountDown> countdown;
  try {
    if (hooks.init_db_connection) hooks.init_db_connection();
    if (!hooks.is_logged || !hooks.is_logged()) {
      Loga("- ZunInpIF login failed");
      erro = kErroLogin;
    }
    // A machine that cannot take files would fail every entry and use up
    // its tries: the run stops before taking any.
    if (erro == 0 && hooks.verifica_ambiente) erro = hooks.verifica_ambiente();
    countdown = std::make_unique<TCountDown>(hooks.budget_seconds);
    if (hooks.budget_starts) hooks.budget_starts(hooks.budget_seconds);
    bool continua = true;
    while (erro == 0 && continua && !countdown->Expired() && hooks.queue_step) {
      hooks.queue_step(quantos + 1, &erro, &continua);
      if (continua) ++quantos;
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao("ZIIF", &erro, x, kErroExcecaoNaRun);
  } catch (...) {
    // Not a standard exception: no message to show, but the run still ends
    // through its end steps.
    if (erro == 0) erro = kErroExcecaoNaRun;
    Loga("ZIIF erro:" + std::to_string(erro) + " unknown exception");
  }
  countdown.reset();
  if (hooks.bulletin_requests) hooks.bulletin_requests();
  // Lines that never reached the log file: a run nobody can read back must
  // not look like a clean one.
  if (const size_t retidas = LinhasRetidas(); erro == 0 && retidas > 0) {
    erro = kErroLogNaoGravado;
    const std::string reserva = ArquivoDeReserva();
    LogaConsole("- ZunInpIF log not written: " + std::to_string(retidas) +
                " lines kept in memory " +
                (reserva.empty() ? "only (no private fallback file could be written)"
                                 : "and in " + reserva));
  }
  if (SysExitCode == 0) SysExitCode = erro;
  const int32_t exit_code = SysExitCode;
  std::string line = "- ZunInpIF end";
  if (erro != 0) line += (" erro:" + std::to_string(erro)).substr(0, 255);
  if (exit_code != 0) line += (" Sys.ExitCode:" + std::to_string(exit_code)).substr(0, 255);
  line += " QuantosImportou(ou tentou):" + std::to_string(quantos);
  Loga(line);
  return exit_code;
}

}  // namespace zun
