// Importers of the company and asset records that write one object level
// without indicators: the industry code of a company ("*NAICS",
// "*NAICSIF"), the destination database kind and the ISIN code of a series
// ("*SERIESTATUS", "*ISIN") and an asset, one share class of a company
// ("*OBJCLASS").
//
// Each record is one line; field counts include the keyword (field 0). A
// record is checked in both passes (look-ups included) and written only in
// the import pass (ToNoCheck false). The code returned is the record's
// own, a look-up's or the write's; 0 for success.
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>

#include "engine/keyword_table.h"

namespace zun {

// Codes of the industry code records.
inline constexpr int32_t kErrNaicsNumCampos = 15311;
inline constexpr int32_t kErrNaicsCodEmp = 15312;
inline constexpr int32_t kErrNaicsPais = 15313;
inline constexpr int32_t kErrNaicsNaoInteiro = 15314;
inline constexpr int32_t kErrNaicsInvalido = 15315;

// Codes of the series status and ISIN records.
inline constexpr int32_t kErrSerieStatusTicker = 4136;
inline constexpr int32_t kErrSerieStatusBolsa = 4137;
inline constexpr int32_t kErrSerieStatusNovo = 4138;
inline constexpr int32_t kErrSerieStatusNumCampos = 4139;
inline constexpr int32_t kErrIsinNumCampos = 4327;

// Codes of the asset record.
inline constexpr int32_t kErrObjClassNumCampos = 15253;
inline constexpr int32_t kErrObjClassTipoObj = 15256;
inline constexpr int32_t kErrObjClassVote = 15257;
inline constexpr int32_t kErrObjClassIncompleto = 15259;

// "*NAICS" / "*NAICSIF" company code, country id, industry code: exactly
// 4 fields; the code must be a valid industry code. Writes the company's
// naics (ObjEmpPut). With v.SoSe ("*NAICSIF") nothing is written when the
// company's current code already lies at or below the new one.
void ImportaNaics(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*SERIESTATUS" ticker, exchange id, destination kind: exactly 4 fields,
// else the line message "Invalid # of fields : <count>". Calls
// "ImportAnbBGLDestino" with the user's PodeTodosOsTiposDeBGL right; the
// check pass refuses what it would for a registered series (50525 a kind
// outside 0..11, 50527 a kind from 6 on the series lacks, without the
// right) and a series that is neither registered nor added by an
// "*OBJSERIE" line earlier in the file (4178; "*ISIN" too).
void ImportaSerieStatus(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*ISIN" ticker, exchange id, ISIN (unchecked, cut to 12 characters):
// the field checks of "*SERIESTATUS" with kErrIsinNumCampos for a wrong
// count. Calls "ImportAnbISIN".
void ImportaIsin(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*OBJCLASS" company code, country id, class code[, asset type[, voting
// status]]: 4 to 6 fields. An existing asset is updated with the types
// given (ObjAtvPut); a missing asset of a known company and class is added
// (ObjAtvAdd) only when both types are given, else kErrObjClassIncompleto.
// A type given as "-" or absent keeps the stored one.
void ImportaObjClass(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
