#include "service/password_source.h"

#include <cstdlib>

#include "foundation/log.h"
#include "foundation/secret_file.h"
#include "foundation/switches.h"
#include "service/codes.h"

namespace zun {

int32_t LeSenhaDoLogin(std::string* password, std::string* msg_erro) {
  password->clear();
  if (LeSwitch("password", password) && !password->empty()) {
    LogaConsole(
        "Warn: the password was given with -password, which every local user can read in the "
        "process list; use -PasswordFile or ZUNINPUT_PASSWORD instead");
    return 0;
  }
  std::string path;
  if (LeSwitch("PasswordFile", &path)) {
    const std::string why = ReadSecretFile(path, password);
    if (!why.empty()) {
      *msg_erro = "PasswordFile: " + why;
      LogaConsole("PasswordFile refused: " + why);
      return kErroSenhaRecusada;
    }
    LogaVerbose("login password from the file <" + path + ">");
    return 0;
  }
  const char* env = std::getenv(kPasswordVariable);
  if (env != nullptr && *env != '\0') {
    *password = env;
    LogaVerbose(std::string("login password from ") + kPasswordVariable);
  }
  return 0;
}

}  // namespace zun
