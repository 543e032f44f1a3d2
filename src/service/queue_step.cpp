#include "service/queue_step.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>
#include <system_error>

#include "db/global_state.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "foundation/text.h"
#include "notify/mail.h"
#include "notify/repeat_guard.h"
#include "service/codes.h"
#include "toolbox/dbutil/import_queue.h"

namespace zun {

int32_t MaxPrioridadeDaHora(int hour) {
  return hour >= 3 && hour <= 7 ? kMaxPrioridadeDeNoite : kMaxPrioridadeDeDia;
}

std::string LimpaNome(const std::string& s) {
  std::string out;
  for (char c : s) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_') {
      out += c;
    }
  }
  return out;
}

std::string LePathIF() {
  std::string path;
  if (!LeSwitch("PathIF", &path)) return "";
  path = path.substr(0, 255);
  path = AparaBrancos(path);
  if (path.empty()) return "";
  // On this system "\\" and ":" are characters of a name, not delimiters:
  // without the "/" the copy would land beside the directory.
  if (path.back() != '/') path += '/';
  return path;
}

namespace {

// 0 when a file of a few kilobytes can be written in dir (ending in "/"),
// else the system's error number.
[[nodiscard]] int ProvaDiretorio(const std::string& dir) {
  std::string name = dir + ".zuninput-probe-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return errno;
  const std::string bloco(4096, '\0');
  size_t written = 0;
  while (written < bloco.size()) {
    const ssize_t n = ::write(fd, bloco.data() + written, bloco.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const int err = written < bloco.size() ? (errno != 0 ? errno : ENOSPC) : 0;
  const bool closed = ::close(fd) == 0;
  const int close_err = errno;
  ::unlink(name.c_str());
  if (err != 0) return err;
  return closed ? 0 : close_err;
}

}  // namespace

int32_t VerificaDiretorios() {
  const std::string path_if = LePathIF();
  std::string dir = path_if.empty() ? "./" : path_if;
  int32_t code = 0;
  int err = ProvaDiretorio(dir);
  if (err != 0) {
    code = kErroDiretorioDasCopias;
  } else {
    dir = PathReqGBol;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    err = ProvaDiretorio(dir);
    if (err != 0) code = kErroDiretorioDosPedidos;
  }
  if (code != 0) {
    const std::string motivo = std::strerror(err);
    LogaConsole("- ZunInpIF directory error:" + std::to_string(code) + " <" + dir + "> " + motivo);
    // A timer runs into it every few minutes until someone acts.
    NotificaSemRepetir("directory " + std::to_string(code) + " " + dir + " " + motivo,
                       "directory error:" + std::to_string(code),
                       {"dir", dir, "erro", std::to_string(code), "reason", motivo}, "gr");
  }
  return code;
}

namespace {

// A name this service gives a local copy: the entry id, the owner's and the
// queue time's letters, digits, "-" and "_" (the time as yyyymmdd-hhnnss).
bool NomeDeCopiaLocal(const std::string& name) {
  static const std::regex kNome("[1-9][0-9]*-[A-Za-z0-9_-]*-[0-9]{8}-[0-9]{6}(-p?[0-9]+)?\\.txt");
  return std::regex_match(name, kNome);
}

}  // namespace

int ApagaCopiasOrfas() {
  // Kept copies are the point of PathIF: the queue may no longer hold them.
  if (!LePathIF().empty()) return 0;
  DIR* d = ::opendir(".");
  if (d == nullptr) return 0;
  const time_t agora = ::time(nullptr);
  int apagadas = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (!NomeDeCopiaLocal(name)) continue;
    // Opened without following a link or waiting on a pipe, and locked: a
    // step that still uses its copy holds the lock (however old the copy),
    // a process that died holds nothing.
    const int fd = ::openat(::dirfd(d), name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat st {};
    struct stat agora_no_nome {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        agora - st.st_mtime >= kIdadeDaCopiaOrfa && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(::dirfd(d), name.c_str(), &agora_no_nome, AT_SYMLINK_NOFOLLOW) == 0 &&
        agora_no_nome.st_dev == st.st_dev && agora_no_nome.st_ino == st.st_ino &&
        ::unlinkat(::dirfd(d), name.c_str(), 0) == 0) {
      Loga("- removed the local copy <" + name + "> left by an earlier run");
      ++apagadas;
    }
    ::close(fd);
  }
  ::closedir(d);
  return apagadas;
}

void GravaArquivo(const std::string& file_name, const std::string& content, int32_t* erro,
                  int* trava) {
  if (*erro != 0) return;
  if (trava != nullptr) *trava = -1;
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  // A queued file is its owner's data: no access for other local users.
  constexpr mode_t kModo = 0640;
  int fd = ::open(file_name.c_str(), kFlags, kModo);
  if (fd < 0 && errno == EEXIST) {
    // A copy kept by an earlier try of the same entry (or anything else in
    // its place): remove the name itself, never what it may point to.
    ::unlink(file_name.c_str());
    fd = ::open(file_name.c_str(), kFlags, kModo);
  }
  int io_res = 0;
  int io_res_close = 0;
  size_t written = 0;
  if (fd < 0) {
    io_res = errno;
    *erro = kErroCopiaCriar;
  } else {
    // Taken before anything is written: a copy is never unlocked while in
    // use. The lock goes with the open file, which the duplicate keeps.
    if (trava != nullptr && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      *trava = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    while (written < content.size()) {
      const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        io_res = n < 0 ? errno : 0;
        break;
      }
      written += static_cast<size_t>(n);
    }
    if (written < content.size()) *erro = kErroCopiaGravar;
    if (::close(fd) != 0) {
      io_res_close = errno;
      if (*erro == 0) *erro = kErroCopiaFechar;
    }
  }
  if (*erro == 0) return;
  if (trava != nullptr && *trava >= 0) {
    ::close(*trava);
    *trava = -1;
  }
  LogaConsole("GravaArquivo erro:" + std::to_string(*erro) + " IoRes:" + std::to_string(io_res) +
              " IoResClose:" + std::to_string(io_res_close) +
              " Escrito:" + std::to_string(written) + " lenCont:" + std::to_string(content.size()) +
              " <" + file_name + ">");
  if (fd >= 0) ::unlink(file_name.c_str());
}

}  // namespace zun
