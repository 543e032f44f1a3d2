// The check of one local import file, run before it is queued: the service
// logs in as a queue run does, optionally works as the user the file would
// be imported as, and runs the file's check pass only, printing every line
// message as a queue run prints them. Nothing is taken from the queue,
// nothing is written to the database and no mail is sent; the run's code
// tells whether the whole file would be imported. The file's lines are
// printed, never logged: while the file is checked, the log's lines go to
// standard output only (the log gets the start, the file's name and the
// end line with the code).
//
// Thread-safety: main thread only; uses the one database session.
#pragma once

#include <cstdint>
#include <string>

#include "service/codes.h"

namespace zun {

// Checks file_name, as check_as when it is not empty (the login must then
// be an administrator's, as for a queue run); without check_as as the
// login's own user, whom the login need not make an administrator (an
// owner checks a file before queueing it). Logs a start and an end line
// and turns mail off for the process. Sets SysExitCode to the run's code
// unless it is already non-zero, and returns SysExitCode: 0 when every line
// passed; 4077 when the login failed; the code of the switch to check_as;
// the file's code (3774 for an empty name, kErroArquivoIlegivel when it
// cannot be opened, 4086 when it cannot be read); or
// kErroArquivoRecusado when it is not a regular file, lies on a file system
// the kernel makes up (/proc, /sys and their kin) or is the file named by
// the switch "PasswordFile".
[[nodiscard]] int32_t ZunInpCheck(const std::string& file_name, const std::string& check_as);

}  // namespace zun
