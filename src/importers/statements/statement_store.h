// Reading and writing stored statements.
//
// BalGetPelaDataCons reads a statement by its key (company, reference date,
// consolidated, document type, source) with its cells. DbBalPut writes a
// statement's header and all its cells in one transaction: the stored rows
// of the statement are compared with the record row by row (exact
// comparison of values) and only what differs is deleted, rewritten or
// added. Every value is stored with CalcOuRx false, computed cells too.
//
// Thread-safety: none; uses the process-wide session Db on the program's
// single working thread.
#pragma once

#include <cstdint>

#include "importers/statements/statement.h"

namespace zun {

// The read's code when no statement has the key.
inline constexpr int32_t kBalNaoGuardado = 3585;

// Reads the stored statement of the key into *bal (cleared first). Returns
// 0, 3585 when no statement has that key (*bal stays cleared), 3520 or
// 3521 (or the code the exception carried) when its header or its cells
// cannot be read, or the code of the procedure call. Never raises.
[[nodiscard]] int32_t BalGetPelaDataCons(int32_t empresa, double dataref, bool consolidado,
                                         int32_t tipo_documento, int32_t source, TBalanco* bal);

// Attempts of one statement write when the link is lost; the last one's
// exception is raised.
inline constexpr int kTentativasDeDbBalPut = 3;

// Writes *bal: header ("BalHeadPutV2"; a new statement gets its id in
// bal->id), then the cells, in one transaction. entrou_como_novo_bd marks
// the statement as entered as a new database. Returns 0; 3525 when the
// header call gave no id; 4463 when the database refused the write with a
// constraint error (not repeated); 15778 when the write did not reach its
// commit point without a code; 3522 (or the exception's code) for a failure
// that is not the provider's; 3997 when ending the transaction failed; or
// the header call's code. A connection lost during the write or at the
// begin of its transaction that the session restores repeats the whole
// write, up to kTentativasDeDbBalPut attempts; when it cannot be restored,
// or on the last attempt, the provider's error is raised again to the
// caller.
[[nodiscard]] int32_t DbBalPut(TBalanco* bal, bool entrou_como_novo_bd);

}  // namespace zun
