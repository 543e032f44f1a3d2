#include "notify/repeat_guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <sstream>

#include "foundation/log.h"
#include "foundation/safe_write.h"
#include "notify/mail.h"

namespace zun {
namespace {

constexpr char kArquivoDeAvisos[] = "zuninput-notices";
// Failures remembered; the oldest entries go first.
constexpr size_t kMaxAvisos = 200;
constexpr off_t kMaxBytesDeAvisos = 1 << 20;

struct Aviso {
  std::string key;
  int64_t sent = 0;
  int32_t held = 0;
};

// A key on one line of the state file: no tab or line break.
std::string Limpa(const std::string& key) {
  std::string k = key.substr(0, 500);
  for (char& c : k) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return k;
}

bool Le(std::vector<Aviso>* avisos) {
  const int fd = ::open(kArquivoDeAvisos, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  std::string text;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxBytesDeAvisos;
  if (ok) {
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, n);
  }
  ::close(fd);
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    Aviso a;
    std::istringstream f(line);
    if (std::getline(f, a.key, '\t') && f >> a.sent >> a.held) avisos->push_back(a);
  }
  return ok;
}

}  // namespace

bool AvisoLiberado(const std::string& key, int64_t now, int32_t* held) {
  *held = 0;
  std::vector<Aviso> avisos;
  if (!Le(&avisos)) return true;
  const std::string k = Limpa(key);
  Aviso* a = nullptr;
  for (Aviso& x : avisos) {
    if (x.key == k) a = &x;
  }
  bool liberado = true;
  if (a == nullptr) {
    avisos.push_back({k, now, 0});
  } else if (now >= a->sent && now - a->sent < kIntervaloDeAvisos) {
    ++a->held;
    liberado = false;
  } else {
    *held = a->held;
    *a = {k, now, 0};
  }
  if (avisos.size() > kMaxAvisos) avisos.erase(avisos.begin());
  std::string text;
  for (const Aviso& x : avisos) {
    text += x.key + "\t" + std::to_string(x.sent) + "\t" + std::to_string(x.held) + "\n";
  }
  const std::string why = ReplaceFileWhole(kArquivoDeAvisos, text, 0600);
  if (!why.empty()) {
    Loga("- notices state not written: " + why);
    return true;
  }
  return liberado;
}

void NotificaSemRepetir(const std::string& key, const std::string& subject,
                        std::vector<std::string> extra, const std::string& recipients) {
  int32_t held = 0;
  if (!AvisoLiberado(key, static_cast<int64_t>(std::time(nullptr)), &held)) {
    Loga("- notification held back (sent within the hour): " + subject);
    return;
  }
  if (held > 0) {
    extra.push_back("held-back");
    extra.push_back(std::to_string(held) + " of the same failure in the hour before");
  }
  SendNotification(subject, extra, recipients);
}

}  // namespace zun
