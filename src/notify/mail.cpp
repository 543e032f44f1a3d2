#include "notify/mail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "foundation/log.h"
#include "foundation/switches.h"
#include "foundation/text.h"
#include "foundation/version.h"
#include "notify/http_session.h"

#ifndef ZUN_DEFAULT_MAIL_GATEWAY
#define ZUN_DEFAULT_MAIL_GATEWAY "http://localhost/"
#endif

namespace zun {

namespace {

std::atomic<bool> g_suppressed{false};
std::atomic<int32_t> g_nao_entregues{0};

// The outbox: its directory ("" none) and whether the gateway failed.
struct CaixaDeSaida {
  std::mutex mu;
  std::string dir;
  bool gateway_falhou = false;
};

CaixaDeSaida& Caixa() {
  static CaixaDeSaida c;
  return c;
}

// The file a mail waits in: its content's FNV-1a hash.
std::string NomeNaCaixa(const std::string& query) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : query) h = (h ^ c) * 1099511628211ull;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%016llx.mail", static_cast<unsigned long long>(h));
  return buf;
}

// The mails waiting in dir, oldest first.
std::vector<std::filesystem::path> Guardados(const std::string& dir) {
  namespace fs = std::filesystem;
  std::vector<std::pair<fs::file_time_type, fs::path>> v;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".mail" && it->is_regular_file(ec)) {
      v.emplace_back(it->last_write_time(ec), it->path());
    }
  }
  std::sort(v.begin(), v.end());
  std::vector<fs::path> out;
  for (auto& [t, p] : v) out.push_back(std::move(p));
  return out;
}

// Keeps query in the outbox (lock held); the oldest mails give way.
void Guarda(const std::string& dir, const std::string& query) {
  const std::string path = dir + "/" + NomeNaCaixa(query);
  std::vector<std::filesystem::path> velhos = Guardados(dir);
  for (size_t i = 0; velhos.size() - i >= kMaxCorreiosGuardados && i < velhos.size(); ++i) {
    if (velhos[i] == path) continue;
    std::error_code ec;
    std::filesystem::remove(velhos[i], ec);
    Loga("SendHttpMail outbox full: dropped " + velhos[i].filename().string());
  }
  // Mails name people and files: the service's user alone reads them.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno != EEXIST) Loga("SendHttpMail outbox: cannot keep the mail in <" + path + ">");
    return;  // the same mail waits already
  }
  const bool ok = ::write(fd, query.data(), query.size()) == static_cast<ssize_t>(query.size());
  if (::close(fd) != 0 || !ok) {
    ::unlink(path.c_str());
    Loga("SendHttpMail outbox: cannot keep the mail in <" + path + ">");
    return;
  }
  Loga("SendHttpMail not delivered, kept for the next run: " + NomeNaCaixa(query));
}

// One request to the gateway.
[[nodiscard]] int32_t Envia(const std::string& query) {
  HttpSessionPtr s;
  int32_t erro = OpenHttpSession("SendHttpMail", MailGateway(), false, &s);
  if (erro == 0) erro = PedePagina(s.get(), "mailto.cgi?" + query, true, {}, std::string());
  const int32_t fecha = CloseHttpSession(&s);
  return erro != 0 ? erro : fecha;
}
std::mutex g_user_mu;
std::function<std::string()> g_user_source;

std::string NomeDoUsuarioDb() {
  std::function<std::string()> source;
  {
    std::lock_guard<std::mutex> lock(g_user_mu);
    source = g_user_source;
  }
  return source ? source() : std::string();
}

}  // namespace

std::string PercentEncode(const std::string& s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size() * 3);
  for (unsigned char c : s) {
    const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string MontaQuery(const std::vector<std::string>& items, int last) {
  std::string q;
  const int end = std::min<long long>(last, static_cast<long long>(items.size()) - 1);
  for (int i = 0; i <= end; ++i) {
    q += (i % 2 == 0) ? '&' : '=';
    q += PercentEncode(items[static_cast<size_t>(i)]);
  }
  if (!q.empty() && q.front() == '&') q.erase(0, 1);
  return q;
}

std::string MailGateway() {
  std::string v;
  if (LeSwitch("MailGateway", &v) && !v.empty()) return v;
  return ZUN_DEFAULT_MAIL_GATEWAY;
}

void SetMailSuppressed(bool suppressed) { g_suppressed = suppressed; }

int32_t SendHttpMail(const std::string& query) {
  if (g_suppressed) {
    Loga("SendHttpMail off, not sent: mailto.cgi?" + query.substr(0, 200));
    return 0;
  }
  CaixaDeSaida& c = Caixa();
  std::unique_lock<std::mutex> lock(c.mu);
  int32_t erro = kErrSendRequest;
  if (c.dir.empty() || !c.gateway_falhou) {
    lock.unlock();
    erro = Envia(query);
    lock.lock();
  } else {
    Loga("SendHttpMail: the gateway failed earlier in this run, not asked again");
  }
  if (erro == 0) return 0;
  ++g_nao_entregues;
  if (!c.dir.empty()) {
    c.gateway_falhou = true;
    Guarda(c.dir, query);
  }
  return erro;
}

int TempoDoCorreio() {
  std::string v;
  if (!LeSwitch("MailTimeout", &v)) return kTempoDoCorreioPadrao;
  v = Apara(v);
  char* fim = nullptr;
  const long s = std::strtol(v.c_str(), &fim, 10);
  if (v.empty() || *fim != '\0' || s < 1 || s > 300) {
    Loga("MailTimeout <" + v + "> is not 1 to 300 seconds; " +
         std::to_string(kTempoDoCorreioPadrao) + " s taken");
    return kTempoDoCorreioPadrao;
  }
  return static_cast<int>(s);
}

int AbreCaixaDeSaida(const std::string& dir) {
  const long total = TempoDoCorreio() * 1000L;
  SetHttpTimeouts({std::min(5000L, total), total});
  CaixaDeSaida& c = Caixa();
  std::lock_guard<std::mutex> lock(c.mu);
  c.dir = dir;
  c.gateway_falhou = false;
  if (dir.empty()) return 0;
  std::error_code ec;
  if (std::filesystem::create_directories(dir, ec)) ::chmod(dir.c_str(), 0700);
  int enviados = 0;
  for (const std::filesystem::path& f : Guardados(dir)) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream query;
    query << in.rdbuf();
    if (Envia(query.str()) != 0) {
      c.gateway_falhou = true;
      Loga("SendHttpMail outbox: the gateway still fails; the kept mails wait");
      break;
    }
    std::filesystem::remove(f, ec);
    ++enviados;
  }
  if (enviados > 0) Loga("SendHttpMail outbox: sent " + std::to_string(enviados) + " kept mails");
  return enviados;
}

int32_t CorreiosNaoEntregues() { return g_nao_entregues; }

int32_t SendMailItems(const std::vector<std::string>& items, int last) {
  const int end = std::min<long long>(last, static_cast<long long>(items.size()) - 1);
  if (end < 0) return SendHttpMail("");
  // Each item cut to its bound; while the query is still too long, the
  // longest item gives up half of what it keeps. Cut from the original
  // text each time, so that an item carries one marker.
  std::vector<std::string> cortados(items.begin(), items.begin() + end + 1);
  std::vector<size_t> limites(cortados.size(), kMaxItemDoMail);
  for (size_t i = 0; i < cortados.size(); ++i) {
    if (cortados[i].size() > limites[i]) cortados[i] = CortaTexto(items[i], limites[i]);
  }
  std::string query = MontaQuery(cortados, end);
  while (query.size() > kMaxQueryDoMail) {
    size_t maior = 0;
    size_t maior_tamanho = 0;
    for (size_t i = 0; i < cortados.size(); ++i) {
      const size_t tamanho = PercentEncode(cortados[i]).size();
      if (tamanho > maior_tamanho) maior = i, maior_tamanho = tamanho;
    }
    limites[maior] = std::min(limites[maior], cortados[maior].size()) / 2;
    if (limites[maior] < 16) break;  // only short items left: sent as they are
    cortados[maior] = CortaTexto(items[maior], limites[maior]);
    query = MontaQuery(cortados, end);
  }
  return SendHttpMail(query);
}

int32_t SendMailItems(const std::vector<std::string>& items) {
  return SendMailItems(items, static_cast<int>(items.size()) - 1);
}

void SendNotification(const std::string& subject, const std::vector<std::string>& extra, int last,
                      const std::string& to) {
  std::vector<std::string> items = {
      "TO",
      to.empty() ? std::string("g") : to,
      "SUBJ",
      "ZunInput " + subject,
      "useratmachine",
      "\"" + IdentificacaoDoUsuario() + "\"",
      "ZunInput-version",
      kVersaoDoPrograma,
      "ZiDbUser",
      NomeDoUsuarioDb(),
      "executable-file",
      CaminhoDoExecutavel(),
  };
  const int end = std::min<long long>(last, static_cast<long long>(extra.size()) - 1);
  for (int i = 0; i <= end; ++i) items.push_back(extra[static_cast<size_t>(i)]);
  // A failure is logged by the request and the mail kept in the outbox.
  (void)SendMailItems(items);
}

void SendNotification(const std::string& subject, const std::vector<std::string>& extra,
                      const std::string& to) {
  SendNotification(subject, extra, static_cast<int>(extra.size()) - 1, to);
}

void SetDbUserNameSource(std::function<std::string()> source) {
  std::lock_guard<std::mutex> lock(g_user_mu);
  g_user_source = std::move(source);
}

}  // namespace zun
