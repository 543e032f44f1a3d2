// Program entry of the import service.
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/switches.h"
#include "service/run_loop.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  zun::SetProgramArgs(args);
  zun::SetLogVerbose(zun::TemSwitch("LI"));
  zun::LogaVerbose("Basic ");

  zun::RunHooks hooks;
  // No database client is built in yet: the login cannot connect, so the
  // run ends with the login failure code.
  hooks.init_db_connection = [] {
    zun::Loga("InitDbConnection error:3715");
    return 3715;
  };
  hooks.is_logged = [] { return false; };
  const int32_t code = zun::ZunInpIF(hooks);
  zun::LogaConsole("exit code:" + std::to_string(code));
  return zun::ExitStatusFor(code);
}
