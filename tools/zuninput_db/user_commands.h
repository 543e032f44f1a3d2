// The "user" commands on the embedded file: add, list, passwd, set-email,
// del. Passwords come from one of the password options and are stored as
// the server's hash.
//
// Thread-safety: single-threaded; reads standard input and the environment.
#pragma once

#include <string>

#include "zuninput_db/command_line.h"

namespace zun::dbtool {

// Runs "user SUBCOMMAND ..." on the file at path; prints what it did.
// Raises UsageError or Failure.
int UserCommand(const Args& a, const std::string& path);

}  // namespace zun::dbtool
