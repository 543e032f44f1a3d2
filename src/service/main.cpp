// Program entry of the import service: starts the modules in dependency
// order (foundation, the reference database's procedures, the global state
// of database work, the importers), runs the service once (a queue run, or
// with "-CheckFile" the check of one local file) and ends the modules in
// reverse.
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "embedded/reference_db.h"
#include "engine/codes.h"
#include "foundation/log.h"
#include "foundation/modules.h"
#include "foundation/switches.h"
#include "notify/mail.h"
#include "service/codes.h"
#include "service/config_file.h"
#include "service/dry_run.h"
#include "service/importers.h"
#include "service/login.h"
#include "service/queue_step.h"
#include "service/reqgbol_step.h"
#include "service/run_loop.h"
#include "service/run_summary.h"
#include "service/usage.h"
#include "toolbox/dbutil/session.h"

int main(int argc, char** argv) {
  // A console reader that went away must not end the run half-way through a
  // file: console writes then just fail, and the log keeps everything.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv, argv + argc);
  // Help and version answer before anything starts: no log, login or mail.
  if (zun::RespondeAjuda(args, std::cout)) return 0;
  zun::SetProgramArgs(args);
  // The installation's settings become switches behind the command line's;
  // a refused file fails the login, which says why.
  (void)zun::CarregaConfiguracao(zun::CaminhoDaConfiguracao(), zun::TemSwitch("Config"));
  zun::SetProgramArgs(zun::ArgsComConfiguracao(args));
  zun::IniciaFundacao();
  for (const std::string& u : zun::SwitchesDesconhecidos(args)) {
    zun::LogaConsole("Warn: unknown switch " + u + " ignored");
  }
  // The embedded provider serves the reference database's procedures.
  zun::RegisterDatabaseProcedures();
  zun::IniciaZiGlobs();
  const bool importadores = zun::RegistraImportadores();

  const auto inicio = std::chrono::steady_clock::now();
  std::string check_file;
  const bool queue_run = !zun::LeSwitch("CheckFile", &check_file);
  if (!importadores) {
    // A keyword without its importer would fail every file that uses it
    // (3942): this build takes no file.
    zun::SysExitCode = zun::kErrKeywordDesconhecida;
  } else if (!queue_run) {
    // A check of one local file instead of a queue run.
    std::string check_as;
    zun::LeSwitch("CheckAs", &check_as);
    (void)zun::ZunInpCheck(check_file, check_as);  // its code is SysExitCode's
  } else {
    // Mails earlier runs could not deliver go first; this run's wait there
    // too when the gateway fails.
    std::string caixa;
    if (!zun::LeSwitch("MailOutbox", &caixa)) caixa = "zuninput-mail";
    zun::AbreCaixaDeSaida(caixa);
    zun::RunHooks hooks;
    hooks.init_db_connection = [] { return zun::InitDbConnection("", "", false); };
    hooks.is_logged = [] { return zun::IsLogged(false); };
    hooks.verifica_ambiente = [] {
      const int32_t erro = zun::VerificaDiretorios();
      if (erro == 0) zun::ApagaCopiasOrfas();
      return erro;
    };
    hooks.queue_step = zun::ImpIFStep;
    // Its failures are logged and notified; the requests wait for the next run.
    hooks.bulletin_requests = [] { (void)zun::ProcuraReqGBolNoDataLogEGeraNua(); };
    hooks.budget_starts = [](double seconds) {
      if (zun::Db) zun::Db->SetOrcamento(seconds);
    };
    hooks.continue_after_failed_file = zun::SwitchLigado("ContinueAfterFailedFile");
    (void)zun::ZunInpIF(hooks);  // its code is SysExitCode's
  }

  zun::EncerraZiGlobs(&zun::SysExitCode);
  if (queue_run) {
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - inicio;
    zun::DefineFonteDeMailsNaoEntregues(zun::CorreiosNaoEntregues);
    zun::GravaResumoDaExecucao(seconds.count(), zun::SysExitCode);
  }
  if (zun::SysExitCode != 0) {
    zun::LogaConsole(zun::LinhaDoCodigo("- ZunInpIF failed", zun::SysExitCode, ""));
  }
  const int status =
      queue_run ? zun::StatusDeSaida(zun::SysExitCode) : zun::ExitStatusFor(zun::SysExitCode);
  zun::LogaConsole("exit code:" + std::to_string(zun::SysExitCode) +
                   (status == 0 && zun::SysExitCode != 0
                        ? " (only files failed: status 0 by FileFailureExitsZero)"
                        : ""));
  zun::EncerraFundacao();
  return status;
}
