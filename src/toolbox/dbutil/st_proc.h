// Stored-procedure calls: the one way the program runs a procedure and turns
// whatever goes wrong into an error code.
//
// ExecStProc runs a command object taken with TomaDataSet in one of three
// modes, reconnects and repeats the call once the session reports a lost
// link restored (not inside a transaction, which the link took with it; and
// only when the call cannot have run, its request never sent, or cannot
// write, a procedure the session has registered as read-only),
// repeats a deadlock victim outside a transaction up to 3 times after a
// short random pause,
// logs calls slower than 5 seconds with their parameters, and returns 0 or
// an error code (the procedure's own status included).
//
// Every caller above this layer takes its command objects through one of two
// helpers, never with TomaDataSet and DevolveDataSet by hand. ComComando
// lends the object to a body and gives it back on every path, letting an
// exception pass on to the caller: for the places where a failure is to end
// the line or the file, or is turned into a message further up.
// ChamaComGuarda is ComComando inside a guard that turns an exception into
// an error code logged by CodigoDaExcecao: for the places that answer with
// a code whatever happens.
//
// Thread-safety: none; used by the program's single working thread.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "toolbox/dbutil/ds_ref.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"

namespace zun {

// How ExecStProc runs a procedure and where it finds the status; the
// numbers are those the log lines show.
enum class ModoStProc : int {
  // Executes; the status is the return value.
  kExecuta = 0,
  // Opens the result set; the status is its integer column "result" (the
  // return value is not read).
  kLeResult = 1,
  // Executes and opens the rows the procedure returns; the status is the
  // return value.
  kExecutaEAbre = 2,
};

// Calls the procedure of cmd in mode. Gives 3940 for a command that is not
// a stored procedure, 4097 for kLeResult on an open result set, 4089 for a
// value that is no ModoStProc, 3542 when the provider rejects a value
// as of the wrong type, the procedure's own return status (not 0 to -99)
// when one of its statements failed and it returned one, 4098 when the
// link was lost after a call that may
// write was sent (its outcome is unknown: not repeated), 3939 (or the code
// an EDBException carries) for any other failure that a reconnect did not
// cure, 3998 when the return value
// cannot be read. Never raises. Precondition: cmd is not null.
[[nodiscard]] int32_t ExecStProc(DsRef cmd, ModoStProc mode);

// Sets "@id" to id, then ExecStProc. Raises when cmd has no "@id".
[[nodiscard]] int32_t ExecStProcId(DsRef cmd, int32_t id, ModoStProc mode);

// The integer column "result" of the open result set: 4090 when there is no
// such column, 4091 when no result set can be looked at, 4370 (logged) when
// the value cannot be read. When it is 0 and fechar is set, moves on to the
// next result set of the same call. Never raises.
[[nodiscard]] int32_t LerResult(DsRef cmd, bool fechar);

// Logs "- proc " + text + " ct:" + kind number + " : " + msg and one line per
// parameter: "- #" + i + " " + name + " : " + value ("NULL", "Blob:" + length
// + "bytes", or the value as text).
void LogStProc(const std::string& msg, DsRef cmd);

// Takes a command object of kind for text from Db, runs corpo(command
// object) on it and gives it back on every path; returns what corpo returns.
// Raises what TomaDataSet or corpo raise (the object is given back first).
template <typename F>
auto ComComando(const std::string& text, F corpo, CommandType kind = CommandType::kStoredProc) {
  std::unique_ptr<Command> cmd = TomaDataSet(kind, text);
  const DevolveAoSair devolve(&cmd);
  return corpo(DsRef(cmd));
}

// ComComando for proc with corpo(command object, &code), guarded: an
// exception becomes the code: a code corpo set first is kept, else the
// exception's or dflt, logged by CodigoDaExcecao at place. Returns the code.
// Never raises.
template <typename F>
[[nodiscard]] int32_t ChamaComGuarda(const std::string& proc, const std::string& place,
                                     int32_t dflt, F corpo,
                                     CommandType kind = CommandType::kStoredProc) {
  int32_t code = 0;
  try {
    ComComando(
        proc, [&](DsRef cmd) { corpo(cmd, &code); }, kind);
  } catch (const std::exception& x) {
    CodigoDaExcecao(place, &code, x, dflt);
  }
  return code;
}

// Seconds above which a call is logged as slow.
inline constexpr double kChamadaLenta = 5.0;

}  // namespace zun
