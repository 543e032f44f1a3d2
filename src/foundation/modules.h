// Start and end of the foundation modules, in dependency order: the log,
// the clock, the shutdown stack with the format settings, and the speed
// clocks. The program entry calls IniciaFundacao first and EncerraFundacao
// last; the end runs the modules' ends in reverse and then the collected exit
// procedures, last-first. With "/LI" each step writes its verbose line.
//
// Thread-safety: call from the main thread only.
#pragma once

#include <string>

#include "foundation/exit_procs.h"
#include "foundation/relozios.h"

namespace zun {

// Starts the foundation. Precondition: SetProgramArgs was called.
void IniciaFundacao();

// Ends the foundation: "*Relozinh" (writes the "DbgSpeed" table), the
// callback list, the exit procedures last-first, "*Basic2 end", the log end.
void EncerraFundacao();

// The process-wide broadcast list ("B2.GFS" tells registered modules that
// the format settings changed); nullptr outside start..end.
TCallBackList* CallbacksGlobais();

// The "DbgSpeed" speed clocks: exists only when the switch "DbgSpeed" was
// given, from start to end; nullptr otherwise.
TRelozios* DbgSpeed();

// The list separator of the format settings.
char SeparadorDeLista();

// The list separator for a locale's list and decimal separators: the list
// separator, ";" when there is none, and when it equals the decimal
// separator "|" (if it was ";") or ";".
char EscolheSeparadorDeLista(char list_separator, char decimal_separator);

}  // namespace zun
