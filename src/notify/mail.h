// Mails and notifications through the HTTP mail gateway.
//
// A mail is one GET of "mailto.cgi?" + query on the gateway, the query being
// a list of name/value items ("TO=g&SUBJ=..."), each item percent-encoded.
// The gateway is the value of the switch "MailGateway" (a base URL such as
// "http://127.0.0.1:8025/", or a host name); without it the build's default,
// the CMake cache variable ZUN_DEFAULT_MAIL_GATEWAY ("http://localhost/"
// unless changed). Failures are codes of notify/http_session.h; they are
// logged by the request, and SendNotification drops them.
//
// Thread-safety: the functions may be called from any thread; the user-name
// source is set once at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zun {

// Every byte that is not an ASCII digit or letter as "%" and two upper-case
// hexadecimal digits (a blank is "%20", never "+").
std::string PercentEncode(const std::string& s);

// The query of items 0..last: "&" before an even item, "=" before an odd one,
// each item percent-encoded, the leading "&" removed. last is clamped to the
// list; last < 0 gives "".
std::string MontaQuery(const std::vector<std::string>& items, int last);

// The gateway base URL: the switch "MailGateway" when given with a value,
// else the build's default.
std::string MailGateway();

// Turns sending off (true) or back on for the whole process. While it is
// off, SendHttpMail logs that a mail was not sent and returns 0 without any
// request: a run that must not reach anyone (the check of a file) still
// goes through the same steps.
void SetMailSuppressed(bool suppressed);

// Sends "mailto.cgi?" + query to the gateway (agent "SendHttpMail", not
// verbose). query must already be encoded. Returns 0 or the first error; a
// mail not taken is counted, and kept in the outbox when there is one.
[[nodiscard]] int32_t SendHttpMail(const std::string& query);

// The bounds of a mail: an item keeps at most kMaxItemDoMail bytes, and the
// query at most kMaxQueryDoMail characters, so that the gateway's request
// line stays within the 8 KB that web servers take.
inline constexpr size_t kMaxItemDoMail = 1000;
inline constexpr size_t kMaxQueryDoMail = 7000;

// SendHttpMail(MontaQuery(items, last)), the items cut first: each to
// kMaxItemDoMail bytes, then, while the query is longer than
// kMaxQueryDoMail, the longest one once encoded to half its length, each with the marker
// of CortaTexto. A mail is cut, never dropped for its size.
[[nodiscard]] int32_t SendMailItems(const std::vector<std::string>& items, int last);
[[nodiscard]] int32_t SendMailItems(const std::vector<std::string>& items);  // all items

// Sends the standard notification: "TO" (to, or "g" when empty), "SUBJ"
// ("ZunInput " + subject), "useratmachine" (the quoted user identity),
// "ZunInput-version", "ZiDbUser" (see SetDbUserNameSource),
// "executable-file", then extra items 0..last. Never fails the caller.
void SendNotification(const std::string& subject, const std::vector<std::string>& extra, int last,
                      const std::string& to);
void SendNotification(const std::string& subject, const std::vector<std::string>& extra,
                      const std::string& to);  // all extra items

// The gateway's timeout: the switch "MailTimeout" in seconds (1 to 300),
// else kTempoDoCorreioPadrao; connecting takes at most 5 s of it.
inline constexpr int kTempoDoCorreioPadrao = 10;
int TempoDoCorreio();

// The outbox of a run: a directory where each mail the gateway did not take
// waits, as one file named after its content (a mail kept twice is one
// file), for the next run to send it again. With an outbox, a gateway that
// failed once is not asked again by the same process: its later mails go
// straight to the outbox, so a hanging gateway costs one timeout a run, not
// one a mail. Without one (the default, and tests), a failed mail is only
// logged and counted.
// At most kMaxCorreiosGuardados mails wait: the oldest gives way (logged).
inline constexpr size_t kMaxCorreiosGuardados = 200;

// Opens the outbox dir (made, mode 0700, when missing) for this process,
// applies TempoDoCorreio to every request, and sends what earlier runs left
// there, oldest first, each removed once the gateway took it; it stops at
// the first failure. Returns the number sent. "" closes the outbox.
int AbreCaixaDeSaida(const std::string& dir);

// The mails of this process the gateway did not take (kept in the outbox or
// not), for the run's summary.
int32_t CorreiosNaoEntregues();

// Where "ZiDbUser" comes from: the login sets a function giving the current
// database user name. Unset (or empty function), "ZiDbUser" is "".
void SetDbUserNameSource(std::function<std::string()> source);

}  // namespace zun
