// The codes the quote and bulletin importers answer with, and the codes of
// the database they look at, by name.
//
// Codes that belong to one importer alone and are part of its contract
// stay in that importer's header (bulletins.h, corporate_actions.h,
// news.h, event_call.h).
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

#include "db/codes.h"              // no series of that code (4042)
#include "toolbox/dbutil/codes.h"  // a failed call (3939)

namespace zun {

// A quote line ("*QT" and its kinds, "*DELQT").
inline constexpr int32_t kCotNumCampos = 3950;    // "Invalid # of fields"
inline constexpr int32_t kCotTickerVazio = 3951;  // "Empty <ticker>"
inline constexpr int32_t kCotBolsa = 3952;        // "Invalid <exchange>"
inline constexpr int32_t kCotData = 3953;         // "Invalid <date>"
inline constexpr int32_t kCotValor = 3954;        // "Invalid <vlr#i:field>"

// The condition of a "*QTIF" line.
inline constexpr int32_t kCondSemCerquilha = 4392;  // first word not "#"
inline constexpr int32_t kCondTermo1 = 4393;        // term 1 not an integer
inline constexpr int32_t kCondOperador = 4394;      // operator not in the list
inline constexpr int32_t kCondTermo2 = 4395;        // term 2 not a number
inline constexpr int32_t kCondTextoDemais = 4396;   // text after term 2

// What the quote procedures answer when they wrote nothing: reported on
// the line, not an error of it.
inline constexpr int32_t kCotSemMudanca = 3757;     // no change, or nothing in the range
inline constexpr int32_t kCotCondicaoFalsa = 4383;  // the line's condition does not hold
inline constexpr int32_t kCotValoresIguais = 4390;  // the quote would not change
// "CotacaoImportV3": no series of that code on that exchange (one removed
// since the check pass found it).
inline constexpr int32_t kCotSerieDesconhecida = 50601;

// A "*BOLCOT" line.
inline constexpr int32_t kBolNumCampos = 4100;  // "Invalid # of fields"
inline constexpr int32_t kBolBolsa = 4101;      // "Invalid <exchange>"
inline constexpr int32_t kBolData = 4102;       // "Invalid <date>"
inline constexpr int32_t kBolTipo = 4104;       // kind not in 0..11 (no message)

// The bulletin detector asked to count or force a group once closed.
inline constexpr int32_t kBolFechadoNaContagem = 3995;
inline constexpr int32_t kBolFechadoNoForca = 3996;

}  // namespace zun
