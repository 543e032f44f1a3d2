// zuninput-web over HTTP, as a child process on a scratch database: the
// security list (passwords nowhere, tokens on every POST, the throttled
// login, the upload limit, bytes kept as sent, another owner's entries
// hidden) and the check, which must answer as the service's own check,
// on the embedded database and over FreeTDS against the TDS test server.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <regex>

#include "../service/queue_db.h"
#include "web/http_server.h"
#include "web/queue_access.h"
#include "web/web_app.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
const char* const kPasswords[] = {"svc-Pw-93k", "ana-Pw-51x", "bob-Pw-77z"};

class Web : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);  // a refused body closes the connection under the client
    dir_ = ScratchDir("zunweb");
    db_ = (dir_ / "ZunInput.db").string();
    NewQueueDatabase(db_, {std::begin(kPasswords), std::end(kPasswords)});
    AddExampleRows(db_);
    switches_ = {"-provider:SQLite"};
    if (GetParam()) {
      tds_ = std::make_unique<testing::TdsServerProcess>(db_);
      switches_ = OverTds(tds_->port());
    }
    switches_.push_back("-user:zunsvc");
    pid_ = fork();
    if (pid_ == 0) {
      fs::current_path(dir_);
      freopen("web.out", "w", stdout);
      freopen("web.err", "w", stderr);
      setenv("ZUNINPUT_PASSWORD", kPasswords[0], 1);
      std::vector<std::string> args = {ZUN_TEST_BINARY_DIR "/zuninput-web", "--listen",
                                       "127.0.0.1:0"};
      args.insert(args.end(), switches_.begin(), switches_.end());
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    for (int i = 0; i < 500 && port_ == 0; ++i) {
      usleep(10000);
      std::sscanf(ReadFile(dir_ / "web.out").c_str(), "listening on http://127.0.0.1:%d/", &port_);
    }
    ASSERT_NE(port_, 0) << ReadFile(dir_ / "web.err");
    http_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    http_->set_read_timeout(120, 0);
    origin_ = "http://127.0.0.1:" + std::to_string(port_);
  }
  void TearDown() override {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    tds_.reset();
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // Logs in; the session cookie ("" when refused).
  std::string Login(const std::string& user, const std::string& password) {
    auto page = http_->Get("/login");
    const std::string cookie = CookieOf(page->get_header_value("Set-Cookie"));
    auto r = http_->Post(
        "/login", {{"Cookie", cookie}, {"Origin", origin_}},
        httplib::Params{{"csrf", Token(page->body)}, {"user", user}, {"password", password}});
    html_ += r->body;
    return r->status == 303 ? CookieOf(r->get_header_value("Set-Cookie", 0)) : "";
  }
  static std::string CookieOf(const std::string& set_cookie) {
    return set_cookie.substr(0, set_cookie.find(';'));
  }
  static std::string Token(const std::string& html) {
    std::smatch m;
    std::regex_search(html, m, std::regex("name=\"csrf\" value=\"([0-9a-f]{64})\""));
    return m.size() > 1 ? m[1].str() : "";
  }
  httplib::Result Get(const std::string& cookie, const std::string& path) {
    auto r = http_->Get(path, {{"Cookie", cookie}});
    html_ += r->body;
    return r;
  }
  httplib::Result Post(const std::string& cookie, const std::string& path, httplib::Params form,
                       bool with_token = true) {
    if (with_token) form.emplace("csrf", Token(Get(cookie, "/")->body));
    return http_->Post(path, {{"Cookie", cookie}, {"Origin", origin_}}, form);
  }
  // Uploads bytes to /check: the answer.
  httplib::Result Check(const std::string& cookie, const std::string& bytes,
                        const std::string& name = "f.txt") {
    httplib::MultipartFormDataItems items = {{"csrf", Token(Get(cookie, "/")->body), "", ""},
                                             {"file", bytes, name, "text/plain"}};
    auto r = http_->Post("/check", {{"Cookie", cookie}, {"Origin", origin_}}, items);
    html_ += r->body;
    return r;
  }
  // Checks and queues bytes as the cookie's user: the entry's id.
  int Queue(const std::string& cookie, const std::string& bytes) {
    Check(cookie, bytes);
    auto r = Post(cookie, "/queue", {{"sha256", web::Sha256Hex(bytes)}, {"name", "f.txt"}});
    EXPECT_EQ(r->status, 303) << r->body;
    return std::atoi(r->get_header_value("Location").substr(9).c_str());
  }
  // The service's own check of file as ana.lima, run here: its code and
  // each "line:N message" it prints, as the page must show it (UTF-8,
  // escaped for HTML).
  struct Checked {
    int code = -1;
    std::vector<std::pair<int32_t, std::string>> messages;
  };
  Checked ServiceCheck(const fs::path& file) {
    std::string cmd = "cd '" + dir_.string() + "' && ZUNINPUT_PASSWORD=" + kPasswords[0] +
                      " '" ZUN_TEST_BINARY_DIR "/zuninput' -CheckFile:'" + file.string() +
                      "' -CheckAs:ana.lima -CheckAll";
    for (const std::string& s : switches_) cmd += " '" + s + "'";
    Checked c;
    std::istringstream lines(RunShell(cmd + " 2>/dev/null").out);
    for (std::string line; std::getline(lines, line);) {
      std::smatch m;
      if (std::regex_match(line, m, std::regex("line:(\\d+) (.*)"))) {
        c.messages.emplace_back(std::stoi(m[1].str()), web::Esc(web::ToUtf8(m[2].str())));
      }
      std::sscanf(line.c_str(), "exit code:%d", &c.code);
    }
    return c;
  }
  // Sends raw bytes to the server: what it answers before it closes.
  std::string Raw(const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{AF_INET, htons(static_cast<uint16_t>(port_)), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    (void)!write(fd, bytes.data(), bytes.size());
    std::string answer;
    char buf[512];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
      answer.append(buf, static_cast<size_t>(n));
    close(fd);
    return answer;
  }

  fs::path dir_;
  std::string db_;
  std::vector<std::string> switches_;
  std::unique_ptr<testing::TdsServerProcess> tds_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::unique_ptr<httplib::Client> http_;
  std::string origin_;
  std::string html_;  // every page the test read
};

// The security list, and no password of the test anywhere it can be read.
TEST_P(Web, KeepsItsSecurityPromises) {
  const std::string ana = Login("ana.lima", kPasswords[1]);
  const std::string bob = Login("bob", kPasswords[2]);
  ASSERT_FALSE(ana.empty());
  ASSERT_FALSE(bob.empty());
  EXPECT_EQ(Login("", kPasswords[1]), "");
  EXPECT_EQ(Login("zunsvc", ""), "");
  EXPECT_EQ(Login("x\nzuninput-web: login of zunsvc (operator)", "?"), "");

  // Every byte value, stored and given back unchanged.
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  const int mine = Queue(ana, all);
  EXPECT_EQ(Get(ana, "/entries/" + std::to_string(mine) + "/file")->body, all);

  // Another owner's entry does not exist for ana, whatever she asks.
  const std::string theirs = "/entries/" + std::to_string(Queue(bob, "# bob's\n"));
  for (const std::string& p : {theirs, theirs + "/file", theirs + "/errors.txt"}) {
    EXPECT_EQ(Get(ana, p)->status, 404) << p;
  }
  EXPECT_EQ(Post(ana, theirs + "/cancel", {})->status, 404);
  EXPECT_EQ(Get(bob, theirs)->status, 200);

  // No POST without the session's token, nor from another origin.
  for (const char* p : {"/check", "/queue", "/entries/1/cancel", "/entries/1/retry", "/ops/bulk",
                        "/logout", "/login"}) {
    EXPECT_EQ(Post(ana, p, {{"csrf", "0"}}, false)->status, 403) << p;
    auto r = http_->Post(p, {{"Cookie", ana}, {"Origin", "http://evil.example"}},
                         httplib::Params{{"csrf", Token(Get(ana, "/")->body)}});
    EXPECT_EQ(r->status, 403) << p;
  }

  if (!GetParam()) {
    // 64 MiB is taken and kept byte for byte; one byte more is refused.
    std::string big(64u << 20, '#');
    for (size_t i = 79; i < big.size(); i += 80) big[i] = '\n';
    const int id = Queue(ana, big);
    EXPECT_EQ(Get(ana, "/entries/" + std::to_string(id) + "/file")->body, big);
    big += '\n';
    EXPECT_EQ(Check(ana, big)->status, 413);
    // A chunked body without a length is refused before it is read; a
    // header without a line end is not read beyond the connection's limit.
    EXPECT_EQ(Raw("POST /check HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + ana +
                  "\r\nTransfer-Encoding: chunked\r\n\r\n")
                  .rfind("HTTP/1.1 411", 0),
              0u);
    const std::string endless = Raw("GET / HTTP/1.1\r\nX: " + std::string(1 << 20, 'a'));
    EXPECT_TRUE(endless.empty() || endless.rfind("HTTP/1.1 4", 0) == 0) << endless;
  }

  // Five failed logins: the sixth is refused with the right password too,
  // with the one message; others still log in.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Login("bob", "wrong"), "");
  EXPECT_EQ(Login("bob", kPasswords[2]), "");
  EXPECT_NE(html_.find("too many attempts"), std::string::npos);
  EXPECT_NE(Login("ana.lima", kPasswords[1]), "");

  EXPECT_EQ(ReadFile(dir_ / "web.err").find("\nzuninput-web: login of zunsvc"), std::string::npos);
  for (const std::string& where : {html_, ReadFile(dir_ / "web.out"), ReadFile(dir_ / "web.err"),
                                   ReadFile(dir_ / "zuninput.log")}) {
    for (const char* pw : kPasswords) EXPECT_EQ(where.find(pw), std::string::npos) << pw;
  }
}

// The page's check is the service's check, on the examples and on files
// with faults; a queued file ends as the run leaves it, with its messages.
TEST_P(Web, ChecksAsTheServiceChecksAndShowsTheRun) {
  const std::string ana = Login("ana.lima", kPasswords[1]);
  std::vector<fs::path> files;
  for (const auto& f : fs::directory_iterator(fs::path(ZUN_TEST_SOURCE_DIR) / "examples")) {
    if (f.path().extension() == ".txt") files.push_back(f.path());
  }
  std::sort(files.begin(), files.end());
  // Faults: exchanges unknown, a broken date, a line of bytes in Windows-1252.
  std::string bad = ReadFile(files.front().parent_path() / "quotes_bulletin.txt");
  int n = 0;
  for (size_t at = 0; (at = bad.find("2024-07-03", at)) != std::string::npos; at += 10) {
    if (++n % 4 == 0) bad.replace(at, 10, n % 8 == 0 ? "2024-13-03" : "2024-07-3X");
  }
  std::ofstream(dir_ / "mutated.txt", std::ios::binary)
      << bad << "*QT PETR4 B\xd3VESPA 2026-12-04 1 1 1 1\n";
  files.push_back(dir_ / "mutated.txt");
  for (const fs::path& f : files) {
    const Checked cli = ServiceCheck(f);
    ASSERT_GE(cli.code, 0) << f;
    const std::string page = Check(ana, ReadFile(f), f.filename().string())->body;
    std::smatch m;
    const int code = std::regex_search(page, m, std::regex("failed with code (\\d+)"))
                         ? std::stoi(m[1].str())
                     : page.find("Every line passed") != std::string::npos ? 0
                                                                           : -1;
    EXPECT_EQ(code, cli.code) << f;
    std::vector<std::pair<int32_t, std::string>> shown;
    const std::regex row("<tr id=\"L(\\d+)\"><td><a [^>]*>\\d+</a></td><td>([^<]*)</td>");
    for (std::sregex_iterator it(page.begin(), page.end(), row), end; it != end; ++it) {
      shown.emplace_back(std::stoi((*it)[1].str()), (*it)[2].str());
    }
    EXPECT_EQ(shown, cli.messages) << f;
    EXPECT_EQ(page.find("looks like UTF-8"), std::string::npos) << f;
  }
  EXPECT_GE(ServiceCheck(dir_ / "mutated.txt").messages.size(), 3u);
  EXPECT_NE(Check(ana, "# S\xc3\xa3o Paulo\n")->body.find("looks like UTF-8"), std::string::npos);

  // Queued, run once: the entry shows the run's outcome and every message.
  const int id = Queue(ana, ReadFile(dir_ / "mutated.txt"));
  std::string run = "cd '" + dir_.string() + "' && ZUNINPUT_PASSWORD=" + kPasswords[0] +
                    " '" ZUN_TEST_BINARY_DIR "/zuninput'";
  for (const std::string& s : switches_) run += " '" + s + "'";
  std::system((run + " -MailGateway:http://127.0.0.1:9/ -PathReqGBol:" + dir_.string() +
               "/ >/dev/null 2>&1")
                  .c_str());
  const std::string entry = Get(ana, "/entries/" + std::to_string(id))->body;
  EXPECT_NE(entry.find("failed"), std::string::npos) << entry;
  EXPECT_NE(entry.find("B\xc3\x93VESPA"), std::string::npos);  // decoded, not raw bytes
  const std::string errors = Get(ana, "/entries/" + std::to_string(id) + "/errors.txt")->body;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n') - 1,
            static_cast<long>(ServiceCheck(dir_ / "mutated.txt").messages.size()));
}

INSTANTIATE_TEST_SUITE_P(Providers, Web, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "OverTds" : "Embedded"; });

}  // namespace
}  // namespace zun
