// The codes of the HTTP requests to the mail gateway, with the libcurl
// failures behind them.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

// The library could not be initialised or no easy handle was made.
inline constexpr int32_t kErrInternetOpen = 3226;
// The server name is not a usable http/https host or URL.
inline constexpr int32_t kErrInternetConnect = 3227;
// Closing a leftover request failed (cannot happen with libcurl; kept for the
// callers' tables).
inline constexpr int32_t kErrFechaRequest = 3228;
// The request could not be prepared: a path holding blanks, control
// characters, bytes above 127 or "#", or an option libcurl refused.
inline constexpr int32_t kErrOpenRequest = 3229;
// Every send failed: host not found, connection refused, timeout, TLS
// failure, no answer, ...
inline constexpr int32_t kErrSendRequest = 3230;
// No session was given.
inline constexpr int32_t kErrSemSessao = 4380;

}  // namespace zun
