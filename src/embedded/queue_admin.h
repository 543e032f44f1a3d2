// The queue for its owners and operators, as stored procedures, so that the
// same tools work on the embedded database and on SQL Server (zuninput-db
// calls them there): list the entries, read one entry's content and its line
// messages, queue a file, offer an entry once more, cancel one, purge old
// successes. Each procedure checks the rights of the connection's current
// user itself: an owner sees and changes only their own entries, an
// administrator any; purging is an administrator's. Codes: codes.h
// (50101, 50103, 50108..50111).
//
// Thread-safety: registration at start-up; the procedures run on the
// caller's connection.
#pragma once

namespace zun {

// Each entry with its state and, in words, why it is in it ("SELECT * FROM
// q" follows): ?1 the tries the service gives an entry, ?2 1 for failed
// entries only, ?3 1 for waiting ones only, ?4 one owner's (NULL: all).
extern const char kSqlDaFila[];

// An entry's line messages, oldest try first and in the order stored: try,
// line, code, reason, message, text. ?1 the entry, ?2 one try (NULL: every
// try). kSqlDosErrosSemTentativa reads a table made before the try's
// columns (schema 14): its rows are try 0, without code, reason or text.
extern const char kSqlDosErros[];
extern const char kSqlDosErrosSemTentativa[];

// Registers "ImportFilesLista", "ImportFilesGet", "ImportFilesErrosGet",
// "ImportFilesAdd", "ImportFilesRepete", "ImportFilesCancela" and
// "ImportFilesPurga" (idempotent).
void RegisterQueueAdminProcedures();

}  // namespace zun
