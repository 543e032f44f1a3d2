// Where the login's password comes from when the caller passes none: the
// switch "password" (kept for older command lines, though every local user
// sees it in the process list), a private file named by the switch
// "PasswordFile", or the environment variable ZUNINPUT_PASSWORD.
//
// Thread-safety: main thread only (reads the switches, changes the
// environment).
#pragma once

#include <cstdint>
#include <string>

namespace zun {

// Sets *password from the first source that gives one, in this order: the
// "password" switch (a warning line goes to the log, without the password),
// the first line of the file named by "PasswordFile" (see ReadSecretFile),
// ZUNINPUT_PASSWORD. *password is "" when none does. ZUNINPUT_PASSWORD is
// removed from the environment in every case, its bytes zeroed first, and
// no copy of it is left but *password. Returns 0, or 4273 when
// "PasswordFile" is given but the file cannot be used: *msg_erro and a log
// line then say why.
[[nodiscard]] int32_t LeSenhaDoLogin(std::string* password, std::string* msg_erro);

}  // namespace zun
