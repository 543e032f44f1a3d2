// The service's own command-line help: --help and --version, which answer
// without logging in, writing the log or mailing; and the arguments the
// service does not know, so that a mistyped switch is seen instead of
// silently leaving a default in place.
//
// Thread-safety: no state of its own; call from the main thread at start.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zun {

// When args (args[0] the program) ask for help ("--help", "-help", "-h",
// "/?", "-?", "/help") or the version ("--version", "-version",
// "/version"), writes the answer to out and returns true; false otherwise.
bool RespondeAjuda(const std::vector<std::string>& args, std::ostream& out);

// The arguments of args (from args[1]) that are not a switch the service
// reads: not "-" or "/" followed by a known key and optionally ":" or "="
// and a value. Each is given as its key part only (the text up to ":" or
// "="), so that a mistyped password switch never shows its value.
std::vector<std::string> SwitchesDesconhecidos(const std::vector<std::string>& args);

// The text --help writes: every switch (the configuration file's keys
// marked "*").
const char* TextoDeAjuda();

// Every switch key the service reads.
const std::vector<std::string>& SwitchesConhecidos();

}  // namespace zun
