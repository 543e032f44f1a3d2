// The import-file queue of the reference database: the table that holds the
// queued files and the two procedures the service serves it with.
//
// "ImportFilesNext" hands out the most urgent entry: not yet imported
// successfully, content still stored, priority not above @MaxPrioridade,
// fewer tries than @MaxImportTries; ties by queue time, then id. It picks
// the entry and counts the try in one statement, inside the call's write
// transaction, so two service processes never get the same entry at the
// same time; the first hand-out reports importtries 1.
// Only a connection that logged in as an administrator is handed entries:
// the service imports other users' files.
// Each hand-out takes the entry for kImportLeaseDays under a new lease
// number; "ImportFilesRenova" renews it while the file is imported, and
// only the latest lease may renew it or record the outcome. An entry whose
// lease ran out without an outcome had its process die: when its import
// pass committed lines, since that hand-out or before a single hand-out that
// died without committing more, it is handed out again first, without a try
// and whatever its tries and priority (a resume); else, with
// tries left, it is handed out again as its next try, and on its last try
// once more, with the code 50106 and without a try, for the failure to be
// recorded. "ImportFilesResult" records an outcome; a success is final.
// "ImportFilesMarca" records, with the lines an import pass commits, where
// it stands (and the lines applied and the line messages so far), so that
// the next hand-out of an entry whose process died goes on from there (the
// hand-out's row carries it); the outcome clears it.
// Result codes: reference_db.h.
//
// Thread-safety: registration at start-up; the procedures run on the
// caller's connection.
#pragma once

#include <cstdint>
#include <string>

#include "toolbox/dbutil/import_queue.h"

namespace zun {

// How long a handed-out entry stays taken by the process that got it
// unless renewed (in days: 30 minutes, well beyond one run's 600-second
// budget; the service renews every 5 minutes while it imports).
inline constexpr double kImportLeaseDays = 30.0 / 1440.0;

// Registers "ImportFilesNext", "ImportFilesResult", "ImportFilesRenova" and
// "ImportFilesMarca" (idempotent).
void RegisterImportFilesProcedures();

// The current time in GMT as a day number.
double AgoraGMT();

class ProcContext;

// Whether the connection logged in as an administrator (a user that is no
// longer in the users table is none).
bool LoginEhAdministrador(ProcContext& c);

}  // namespace zun
