// The check of the database's stored procedures at login: each procedure
// the service calls is described once (one round trip on SQL Server) and
// compared with the parameters the service sends and reads; what is missing
// or different is logged in one block with what the service goes without.
// The queue's additions of this project (the lease and its renewal, the
// stored line messages, where an import pass stands) are looked for here,
// so that the queue step uses only what the database has; any other missing
// procedure is marked in the session, so a file that needs it fails at once
// with kErrProcedimentoAusente instead of asking the server again.
//
// Thread-safety: main thread only.
#pragma once

#include <string>
#include <vector>

#include "toolbox/dbutil/service_procedures.h"

namespace zun {

// What the database's queue offers beyond the two procedures every queue
// has ("ImportFilesNext" and "ImportFilesResult"). All true until a check
// says otherwise.
struct RecursosDaFila {
  bool lease = true;   // hand-outs carry a lease that the outcome must show
  bool renova = true;  // "ImportFilesRenova" renews it
  bool erros = true;   // "ImportFilesErros" keeps the line messages
  bool marca = true;   // "ImportFilesMarca" keeps where an import pass stands
};
const RecursosDaFila& FilaDoBanco();

// Where a customer finds the queue's additions.
inline constexpr char kScriptDaFila[] = "deploy/sqlserver/zuninput-queue.sql";

// Describes on Db each procedure of usados (by default those this service
// calls, toolbox/dbutil/service_procedures.h) and logs, in one block, those
// missing or described with other parameters (names, or an output the
// service reads that is not one) and what degrades; sets FilaDoBanco and the
// session's missing procedures. Returns how many procedures differ. A
// description that fails for another reason than a missing procedure (a
// lost link) ends the check: it is logged, and nothing is marked missing.
// Never raises. Precondition: Db is connected.
int ConfereProcedimentos(const std::vector<ServiceProcedure>& usados = ServiceProcedures());

}  // namespace zun
