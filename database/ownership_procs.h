// The codes of the party and composition procedures of the reference
// database ("AcionistaGetByDocPaisV3", "AcionistaAddV3", "AcionistaPutV3",
// "CacGetPelaEmpTipoDocData", "CacAddV2", "CacPutV2",
// "CacCheckEhAplicacaoEhAcionista"). A party not found by its document is
// 4178 and a composition not found 3932, as the client expects.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

inline constexpr int32_t kErrAcionistaNomeVazio = 51101;     // empty "@nome"
inline constexpr int32_t kErrAcionistaDocVazio = 51102;      // no letter or digit in "@doc"
inline constexpr int32_t kErrAcionistaPaisInvalido = 51103;  // "@pais" not a country
// The document names another party and "@PodeLimparDocID" is not set.
inline constexpr int32_t kErrAcionistaDocDeOutro = 51104;
inline constexpr int32_t kErrAcionistaDesconhecido = 51105;  // "@id" names no party
inline constexpr int32_t kErrAcionistaEspecial = 51106;      // the special parties are fixed
inline constexpr int32_t kErrAcionistaPaisCheio = 51107;     // no free party code in "@pais"
inline constexpr int32_t kErrCacEmpDesconhecida = 51110;     // "@emp" names no company
inline constexpr int32_t kErrCacSemDtRef = 51111;            // "@dtref" is NULL
inline constexpr int32_t kErrCacTipoInvalido = 51112;        // kind not 0, 1 or 3
// Another composition has the same company, kind and reference date.
inline constexpr int32_t kErrCacDuplicada = 51113;
inline constexpr int32_t kErrCacDesconhecida = 51114;  // "@id"/"@idcac" names none

// The form in which a document is stored and searched: upper case (ASCII)
// with only the letters A-Z and digits kept; a document holding "-PROVIS"
// (any case) is a provisional one and is kept upper case as written.
std::string ChaveDoDocumento(const std::string& doc);

}  // namespace zun
