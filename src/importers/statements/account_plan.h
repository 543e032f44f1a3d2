// The importers of the account plan and of statement formats: "*CBAL"
// (define an account), "*DELCBAL" (delete one), "*BLOCOCBAL" (define an
// account block), "*FBAL" (define a format) and the block "*APRESFBAL"
// (the lines of a format, up to 4000, closed by "END").
//
// Each validates its fields from field 1 in both passes and writes only in
// the import pass (ToNoCheck false). "*CBAL" gives the code of its field
// or of its procedure; the others give kErrRegistroRecusado for a failed
// check or write.
//
// Thread-safety: none; called by the import engine on its thread.
#pragma once

#include <cstdint>

#include "engine/keyword_table.h"

namespace zun {

// "*CBAL": 30 fields; codes 3974..3993 and 15557..15561 by field (3993 also
// for a name of blanks), 50901 for an account number outside 1..6000 (as
// "ContaBalPut" answers, but in both passes), in the check pass 50903 for a
// block that is not BlocoConhecido, else the code of "ContaBalPut". The account is forgotten by the
// cache after a write.
void ImportaCBal(TImpMain& imp, const TVariantes& v, int32_t* code);

// Whether account block bloco is stored, or defined by a "*BLOCOCBAL" line
// of imp's file before the record being handled (which the check pass has
// not written).
bool BlocoConhecido(const TImpMain& imp, int32_t bloco);

// "*DELCBAL": account number and nothing after it; "ContaBalDel".
void ImportaDelCBal(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*BLOCOCBAL": block number (1 or more), three names, nothing after them;
// "BlocoContaBalPut", then the account block list is read again on its
// next use.
void ImportaBlocoCBal(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*FBAL": format id, country, two names (the second used when the first is
// empty; one is needed), nothing after them; "FormatoBalPut", then the
// format list is read again on its next use.
void ImportaFBal(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*APRESFBAL": the format id on the keyword line, then lines read with
// imp.NextLine up to "END": tipo (0..10) and its fields. An empty first
// field, a bad field, a 4001st line or the end of the file fails the block
// and stops reading there. The check pass also fails a block of a format
// that is neither stored nor defined by a "*FBAL" line earlier in the file.
// The import pass stores the lines with DbApresFormatoBalPut.
void ImportaApresFBal(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
