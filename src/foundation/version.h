// Version of this build and the path of the running program.
//
// Thread-safety: both are safe from any thread.
#pragma once

#include <string>

namespace zun {

// Version text of this build: the build date and the build number.
inline constexpr char kVersaoDoPrograma[] = "20200703-750";

// Full path of the running program file ("" when it cannot be read).
std::string CaminhoDoExecutavel();

}  // namespace zun
