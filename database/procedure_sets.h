// The procedure sets of the reference database, one per area; each
// registers its procedures with the embedded provider (idempotent).
#pragma once

namespace zun {

// "CheckClientVersionV2", "GetInfoDoUsuario", "ChamaSetuser".
void RegisterLoginProcedures();

// The enumerations and reference tables read at start-up and the database
// log ("Enum..." procedures and the reference-table procedures).
void RegisterReferenceProcedures();

// Companies, assets and series: their add, read and write procedures, the
// look-ups from codes to ids, the company tree and the provisional codes.
void RegisterObjectProcedures();

}  // namespace zun
