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

// The file is given its mode (exact: whatever the umask) and group before
// it takes the place of path, so no reader ever finds it otherwise.
std::string Substitui(const std::string& path, const std::string& text, mode_t mode, bool exact,
                      gid_t group) {
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
  std::string dono;
  if (exact && ::fchmod(fd, mode) != 0) dono = Falha("cannot set the mode of", aside, errno);
  if (dono.empty() && group != static_cast<gid_t>(-1) &&
      ::fchown(fd, static_cast<uid_t>(-1), group) != 0) {
    dono = Falha("cannot give group " + std::to_string(group) + " to", aside, errno);
  }
  if (!dono.empty()) {
    ::close(fd);
    ::unlink(aside.c_str());
    return dono;
  }
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

}  // namespace

std::string ReplaceFileWhole(const std::string& path, const std::string& text, mode_t mode) {
  return Substitui(path, text, mode, false, static_cast<gid_t>(-1));
}

std::string ReplaceFileWholeAs(const std::string& path, const std::string& text, mode_t mode,
                               gid_t group) {
  return Substitui(path, text, mode, true, group);
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
