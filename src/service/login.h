// The database login: connects the one session Db as the service's database
// user, checks the server and client versions, loads the user's context and
// reads the initial reference data; and the switch of the session's
// database user to a file's owner and back.
//
// Thread-safety: main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "service/codes.h"
#include "service/login_inputs.h"

namespace zun {

// Logs in (see the header comment). user and password may be empty: they
// then come from the "user" and "password" switches, and when still
// missing from ask (PedeLoginNoTerminal by default). exclusive is accepted
// for callers' sake; the embedded provider has no share modes. Every
// failure is logged ("InitDbConnection error:" + code), closes the
// connection and sends the "login error:" notification. Returns 0 or the
// code: 4272, 4217, 4218, a version or procedure code,
// kErroLoginNaoAdministrador (the failure message names the user), 3714
// (exception without a code of its own) or 3715 (not connected after all).
// Precondition: Db exists.
// With administrador false a plain user's login is taken too (an owner's
// check of their own file, which switches to nobody).
[[nodiscard]] int32_t InitDbConnection(const std::string& user, const std::string& password,
                                       bool exclusive,
                                       const PedidoDeLogin& ask = PedeLoginNoTerminal,
                                       bool administrador = true);

// Whether Db exists and is connected. With warn, a false answer is also
// logged as "Warn: Not logged!".
bool IsLogged(bool warn);

// "CheckClientVersionV2" with this client's version (20, patch 750; 999999
// twice with the switch "AdminVersion"); on success the server time sets the
// server clock offset. Returns 0 or the call's code; raises what
// TomaDataSet raises.
[[nodiscard]] int32_t CheckClientVersionV2();

// Refills the user context from "GetInfoDoUsuario"; returns the call's code
// (the context stays cleared on failure).
[[nodiscard]] int32_t GetInfoDoUsuario();

// Switches the session's database user ("" returns to the login's user)
// and refreshes the user context. Returns the procedure's code.
[[nodiscard]] int32_t ChamaSetuser(const std::string& novo_user);

// The server and database names kept after a successful login.
const std::string& NomeDoServidorLogado();
const std::string& NomeDoBancoLogado();

}  // namespace zun
