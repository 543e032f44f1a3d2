#include "service/run_loop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <memory>
#include <string>

#include "foundation/log.h"
#include "foundation/momento.h"
#include "service/codes.h"
#include "service/run_summary.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {
namespace {

// Whether the step that set erro counted a file's outcome with that code
// (the file failed), rather than failing before or after one (the queue, a
// switch of user, the session).
bool FalhaDeArquivo(int32_t antes, int32_t erro) {
  return ResumoAtual().arquivos > antes && ResumoAtual().ultimo_resultado == erro;
}

}  // namespace

std::string DonoDoLogAlheio(const std::string& log, uid_t euid) {
  struct stat st {};
  if (::stat(log.c_str(), &st) != 0 || st.st_uid == euid) return "";
  return log + " belongs to uid " + std::to_string(st.st_uid) + ", not to this run's uid " +
         std::to_string(euid) +
         " (a run as another user, such as root, made it): give it to the service's user "
         "(chown)";
}

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
  int32_t primeira_falha = 0;  // of a file the run went on after
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
    if (erro != 0) AnotaFalhaDoServico(erro, "");
    countdown = std::make_unique<TCountDown>(hooks.budget_seconds);
    if (hooks.budget_starts) hooks.budget_starts(hooks.budget_seconds);
    bool continua = true;
    while (erro == 0 && continua && !countdown->Expired() && hooks.queue_step) {
      const int32_t antes = ResumoAtual().arquivos;
      hooks.queue_step(quantos + 1, &erro, &continua);
      if (continua) ++quantos;
      if (erro != 0 && FalhaDeArquivo(antes, erro)) {
        if (hooks.continue_after_failed_file) {
          LogaConsole("- ZunInpIF goes on after the failed file (ContinueAfterFailedFile) erro:" +
                      std::to_string(erro));
          if (primeira_falha == 0) primeira_falha = erro;
          erro = 0;
        }
      } else if (erro != 0) {
        AnotaFalhaDoServico(erro, "");
      }
    }
    // The run's code is its first failure's, as when it stops there.
    if (primeira_falha != 0) erro = primeira_falha;
  } catch (const std::exception& x) {
    CodigoDaExcecao("ZIIF", &erro, x, kErroExcecaoNaRun);
    AnotaFalhaDoServico(erro, x.what());
  } catch (...) {
    // Not a standard exception: no message to show, but the run still ends
    // through its end steps.
    if (erro == 0) erro = kErroExcecaoNaRun;
    Loga("ZIIF erro:" + std::to_string(erro) + " unknown exception");
    AnotaFalhaDoServico(erro, "unknown exception");
  }
  countdown.reset();
  if (hooks.bulletin_requests) hooks.bulletin_requests();
  // Lines that never reached the log file: a run nobody can read back must
  // not look like a clean one.
  if (const size_t retidas = LinhasRetidas(); erro == 0 && retidas > 0) {
    erro = kErroLogNaoGravado;
    const std::string reserva = ArquivoDeReserva();
    const std::string dono = DonoDoLogAlheio(LogFileName(), ::geteuid());
    LogaConsole("- ZunInpIF log not written: " + std::to_string(retidas) +
                " lines kept in memory " +
                (reserva.empty() ? "only (no private fallback file could be written)"
                                 : "and in " + reserva) +
                (dono.empty() ? "" : "; " + dono));
    AnotaFalhaDoServico(erro, dono);
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
