// A password kept in a file of its own, so that it never shows on a command
// line. The file must be private to its owner: one that the group or others
// may read is refused, since everyone who can read it has the password.
//
// Thread-safety: no shared state; safe from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace zun {

// The environment variable that may hold the database password, for the
// service and the tools alike.
inline constexpr char kPasswordVariable[] = "ZUNINPUT_PASSWORD";

// The longest first line ReadSecretFile takes, in bytes without its break.
inline constexpr size_t kMaxLinhaSecreta = 4096;

// Reads the first line of the file at path, its line end ("\n" or "\r\n")
// removed, into *secret. Returns "" on success, else why the file cannot be
// used (it cannot be opened or read, is not a regular file, may be read by
// the group or others, or its first line is empty or longer than
// kMaxLinhaSecreta: at most that many bytes and one more are read); *secret
// is then left alone. The texts name the path and the file's mode, never its content.
std::string ReadSecretFile(const std::string& path, std::string* secret);

}  // namespace zun
