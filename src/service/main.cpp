// Program entry of the import service: starts the modules in dependency
// order, runs the service once and ends the modules in reverse.
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/modules.h"
#include "foundation/switches.h"
#include "service/run_loop.h"

int main(int argc, char** argv) {
  zun::SetProgramArgs(std::vector<std::string>(argv, argv + argc));
  zun::IniciaFundacao();

  zun::RunHooks hooks;
  // No database client is built in yet: the login cannot connect, so the
  // run ends with the login failure code.
  hooks.init_db_connection = [] {
    zun::Loga("InitDbConnection error:3715");
    return 3715;
  };
  hooks.is_logged = [] { return false; };
  zun::ZunInpIF(hooks);
  zun::LogaConsole("exit code:" + std::to_string(zun::SysExitCode));

  zun::EncerraFundacao();
  return zun::ExitStatusFor(zun::SysExitCode);
}
