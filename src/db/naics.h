// The industry classification table: the NAICS 2012 sectors (2 digits),
// subsectors (3 digits) and industry groups (4 digits), compiled in, with
// their names in Portuguese, English and Spanish (Windows-1252). The sectors
// that span a range of codes are keyed by the first one: 31 (31-33),
// 44 (44-45) and 48 (48-49). Import files give these codes for companies;
// the table accepts or refuses them and tells whether one code lies under
// another.
//
// Codes are 16-bit signed integers holding the decimal code (11, 111, 1111).
// Callers that read a wider integer must refuse values outside the 16-bit
// range before narrowing: none of them is in the table.
//
// Thread-safety: constant data and pure functions.
#pragma once

#include <cstdint>

namespace zun {

// Rows in the table: 20 sectors, 99 subsectors and 312 industry groups.
inline constexpr int kNumLinhasNaics = 431;

// The name of codigo in language lingua (0 Portuguese, 1 English,
// 2 Spanish), Windows-1252; "" when codigo is not in the table or lingua is
// not 0, 1 or 2. The text is static.
const char* NomeNaics(int16_t codigo, int lingua);

// The parent of codigo: 0 for codes of 99 and below; otherwise codigo / 10,
// where a two-digit result 31..33 becomes 31, 44..46 becomes 44 and 48..49
// becomes 48. The parent of 3341 is 334, of 334 is 31, of 493 is 48. Does
// not check that codigo is in the table.
int16_t NaicsPai(int16_t codigo);

// True when codigo is in the table.
bool NaicsValido(int16_t codigo);

// True when ancestral is codigo itself or a code reached from it by
// repeated NaicsPai. The walk stops at 0 or at a negative code, so
// (0, 0) and any negative codigo give false.
bool NaicsDescendeDe(int16_t codigo, int16_t ancestral);

}  // namespace zun
