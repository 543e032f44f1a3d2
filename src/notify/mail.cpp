#include "notify/mail.h"

#include <algorithm>
#include <atomic>
#include <mutex>

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
  HttpSessionPtr s;
  int32_t erro = OpenHttpSession("SendHttpMail", MailGateway(), false, &s);
  if (erro == 0) erro = PedePagina(s.get(), "mailto.cgi?" + query, true, {}, std::string());
  const int32_t fecha = CloseHttpSession(&s);
  return erro != 0 ? erro : fecha;
}

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
  SendMailItems(items);
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
