#include "service/dry_run.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "db/global_state.h"
#include "db/user_context.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "foundation/version.h"
#include "notify/mail.h"
#include "service/codes.h"
#include "service/login.h"
#include "service/queue_step.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {
namespace {

// Lines go to standard output only while it lives.
class SoNoConsole {
 public:
  SoNoConsole() { LogSoNoConsole(true); }
  ~SoNoConsole() { LogSoNoConsole(false); }
  SoNoConsole(const SoNoConsole&) = delete;
  SoNoConsole& operator=(const SoNoConsole&) = delete;
};

// Whether a file system of this type is one the kernel makes up: its
// "regular" files are the process's environment, memory maps, kernel
// settings (/proc, /sys and their kin), never files to import.
bool EhSistemaDoKernel(decltype(statfs::f_type) tipo) {
  static const decltype(statfs::f_type) kTipos[] = {
      PROC_SUPER_MAGIC, SYSFS_MAGIC,        DEBUGFS_MAGIC,       TRACEFS_MAGIC,
      SECURITYFS_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC,
      EFIVARFS_MAGIC,   PSTOREFS_MAGIC,     0x62656570 /* configfs */};
  for (const auto t : kTipos) {
    if (t == tipo) return true;
  }
  return false;
}

// Opens the file to check into *fd, or refuses it: what cannot be opened
// (kErroArquivoIlegivel); what is not a regular file (a named pipe would
// hang the check, a device such as /dev/zero never ends), a file of the
// kernel's file systems (/proc/self/environ would print the process's
// environment) and the file named as the password file
// (kErroArquivoRecusado). Opened without blocking, then checked on what was
// opened, so a link leads nowhere else. Each refusal is printed and logged.
[[nodiscard]] int32_t AbreArquivoParaChecar(const std::string& file_name, int* fd) {
  *fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (*fd < 0) {
    LogaConsole("- check stopped: cannot open <" + file_name + ">: " + std::strerror(errno));
    return kErroArquivoIlegivel;
  }
  struct stat st {};
  struct statfs fs {};
  std::string why;
  if (::fstat(*fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "is not a regular file";
  } else if (::fstatfs(*fd, &fs) != 0 || EhSistemaDoKernel(fs.f_type)) {
    why = "is a file of the kernel (/proc, /sys), not one to import";
  } else {
    std::string senha;
    struct stat sst {};
    if (LeSwitch("PasswordFile", &senha) && !senha.empty() && ::stat(senha.c_str(), &sst) == 0 &&
        sst.st_dev == st.st_dev && sst.st_ino == st.st_ino) {
      why = "is the password file";
    }
  }
  if (why.empty()) return 0;
  ::close(*fd);
  *fd = -1;
  LogaConsole("- check refused: <" + file_name + "> " + why);
  return kErroArquivoRecusado;
}

}  // namespace

int32_t ZunInpCheck(const std::string& file_name, const std::string& check_as) {
  // Nobody hears of a check, not even of a failed login.
  SetMailSuppressed(true);
  LogaConsole(std::string("--- ZunInpIF check start ver:") + kVersaoDoPrograma + " " +
              IdentificacaoDoUsuario());
  int32_t erro = 0;
  try {
    // An owner checks a file as themselves with their own login; working
    // as another user (check_as) takes an administrator's, as a queue run.
    // The login logs its own code; whether the check goes on is IsLogged's.
    (void)InitDbConnection("", "", false, PedeLoginNoTerminal, !check_as.empty());
    if (!IsLogged(false)) {
      Loga("- ZunInpIF login failed");
      erro = kErroLogin;
    }
    if (erro == 0 && !check_as.empty() && check_as != UsuarioNome) {
      erro = ChamaSetuser(check_as);
      if (erro != 0) LogaConsole("- check as <" + check_as + "> erro:" + std::to_string(erro));
    }
    int fd = -1;
    if (erro == 0 && !file_name.empty()) erro = AbreArquivoParaChecar(file_name, &fd);
    if (erro == 0) {
      LogaConsole("- checking <" + file_name + "> as " + UsuarioNome + ", nothing is imported");
      // What is checked is the file opened above, whatever its name points
      // to by now; its lines reach standard output only.
      const SoNoConsole desvio;
      try {
        int32_t line_number = 0;
        std::string last_line;
        std::string diag;
        TAcompanhamento nome;
        nome.nome = file_name;
        ImpCliImport(fd < 0 ? file_name : "/proc/self/fd/" + std::to_string(fd), false,
                     &line_number, &last_line, &diag, &erro, &nome, false);
      } catch (const std::exception& x) {
        CodigoDaExcecao("ZunInpCheck", &erro, x, kErroExcecaoNaImportacao);
        LogaConsole(std::string("- check stopped: ") + x.what());
      }
    }
    if (fd >= 0) ::close(fd);
  } catch (const std::exception& x) {
    CodigoDaExcecao("ZunInpCheck", &erro, x, kErroExcecaoNaImportacao);
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
