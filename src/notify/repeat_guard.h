// The operators' notifications of a failure that repeats run after run (a
// wrong password on a 5-minute timer): the same failure is sent at most
// once an hour, and the next one sent says how many were held back. The
// state lives in the working directory ("zuninput-notices", one line per
// failure: the key, when it was last sent, how many were held back since),
// so it holds across runs.
//
// Thread-safety: main thread only; two processes at once may both send.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zun {

// Seconds between two notifications of the same failure.
inline constexpr int64_t kIntervaloDeAvisos = 3600;

// Whether the failure key may be notified at now (seconds since 1970):
// true when it was not sent within kIntervaloDeAvisos before now, and then
// *held is the count held back since it was last sent and the key counts
// as sent at now; false when it is held back (counted). A state file that
// cannot be read or written lets every notification through.
bool AvisoLiberado(const std::string& key, int64_t now, int32_t* held);

// SendNotification(subject, extra, recipients) when AvisoLiberado(key,
// the clock) lets it through, with the item "held-back" (the count) when
// notifications of the key were held back since the last one; otherwise
// logs "- notification held back (sent within the hour): " + subject.
void NotificaSemRepetir(const std::string& key, const std::string& subject,
                        std::vector<std::string> extra, const std::string& recipients);

}  // namespace zun
