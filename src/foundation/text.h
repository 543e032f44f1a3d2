// Small text helpers shared by every layer: ASCII upper case for keys and
// names compared without regard to case, and trimming of blanks.
//
// Thread-safety: pure functions.
#pragma once

#include <string>

namespace zun {

// s with the ASCII letters a..z in upper case; other bytes unchanged (names
// and keys compare the same under any locale).
std::string Maiusculas(std::string s);

// s without leading and trailing blanks (code 32 only; tabs stay).
std::string AparaBrancos(const std::string& s);

}  // namespace zun
