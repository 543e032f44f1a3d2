// zuninput-web: the web pages of the import-file queue for the files'
// owners and for operators, on 127.0.0.1 (TLS belongs to a reverse proxy).
// The database is chosen as the service chooses it: the embedded file in
// the working directory, or the configuration file's SQL Server; checks run
// as children of the service's program under the service's login.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "embedded/reference_db.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "service/config_file.h"
#include "web/http_server.h"
#include "web/web_app.h"

namespace {

constexpr char kUsage[] =
    "usage: zuninput-web [--config PATH] [--listen 127.0.0.1:PORT] [-Switch:value ...]\n"
    "  --config PATH    the service's configuration file (its database, login user and\n"
    "                   password file); without it the service's own file, if any\n"
    "  --listen A:PORT  the address to serve on (default 127.0.0.1:8080; PORT 0 picks a\n"
    "                   free one); put TLS in front of it with a reverse proxy\n"
    "  -Switch:value    a switch of zuninput (-provider:SQLite, -user:NAME,\n"
    "                   -PasswordFile:PATH, ...), used for the checks' login\n"
    "Prints \"listening on http://ADDRESS:PORT/\" when ready; stops on SIGTERM or SIGINT.\n";

int Fail(const std::string& why) {
  std::cerr << "zuninput-web: " << why << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  std::string config;
  std::string listen = "127.0.0.1:8080";
  std::vector<std::string> switches;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if ((a == "--config" || a == "--listen") && i + 1 < argc) {
      (a == "--config" ? config : listen) = argv[++i];
    } else if (a.size() > 1 && a[0] == '-' && a[1] != '-') {
      switches.push_back(a);
    } else {
      return Fail("unknown argument " + a);
    }
  }
  const size_t colon = listen.rfind(':');
  const std::string port_text = colon == std::string::npos ? "" : listen.substr(colon + 1);
  if (port_text.empty() || port_text.size() > 5 ||
      port_text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(port_text) > 65535) {
    return Fail("--listen takes ADDRESS:PORT, not " + listen);
  }
  if (!config.empty()) switches.push_back("-Config:" + config);

  // The switches and the configuration file, as the service reads them.
  std::vector<std::string> args = {"zuninput-web"};
  args.insert(args.end(), switches.begin(), switches.end());
  zun::SetProgramArgs(args);
  if (zun::CarregaConfiguracao(zun::CaminhoDaConfiguracao(), zun::TemSwitch("Config")) != 0) {
    std::string why;
    (void)zun::ErroDaConfiguracao(&why);  // the code is the one just returned
    return Fail("the configuration file is refused: " + why);
  }
  zun::SetProgramArgs(zun::ArgsComConfiguracao(args));
  // Nothing of a login reaches a log of this process; the audit lines go
  // to standard error (the journal).
  zun::SetLogFileName("/dev/null");
  zun::RegisterDatabaseProcedures();

  zun::web::AppSettings s;
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  s.zuninput = (self.parent_path() / "zuninput").string();
  s.switches = switches;
  std::string summary;
  s.run_summary =
      zun::LeSwitch("RunSummary", &summary) && !summary.empty() ? summary : "zuninput-run.json";
  const char* tmp = std::getenv("TMPDIR");
  std::string dir =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zuninput-web-XXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) return Fail("cannot make a private folder for uploads");
  s.upload_dir = dir;

  zun::web::Limits limits;
  limits.max_file_bytes = s.max_file_bytes;
  limits.upload_dir = dir;
  zun::web::WebApp app(s);
  zun::web::HttpServer server([&app](zun::web::Request& r) { return app.Handle(r); }, limits);

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // the server's threads inherit the mask

  const std::string why =
      server.Start(listen.substr(0, colon), static_cast<uint16_t>(std::stoi(port_text)));
  if (!why.empty()) {
    std::filesystem::remove_all(dir, ec);
    std::cerr << "zuninput-web: " << why << "\n";
    return 1;
  }
  std::cout << "listening on http://" << listen.substr(0, colon) << ":" << server.Port() << "/"
            << std::endl;
  int sig = 0;
  sigwait(&stop, &sig);
  server.Stop();
  std::filesystem::remove_all(dir, ec);
  return 0;
}
