// zuninput-web's pages: the login, an owner's entries, one entry with its
// line messages and its file, the check of a file before it is queued and
// the queueing of exactly the checked bytes, and the operators' page.
// Every page is rendered here as HTML, every text from the database or a
// file HTML-escaped (Windows-1252 decoded first); every POST needs the
// session's CSRF token and a same-origin Origin (or Referer).
//
// Thread-safety: Handle is called from many connection threads at once.
#pragma once

#include <mutex>
#include <semaphore>
#include <string>
#include <vector>

#include "web/http_server.h"
#include "web/sessions.h"

namespace zun::web {

struct AppSettings {
  std::string zuninput;               // the service's program, for the checks
  std::vector<std::string> switches;  // the service's switches for the checks
  std::string upload_dir;             // private folder of uploads and checked files
  std::string run_summary;            // the service's zuninput-run.json
  uint64_t max_file_bytes = 64ull << 20;
  int check_timeout_s = 300;
  int login_floor_ms = 300;  // every login answer takes at least this long
};

class WebApp {
 public:
  explicit WebApp(AppSettings s) : s_(std::move(s)) {}
  Response Handle(Request& req);

 private:
  Response LoginPage(Request& req, const std::string& message, int status);
  Response LoginPost(Request& req);
  Response Logout(Request& req, Session& s);
  Response MyEntries(Request& req, Session& s, bool ops);
  Response EntryPage(Request& req, Session& s, int32_t id);
  Response EntryFile(Session& s, int32_t id);
  Response EntryErrorsText(Session& s, int32_t id);
  Response EntryAction(Request& req, Session& s, int32_t id, const std::string& action);
  Response OpsBulk(Request& req, Session& s);
  Response Check(Request& req, Session& s);
  Response Queue(Request& req, Session& s);
  bool SameOrigin(const Request& req) const;
  std::string Page(const std::string& title, const std::string& body, const Session* s,
                   bool refresh = false) const;
  std::string RunSummaryHtml() const;

  AppSettings s_;
  Sessions sessions_;
  LoginGuard guard_;
  std::mutex login_mu_;  // the login inputs are read one login at a time
  std::mutex audit_mu_;
  // Checks, queueing and downloads hold a whole file (up to 64 MiB, some
  // copies of it) in memory: kHeavy at a time, the others wait.
  static constexpr std::ptrdiff_t kHeavy = 2;
  std::counting_semaphore<kHeavy> heavy_{kHeavy};
  void Audit(const std::string& line);
};

// Escapes text for HTML (& < > " '); control characters other than tab
// become U+FFFD. Precondition: text is UTF-8.
std::string Esc(const std::string& text);

}  // namespace zun::web
