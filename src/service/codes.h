// The reasons of the codes, in words, for the lines an operator reads on
// standard output (the journal under systemd). The table is docs/codes.md,
// built into the program, so the words printed and the documented ones are
// the same.
//
// Thread-safety: the table is read-only; any thread may call these.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

// The reason column of code's row in docs/codes.md; "" when the table has
// no row for it.
std::string MotivoDoCodigo(int32_t code);

// head + ": code " + code + ": " + its reason (or a pointer to the table
// when it has no row) + " (" + detail + ")" when detail is not empty.
std::string LinhaDoCodigo(const std::string& head, int32_t code, const std::string& detail);

}  // namespace zun
