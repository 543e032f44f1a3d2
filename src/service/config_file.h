// The installation's configuration file (/etc/zuninput/zuninput.conf unless
// the build names another path, or the switch "Config" names one): the
// settings an operator sets once for a machine. It holds the server and
// database this installation may import into (the login's guard refuses any
// other pair) and defaults for the switches "provider", "user",
// "PasswordFile", "OdbcDriver", "OdbcDsn", "MailGateway", "PathIF" and
// "PathReqGBol"; a switch on the command line wins over the file.
//
// Format: one "key = value" per line, keys as the switches (letter case
// ignored), a value may be wrapped in double quotes; blank lines and lines
// starting with "#" or ";" are comments.
//
// Thread-safety: loaded once by the program entry on the main thread before
// anything reads it; reading afterwards is safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/codes.h"

namespace zun {

// The file's path: the "Config" switch's value, else the build's path.
std::string CaminhoDaConfiguracao();

// Reads the file at path into the process's configuration (a missing file
// leaves it empty: the build's defaults hold). Returns 0 or
// kErroConfiguracaoRecusada, whose reason ErroDaConfiguracao gives; a
// refused file leaves the configuration empty.
int32_t CarregaConfiguracao(const std::string& path);

// The code of the last CarregaConfiguracao, with its reason in *motivo when
// not 0 (the path and what is wrong).
int32_t ErroDaConfiguracao(std::string* motivo);

// The file's value for key (letter case ignored); nullptr when not set.
const std::string* ValorDaConfiguracao(const std::string& key);

// args followed by a "-key:value" switch for every setting of the file
// (server and database excepted: they are the guard's pair, read with
// ValorDaConfiguracao). Because the first switch of a key wins, the command
// line overrides the file.
std::vector<std::string> ArgsComConfiguracao(const std::vector<std::string>& args);

}  // namespace zun
