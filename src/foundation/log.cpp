#include "foundation/log.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pwd.h>
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

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "foundation/codes.h"
#include "foundation/exception_trace.h"
#include "foundation/sequencer.h"
#include "foundation/switches.h"
#include "foundation/text.h"

namespace zun {
namespace {

constexpr size_t kRecentLines = 300;
constexpr int kSharingViolation = 32;
// The log tells what every queued file held and who sent it: no access for
// other local users, and the fallback only for its own user.
constexpr mode_t kModoDoLog = 0640;
constexpr mode_t kModoDaReserva = 0600;

struct LogState {
  TCriticalSection lock{"SeqAcessoLoga"};
  std::deque<std::string> recent;
  std::unique_ptr<std::vector<std::string>> kept;  // lines waiting for the file
  std::string reserva;  // the fallback file holding every kept line, or ""
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

// A directory only this process's user may write to: its own, and no write
// access for the group or others.
bool DiretorioPrivado(const std::string& dir) {
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The directory of the fallback file, ending in "/": $XDG_RUNTIME_DIR when
// it is private, else "zuninput-" + the user id in TEMP, else TMPDIR, else
// /tmp, made with mode 0700 when missing. "" when neither is private (a
// name planted by another user): the lines then stay in memory only.
std::string DiretorioDaReserva() {
  std::string dir = Env("XDG_RUNTIME_DIR");
  if (!dir.empty() && DiretorioPrivado(dir)) return dir.back() == '/' ? dir : dir + "/";
  dir = Env("TEMP");
  if (dir.empty()) dir = Env("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  dir += "zuninput-" + std::to_string(::geteuid());
  ::mkdir(dir.c_str(), 0700);
  return DiretorioPrivado(dir) ? dir + "/" : "";
}

// Appends text to the fallback file; its path, or "" when it could not be
// written. The file is never opened through a link, and one that another
// user owns is left alone.
std::string GravaNaReserva(const std::string& text) {
  const std::string dir = DiretorioDaReserva();
  if (dir.empty()) return "";
  const std::string path = dir + "zun.tmp.log";
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, kModoDaReserva);
  if (fd < 0) return "";
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                  WriteAll(fd, text);
  ::close(fd);
  return ok ? path : "";
}

// Puts a line into the kept-in-memory list and appends what is new in it to
// the fallback file. Appending, in one write, lets several processes share
// that file without overwriting each other's lines. The fallback's path is
// kept while every kept line has reached it, else "".
void KeepInMemory(LogState& st, const std::string& prefix, const std::string& line, int err) {
  std::string text;
  if (!st.kept) {
    st.kept = std::make_unique<std::vector<std::string>>();
    st.kept->reserve(1024);
  }
  const bool primeira = st.kept->empty();
  if (primeira) {
    st.kept->push_back(prefix + " start of log kept in memory (<" + st.file_name +
                       "> error:" + std::to_string(err) + ")");
    text = st.kept->back() + "\r\n";
  }
  st.kept->push_back(line);
  text += line + "\r\n";
  const std::string path = GravaNaReserva(text);
  if (primeira || path != st.reserva) st.reserva = primeira ? path : "";
}

// Takes the exclusive lock of fd as the writers do: up to 11 attempts,
// wait_ms apart. False when another process kept it all that time.
bool TravaComEspera(int fd, int wait_ms) {
  for (int k = 1; k <= 11; ++k) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (k <= 10) std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
  }
  return false;
}

// Opens the log for appending and takes its exclusive lock, retrying a lock
// held elsewhere. Returns the descriptor, or -1 with *err set.
int OpenLocked(LogState& st, int* err) {
  for (int k = 1; k <= 11; ++k) {
    // Opened anew for each attempt: the log cut may have renamed the file.
    int fd = ::open(st.file_name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kModoDoLog);
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
    // Where the text begins: a write cut short (a full disk) is cut back to
    // here, so that no torn line is left for the next one to be glued to.
    const off_t inicio = ::lseek(fd, 0, SEEK_END);
    if (!WriteAll(fd, text)) {
      err = errno;
      if (inicio >= 0) (void)!::ftruncate(fd, inicio);
      if (kept) st.kept = std::move(kept);
      KeepInMemory(st, prefix, line, err);
    }
    ::close(fd);  // also releases the lock
  }
  st.busy = false;
}

// msg with every control character but the tab written out ("\r", "\n",
// else "\x" and two hexadecimal digits): a text from outside (a queued
// file's name, a database message) can then never start a line of its own
// or smuggle raw bytes into the log.
std::string Escapa(const std::string& msg) {
  std::string out;
  out.reserve(msg.size());
  for (const char ch : msg) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 32 && c != 127) || c == '\t') {
      out += ch;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return out;
}

// Holds the log lock for one scope. A lock that cannot be taken is fatal; the
// fatal stop's own lines then go out unlocked instead of failing again.
class LogLock {
 public:
  explicit LogLock(LogState& st) : st_(st) {
    static thread_local bool failing = false;
    if (failing) return;
    if (st_.lock.Locka()) {
      held_ = true;
      return;
    }
    failing = true;
    RunError250("Mutex.Locka " + st_.lock.Nome());
  }
  ~LogLock() {
    if (held_) st_.lock.Unlocka();
  }

 private:
  LogState& st_;
  bool held_ = false;
};

}  // namespace

int32_t SysExitCode = 0;

namespace {
// Set while the log's lines go to standard output only.
std::atomic<bool> g_so_no_console{false};
// Set while nothing is written at all.
std::atomic<bool> g_mudo{false};
}  // namespace

void LogSoNoConsole(bool on) { g_so_no_console = on; }

void LogMudo(bool on) { g_mudo = on; }

void Loga(const std::string& msg) {
  if (g_mudo) return;
  const std::string texto = Escapa(CortaTexto(msg, kMaxMensagemDoLog));
  if (g_so_no_console) {
    std::cout << texto << '\n' << std::flush;
    std::cout.clear();
    return;
  }
  LogState& st = State();
  LogLock lock(st);
  const std::string prefix = Prefix();
  if (st.recent.size() >= kRecentLines) st.recent.pop_front();
  st.recent.push_back(prefix + " " + texto);
  GravaLog(st, prefix, texto);
}

size_t LinhasRetidas() {
  LogState& st = State();
  LogLock lock(st);
  return st.kept ? st.kept->size() : 0;
}

std::string ArquivoDeReserva() {
  LogState& st = State();
  LogLock lock(st);
  return st.kept && !st.kept->empty() ? st.reserva : std::string();
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
      // Piece by piece, as in LogaExcecao (a false -Wrestrict of GCC 12).
      line += ' ';
      line += Hex8(RelativeAddress(frames[i]));
      line += 'r';
      if (i % 8 == 0 || i == n - 1) {
        Loga(line);
        line.clear();
      }
    }
  }
  Loga("--------");
}

// A fatal stop ends the process at once: the module ends would work on a
// state that must not occur (a forced rollback, a failed lock), so they do
// not run; the "Run time error" line is written here instead.
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
  if (g_so_no_console || g_mudo) return;  // Loga has printed it, or nothing may be
  std::cout << Escapa(CortaTexto(msg, kMaxMensagemDoLog)) << '\n' << std::flush;
  std::cout.clear();
}

void SetLogVerbose(bool on) { State().verbose = on; }

std::vector<std::string> LinhasRecentes() {
  LogState& st = State();
  LogLock lock(st);
  return {st.recent.begin(), st.recent.end()};
}

std::string LogFileName() {
  LogState& st = State();
  LogLock lock(st);
  return st.file_name;
}

void SetLogFileName(const std::string& name) {
  LogState& st = State();
  LogLock lock(st);
  st.file_name = name;
}

void SetLogWaits(int long_ms, int short_ms) {
  LogState& st = State();
  LogLock lock(st);
  st.long_wait_ms = long_ms;
  st.short_wait_ms = short_ms;
}

std::string IdentificacaoDoUsuario() {
  // The process's real user, never USER or USERNAME: any caller can set
  // those to anything.
  std::string user = std::to_string(::getuid());
  passwd pw{};
  passwd* found = nullptr;
  char texto[4096];
  if (::getpwuid_r(::getuid(), &pw, texto, sizeof texto, &found) == 0 && found != nullptr) {
    user = found->pw_name;
  }
  std::string computer = Env("COMPUTERNAME");
  if (computer.empty()) computer = Env("MACHINE");
  if (computer.empty()) {
    // A computer name has 15 characters at most: a longer host name is cut,
    // never dropped (gethostname fails when the buffer is too short).
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) == 0) computer = std::string(buf).substr(0, 15);
  }
  computer = AparaBrancos(computer);
  if (!computer.empty()) computer = "@" + computer;
  std::string id = user + computer;
  if (id.size() > 255) id.resize(255);
  return id;
}

bool StrToBoolean(const std::string& s, bool* recognised) {
  std::string u;
  for (char c : AparaBrancos(s))
    u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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

namespace {

// Splits "dir/base.ext" into its three pieces; dir keeps its trailing "/".
void SplitPath(const std::string& path, std::string* dir, std::string* base, std::string* ext) {
  const size_t slash = path.rfind('/');
  *dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = path.substr(dir->size());
  const size_t dot = name.rfind('.');
  *base = dot == std::string::npos ? name : name.substr(0, dot);
  *ext = dot == std::string::npos ? "" : name.substr(dot);
}

// The next free numbered name: base + N (at least 3 digits) + ext, N being
// one more than the largest number already used in the directory.
std::string NextNumberedName(const std::string& file_name) {
  std::string dir, base, ext;
  SplitPath(file_name, &dir, &base, &ext);
  int64_t largest = 0;
  if (DIR* d = ::opendir(dir.empty() ? "." : dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() < base.size() + ext.size() || name.compare(0, base.size(), base) != 0 ||
          name.compare(name.size() - ext.size(), ext.size(), ext) != 0) {
        continue;
      }
      const std::string rest = name.substr(base.size());
      const std::string digits = rest.substr(0, rest.find('.'));
      if (digits.empty() || digits.size() > 18 ||
          digits.find_first_not_of("0123456789") != std::string::npos) {
        continue;
      }
      largest = std::max<int64_t>(largest, std::stoll(digits));
    }
    ::closedir(d);
  }
  char number[32];
  std::snprintf(number, sizeof number, "%03lld", static_cast<long long>(largest + 1));
  return dir + base + number + ext;
}

// Where the kept part starts: behind the first line break found in buf,
// trying CR LF, LF CR, LF, CR and a blank in that order.
int64_t BehindFirstBreak(const std::string& buf, int64_t pos) {
  for (const char* brk : {"\r\n", "\n\r", "\n", "\r", " "}) {
    const size_t at = buf.find(brk);
    if (at != std::string::npos) return pos + static_cast<int64_t>(at + std::strlen(brk));
  }
  return pos;
}

// Moves all but the last tmr bytes (from a line start) of file_name into
// numbered; 0 or the code of the step that failed.
// Renames from to to, failing when to exists (another run may have just
// made it): a plain rename would silently replace an older part.
bool RenameSemSubstituir(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a hard link fails on an existing name too.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  return ::unlink(from.c_str()) == 0;
}

int MoveOldPart(const std::string& file_name, const std::string& numbered, int64_t tmr) {
  // The writers' lock is held on the old file for the whole move, so no
  // line is appended to it while its tail is copied and cut off.
  const int in = ::open(file_name.c_str(), O_RDWR | O_CLOEXEC);
  if (in < 0) return kErrLogAbrir;
  // Waited for as the writers wait: a process that keeps the lock makes this
  // run skip the cut instead of holding up its login.
  int wait_ms = 0;
  {
    LogLock lock(State());
    wait_ms = State().short_wait ? State().short_wait_ms : State().long_wait_ms;
  }
  if (!TravaComEspera(in, wait_ms)) {
    ::close(in);
    return kErrLogTravado;
  }
  struct stat locked {
  }, named{};
  if (::fstat(in, &locked) != 0 || ::stat(file_name.c_str(), &named) != 0 ||
      locked.st_ino != named.st_ino || locked.st_dev != named.st_dev) {
    // Another run moved it while this one waited for the lock.
    ::close(in);
    return 0;
  }
  if (!RenameSemSubstituir(file_name, numbered)) {
    ::close(in);
    return kErrLogAbrir;
  }
  // Lines other runs wrote under the new name since the rename stay: the
  // kept tail is appended after them.
  const int out = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kModoDoLog);
  if (out < 0 || !TravaComEspera(out, wait_ms)) {
    // The whole old part is in the numbered file: nothing is lost, the new
    // log only misses its copied tail.
    if (out >= 0) ::close(out);
    ::close(in);
    return kErrLogNumerado;
  }
  int err = 0;
  int64_t pos = 0;
  if (err == 0) {
    struct stat st {};
    if (::fstat(in, &st) != 0) {
      err = kErrLogTamanho;
    } else {
      pos = std::max<int64_t>(static_cast<int64_t>(st.st_size) - tmr, 10);
    }
  }
  if (err == 0) {
    char buf[255];
    const ssize_t n = ::pread(in, buf, sizeof buf, pos);
    if (n < 0) {
      err = kErrLogLerInicio;
    } else {
      pos = BehindFirstBreak(std::string(buf, static_cast<size_t>(n)), pos);
    }
  }
  if (err == 0 && ::lseek(in, pos, SEEK_SET) < 0) err = kErrLogPosicionar;
  while (err == 0) {
    char block[8192];
    const ssize_t n = ::read(in, block, sizeof block);
    if (n < 0) {
      err = kErrLogLerCauda;
    } else if (n == 0) {
      break;
    } else if (!WriteAll(out, std::string(block, static_cast<size_t>(n)))) {
      err = kErrLogGravarCauda;
    }
  }
  if (err == 0 && ::ftruncate(in, pos) != 0) err = kErrLogEncurtar;
  if (in >= 0) ::close(in);
  ::close(out);
  return err;
}

}  // namespace

void NDTCM(const std::string& name, int64_t tmr, int64_t tag) {
  // A log that lies elsewhere behind a link (the unit's /var/log/zuninput)
  // is cut where it lies: moving the link would leave a new regular file in
  // its place and the log beside the operators' directory.
  std::string file_name = name;
  char target[4096];
  if (const ssize_t n = ::readlink(name.c_str(), target, sizeof target - 1); n > 0) {
    target[n] = 0;
    const size_t slash = name.rfind('/');
    file_name = target[0] == '/' || slash == std::string::npos ? std::string(target)
                                                               : name.substr(0, slash + 1) + target;
  }
  struct stat st {};
  if (::stat(file_name.c_str(), &st) != 0) return;
  const int64_t size = static_cast<int64_t>(st.st_size);
  if (size <= tag + tmr + 100) return;
  const std::string numbered = NextNumberedName(file_name);
  Loga("NDTCM " + file_name + " size:" + std::to_string(size) + " TAG:" + std::to_string(tag) +
       " TMR:" + std::to_string(tmr) + "; moving part to " + numbered);
  const int err = MoveOldPart(file_name, numbered, tmr);
  if (err != 0) Loga("NDTCM Erro:" + std::to_string(err));
}

void MyInic(const std::string& caller_name) {
  static bool started = false;
  if (started) return;
  started = true;
  for (size_t i = 1; i < ProgramArgs().size(); ++i) {
    std::string u;
    for (char c : ProgramArgs()[i])
      u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (u == "/LI" || u == "-LI") SetLogVerbose(true);
  }
  LogaVerbose("Basic " + caller_name);
  InstalaMyExceptHandler();
}

void FimDoLog() {
  LogaVerbose("*Basic");
  RestauraExceptHandler();
  LogaVerbose("*Basic end");
  // Lines still waiting in memory get one more try at the file, or the run's
  // end line would live only in the TEMP copy.
  Locka(&State().lock);
  const bool waiting = State().kept && !State().kept->empty();
  State().lock.Unlocka();
  if (waiting) Loga("*Basic lines kept in memory written at the end");
}

}  // namespace zun
