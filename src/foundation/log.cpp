#include "foundation/log.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

namespace zun {
namespace {

constexpr size_t kRecentLines = 300;
constexpr int kSharingViolation = 32;

struct LogState {
  std::mutex mutex;  // "SeqAcessoLoga"
  std::deque<std::string> recent;
  std::unique_ptr<std::vector<std::string>> kept;  // lines waiting for the file
  bool busy = false;
  bool short_wait = false;
  bool verbose = false;
  std::string file_name = "zuninput.log";
  int long_wait_ms = 500;
  int short_wait_ms = 25;
};

LogState& State() {
  static LogState* state = new LogState;  // never destroyed: lines may come during exit
  return *state;
}

std::string Prefix() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d-%02d:%02d:%02d %08X/%08X %2d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<unsigned>(getpid()), static_cast<unsigned>(syscall(SYS_gettid)), 0);
  return buf;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? "" : v;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Puts a line into the kept-in-memory list and mirrors the list to TEMP.
void KeepInMemory(LogState& st, const std::string& prefix, const std::string& line, int err) {
  if (!st.kept) {
    st.kept = std::make_unique<std::vector<std::string>>();
    st.kept->reserve(1024);
  }
  if (st.kept->empty()) {
    st.kept->push_back(prefix + " start of log kept in memory (<" + st.file_name +
                       "> error:" + std::to_string(err) + ")");
  }
  st.kept->push_back(line);
  std::string temp = Env("TEMP");
  if (temp.empty()) return;
  if (temp.back() != '/') temp += '/';
  std::string text;
  for (const std::string& l : *st.kept) text += l + "\r\n";
  int fd = ::open((temp + "zun.tmp.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  WriteAll(fd, text);
  ::close(fd);
}

// Opens the log for appending and takes its exclusive lock, retrying a lock
// held elsewhere. Returns the descriptor, or -1 with *err set.
int OpenLocked(LogState& st, int* err) {
  for (int k = 1; k <= 11; ++k) {
    int fd = ::open(st.file_name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      *err = errno == ENOENT ? 2 : errno;
      return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    ::close(fd);
    *err = kSharingViolation;
    if (k > 10) {
      st.short_wait = true;
      break;
    }
    std::this_thread::sleep_for(
        std::chrono::milliseconds(st.short_wait ? st.short_wait_ms : st.long_wait_ms));
  }
  return -1;
}

void GravaLog(LogState& st, const std::string& prefix, const std::string& msg) {
  if (st.busy) return;
  st.busy = true;
  const std::string line = prefix + " " + msg;
  int err = 0;
  int fd = OpenLocked(st, &err);
  if (fd < 0) {
    KeepInMemory(st, prefix, line, err);
  } else {
    std::string text;
    std::unique_ptr<std::vector<std::string>> kept = std::move(st.kept);
    if (kept) {
      for (const std::string& l : *kept) text += l + "\r\n";
      text += prefix + " end of log kept in memory\r\n";
    }
    text += line + "\r\n";
    if (!WriteAll(fd, text)) {
      if (kept) {
        st.kept = std::move(kept);
      }
      KeepInMemory(st, prefix, line, errno);
    }
    ::close(fd);  // also releases the lock
  }
  st.busy = false;
}

}  // namespace

void Loga(const std::string& msg) {
  LogState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  const std::string prefix = Prefix();
  if (st.recent.size() >= kRecentLines) st.recent.pop_front();
  st.recent.push_back(prefix + " " + msg);
  GravaLog(st, prefix, msg);
}

namespace {

// Address relative to the base of the module that holds it.
uintptr_t RelativeAddress(const void* addr) {
  Dl_info info{};
  if (dladdr(addr, &info) != 0 && info.dli_fbase != nullptr) {
    return reinterpret_cast<uintptr_t>(addr) - reinterpret_cast<uintptr_t>(info.dli_fbase);
  }
  return reinterpret_cast<uintptr_t>(addr);
}

std::string Hex8(uintptr_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v & 0xFFFFFFFFu));
  return buf;
}

}  // namespace

void LogaPilha(const std::string& heading, const std::string& text) {
  void* frames[64];
  const int n = backtrace(frames, 64);
  Loga(heading + ": " + text);
  if (n <= 1) {
    Loga("<pilha vazia>");
  } else {
    std::string line;
    for (int i = 1; i < n; ++i) {
      line += " " + Hex8(RelativeAddress(frames[i])) + "r";
      if (i % 8 == 0 || i == n - 1) {
        Loga(line);
        line.clear();
      }
    }
  }
  Loga("--------");
}

void RunError250(const std::string& msg) {
  const void* caller = __builtin_return_address(0);
  Loga("Error: " + msg);
  LogaPilha("DLPA", "RunError250:" + msg);
  Loga("Run time error 250 at " + Hex8(RelativeAddress(caller)));
  std::cout << std::flush;
  _exit(250);
}

void Assert250(bool cond, const std::string& msg) {
  if (!cond) RunError250("RunError250assert: " + msg);
}

void LogaVerbose(const std::string& msg) {
  if (State().verbose) Loga(msg);
}

void LogaConsole(const std::string& msg) {
  Loga(msg);
  std::cout << msg << '\n' << std::flush;
  std::cout.clear();
}

void SetLogVerbose(bool on) { State().verbose = on; }

std::vector<std::string> LinhasRecentes() {
  LogState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  return {st.recent.begin(), st.recent.end()};
}

void SetLogFileName(const std::string& name) {
  LogState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.file_name = name;
}

void SetLogWaits(int long_ms, int short_ms) {
  LogState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.long_wait_ms = long_ms;
  st.short_wait_ms = short_ms;
}

std::string IdentificacaoDoUsuario() {
  std::string user = Trim(Env("USER"));
  std::string username = Trim(Env("USERNAME"));
  std::string computer = Env("COMPUTERNAME");
  if (computer.empty()) computer = Env("MACHINE");
  if (computer.empty()) {
    char buf[17] = {};
    if (gethostname(buf, 16) == 0) computer = buf;
  }
  computer = Trim(computer);
  if (!user.empty() && !username.empty()) username = "/" + username;
  if (!computer.empty()) computer = "@" + computer;
  std::string id = user + username + computer;
  if (id.size() > 255) id.resize(255);
  return id;
}

bool StrToBoolean(const std::string& s, bool* recognised) {
  std::string u;
  for (char c : Trim(s)) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool ok = false;
  bool result = false;
  if (u.empty()) {
    ok = false;
  } else if (u[0] == 'Y' || u[0] == 'S') {
    ok = result = true;
  } else if (u[0] == 'N') {
    ok = true;
  } else if (u == "ON") {
    ok = result = true;
  } else if (u == "OFF") {
    ok = true;
  } else {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(u.c_str(), &end, 10);
    ok = errno == 0 && end != u.c_str() && *end == '\0' && v >= INT32_MIN && v <= INT32_MAX &&
         !std::isspace(static_cast<unsigned char>(u[0]));
    result = ok && v != 0;
  }
  if (recognised != nullptr) *recognised = ok;
  return result;
}

}  // namespace zun
