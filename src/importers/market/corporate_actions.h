// The importer of corporate action records, "*CA".
//
// Two line forms, fields counted from 1 after the keyword:
//   *CA ticker exchange udex type DELETE              (deletion)
//   *CA ticker exchange udex type currency acoes valor (event)
// The exchange, type and currency must be ids of EnumBolsa, EnumOcoAbrv and
// EnumMoeda; udex must be a date, "-" failing in both passes as the import
// reports "PrvImport"'s 50702; an event of type 0 is refused; acoes and valor are numbers,
// "-" or empty for none. Each failed check adds its message with ErrMsg
// and gives kErrRegistroRecusado. Both passes check; the import pass writes through
// "PrvImport" (seq 0, loca 0, the six factors 1 and 0; a deletion sends
// moeda -1 and no numbers). A series the database does not hold (3758) or
// a deletion of an event it does not hold (8604) is reported but does not
// fail the line.
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>

#include "engine/keyword_table.h"

namespace zun {

// "PrvImport": no series of that ticker on that exchange.
inline constexpr int32_t kPrvSerieDesconhecida = 3758;
// "PrvImport": no ex-date.
inline constexpr int32_t kPrvSemUdex = 50702;

// "*CA" line handler (entry of TImportador::kEvento).
void ImportaEvento(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
