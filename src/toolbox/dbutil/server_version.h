// The server generation and the name of a stored procedure's return value.
//
// DetectaVersaoDoServidor runs once after connecting; the call helpers then
// read the return value under NomeDoRetorno.
//
// Thread-safety: plain globals of the single working thread.
#pragma once

#include <cstdint>
#include <string>

#include "toolbox/dbutil/session.h"

namespace zun {

// The parameter name of a procedure's return value: "RETURN_VALUE" until
// DetectaVersaoDoServidor runs, then "RETURN_VALUE" (generations below 2) or
// "@RETURN_VALUE".
extern std::string NomeDoRetorno;

// Server generation 0..8 (0 unknown): 1 "Microsoft SQL Server  7.00",
// 2 "... 2000", 3 "... 2005", 4 "... 2008", 5 "... 2012", 6 "... 2014",
// 7 "... 2016", 8 "... 2017".
extern int32_t VersaoDoServidor;

// The generation whose text the version text begins with (case-sensitive),
// 0 when none does.
int32_t VersaoDoTexto(const std::string& version_text);

// Runs "SELECT @@VERSION" on session (a command object of its own, freed
// afterwards, not cached); a non-empty answer sets VersaoDoServidor from its
// first column; then sets NomeDoRetorno. Raises what the client raises.
// Precondition: session is connected.
void DetectaVersaoDoServidor(TAdoDataBaseCustomizado* session);

}  // namespace zun
