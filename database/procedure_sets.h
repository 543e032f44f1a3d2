// The procedure sets of the reference database, one per area; each
// registers its procedures with the embedded provider (idempotent).
#pragma once

namespace zun {

// "CheckClientVersionV2", "GetInfoDoUsuario", "ChamaSetuser".
void RegisterLoginProcedures();

// The enumerations and reference tables read at start-up and the database
// log ("Enum..." procedures and the reference-table procedures).
void RegisterReferenceProcedures();

}  // namespace zun
