// The service's log.
//
// Every line goes to "zuninput.log" in the working directory, to a bounded
// list of recent lines and, for LogaConsole, to standard output. The file is
// opened, appended and closed per line under an exclusive flock so that
// several processes can share it; a lock that cannot be taken is waited out
// and, after 11 attempts, the lines are kept in memory until the file can
// be written again, and appended to the fallback file zun.tmp.log in a
// directory only the service's user may write: $XDG_RUNTIME_DIR, else
// "zuninput-" + the user id (made with mode 0700) in TEMP, else TMPDIR,
// else /tmp. The fallback is never opened through a link nor when another
// user owns it; the lines then stay in memory only. A write cut short is
// cut back, so the file holds whole lines only. Control characters of a
// message other than the tab are written out ("\r", "\n", "\xNN"), so
// that one message is one line, and a message longer than
// kMaxMensagemDoLog bytes is cut with a marker (see CortaTexto), so that
// no text from outside can blow a line up.
//
// Thread-safety: Loga and its variants may be called from any thread; they
// are serialised by one process-wide mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/exception_trace.h"

namespace zun {

// The longest message a log line (and its copy on standard output) holds;
// the rest is cut, marked "...[N bytes cut]".
inline constexpr size_t kMaxMensagemDoLog = 8192;

// Writes one line: prefix "yyyy/mm/dd-hh:nn:ss PPPPPPPP/TTTTTTTT  0", a blank
// and msg, ended by CR LF. Never reports an error to the caller.
void Loga(const std::string& msg);

// The number of lines kept in memory because the log file could not be
// written (0 when the file holds every line written so far).
size_t LinhasRetidas();

// The fallback file that holds every line kept in memory, or "" when there
// are none or some could not be written there (they are in memory only).
std::string ArquivoDeReserva();

// Loga only when verbose logging is on (switch "/LI" or "-LI").
void LogaVerbose(const std::string& msg);

// Loga, then msg and a line break to standard output.
void LogaConsole(const std::string& msg);

// While on, every line goes to standard output only (its message, without
// prefix, once also for LogaConsole): not to the log file, the recent lines
// or the fallback. The check of a local file runs so, since its messages
// quote the file's lines and the file may hold anything its user can read.
void LogSoNoConsole(bool on);

// While on, Loga, LogaVerbose and LogaConsole write nothing anywhere: a
// second reading of a failed file, made only to collect its further line
// messages, must not add to what the run logs and prints.
void LogMudo(bool on);

// Fatal stop for states that must not occur: logs "Error: " + msg, a trace of
// the current point headed "DLPA", then "Run time error 250 at " + the
// caller's address relative to the program's load base, and ends the process
// with exit status 250.
[[noreturn]] void RunError250(const std::string& msg);

// RunError250("RunError250assert: " + msg) when cond is false.
void Assert250(bool cond, const std::string& msg);

// Writes a trace of the current call stack: heading + ": " + text, the code
// addresses 8 per line, and "--------".
void LogaPilha(const std::string& heading, const std::string& text);

// Switches verbose logging on or off (set from the command line at start-up).
void SetLogVerbose(bool on);

// The user identity text: the name of the process's real user (its number
// when the system knows no name) and "@" + the computer name; at most 255
// characters. The environment's USER and USERNAME do not count.
std::string IdentificacaoDoUsuario();

// A boolean from option text; *recognised tells whether the text was one.
// "Y..."/"S..." true, "N..." false, "ON"/"OFF", or a decimal integer.
bool StrToBoolean(const std::string& s, bool* recognised);

// The recent lines (each prefix + " " + message), oldest first.
std::vector<std::string> LinhasRecentes();

// The log file's name ("zuninput.log" unless changed).
std::string LogFileName();

// Changes the log file name (tests); the default is "zuninput.log".
void SetLogFileName(const std::string& name);

// Cuts a log file that has grown past tag + tmr + 100 bytes: the older part
// moves to the next numbered file (base + "001" + extension and so on) and
// file_name keeps about its last tmr bytes, starting at a line. When
// file_name is a symbolic link, the file it names is cut, beside itself. The file's
// lock is waited for as the writers wait; when another process keeps it,
// the cut is skipped (3246). Failures are logged as "NDTCM Erro:" + code
// (3244 to 3252), never raised.
void NDTCM(const std::string& file_name, int64_t tmr, int64_t tag);

// Module start of the log, once per process (later calls do nothing): reads
// "/LI" or "-LI" from the program arguments, logs "Basic " + caller_name when
// verbose and installs the handler for uncaught exceptions. Precondition: the
// program arguments are set.
void MyInic(const std::string& caller_name);

// Module end of the log: restores the previous uncaught-exception handler.
// The log stays usable afterwards.
void FimDoLog();

// The process exit code; 0 until a run sets it.
extern int32_t SysExitCode;

// Sets the waits between attempts on a locked file (tests shorten them).
void SetLogWaits(int long_ms, int short_ms);

}  // namespace zun
