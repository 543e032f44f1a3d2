// The codes of the composition importer ("*SHAREHOLDERS", "*PORTFOLIO"
// blocks), by name. Too many fields on the keyword line is the engine's
// shared code (engine/codes.h).
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

// "CacGetPelaEmpTipoDocData": the company has no composition of that day
// and kind yet (a new one is added).
inline constexpr int32_t kCacNaoAchada = 3932;

// The keyword line.
inline constexpr int32_t kCacEmpresaVazia = 4184;    // the company code is empty
inline constexpr int32_t kCacDtRef = 4185;           // the reference date is not a date
inline constexpr int32_t kCacDtPub = 4186;           // the publication date is not a date
inline constexpr int32_t kCacEmpresa = 4406;         // no such company in that country
inline constexpr int32_t kCacTipoNaoNumero = 40003;  // the portfolio kind is not a number
inline constexpr int32_t kCacTipoInvalido = 40013;   // a portfolio kind other than 1 or 3

// The item lines.
inline constexpr int32_t kCacSemEnd = 4188;          // the block ends without "END"
inline constexpr int32_t kCacValor1 = 4191;          // the first value is not a number
inline constexpr int32_t kCacValor0 = 4192;          // the second value is not a number
inline constexpr int32_t kCacValor2 = 4210;          // the third value is not a number
inline constexpr int32_t kCacTipoAplicacao = 4258;   // the holding kind is not a number
inline constexpr int32_t kCacSemValor = 4259;        // a portfolio item without a value
inline constexpr int32_t kCacValorCarteira = 4261;   // a portfolio value is not a number
inline constexpr int32_t kCacLinhaLonga = 4262;      // fields after the last value
inline constexpr int32_t kCacClassificacao = 45090;  // an unknown "#" classification
// A party id or party code that is not a number, or that gives no id.
inline constexpr int32_t kCacIdDaParte = 51190;

// Writing the composition failed (the block's items are not kept).
inline constexpr int32_t kCacGravacao = 4329;

}  // namespace zun
