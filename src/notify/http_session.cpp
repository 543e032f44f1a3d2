#include "notify/http_session.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "foundation/log.h"
#include "foundation/text.h"

namespace zun {

namespace {

// One request: the full URL, the header list handed to libcurl (it must live
// until the transfer ends) and the certificate flags of the request.
struct HttpRequest {
  std::string url;
  curl_slist* headers = nullptr;
  uint32_t security_flags = kSecIgnoreCertCnInvalid | kSecIgnoreCertDateInvalid;
};

}  // namespace

struct HttpSession {
  int32_t numero = 0;
  bool verbose = false;
  int linhas = 0;
  std::string agent;
  CURL* internet = nullptr;  // easy handle; keeps the live connection between requests
  bool conectado = false;
  std::string origem;     // "scheme://host[:port]"
  std::string base_path;  // starts and ends with "/"
  HttpRequest* request = nullptr;
  char errbuf[CURL_ERROR_SIZE] = {};
};

namespace {

std::mutex g_seed_mu;
uint32_t g_seed = 0;
bool g_seeded = false;

std::atomic<long> g_connect_ms{5000};
std::atomic<long> g_total_ms{20000};

// The runtime's linear congruential generator, range 65000.
int32_t SorteiaNumero() {
  std::lock_guard<std::mutex> lock(g_seed_mu);
  if (!g_seeded) {
    g_seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                   std::chrono::system_clock::now().time_since_epoch().count());
    g_seeded = true;
  }
  g_seed = g_seed * 134775813u + 1u;
  return static_cast<int32_t>((uint64_t{65000} * g_seed) >> 32);
}

bool IniciaCurl() {
  static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ok;
}

// Splits a host name or base URL into origin and base path; false with the
// reason in *why when it does not name an http or https server.
bool ParseServer(const std::string& server, std::string* origem, std::string* base_path,
                 std::string* why) {
  std::string url = Apara(server);
  if (url.empty()) {
    *why = "empty server name";
    return false;
  }
  if (url.find("://") == std::string::npos) url = "http://" + url;
  CURLU* u = curl_url();
  if (u == nullptr) {
    *why = "out of memory";
    return false;
  }
  bool ok = false;
  CURLUcode rc = curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME);
  if (rc != CURLUE_OK) {
    *why = curl_url_strerror(rc);
  } else {
    auto part = [u](CURLUPart what, std::string* out) {
      char* text = nullptr;
      if (curl_url_get(u, what, &text, 0) != CURLUE_OK || text == nullptr) return false;
      *out = text;
      curl_free(text);
      return true;
    };
    std::string scheme, host, port, path, extra;
    part(CURLUPART_SCHEME, &scheme);
    part(CURLUPART_HOST, &host);
    if (scheme != "http" && scheme != "https") {
      *why = "unsupported scheme " + scheme;
    } else if (host.empty()) {
      *why = "no host";
    } else if (part(CURLUPART_USER, &extra) || part(CURLUPART_QUERY, &extra) ||
               part(CURLUPART_FRAGMENT, &extra)) {
      *why = "user, query or fragment not allowed in the server URL";
    } else {
      *origem = scheme + "://" + host;
      if (part(CURLUPART_PORT, &port)) *origem += ":" + port;
      if (!part(CURLUPART_PATH, &path) || path.empty()) path = "/";
      if (path.front() != '/') path.insert(path.begin(), '/');
      if (path.back() != '/') path += '/';
      *base_path = path;
      ok = true;
    }
  }
  curl_url_cleanup(u);
  return ok;
}

// A request path must be sendable as it stands: printable ASCII, no blank,
// no fragment mark.
bool PathValido(const std::string& path) {
  for (unsigned char c : path) {
    if (c <= ' ' || c >= 0x7F || c == '#') return false;
  }
  return true;
}

void FechaRequest(HttpSession* s) {
  if (s->request == nullptr) return;
  curl_slist_free_all(s->request->headers);
  delete s->request;
  s->request = nullptr;
}

size_t Descarta(char*, size_t size, size_t nmemb, void*) { return size * nmemb; }

std::string VersaoCurl() {
  const curl_version_info_data* v = curl_version_info(CURLVERSION_NOW);
  if (v == nullptr) return "?";
  return std::to_string((v->version_num >> 16) & 0xFF) + "." +
         std::to_string((v->version_num >> 8) & 0xFF);
}

std::string TextoDoErro(CURLcode rc, const char* errbuf) {
  return errbuf[0] != '\0' ? std::string(errbuf) : std::string(curl_easy_strerror(rc));
}

// Prepares the easy handle for one request; "" or the reason it failed.
std::string PreparaRequest(HttpSession* s, HttpRequest* req, bool use_get,
                           const std::vector<std::string>& headers, const std::string& body) {
  for (const char* fixed : {"Accept: */*", "Pragma: no-cache", "Cache-Control: no-cache"}) {
    curl_slist* n = curl_slist_append(req->headers, fixed);
    if (n == nullptr) return "out of memory";
    req->headers = n;
  }
  if (!body.empty() || !use_get) {
    curl_slist* n = curl_slist_append(req->headers, "Expect:");
    if (n == nullptr) return "out of memory";
    req->headers = n;
  }
  for (const std::string& line : headers) {
    if (line.empty()) continue;
    curl_slist* n = curl_slist_append(req->headers, line.c_str());
    if (n == nullptr) return "out of memory";
    req->headers = n;
  }

  CURL* h = s->internet;
  curl_easy_reset(h);  // keeps the connection cache
  CURLcode rc = CURLE_OK;
  auto set = [&rc, h](CURLoption opt, auto value) {
    if (rc == CURLE_OK) rc = curl_easy_setopt(h, opt, value);
  };
  s->errbuf[0] = '\0';
  set(CURLOPT_ERRORBUFFER, s->errbuf);
  set(CURLOPT_URL, req->url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_USERAGENT, s->agent.c_str());
  set(CURLOPT_HTTPHEADER, req->headers);
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_CONNECTTIMEOUT_MS, g_connect_ms.load());
  set(CURLOPT_TIMEOUT_MS, g_total_ms.load());
  // Certificate names are not checked; the authority is, until a failure
  // turns peer verification off for this request.
  set(CURLOPT_SSL_VERIFYHOST, 0L);
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_WRITEFUNCTION, &Descarta);
  if (use_get) {
    set(CURLOPT_HTTPGET, 1L);
  }
  if (!use_get || !body.empty()) {
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    set(CURLOPT_COPYPOSTFIELDS, body.data());
    if (use_get) set(CURLOPT_CUSTOMREQUEST, "GET");
  }
  return rc == CURLE_OK ? std::string() : std::string(curl_easy_strerror(rc));
}

}  // namespace

void HttpSessionDeleter::operator()(HttpSession* s) const {
  if (s == nullptr) return;
  FechaRequest(s);
  s->conectado = false;
  if (s->internet != nullptr) curl_easy_cleanup(s->internet);
  delete s;
}

void LogaHttp(HttpSession* s, const std::string& msg, bool force) {
  if (s == nullptr) return;
  if (!force && !(s->verbose && s->linhas < kMaxLinhasPorSessao)) return;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(s->numero));
  Loga(std::string(hex) + " " + msg);
  ++s->linhas;
}

int32_t HttpSessionNumero(const HttpSession* s) { return s == nullptr ? 0 : s->numero; }

int HttpSessionLinhas(const HttpSession* s) { return s == nullptr ? 0 : s->linhas; }

void SetHttpSessionSeed(uint32_t seed) {
  std::lock_guard<std::mutex> lock(g_seed_mu);
  g_seed = seed;
  g_seeded = true;
}

void SetHttpTimeouts(const HttpTimeouts& t) {
  g_connect_ms = t.connect_ms;
  g_total_ms = t.total_ms;
}

HttpTimeouts GetHttpTimeouts() { return HttpTimeouts{g_connect_ms.load(), g_total_ms.load()}; }

int32_t OpenHttpSession(const std::string& agent, const std::string& server, bool verbose,
                        HttpSessionPtr* session) {
  if (session == nullptr) return kErrInternetOpen;
  session->reset();
  HttpSessionPtr s(new HttpSession);
  s->numero = SorteiaNumero();
  s->verbose = verbose;
  s->agent = agent;
  if (IniciaCurl()) s->internet = curl_easy_init();
  if (s->internet == nullptr) {
    LogaHttp(s.get(), "HTTP.InternetOpen Erro:libcurl could not be initialised " + agent, true);
    return kErrInternetOpen;
  }
  std::string why;
  if (!ParseServer(server, &s->origem, &s->base_path, &why)) {
    LogaHttp(s.get(), "HTTP.InternetConnect Erro:" + why + " " + server, true);
    return kErrInternetConnect;
  }
  s->conectado = true;
  *session = std::move(s);
  return 0;
}

int32_t PedePagina(HttpSession* s, const std::string& path, bool use_get,
                   const std::vector<std::string>& headers, const std::string& body) {
  if (s == nullptr) return kErrSemSessao;
  if (s->request != nullptr) {
    LogaHttp(s, ".HTTP.PedePagina com ReqHandl ativo -> fechando", false);
    FechaRequest(s);  // freeing a request cannot fail here
  }

  LogaHttp(s, "HttpOpenRequest " + path, false);
  auto* req = new HttpRequest;
  std::string erro;
  if (!s->conectado) {
    erro = "session not connected";
  } else if (!PathValido(path)) {
    erro = "invalid character in path";
  } else {
    std::string rel = path;
    if (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
    req->url = s->origem + s->base_path + rel;
    erro = PreparaRequest(s, req, use_get, headers, body);
  }
  if (!erro.empty()) {
    curl_slist_free_all(req->headers);
    delete req;
    LogaHttp(s, "HttpOpenRequest Erro:" + erro + " " + path, true);
    return kErrOpenRequest;
  }
  s->request = req;

  // Send, with one more try without peer verification when the server's
  // certificate could not be verified.
  int budget = 5;
  bool sent = false;
  while (budget > 0) {
    LogaHttp(s, "HttpSendRequest", false);
    s->errbuf[0] = '\0';
    const CURLcode rc = curl_easy_perform(s->internet);
    if (rc == CURLE_OK) {
      sent = true;
      break;
    }
    LogaHttp(s, "HttpSendRequest Erro:" + std::to_string(rc) + " " + TextoDoErro(rc, s->errbuf),
             true);
    if (rc != CURLE_PEER_FAILED_VERIFICATION) break;
    LogaHttp(s, "* ERR12045: libcurl " + VersaoCurl(), true);
    LogaHttp(s, "* ERR12045: bypass " + std::to_string(req->security_flags), true);
    if ((req->security_flags & kSecIgnoreUnknownCa) != 0) {
      LogaHttp(s, "* ERR12045: falhou", true);
      break;
    }
    if (budget >= 2) {
      req->security_flags |= kSecIgnoreUnknownCa;
      curl_easy_setopt(s->internet, CURLOPT_SSL_VERIFYPEER, 0L);
      LogaHttp(s, "* ERR12045: ajuste " + std::to_string(budget), true);
      --budget;
    } else {
      LogaHttp(s, "* ERR12045: desiste", true);
      --budget;
    }
  }
  if (!sent) return kErrSendRequest;

  long status = 0;
  curl_easy_getinfo(s->internet, CURLINFO_RESPONSE_CODE, &status);
  LogaHttp(s, "HTTP.Status:" + std::to_string(status) + " " + path, status >= 400);
  return 0;
}

int32_t CloseHttpSession(HttpSessionPtr* session) {
  if (session != nullptr) session->reset();
  return 0;
}

}  // namespace zun
