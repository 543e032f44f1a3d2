// Importers of the small reference table records: "*PAIS", "*CURRENCY",
// "*BOLSA", "*VOTINGSTATUS", "*HIDENOZUNINPUT", "*BLOCOPADRAONADIGITACAO",
// "*IDENTIFICACAODECONTAS", "*OCOTIPO", "*TIPOOBJ" and "*LISTCHOICE".
//
// Each record is one line; its fields are read in order from field 1 and
// checked in both passes; the record's write (db/reference_procs.h) runs
// only in the import pass (ToNoCheck false). The importers other than
// "*TIPOOBJ" and "*LISTCHOICE" read a fixed list of fields followed by one
// that must be empty (a record with more fields fails): integer fields must
// be valid integers, non-empty fields must not be empty. The check pass
// also refuses what the write would refuse, as far as the lists read show
// it: an unknown country or currency (whose symbol and country must be its
// own), a code another row has, an account number outside 1..6000, a
// negative id, an account block neither stored nor defined by a
// "*BLOCOCBAL" line earlier in the file. A failed check or a failed write
// gives kErrRegistroRecusado, without a message of their own.
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>

#include "engine/keyword_table.h"

namespace zun {

// Error of every "*TIPOOBJ" record: asset types are not imported.
inline constexpr int32_t kErrTipoObjNaoImportado = 4431;
// A "*LISTCHOICE" record whose field type is not an integer, or whose
// entry field is neither "NEW", nor "doc-id:...", nor an integer of 1 or
// more.
inline constexpr int32_t kErrListChoiceInvalido = 4400;

// "*PAIS" id (integer), code (non-empty), name (non-empty): PaisPut.
void ImportaPais(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*CURRENCY" id (integer), code (non-empty), country id (integer), name
// (text, may be empty): MoedaPut.
void ImportaCurrency(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*BOLSA" id (integer), country id (integer), code (non-empty), ISO 10383
// code (text): BolsaPut.
void ImportaBolsa(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*VOTINGSTATUS" id (integer), code (non-empty): VoteStatPut.
void ImportaVotingStatus(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*HIDENOZUNINPUT" account id (integer): HideNoZunInputPut.
void ImportaHideNoZunInput(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*BLOCOPADRAONADIGITACAO" block number (integer), account id (integer):
// BlocoPadraoNaDigitacaoPut.
void ImportaBlocoPadraoNaDigitacao(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*IDENTIFICACAODECONTAS" identification (integer), account id (integer):
// IdentificacaoDeContasPut.
void ImportaIdentificacaoDeContas(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*OCOTIPO" id (integer), sequence (integer), abbreviation, name, an
// integer (checked, not stored), label 1 (text), label 2 (text); the
// abbreviation and the name must not be empty, which is checked after all
// fields are read: OcoTipoPut.
void ImportaOcoTipo(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*TIPOOBJ": always kErrTipoObjNaoImportado.
void ImportaTipoObj(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*LISTCHOICE" field type (integer); entry: "NEW" (a new entry),
// "doc-id:" + a document id (any letter case; the rest upper-cased, only
// letters and digits kept) or the id (integer, 1 or more) of the entry to
// change; the names in Portuguese, English and Spanish (an empty English
// name takes the Portuguese one, then an empty Spanish name the English
// one). A bad field type or entry gives kErrListChoiceInvalido; in the
// check pass AddListChoice's codes for what it would refuse (50410 a type
// without a list, 50411 an unknown entry, 50412 a document of another
// entry, 50413 no name); in the import pass the code is AddListChoice's.
void ImportaListChoice(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
