// HTTP request client used by the mail notifications.
//
// A session is opened on one server, sends one or more requests and is
// closed; it is built on libcurl. The server is a host name (plain HTTP on
// port 80) or a base URL "http://host[:port]/path/" or "https://...". A
// request is sent and its answer awaited, but the answer's content is never
// read: any HTTP answer, whatever its status, counts as success.
//
// Certificates: name mismatches are ignored from the start. A certificate
// that cannot be verified (unknown authority, self-signed, expired) fails the
// first send; the send is then repeated once with peer verification off.
//
// Timeouts: connecting (name look-up included) may take at most 5 s and a
// whole request at most 20 s, so an unreachable gateway cannot stall a run.
//
// Error codes: notify/codes.h.
//
// Session log lines: "XXXX message", XXXX the session number in 4 upper-case
// hexadecimal digits. Error lines are always written; the others only for a
// verbose session, and at most 80 lines per session in all.
//
// Thread-safety: a session belongs to one thread at a time. Different
// sessions may be used from different threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "notify/codes.h"

namespace zun {

// Request security flags, as reported in the certificate log lines.
inline constexpr uint32_t kSecIgnoreUnknownCa = 0x100;
inline constexpr uint32_t kSecIgnoreCertCnInvalid = 0x1000;
inline constexpr uint32_t kSecIgnoreCertDateInvalid = 0x2000;

// Most lines a verbose session writes (forced lines included).
inline constexpr int kMaxLinhasPorSessao = 80;

struct HttpSession;
struct HttpSessionDeleter {
  void operator()(HttpSession* s) const;  // closes what is open, frees s
};
using HttpSessionPtr = std::unique_ptr<HttpSession, HttpSessionDeleter>;

// Opens a session on server with agent as the User-Agent text. The proxy
// comes from the usual environment variables (http_proxy, https_proxy,
// no_proxy). On success returns 0 and sets *session; on failure logs the
// reason, leaves *session empty and returns 3226 or 3227. session must not
// be null; a session it already holds is closed first.
[[nodiscard]] int32_t OpenHttpSession(const std::string& agent, const std::string& server,
                                      bool verbose, HttpSessionPtr* session);

// Sends one request for path (appended to the session's base path) with verb
// GET when use_get, else POST. headers are extra header lines ("Name: value",
// empty ones skipped); body is sent when not empty (with GET too). Returns 0
// once the request was sent and answered, 4380 for a null session, else 3229
// or 3230. The session keeps the request until the next request or the close.
[[nodiscard]] int32_t PedePagina(HttpSession* session, const std::string& path, bool use_get,
                                 const std::vector<std::string>& headers, const std::string& body);

// Closes the request, the connection and the session, in that order, and
// empties *session. An empty *session (or a null pointer) does nothing.
// Always returns 0.
[[nodiscard]] int32_t CloseHttpSession(HttpSessionPtr* session);

// Writes one session log line (see the top of this file): when force is set,
// or when the session is verbose and has written fewer than 80 lines. A null
// session writes nothing.
void LogaHttp(HttpSession* session, const std::string& msg, bool force);

// The session's number, 0..64999, drawn when it was opened.
int32_t HttpSessionNumero(const HttpSession* session);

// Lines written for the session so far.
int HttpSessionLinhas(const HttpSession* session);

// Seeds the generator of session numbers (tests; it is seeded from the
// clock on first use otherwise).
void SetHttpSessionSeed(uint32_t seed);

// Connect and total timeouts of every request, in milliseconds.
struct HttpTimeouts {
  long connect_ms = 5000;
  long total_ms = 20000;
};
void SetHttpTimeouts(const HttpTimeouts& t);  // for tests and tuning
HttpTimeouts GetHttpTimeouts();

}  // namespace zun
