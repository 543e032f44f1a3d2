// The import-file queue of the reference database: the table that holds the
// queued files and the two procedures the service serves it with.
//
// "ImportFilesNext" hands out the most urgent entry: not yet imported
// successfully, priority not above @MaxPrioridade, fewer tries than
// @MaxImportTries; ties by queue time, then id. It counts the try before
// handing the entry out, inside the call's write transaction, so two
// service processes never get the same entry at the same time.
// "ImportFilesResult" records an outcome.
//
// Thread-safety: registration at start-up; the procedures run on the
// caller's connection.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

// Registers "ImportFilesNext" and "ImportFilesResult" (idempotent).
void RegisterImportFilesProcedures();

// The current time in GMT as a day number.
double AgoraGMT();

}  // namespace zun
