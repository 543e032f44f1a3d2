// The server's version text, read once after connecting and kept for the
// log. A stored procedure's return value is found by its direction in the
// parameter list (Parameters::ReturnValue), whatever the server version.
//
// Thread-safety: a plain global of the single working thread.
#pragma once

#include <string>

#include "toolbox/dbutil/session.h"

namespace zun {

// The first column of "SELECT @@VERSION" as the last DetectaVersaoDoServidor
// read it; empty before.
extern std::string TextoDaVersaoDoServidor;

// Runs "SELECT @@VERSION" on session (a command object of its own, freed
// afterwards, not cached); a non-empty answer sets TextoDaVersaoDoServidor
// from its first column and logs "ServerVersion: " + its first line. Raises
// what the client raises. Precondition: session is connected.
void DetectaVersaoDoServidor(TAdoDataBaseCustomizado* session);

}  // namespace zun
