// The import-file queue as a customer's database has it before this
// project's additions: "ImportFilesNext" hands out the entry without a lease
// number or where an earlier try stands, "ImportFilesResult" records the
// outcome without a lease, and the procedures that need the added columns
// and tables ("ImportFilesRenova", "ImportFilesErros", "ImportFilesMarca",
// the owners' and operators' queue procedures) do not exist.
//
// An entry handed out is skipped by the next hand-outs for kImportLeaseDays
// (a try that is still running); nothing renews that time and nothing checks
// who records the outcome, so a file imported for longer than that may be
// handed out again and both outcomes are recorded.
//
// Thread-safety: registration at start-up, as RegisterDatabaseProcedures.
#pragma once

#include <string>
#include <vector>

namespace zun {

// The procedures this project adds to a customer's queue, or extends
// ("ImportFilesNext", "ImportFilesResult"): deploy/sqlserver/ holds their
// T-SQL.
const std::vector<std::string>& ProcedimentosAcrescentados();

// Those of them that only the owners' and operators' tools call
// (zuninput-db), never the service.
const std::vector<std::string>& ProcedimentosDasFerramentas();

// Replaces the extended queue procedures by the plain ones (see above).
// Call after RegisterDatabaseProcedures.
void RegisterPlainQueueProcedures();

}  // namespace zun
