// The run of the import service: start line, login check, the loop over
// queued files under a 600-second budget, and the end line.
//
// Thread-safety: runs on the main thread only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/version.h"
#include "service/codes.h"

namespace zun {

// One queue step: handles at most one queued file. seq is the 1-based number
// of the step in this run; the step sets *erro and clears *continua when the
// queue is empty.
using QueueStep = std::function<void(int32_t seq, int32_t* erro, bool* continua)>;

// What the run needs from the session: the login and its state, the check
// of the machine, the queue step and the end-of-run bulletin-request step.
struct RunHooks {
  std::function<int32_t()> init_db_connection;
  std::function<bool()> is_logged;
  // Checks the machine before any entry is taken (0, or the run's code).
  std::function<int32_t()> verifica_ambiente;
  QueueStep queue_step;
  std::function<void()> bulletin_requests;
  double budget_seconds = 600.0;
  // Told the budget when it starts, so that reconnections stay within it.
  std::function<void(double seconds)> budget_starts;
  // "ContinueAfterFailedFile": a file that failed (its outcome counted in
  // the run's summary with the step's code) does not stop the run; the run
  // ends with the first such code unless something else stops it.
  bool continue_after_failed_file = false;
};

// Runs the service once: start line, login, the loop, the bulletin
// requests, the end line; a code that stopped the loop and is no file's
// outcome is the service's failure in the run's summary (a run without error whose log lines did
// not all reach the log file ends with kErroLogNaoGravado). Sets SysExitCode to the run's error
// unless it is already non-zero, and returns SysExitCode.
[[nodiscard]] int32_t ZunInpIF(const RunHooks& hooks);

// Why the log at path cannot be the run's when it belongs to another user
// than euid (a run as root left it root's), in words naming both; "" when
// it is euid's or cannot be looked at.
std::string DonoDoLogAlheio(const std::string& log, uid_t euid);

// The 8-bit process status for a 32-bit run code: its low byte, or 255 when
// the code is not 0 but its low byte is.
int ExitStatusFor(int32_t code);

}  // namespace zun
