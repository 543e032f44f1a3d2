// The codes the object importers share, by name: the rights the company
// and series procedures ask for. The look-ups that find nothing answer with
// the database layer's codes (db/codes.h).
//
// Codes of one importer's own lines stay in that importer's header
// (company_series.h, object_records.h, registry.h, small_tables.h).
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

#include "db/codes.h"  // the look-ups' own codes (4042, 4172, 4174, 4178)

namespace zun {

// A right the user lacks for a change (the procedures' own codes).
inline constexpr int32_t kSemDireitoSourceDiferenteDeLocal = 50506;  // formats of sources 1 to 3
inline constexpr int32_t kSemDireitoMudarAtvDoAnb = 50526;           // a series to another asset
inline constexpr int32_t kSemDireitoTipoDeBGL = 50527;               // destination kinds 6 to 11
inline constexpr int32_t kSemDireitoTrazDadosDaEmp = 50528;          // series brings company data
inline constexpr int32_t kSemDireitoCalendario = 50529;              // a series' calendar

}  // namespace zun
