// The import-file queue's limits and the codes its procedures answer, which
// both of its sides read: the embedded database's queue procedures
// ("ImportFilesNext") on the server side, and the service, the web pages and the administration
// tool that hand files to it or take them from it on the client side. Every server's queue
// procedures answer these codes (deploy/sqlserver/ too); docs/codes.md lists them. They live here,
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

// The "result" of "ImportFilesNext" when no entry may be handed out now.
inline constexpr int32_t kImportFilesNothing = 4072;
// The "result" of "ImportFilesNext" when the entry's owner is not in the
// users table; the try is counted.
inline constexpr int32_t kErrImportFileOwnerUnknown = 50104;
// The "result" of "ImportFilesNext" when the connection did not log in as
// an administrator; nothing is handed out or counted.
inline constexpr int32_t kErrImportFilesNotAdmin = 50105;
// The "result" of "ImportFilesNext" when it hands out, for the record, an
// entry whose process died on its last try (its lease ran out before an
// outcome was recorded) without committing lines since it was handed out
// (else it is resumed, with result 0): the row follows, and the caller records the
// failure with this code, tells the operators and mails the owner.
inline constexpr int32_t kErrImportFileProcessDied = 50106;
// The caller's "@lease" is no longer the entry's: another process took the
// entry after the lease ran out, or its outcome is recorded
// ("ImportFilesRenova", "ImportFilesResult"); nothing is changed.
inline constexpr int32_t kErrImportFileLeaseLost = 50107;
// "@id" is not an entry of the queue ("ImportFilesResult").
inline constexpr int32_t kErrImportFileUnknownId = 50101;
// "@res" is NULL: the outcome is unknown ("ImportFilesResult").
inline constexpr int32_t kErrImportFileNoResult = 50102;
// The entry was already imported successfully ("ImportFilesResult").
inline constexpr int32_t kErrImportFileAlreadyDone = 50103;
// The owners' and operators' queue procedures ("ImportFilesLista" ...
// "ImportFilesPurga"): the entry is another user's, or the operation is an
// administrator's; no such user; the entry's content was deleted; a run is
// importing the entry now. Nothing is changed.
inline constexpr int32_t kErrImportFileNotYours = 50108;
inline constexpr int32_t kErrImportFileNoUser = 50109;
inline constexpr int32_t kErrImportFileNoContent = 50110;
inline constexpr int32_t kErrImportFileBeingImported = 50111;

}  // namespace zun
