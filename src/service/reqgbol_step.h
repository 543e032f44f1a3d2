// The end-of-run step that turns a pending bulletin-generation request of
// the database ("GetReqGBol") into the marker file "reqgbol" + priority +
// ".nua" in the PathReqGBol directory.
//
// Thread-safety: main thread only.
#pragma once

#include <cstdint>

namespace zun {

// Runs the step; never raises. Without a connected session it only logs
// that it was skipped. A database failure (a lost link) gets one more
// attempt once the link works again (reopened when it was lost). Failures
// are logged and notified; the run's error code is not touched: the
// requests stay pending for the next run.
// Returns the step's code (0, 4105 for a marker file that could not be
// written, or the call's code) for tests.
[[nodiscard]] int32_t ProcuraReqGBolNoDataLogEGeraNua();

}  // namespace zun
