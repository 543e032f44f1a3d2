#include "web/check_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace zun::web {

void ReadCheckOutput(const std::string& out, CheckResult* r) {
  std::istringstream in(out);
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (l.rfind("line:", 0) == 0) {
      char* end = nullptr;
      const long n = std::strtol(l.c_str() + 5, &end, 10);
      if (end != l.c_str() + 5 && *end == ' ') {
        r->messages.emplace_back(static_cast<int32_t>(n), std::string(end + 1));
      }
    } else if (l.rfind("failed lines:", 0) == 0) {
      r->summary = l;
    } else if (l.rfind("exit code:", 0) == 0) {
      r->code = static_cast<int32_t>(std::strtol(l.c_str() + 10, nullptr, 10));
      r->ran = true;
    }
  }
}

CheckResult RunCheck(const std::string& program, const std::vector<std::string>& switches,
                     const std::string& file, const std::string& owner, int timeout_s) {
  CheckResult r;
  std::vector<std::string> args = {program, "-CheckFile:" + file, "-CheckAs:" + owner, "-CheckAll"};
  args.insert(args.end(), switches.begin(), switches.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    r.why = std::string("no pipe: ") + std::strerror(errno);
    return r;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 2);
    ::setpgid(0, 0);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  ::close(out[1]);
  if (pid < 0) {
    ::close(out[0]);
    r.why = std::string("cannot start the check: ") + std::strerror(errno);
    return r;
  }
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  bool timed_out = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    char buf[65536];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    if (text.size() < (32u << 20)) text.append(buf, static_cast<size_t>(n));
  }
  ::close(out[0]);
  if (timed_out) ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ReadCheckOutput(text, &r);
  if (timed_out) {
    r.ran = false;
    r.why = "the check took longer than " + std::to_string(timeout_s) + " s and was stopped";
  } else if (WIFSIGNALED(status)) {
    r.ran = false;
    r.why = "the check stopped with signal " + std::to_string(WTERMSIG(status)) + " (" +
            strsignal(WTERMSIG(status)) + ")";
  } else if (!r.ran) {
    r.why = "the check ended with status " + std::to_string(WEXITSTATUS(status)) +
            " without its result";
  }
  return r;
}

}  // namespace zun::web
