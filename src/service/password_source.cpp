#include "service/password_source.h"

#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "foundation/secret_file.h"
#include "foundation/switches.h"
#include "service/codes.h"

namespace zun {

namespace {

// Takes ZUNINPUT_PASSWORD out of the environment: its bytes are zeroed
// where they lie (/proc/PID/environ shows the environment the process
// started with for its whole life) and the variable is removed, so that no
// child inherits it. The value goes to *valor.
void TiraSenhaDoAmbiente(std::string* valor) {
  char* env = std::getenv(kPasswordVariable);
  if (env == nullptr) return;
  *valor = env;
  ::explicit_bzero(env, std::strlen(env));
  ::unsetenv(kPasswordVariable);
}

}  // namespace

int32_t LeSenhaDoLogin(std::string* password, std::string* msg_erro) {
  password->clear();
  std::string do_ambiente;
  TiraSenhaDoAmbiente(&do_ambiente);
  // Only one copy of the password outlives the login's inputs.
  struct Zera {
    std::string& s;
    ~Zera() { ::explicit_bzero(s.data(), s.size()); }
  } zera{do_ambiente};
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
  if (!do_ambiente.empty()) {
    *password = do_ambiente;
    LogaVerbose(std::string("login password from ") + kPasswordVariable);
  }
  return 0;
}

}  // namespace zun
