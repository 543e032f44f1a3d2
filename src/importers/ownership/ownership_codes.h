// The codes the ownership importers share, by name.
//
// Codes of one importer's own lines stay in that importer's header
// (share_base.h) or source.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

// A procedure call that failed with no code of its own.
inline constexpr int32_t kFalhaDaChamada = 3939;
// A line names a country that is not in the country list.
inline constexpr int32_t kPaisDesconhecido = 4182;

}  // namespace zun
