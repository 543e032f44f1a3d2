#include "foundation/safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

namespace zun {
namespace {

// Attempts at a fresh temporary name when one is taken (a name planted
// there, or left by a process that died with this one's id).
constexpr int kTentativasDeNome = 100;

std::string Falha(const std::string& what, const std::string& path, int err) {
  return what + " <" + path + ">: " + std::strerror(err);
}

// Writes all of text, going on after a short write.
bool GravaTudo(int fd, const std::string& text) {
  size_t feito = 0;
  while (feito < text.size()) {
    const ssize_t n = ::write(fd, text.data() + feito, text.size() - feito);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    feito += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string ReplaceFileWhole(const std::string& path, const std::string& text, mode_t mode) {
  static std::atomic<unsigned> contador{0};
  std::random_device acaso;
  std::string aside;
  int fd = -1;
  for (int i = 0; i < kTentativasDeNome && fd < 0; ++i) {
    aside = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++contador) + "-" +
            std::to_string(acaso());
    fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return Falha("cannot create", aside, errno);
  }
  if (fd < 0) return Falha("cannot create", aside, EEXIST);
  const bool gravou = GravaTudo(fd, text);
  const int erro_gravar = errno;
  const bool fechou = ::close(fd) == 0;
  std::string why;
  if (!gravou || !fechou) {
    why = Falha("cannot write", aside, gravou ? errno : erro_gravar);
  } else if (std::rename(aside.c_str(), path.c_str()) != 0) {
    why = Falha("cannot replace", path, errno);
  }
  if (!why.empty()) ::unlink(aside.c_str());
  return why;
}

std::string OpenForAppend(const std::string& path, mode_t mode, int* fd) {
  *fd =
      ::open(path.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
  if (*fd < 0) return Falha("cannot open", path, errno);
  struct stat st {};
  if (::fstat(*fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(*fd);
    *fd = -1;
    return "<" + path + "> is not a regular file";
  }
  // Writes to a regular file never wait anyway; the flag only kept a pipe
  // from blocking the open.
  ::fcntl(*fd, F_SETFL, O_APPEND);
  return "";
}

}  // namespace zun
