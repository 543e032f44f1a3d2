#include "web/web_app.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "service/codes.h"
#include "toolbox/dbclient/provider.h"
#include "toolbox/dbutil/import_queue.h"
#include "web/check_child.h"
#include "web/queue_access.h"
#include "web/static_files.h"

namespace zun::web {
namespace {

constexpr char kCookie[] = "__Host-zunweb";
constexpr char kLoginCookie[] = "__Host-zunlogin";
constexpr size_t kShownErrors = 1000;
constexpr char kGeneric[] =
    "Login failed: the user name or password is wrong, or too many "
    "attempts were made; wait a few minutes and try again.";

std::string Num(int64_t n) { return std::to_string(n); }

// Holds one of a semaphore's counts while it lives.
template <class Semaphore>
struct Held {
  explicit Held(Semaphore& s) : s_(s) { s_.acquire(); }
  ~Held() { s_.release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  Semaphore& s_;
};

Response Redirect(const std::string& to) {
  Response r;
  r.status = 303;
  r.headers.emplace_back("Location", to);
  return r;
}

Response Text(int status, const std::string& body) {
  Response r;
  r.status = status;
  r.content_type = "text/plain; charset=utf-8";
  r.body = body;
  return r;
}

std::string Cookie(const std::string& name, const std::string& value, bool clear) {
  // The __Host- prefix asks for Secure: browsers keep such a cookie on
  // loopback addresses and over TLS only.
  return name + "=" + value + "; Path=/; Secure; HttpOnly; SameSite=Strict" +
         (clear ? "; Max-Age=0" : "");
}

// The line texts of content by number (1-based), at most what is needed.
std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string l = content.substr(start, end - start);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(std::move(l));
    start = end + 1;
  }
  return out;
}

// Whether bytes hold UTF-8 sequences of two or more bytes and nothing that
// is not UTF-8: a file saved as UTF-8 where Windows-1252 is read.
bool LooksLikeUtf8(const std::string& b) {
  bool multi = false;
  for (size_t i = 0; i < b.size(); ++i) {
    const auto c = static_cast<unsigned char>(b[i]);
    if (c < 0x80) continue;
    const size_t n = c >= 0xF0 && c < 0xF5   ? 3
                     : c >= 0xE0 && c < 0xF0 ? 2
                     : c >= 0xC2 && c < 0xE0 ? 1
                                             : 0;
    if (n == 0 || i + n >= b.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      if ((static_cast<unsigned char>(b[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
    multi = true;
  }
  return multi;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string StateWords(const Entry& e) {
  std::string s = e.state;
  if (e.result && *e.result != 0) {
    const std::string why = MotivoDoCodigo(*e.result);
    s += " — " + Num(*e.result) + (why.empty() ? "" : ": " + why);
  }
  return s;
}

int32_t EntryIdOf(const std::string& text) {
  if (text.empty() || text.size() > 9) return 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
  }
  return static_cast<int32_t>(std::stol(text));
}

// The entry table of a list page.
std::string EntryTable(const std::vector<Entry>& entries, bool ops, const std::string& csrf) {
  std::ostringstream h;
  if (ops) h << "<form method=\"post\" action=\"/ops/bulk\">";
  h << "<table><thead><tr>" << (ops ? "<th></th><th>Owner</th>" : "")
    << "<th>Id</th><th>File</th><th>State and result</th><th>Tries</th><th>Priority</th>"
       "<th>Queued (GMT)</th><th>Why</th></tr></thead><tbody>";
  for (const Entry& e : entries) {
    h << "<tr class=\"" << Esc(e.state) << "\">";
    if (ops) {
      h << "<td><input type=\"checkbox\" name=\"id\" value=\"" << e.id << "\" aria-label=\"entry "
        << e.id << "\"></td><td>" << Esc(e.user) << "</td>";
    }
    h << "<td><a href=\"/entries/" << e.id << "\">" << e.id << "</a></td><td>" << Esc(e.filename)
      << "</td><td>" << Esc(StateWords(e)) << "</td><td>" << e.tries << "</td><td>" << e.priority
      << "</td><td>" << Esc(e.queued) << "</td><td>" << Esc(e.why) << "</td></tr>";
  }
  h << "</tbody></table>";
  if (entries.empty()) h << "<p>No entries.</p>";
  if (ops) {
    h << "<input type=\"hidden\" name=\"csrf\" value=\"" << csrf
      << "\"><p><button name=\"action\" value=\"retry\">Retry the selected</button> "
         "<button name=\"action\" value=\"cancel\">Cancel the selected</button></p></form>";
  }
  return h.str();
}

std::string ErrorMessage(const Refused& r) {
  switch (r.code) {
    case kErrImportFileAlreadyDone:
      return "The entry was imported successfully; a success is final.";
    case kErrImportFileNoContent:
      return "The entry has no stored content any more; queue the file again.";
    case kErrImportFileBeingImported:
      return "The entry is being imported right now.";
    case kErrImportFileNoUser:
      return "No such user.";
    default:
      return "Refused (" + Num(r.code) + "): " + MotivoDoCodigo(r.code);
  }
}

}  // namespace

std::string Esc(const std::string& t) {
  std::string o;
  o.reserve(t.size() + 16);
  for (const char c : t) {
    switch (c) {
      case '&':
        o += "&amp;";
        break;
      case '<':
        o += "&lt;";
        break;
      case '>':
        o += "&gt;";
        break;
      case '"':
        o += "&quot;";
        break;
      case '\'':
        o += "&#39;";
        break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) {
          o += "\xEF\xBF\xBD";
        } else {
          o += c;
        }
    }
  }
  return o;
}

void WebApp::Audit(const std::string& line) {
  // User names and file names come from the browser: a line break in one
  // must not forge an audit line.
  std::string safe = line;
  for (char& c : safe) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  }
  std::lock_guard<std::mutex> l(audit_mu_);
  std::cerr << "zuninput-web: " << safe << std::endl;
}

bool WebApp::SameOrigin(const Request& req) const {
  const std::string host = req.Header("host");
  if (host.empty()) return false;
  const std::string scheme = req.Header("x-forwarded-proto") == "https" ? "https" : "http";
  const std::string origin = scheme + "://" + host;
  const std::string o = req.Header("origin");
  if (!o.empty()) return o == origin;
  const std::string ref = req.Header("referer");
  return ref == origin || ref.rfind(origin + "/", 0) == 0;
}

std::string WebApp::Page(const std::string& title, const std::string& body, const Session* s,
                         bool refresh) const {
  std::ostringstream h;
  h << "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
    << (refresh ? "<meta name=\"zun-refresh\" content=\"15\">" : "") << "<title>" << Esc(title)
    << " — ZunInput</title><link rel=\"stylesheet\" href=\"/static/zunweb.css\">"
       "<script src=\"/static/zunweb.js\" defer></script></head><body><header><a href=\"/\">"
       "ZunInput</a>";
  if (s != nullptr) {
    h << " <nav><a href=\"/\">My entries</a>" << (s->admin ? " <a href=\"/ops\">Operators</a>" : "")
      << " <span class=\"who\">" << Esc(s->user)
      << "</span> <form method=\"post\" action=\"/logout\" class=\"inline\"><input type=\"hidden\" "
         "name=\"csrf\" value=\""
      << s->csrf << "\"><button>Log out</button></form></nav>";
  }
  h << "</header><main><h1>" << Esc(title) << "</h1>" << body << "</main></body></html>";
  return h.str();
}

Response WebApp::Handle(Request& req) {
  Response r = [&]() -> Response {
    if (req.method == "GET" && req.path == "/static/zunweb.js") {
      Response f = Text(200, kZunWebJs);
      f.content_type = "text/javascript; charset=utf-8";
      return f;
    }
    if (req.method == "GET" && req.path == "/static/zunweb.css") {
      Response f = Text(200, kZunWebCss);
      f.content_type = "text/css; charset=utf-8";
      return f;
    }
    if (req.path == "/favicon.ico") return Text(404, "404 Not Found\n");
    if (req.path == "/login") {
      if (req.method == "POST") return LoginPost(req);
      if (req.method == "GET") return LoginPage(req, "", 200);
      return Text(405, "405 Method Not Allowed\n");
    }
    std::shared_ptr<Session> s;
    if (auto it = req.cookies.find(kCookie); it != req.cookies.end())
      s = sessions_.Find(it->second);
    if (!s) {
      if (req.method == "GET") return Redirect("/login");
      return Text(403, "403 Forbidden: log in first\n");
    }
    if (req.method == "POST" && (!SameToken(req.Form("csrf"), s->csrf) || !SameOrigin(req))) {
      Audit("POST " + req.path + " refused: no valid token or another origin (user " + s->user +
            ", " + req.peer + ")");
      return Text(403,
                  "403 Forbidden: the form's token is missing or stale, or the request "
                  "came from another site; reload the page and try again\n");
    }
    // A check runs without the session's lock: the child needs no
    // connection, and the user's other pages must not wait for it.
    if (req.method == "POST" && req.path == "/check") return Check(req, *s);
    std::lock_guard<std::mutex> l(s->mu);
    if (!s->conn || !s->conn->Connected()) {
      sessions_.End(s->id);
      return Redirect("/login");
    }
    try {
      if (req.method == "GET" && req.path == "/") return MyEntries(req, *s, false);
      if (req.method == "GET" && req.path == "/ops") {
        return s->admin ? MyEntries(req, *s, true) : Text(404, "404 Not Found\n");
      }
      if (req.method == "POST" && req.path == "/logout") return Logout(req, *s);
      if (req.method == "POST" && req.path == "/queue") return Queue(req, *s);
      if (req.method == "POST" && req.path == "/ops/bulk" && s->admin) return OpsBulk(req, *s);
      if (req.path.rfind("/entries/", 0) == 0) {
        const std::string rest = req.path.substr(9);
        const size_t slash = rest.find('/');
        const int32_t id = EntryIdOf(rest.substr(0, slash));
        const std::string tail = slash == std::string::npos ? "" : rest.substr(slash);
        if (id > 0 && req.method == "GET") {
          if (tail.empty()) return EntryPage(req, *s, id);
          if (tail == "/file") return EntryFile(*s, id);
          if (tail == "/errors.txt") return EntryErrorsText(*s, id);
        }
        if (id > 0 && req.method == "POST" && (tail == "/cancel" || tail == "/retry")) {
          return EntryAction(req, *s, id, tail.substr(1));
        }
      }
      return Text(404, "404 Not Found\n");
    } catch (const Refused& x) {
      if (x.code == kErrImportFileUnknownId || x.code == kErrImportFileNotYours) {
        return Text(404, "404 Not Found: no such entry of yours\n");
      }
      return Text(409, ErrorMessage(x) + "\n");
    } catch (const std::exception& x) {
      // A broken link to the database ends the session; the user logs in
      // again, which reconnects.
      Audit("database error for " + s->user + ": " + x.what());
      if (!s->conn->Connected()) sessions_.End(s->id);
      return Text(500, "500 Internal Server Error: the database did not answer as expected\n");
    }
  }();
  r.headers.emplace_back("Content-Security-Policy",
                         "default-src 'none'; script-src 'self'; style-src 'self'; img-src "
                         "'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
  r.headers.emplace_back("X-Content-Type-Options", "nosniff");
  r.headers.emplace_back("Referrer-Policy", "same-origin");
  r.headers.emplace_back("Cache-Control", "no-store");
  return r;
}

Response WebApp::LoginPage(Request& req, const std::string& message, int status) {
  // One token per browser: a second page load (another tab, a redirected
  // favicon) must not make the first page's form stale.
  auto it = req.cookies.find(kLoginCookie);
  const std::string token =
      it != req.cookies.end() && it->second.size() == 64 ? it->second : RandomToken();
  std::ostringstream b;
  if (!message.empty()) b << "<p class=\"error\" role=\"alert\">" << Esc(message) << "</p>";
  b << "<form method=\"post\" action=\"/login\" class=\"login\"><input type=\"hidden\" "
       "name=\"csrf\" value=\""
    << token
    << "\"><label>User <input name=\"user\" autocomplete=\"username\" required></label>"
       "<label>Password <input name=\"password\" type=\"password\" "
       "autocomplete=\"current-password\" required></label><button>Log in</button></form>";
  Response r;
  r.status = status;
  r.body = Page("Log in", b.str(), nullptr);
  r.headers.emplace_back("Set-Cookie", Cookie(kLoginCookie, token, false));
  return r;
}

Response WebApp::LoginPost(Request& req) {
  auto it = req.cookies.find(kLoginCookie);
  if (it == req.cookies.end() || !SameToken(req.Form("csrf"), it->second) || !SameOrigin(req)) {
    return Text(403,
                "403 Forbidden: the login form is stale or came from another site; "
                "reload it and try again\n");
  }
  const auto start = std::chrono::steady_clock::now();
  const std::string user = req.Form("user");
  std::string password = req.Form("password");
  std::string key = user;
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::unique_ptr<Connection> conn;
  std::string name;
  std::string why;
  bool admin = false;
  bool ok = false;
  if (!guard_.Allowed(key, req.peer)) {
    why = "too many failed logins for this user or address";
  } else {
    std::lock_guard<std::mutex> l(login_mu_);
    ok = Login(user, password, &conn, &name, &admin, &why);
  }
  ApagaTexto(&password);
  for (auto& v : req.form["password"]) ApagaTexto(&v);
  // Success and refusal take the same time, whoever the user is.
  std::this_thread::sleep_until(start + std::chrono::milliseconds(s_.login_floor_ms));
  if (!ok) {
    if (why != "too many failed logins for this user or address") guard_.Failed(key, req.peer);
    Audit("login refused for <" + user.substr(0, 64) + "> from " + req.peer + ": " + why);
    return LoginPage(req, kGeneric, 403);
  }
  guard_.Succeeded(key);
  auto s = sessions_.Create(name, admin, std::move(conn));
  Audit("login of " + name + (admin ? " (operator)" : "") + " from " + req.peer);
  Response r = Redirect("/");
  r.headers.emplace_back("Set-Cookie", Cookie(kCookie, s->id, false));
  r.headers.emplace_back("Set-Cookie", Cookie(kLoginCookie, "", true));
  return r;
}

Response WebApp::Logout(Request&, Session& s) {
  sessions_.End(s.id);
  Audit("logout of " + s.user);
  Response r = Redirect("/login");
  r.headers.emplace_back("Set-Cookie", Cookie(kCookie, "", true));
  return r;
}

Response WebApp::MyEntries(Request& req, Session& s, bool ops) {
  std::string state = req.Query("state");
  if (state != "waiting" && state != "failed" && state != "importing" && state != "succeeded") {
    state.clear();
  }
  const std::string owner = ops ? req.Query("user") : s.user;
  const std::string name = req.Query("name");
  // The procedure filters by waiting and failed; the other states here.
  std::vector<Entry> all =
      ListEntries(*s.conn, state == "waiting" || state == "failed" ? state : "", owner);
  std::vector<Entry> shown;
  bool live = false;
  for (Entry& e : all) {
    if (!state.empty() && state != "failed" && e.state != state) continue;
    if (!name.empty() && e.filename.find(name) == std::string::npos) continue;
    live = live || e.state == "waiting" || e.state == "importing";
    shown.push_back(std::move(e));
  }
  std::reverse(shown.begin(), shown.end());  // newest first
  std::ostringstream b;
  if (ops) b << RunSummaryHtml();
  b << "<form method=\"get\" action=\"" << (ops ? "/ops" : "/")
    << "\" class=\"filters\"><label>State <select name=\"state\">";
  for (const char* st : {"", "waiting", "importing", "failed", "succeeded"}) {
    b << "<option value=\"" << st << "\"" << (state == st ? " selected" : "") << ">"
      << (*st ? st : "all") << "</option>";
  }
  b << "</select></label> <label>File name <input name=\"name\" value=\"" << Esc(name)
    << "\"></label>";
  if (ops) b << " <label>Owner <input name=\"user\" value=\"" << Esc(owner) << "\"></label>";
  b << " <button>Filter</button></form>";
  if (!ops) {
    b << "<section><h2>Check a file before queueing it</h2><form method=\"post\" "
         "action=\"/check\" enctype=\"multipart/form-data\"><input type=\"hidden\" name=\"csrf\" "
         "value=\""
      << s.csrf << "\"><input type=\"file\" name=\"file\" required data-max=\"" << s_.max_file_bytes
      << "\"> <button>Check</button><p class=\"note\" id=\"size-note\">At most "
      << (s_.max_file_bytes >> 20)
      << " MiB. The file is checked against the database as the service will import it; "
         "nothing is imported until you queue it.</p></form></section>";
  }
  b << "<section><h2>" << (ops ? "Every owner's entries" : "My entries") << " (" << shown.size()
    << ")</h2>" << EntryTable(shown, ops, s.csrf) << "</section>";
  Response r;
  r.body = Page(ops ? "Operators" : "My entries", b.str(), &s, live);
  return r;
}

std::string WebApp::RunSummaryHtml() const {
  std::ostringstream b;
  b << "<section><h2>The last run</h2>";
  struct stat st {};
  if (::stat(s_.run_summary.c_str(), &st) != 0) {
    b << "<p>No run summary at " << Esc(s_.run_summary) << ".</p></section>";
    return b.str();
  }
  std::string json = ReadFile(s_.run_summary);
  if (json.size() > 65536) json.resize(65536);
  std::string failure = "?";
  const size_t f = json.find("\"failure\"");
  if (f != std::string::npos) {
    const size_t q1 = json.find('"', json.find(':', f) + 1);
    const size_t q2 = q1 == std::string::npos ? q1 : json.find('"', q1 + 1);
    if (q2 != std::string::npos) failure = json.substr(q1 + 1, q2 - q1 - 1);
  }
  const long age = static_cast<long>(std::time(nullptr) - st.st_mtime);
  b << "<p class=\"run " << (failure == "none" ? "ok" : "bad") << "\">Failure class: <strong>"
    << Esc(failure) << "</strong>; written " << age / 60 << " min " << age % 60
    << " s ago.</p><details><summary>The summary</summary><pre>" << Esc(json)
    << "</pre></details></section>";
  return b.str();
}

Response WebApp::EntryPage(Request&, Session& s, int32_t id) {
  const std::vector<Entry> list = ListEntries(*s.conn, "", s.admin ? "" : s.user);
  const auto it =
      std::find_if(list.begin(), list.end(), [&](const Entry& e) { return e.id == id; });
  if (it == list.end()) return Text(404, "404 Not Found: no such entry of yours\n");
  const Entry& e = *it;
  const std::vector<LineError> errors = EntryErrors(*s.conn, id);
  std::ostringstream b;
  b << "<dl><dt>File</dt><dd>" << Esc(e.filename) << "</dd><dt>Owner</dt><dd>" << Esc(e.user)
    << "</dd><dt>State and result</dt><dd>" << Esc(StateWords(e)) << "</dd><dt>Why</dt><dd>"
    << Esc(e.why) << "</dd><dt>Tries</dt><dd>" << e.tries << "</dd><dt>Priority</dt><dd>"
    << e.priority << "</dd><dt>Queued (GMT)</dt><dd>" << Esc(e.queued) << "</dd></dl><p>";
  if (e.content) b << "<a href=\"/entries/" << id << "/file\">Download the file</a> ";
  if (!errors.empty()) {
    b << "<a href=\"/entries/" << id << "/errors.txt\">Download all line messages</a>";
  }
  b << "</p>";
  const bool can_cancel = e.state == "waiting" || (s.admin && e.state == "failed");
  for (const char* action : {"cancel", "retry"}) {
    const bool cancel = action[0] == 'c';
    if (cancel ? !can_cancel : !(s.admin && e.state == "failed")) continue;
    b << "<form method=\"post\" action=\"/entries/" << id << "/" << action
      << "\" class=\"inline\"><input type=\"hidden\" name=\"csrf\" value=\"" << s.csrf
      << "\"><button>" << (cancel ? "Cancel this entry" : "Retry this entry")
      << "</button></form> ";
  }
  std::map<std::string, int> per_message;
  for (const LineError& l : errors) ++per_message[l.message];
  b << "<section><h2>Line messages (" << errors.size() << ")</h2>";
  if (!per_message.empty()) {
    b << "<table class=\"counts\"><thead><tr><th>Message</th><th>Lines</th></tr></thead><tbody>";
    for (const auto& [m, n] : per_message) {
      b << "<tr><td>" << Esc(m) << "</td><td>" << n << "</td></tr>";
    }
    b << "</tbody></table><table class=\"errors\"><thead><tr><th>Try</th><th>Line</th>"
         "<th>Message</th><th>Code and reason</th><th>The line</th></tr></thead><tbody>";
    std::map<int32_t, bool> anchored;
    for (size_t i = 0; i < errors.size() && i < kShownErrors; ++i) {
      const LineError& l = errors[i];
      const bool anchor = !anchored[l.line];
      anchored[l.line] = true;
      b << "<tr" << (anchor ? " id=\"L" + Num(l.line) + "\"" : "") << "><td>" << l.attempt
        << "</td><td><a href=\"#L" << l.line << "\">" << l.line << "</a></td><td>" << Esc(l.message)
        << "</td><td>" << (l.code != 0 ? Num(l.code) + " " : "") << Esc(l.reason)
        << "</td><td><code>" << Esc(ToUtf8(l.text)) << "</code></td></tr>";
    }
    b << "</tbody></table>";
    if (errors.size() > kShownErrors) {
      b << "<p>The first " << kShownErrors << " of " << errors.size()
        << " are shown; the download has them all.</p>";
    }
  }
  b << "</section>";
  Response r;
  r.body = Page("Entry " + Num(id), b.str(), &s, e.state == "waiting" || e.state == "importing");
  return r;
}

Response WebApp::EntryFile(Session& s, int32_t id) {
  const std::vector<Entry> list = ListEntries(*s.conn, "", s.admin ? "" : s.user);
  const auto it =
      std::find_if(list.begin(), list.end(), [&](const Entry& e) { return e.id == id; });
  if (it == list.end()) return Text(404, "404 Not Found: no such entry of yours\n");
  Held heavy(heavy_);
  Response r;
  r.content_type = "application/octet-stream";
  r.body = EntryContent(*s.conn, id);
  std::string safe;
  for (const char c : it->filename) {
    safe +=
        std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ? c : '_';
  }
  r.headers.emplace_back("Content-Disposition",
                         "attachment; filename=\"" + (safe.empty() ? "entry" : safe) + "\"");
  return r;
}

Response WebApp::EntryErrorsText(Session& s, int32_t id) {
  std::ostringstream t;
  t << "try\tline\tcode\treason\tmessage\ttext\n";
  for (const LineError& l : EntryErrors(*s.conn, id)) {
    t << l.attempt << '\t' << l.line << '\t' << l.code << '\t' << l.reason << '\t' << l.message
      << '\t' << ToUtf8(l.text) << '\n';
  }
  Response r = Text(200, t.str());
  r.headers.emplace_back("Content-Disposition",
                         "attachment; filename=\"entry-" + Num(id) + "-errors.txt\"");
  return r;
}

Response WebApp::EntryAction(Request& req, Session& s, int32_t id, const std::string& action) {
  if (action == "retry") {
    if (!s.admin) return Text(404, "404 Not Found\n");
    const bool offered = RetryEntry(*s.conn, id);
    Audit("entry " + Num(id) + (offered ? " offered once more" : " retry: still offered") + " by " +
          s.user + " from " + req.peer);
  } else {
    const std::vector<Entry> list = ListEntries(*s.conn, "", s.admin ? "" : s.user);
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const Entry& e) { return e.id == id; });
    if (it == list.end()) return Text(404, "404 Not Found: no such entry of yours\n");
    // An owner withdraws a file while it waits; an operator also a failed one.
    if (it->state != "waiting" && !(s.admin && it->state == "failed")) {
      return Text(409, "The entry is " + it->state + "; only a waiting entry can be cancelled.\n");
    }
    CancelEntry(*s.conn, id);
    Audit("entry " + Num(id) + " of " + it->user + " cancelled by " + s.user + " from " + req.peer);
  }
  return Redirect(action == "retry" ? "/entries/" + Num(id) : s.admin ? "/ops" : "/");
}

Response WebApp::OpsBulk(Request& req, Session& s) {
  const std::string action = req.Form("action");
  if (action != "retry" && action != "cancel") return Text(400, "400 Bad Request\n");
  std::ostringstream b;
  b << "<ul>";
  for (const std::string& v : req.form["id"]) {
    const int32_t id = EntryIdOf(v);
    if (id <= 0) continue;
    try {
      if (action == "retry") {
        const bool offered = RetryEntry(*s.conn, id);
        Audit("entry " + Num(id) + (offered ? " offered once more" : " retry: still offered") +
              " by " + s.user + " from " + req.peer);
        b << "<li>Entry " << id << (offered ? " offered once more" : " is still offered");
      } else {
        CancelEntry(*s.conn, id);
        Audit("entry " + Num(id) + " cancelled by " + s.user + " from " + req.peer);
        b << "<li>Entry " << id << " cancelled";
      }
    } catch (const Refused& x) {
      b << "<li>Entry " << id << ": " << Esc(ErrorMessage(x));
    }
    b << "</li>";
  }
  b << "</ul><p><a href=\"/ops\">Back to the operators' page</a></p>";
  Response r;
  r.body = Page(action == "retry" ? "Retried" : "Cancelled", b.str(), &s);
  return r;
}

Response WebApp::Check(Request& req, Session& s) {
  Upload& u = req.upload;
  if (u.path.empty()) return Text(400, "400 Bad Request: no file was sent\n");
  std::string shown = u.name;
  if (const size_t slash = shown.find_last_of("/\\"); slash != std::string::npos) {
    shown = shown.substr(slash + 1);
  }
  if (shown.empty()) shown = "upload.txt";
  Held heavy(heavy_);
  const CheckResult c = RunCheck(s_.zuninput, s_.switches, u.path, s.user, s_.check_timeout_s);
  const std::string content = ReadFile(u.path);
  std::lock_guard<std::mutex> l(s.mu);
  // Kept for "Queue" under its hash: what is queued is what was checked.
  const std::string kept = s_.upload_dir + "/checked-" + s.id.substr(0, 16) + "-" + u.sha256;
  if (::rename(u.path.c_str(), kept.c_str()) != 0) return Text(500, "500: cannot keep the file\n");
  u.path.clear();
  auto old = s.checked.find(u.sha256);
  if (old == s.checked.end() && s.checked.size() >= 8) {
    ::unlink(s.checked.begin()->second.path.c_str());
    s.checked.erase(s.checked.begin());
  }
  s.checked[u.sha256] = CheckedFile{kept, shown};
  Audit("check of <" + shown + "> (" + Num(static_cast<int64_t>(u.size)) + " bytes, sha256 " +
        u.sha256 + ") for " + s.user + ": " + (c.ran ? "code " + Num(c.code) : c.why));

  std::ostringstream b;
  b << "<p>" << Esc(shown) << ": " << u.size << " bytes, SHA-256 <code>" << u.sha256
    << "</code></p>";
  if (LooksLikeUtf8(content)) {
    b << "<p class=\"warn\">This file looks like UTF-8. The service reads files as Windows-1252: "
         "accented letters would be stored wrongly. Save it as Windows-1252 (ANSI) first.</p>";
  }
  if (!c.ran) {
    b << "<p class=\"error\">The check did not finish: " << Esc(c.why) << "</p>";
  } else if (c.code == 0) {
    b << "<p class=\"ok\">Every line passed the check: the file would be imported whole.</p>";
  } else {
    b << "<p class=\"error\">The check failed with code " << c.code << ": "
      << Esc(MotivoDoCodigo(c.code)) << "</p>";
  }
  if (!c.summary.empty()) b << "<p>" << Esc(c.summary) << "</p>";
  if (!c.messages.empty()) {
    const std::vector<std::string> lines = Lines(content);
    std::map<std::string, int> per_message;
    for (const auto& [n, m] : c.messages) ++per_message[m];
    b << "<table class=\"counts\"><thead><tr><th>Message</th><th>Lines</th></tr></thead><tbody>";
    for (const auto& [m, n] : per_message) {
      b << "<tr><td>" << Esc(ToUtf8(m)) << "</td><td>" << n << "</td></tr>";
    }
    b << "</tbody></table><table class=\"errors\"><thead><tr><th>Line</th><th>Message</th>"
         "<th>The line</th></tr></thead><tbody>";
    for (size_t i = 0; i < c.messages.size() && i < kShownErrors; ++i) {
      const auto& [n, m] = c.messages[i];
      const std::string text =
          n >= 1 && static_cast<size_t>(n) <= lines.size() ? lines[static_cast<size_t>(n) - 1] : "";
      b << "<tr id=\"L" << n << "\"><td><a href=\"#L" << n << "\">" << n << "</a></td><td>"
        << Esc(ToUtf8(m)) << "</td><td><code>" << Esc(ToUtf8(text)) << "</code></td></tr>";
    }
    b << "</tbody></table>";
    if (c.messages.size() > kShownErrors) {
      b << "<p>The first " << kShownErrors << " of " << c.messages.size() << " are shown.</p>";
    }
  }
  const int max_priority = s.admin ? kMaxPrioridadeDeNoite : kMaxPrioridadeDeDia;
  b << "<section><h2>Queue this file</h2><form method=\"post\" action=\"/queue\">"
       "<input type=\"hidden\" name=\"csrf\" value=\""
    << s.csrf << "\"><input type=\"hidden\" name=\"sha256\" value=\"" << u.sha256
    << "\"><label>Name <input name=\"name\" value=\"" << Esc(shown)
    << "\" required maxlength=\"200\"></label> <label>Priority <input name=\"priority\" "
       "type=\"number\" min=\"0\" max=\""
    << max_priority << "\" value=\"" << kMaxPrioridadeDeDia << "\"></label> <button>Queue</button>"
    << (c.ran && c.code == 0 ? ""
                             : "<p class=\"note\">The check failed: queued as it is, the "
                               "file will fail the same way unless the data changes.</p>")
    << "</form></section>";
  Response r;
  r.body = Page("Check result", b.str(), &s);
  return r;
}

Response WebApp::Queue(Request& req, Session& s) {
  const std::string sha = req.Form("sha256");
  auto it = s.checked.find(sha);
  if (it == s.checked.end()) {
    return Text(409, "No checked file has this hash in your session: check the file first.\n");
  }
  const std::string name = req.Form("name");
  for (const unsigned char c : name) {
    if (c < 32 || c == 127)
      return Text(400, "400 Bad Request: the name holds control characters\n");
  }
  if (name.empty() || name.size() > 200) return Text(400, "400 Bad Request: a name is needed\n");
  const int max_priority = s.admin ? kMaxPrioridadeDeNoite : kMaxPrioridadeDeDia;
  const std::string p = req.Form("priority");
  int32_t priority = p.empty() ? kMaxPrioridadeDeDia : EntryIdOf(p);
  if (!p.empty() && priority == 0 && p != "0") priority = -1;
  if (priority < 0 || priority > max_priority) {
    return Text(400, "400 Bad Request: the priority must lie in 0.." + Num(max_priority) + "\n");
  }
  Held heavy(heavy_);
  const std::string content = ReadFile(it->second.path);
  if (Sha256Hex(content) != sha) return Text(500, "500: the checked file changed\n");
  const int32_t id = AddEntry(*s.conn, s.user, priority, name, content);
  ::unlink(it->second.path.c_str());
  s.checked.erase(it);
  Audit("entry " + Num(id) + " queued by " + s.user + " (sha256 " + sha + ")");
  return Redirect("/entries/" + Num(id));
}

}  // namespace zun::web
