// The installation's configuration file (/etc/zuninput/zuninput.conf unless
// the build names another path, or the switch "Config" names one): the
// settings an operator sets once for a machine. It holds the server and
// database this installation may import into (the login's guard refuses any
// other pair) and defaults for every other switch an operator sets once per
// installation (ChavesDaConfiguracao); a switch on the command line wins
// over the file. The keys that switch something on take yes or no
// (StrToBoolean's words) and are read with SwitchLigado.
//
// Format: one "key = value" per line, keys as the switches (letter case
// ignored), each key at most once, a value may be wrapped in double quotes;
// blank lines and lines starting with "#" or ";" are comments. At most
// kMaxBytesDaConfiguracao bytes.
//
// Thread-safety: loaded once by the program entry on the main thread before
// anything reads it; reading afterwards is safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "service/codes.h"

namespace zun {

// The largest configuration file taken, in bytes.
inline constexpr size_t kMaxBytesDaConfiguracao = 65536;

// The file's path: the "Config" switch's value, else the build's path.
std::string CaminhoDaConfiguracao();

// Reads the file at path into the process's configuration (a missing file
// leaves it empty: the build's defaults hold; a link to a missing file is
// refused, and so is a missing file the operator named, named true: a
// typing error in "-Config" must not silently drop the settings). Returns 0 or
// kErroConfiguracaoRecusada, whose reason ErroDaConfiguracao gives: the file is not a regular file,
// is not root's or the service user's, may be written by group or others, is larger than
// kMaxBytesDaConfiguracao, or a line is not a known "key = value" or sets a
// key again, or an on-or-off key has a value other than yes or no (the
// line is named). A refused file leaves the configuration
// empty.
[[nodiscard]] int32_t CarregaConfiguracao(const std::string& path, bool named = false);

// The file the settings came from, for the run's start line: its path, or
// "none" when no file was read (missing and not named).
std::string ArquivoDaConfiguracao();

// The code of the last CarregaConfiguracao, with its reason in *motivo when
// not 0 (the path and what is wrong).
[[nodiscard]] int32_t ErroDaConfiguracao(std::string* motivo);

// The file's value for key (letter case ignored); nullptr when not set.
const std::string* ValorDaConfiguracao(const std::string& key);

// Every key the file may hold, spelled as its switch.
const std::vector<std::string>& ChavesDaConfiguracao();

// Whether the on-or-off switch key is on: given without a value, or with a
// value StrToBoolean reads as true ("-ContinueAfterFailedFile:no" from the
// command line thus turns off what the file turned on).
bool SwitchLigado(const std::string& key);

// args followed by a "-key:value" switch for every setting of the file
// (server and database excepted: they are the guard's pair, read with
// ValorDaConfiguracao). Because the first switch of a key wins, the command
// line overrides the file.
std::vector<std::string> ArgsComConfiguracao(const std::vector<std::string>& args);

}  // namespace zun
