// The import-file queue's limits, which both of its sides read: the
// embedded database's queue procedures ("ImportFilesNext") on the server
// side, and the service, the web pages and the administration tool that
// hand files to it or take them from it on the client side. They live here,
// below both, so that neither side includes the other's headers.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

// An entry is offered for at most kImportMaxTries tries, and the service
// takes priorities up to kMaxPrioridadeDeDia, or up to kMaxPrioridadeDeNoite
// in the quiet hours (lower numbers are more urgent). "ImportFilesNext"
// takes the day's limit and kImportMaxTries when its parameters are NULL.
inline constexpr int32_t kImportMaxTries = 2;
inline constexpr int32_t kMaxPrioridadeDeDia = 5;
inline constexpr int32_t kMaxPrioridadeDeNoite = 999;

}  // namespace zun
