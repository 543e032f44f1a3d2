// The stored procedures the service calls, each with the parameters it
// sends and reads: the contract between the service and any server that
// holds its database (SQL Server, with deploy/sqlserver/ for the queue's
// additions, or the embedded database). The login's procedure check
// compares each server's descriptions with it; the embedded database
// registers its procedures with the same parameters (its tests check that
// they agree). It lives here, below both sides, so that neither includes
// the other's headers. The owners' and operators' queue procedures
// (zuninput-db, the web pages) are not the service's and are not listed.
//
// Thread-safety: constants only.
#pragma once

#include <string>
#include <vector>

#include "toolbox/dbclient/parameter.h"

namespace zun {

// One parameter of a procedure, the return value apart.
struct ProcParam {
  std::string name;  // with "@"
  DataType type;
  ParamDirection direction = ParamDirection::kInput;
};

struct ServiceProcedure {
  std::string name;
  std::vector<ProcParam> params;
};

// The procedures the service calls, sorted by name without regard to case;
// "ImportFilesNext" and "ImportFilesResult" as extended by this project
// (a queue without the additions lacks "@lease" and more).
const std::vector<ServiceProcedure>& ServiceProcedures();

}  // namespace zun
