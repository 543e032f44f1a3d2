// The TDS test server as a child process for tests and benchmarks: started
// on a free port of 127.0.0.1, stopped with SIGTERM when the object goes.
//
// Thread-safety: one thread owns an object.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace zun::testing {

// FreeTDS's ODBC driver as Debian's tdsodbc installs it: named by its path,
// so no odbcinst.ini entry is needed.
inline constexpr char kFreeTdsDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

class TdsServerProcess {
 public:
  // Serves db with the server's extra options (fault switches, --log ...).
  explicit TdsServerProcess(const std::string& db, const std::vector<std::string>& options = {}) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      std::vector<std::string> args = {ZUN_TEST_BINARY_DIR "/tds_test_server", "--db", db};
      args.insert(args.end(), options.begin(), options.end());
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    FILE* f = ::fdopen(out[0], "r");
    char line[128] = {};
    if (std::fgets(line, sizeof line, f) == nullptr ||
        std::sscanf(line, "listening on 127.0.0.1:%d", &port_) != 1) {
      std::fclose(f);
      throw std::runtime_error("the TDS test server did not start");
    }
    std::fclose(f);
  }
  ~TdsServerProcess() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  TdsServerProcess(const TdsServerProcess&) = delete;
  TdsServerProcess& operator=(const TdsServerProcess&) = delete;

  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace zun::testing
