// The importer of news blocks, "*NW".
//
//   *NW company country pub_date seq
//   text lines ...
//   END
// The header has exactly four fields: a company code, a country id of
// EnumPais, a publication date other than the zero date and a sequence
// number (0 or more; "-" or empty for none, sent as -1). The text is every
// following line up to one that is exactly "END", blank lines included and
// comment lines dropped, joined with CR LF; a block with no text line
// fails in both passes as the import reports "NwsImport"'s 50714. Each
// failed check adds its message with ErrMsg and gives kErrRegistroRecusado
// without reading the text; a block the file ends in without "END" gives it
// with "reached EOF". Both passes read the block; the import pass writes it
// through "NwsImport".
// A company the database does not hold (3752) or a text it already holds
// (8604) is reported but does not fail the block.
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>

#include "engine/keyword_table.h"

namespace zun {

// "NwsImport": no company of that code in that country.
inline constexpr int32_t kNwsEmpDesconhecida = 3752;
// "NwsImport": an empty text.
inline constexpr int32_t kNwsTextoVazio = 50714;

// "*NW" block handler (entry of TImportador::kNoticia).
void ImportaNoticia(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
