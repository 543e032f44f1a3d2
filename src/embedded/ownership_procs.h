// The codes of the party and composition procedures of the reference
// database ("AcionistaGetByDocPaisV3", "AcionistaAddV3", "AcionistaPutV3",
// "CacGetPelaEmpTipoDocData", "CacAddV2", "CacPutV2",
// "CacCheckEhAplicacaoEhAcionista"). A party not found by its document is
// 4178 and a composition not found 3932, as the client expects.
#pragma once

#include <cstdint>
#include <string>

#include "embedded/codes.h"

namespace zun {

// The form in which a document is stored and searched: upper case (ASCII)
// with only the letters A-Z and digits kept; a document holding "-PROVIS"
// (any case) is a provisional one and is kept upper case as written.
std::string ChaveDoDocumento(const std::string& doc);

}  // namespace zun
