// The codes the foundation gives: cutting the log and misused speed clocks.
// Each layer names its codes in one header like this one; a code several
// layers give is named once, in the lowest of them. docs/codes.md explains
// every one of them to the operator.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

// Cutting the log (NDTCM): logged as "NDTCM Erro:" + code, never raised.
inline constexpr int32_t kErrLogAbrir = 3244;        // zuninput.log could not be opened
inline constexpr int32_t kErrLogNumerado = 3245;     // the numbered file could not be made
inline constexpr int32_t kErrLogTravado = 3246;      // another process holds its lock
inline constexpr int32_t kErrLogTamanho = 3247;      // reading the log's size failed
inline constexpr int32_t kErrLogLerInicio = 3248;    // reading where the kept tail starts failed
inline constexpr int32_t kErrLogPosicionar = 3249;   // seeking in the log failed
inline constexpr int32_t kErrLogLerCauda = 3250;     // reading the kept tail failed
inline constexpr int32_t kErrLogGravarCauda = 3251;  // writing the kept tail failed
inline constexpr int32_t kErrLogEncurtar = 3252;     // shortening the log failed

// Speed clocks, marked on the slot and shown in the table.
inline constexpr int32_t kErrReloginhoRodando = 4317;    // still running when the set ends
inline constexpr int32_t kErrReloginhoLigado = 4318;     // started while running
inline constexpr int32_t kErrReloginhoDesligado = 4319;  // stopped while not running

}  // namespace zun
