// Command-line switches.
//
// The service is configured only through its command line. A switch is an
// argument made of "-" or "/", a key, and optionally ":" or "=" and a value;
// keys compare without regard to case and a value may be wrapped in a pair of
// equal quote characters. The argument list is process-wide and injectable so
// that tests can drive it.
//
// Thread-safety: set the arguments once at start-up, before other threads run;
// reading them afterwards is safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace zun {

// Replaces the process's argument list. args[0] is the program path and is
// never read as a switch.
void SetProgramArgs(const std::vector<std::string>& args);

// The current argument list (as given to SetProgramArgs).
const std::vector<std::string>& ProgramArgs();

// True when a switch with this key is present; the first matching argument
// wins. When value is not null it receives the switch's value ("" when the
// switch has none), cut to 255 characters.
bool LeSwitch(const std::string& key, std::string* value);

// LeSwitch without the value.
bool TemSwitch(const std::string& key);

}  // namespace zun
