// The process-wide state of database work: the bulletin-request text
// collected while importing and the directory of the bulletin request files.
// The unit's start-up and shutdown, the global enumerations and the
// "Reading initial data" step are declared here too.
//
// Thread-safety: single thread (the service's main thread).
#pragma once

#include <string>

namespace zun {

// Text of the quote bulletin requests collected while importing; sent to the
// database at shutdown.
inline std::string ReqGBolPendente;

// Directory of the quote bulletin request files, ending in "/".
inline std::string PathReqGBol;

}  // namespace zun
