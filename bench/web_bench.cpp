// zuninput-web on a scratch embedded database: time to first byte of "my
// entries" with 1,000 entries of the owner (p50 and p95 of 200 requests;
// goal p95 < 100 ms), and the check of a 50,000-line file through the page
// against the same check run by zuninput directly (the page adds the
// upload and the child's start). Figures, never a pass or fail.
#include <arpa/inet.h>
#include <httplib.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "embedded/reference_db.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Sql(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  sqlite3_open(db.c_str(), &h);
  char* err = nullptr;
  if (sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::cerr << "SQL: " << err << "\n";
  }
  sqlite3_close(h);
}

// Milliseconds from sending a GET of path to the first byte of the answer.
double FirstByte(int port, const std::string& path, const std::string& cookie) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  const std::string req = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + cookie +
                          "\r\nConnection: close\r\n\r\n";
  const auto t0 = Clock::now();
  (void)!write(fd, req.data(), req.size());
  char c;
  (void)!read(fd, &c, 1);
  const double ms = Ms(Clock::now() - t0);
  char buf[65536];
  while (read(fd, buf, sizeof buf) > 0) {
  }
  close(fd);
  return ms;
}

}  // namespace

int main() {
  signal(SIGPIPE, SIG_IGN);
  const fs::path dir = fs::temp_directory_path() / ("zunwebbench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string db = (dir / "ZunInput.db").string();
  zun::InitDatabase(db);
  zun::AddUser(db, {"zunsvc", "bench-svc", "", true, 0, 0, 0});
  zun::AddUser(db, {"ana.lima", "bench-ana", "", false, 0, 0, 0});
  std::ifstream series(ZUN_BENCH_SOURCE_DIR "/examples/quote_series.sql");
  for (std::string l; std::getline(series, l);) Sql(db, l);
  Sql(db,
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
      "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo, importtries, result) "
      "SELECT (SELECT uid FROM users WHERE name = 'ana.lima'), 5, datetime('now'), "
      "'file' || i || '.txt', 'x', i % 3, CASE i % 3 WHEN 0 THEN NULL ELSE 3952 END FROM n");
  std::string lines;
  for (int i = 0; i < 50000; ++i) {
    lines += "*QT ZDEM" + std::to_string(i % 25 + 1) + " 1 2024-07-03 " +
             std::to_string(10 + i % 50) + ".5\n";
  }
  std::ofstream(dir / "50000.txt") << lines;

  const pid_t pid = fork();
  if (pid == 0) {
    fs::current_path(dir);
    freopen("web.out", "w", stdout);
    freopen("web.err", "w", stderr);
    setenv("ZUNINPUT_PASSWORD", "bench-svc", 1);
    execl(ZUN_BENCH_BUILD_DIR "/zuninput-web", "zuninput-web", "--listen", "127.0.0.1:0",
          "-provider:SQLite", "-user:zunsvc", nullptr);
    _exit(127);
  }
  int port = 0;
  for (int i = 0; i < 500 && port == 0; ++i) {
    usleep(10000);
    std::ifstream out(dir / "web.out");
    std::string l;
    std::getline(out, l);
    std::sscanf(l.c_str(), "listening on http://127.0.0.1:%d/", &port);
  }
  httplib::Client http("127.0.0.1", port);
  http.set_read_timeout(300, 0);
  const std::string origin = "http://127.0.0.1:" + std::to_string(port);
  auto page = http.Get("/login");
  std::string cookie = page->get_header_value("Set-Cookie");
  cookie = cookie.substr(0, cookie.find(';'));
  std::smatch m;
  std::regex_search(page->body, m, std::regex("name=\"csrf\" value=\"([0-9a-f]{64})\""));
  auto login = http.Post(
      "/login", {{"Cookie", cookie}, {"Origin", origin}},
      httplib::Params{{"csrf", m[1].str()}, {"user", "ana.lima"}, {"password", "bench-ana"}});
  cookie = login->get_header_value("Set-Cookie", 0);
  cookie = cookie.substr(0, cookie.find(';'));

  std::vector<double> ttfb;
  for (int i = 0; i < 200; ++i) ttfb.push_back(FirstByte(port, "/", cookie));
  std::sort(ttfb.begin(), ttfb.end());
  std::printf(
      "my entries, 1,000 entries: time to first byte p50 %.1f ms, p95 %.1f ms (goal "
      "p95 < 100 ms)\n",
      ttfb[100], ttfb[190]);

  auto home = http.Get("/", {{"Cookie", cookie}});
  std::regex_search(home->body, m, std::regex("name=\"csrf\" value=\"([0-9a-f]{64})\""));
  const std::string csrf = m[1].str();
  auto t0 = Clock::now();
  auto check = http.Post(
      "/check", {{"Cookie", cookie}, {"Origin", origin}},
      httplib::MultipartFormDataItems{{"csrf", csrf, "", ""}, {"file", lines, "50000.txt", ""}});
  const double web_ms = Ms(Clock::now() - t0);
  t0 = Clock::now();
  const std::string cli = "cd '" + dir.string() + "' && ZUNINPUT_PASSWORD=bench-svc '" +
                          ZUN_BENCH_BUILD_DIR "/zuninput' -provider:SQLite -user:zunsvc " +
                          "-CheckFile:50000.txt -CheckAs:ana.lima -CheckAll >/dev/null 2>&1";
  const int rc = std::system(cli.c_str());
  const double cli_ms = Ms(Clock::now() - t0);
  std::printf(
      "check of 50,000 lines: %.0f ms through the page (status %d, %s), %.0f ms by "
      "zuninput -CheckFile (status %d): ratio %.2f (goal: within 5 s)\n",
      web_ms, check->status,
      check->body.find("Every line passed") != std::string::npos ? "passed" : "refused", cli_ms,
      WEXITSTATUS(rc), web_ms / cli_ms);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  fs::remove_all(dir);
  return 0;
}
