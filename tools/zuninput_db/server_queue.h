// The queue on SQL Server, through the queue's procedures (docs/database.md,
// "The queue for owners and operators"), as the configured login: the
// procedures decide what it may see and change.
//
// Thread-safety: single-threaded; sets the process's switches and log file.
#pragma once

#include "zuninput_db/command_line.h"

namespace zun::dbtool {

// Whether the configuration file (--config PATH, else the service's) or a
// service switch (-provider:..., -OdbcDsn:...) selects a SQL Server, as the
// service would connect to it; the switches stay set for the login.
// Raises UsageError for a switch beside --db, Failure for a refused
// configuration file.
bool ServidorSelecionado(const Args& a);

// Runs a's queue command on the selected server; init, user and sql are
// refused there. Prints the outcome, raises UsageError or Failure.
int NoServidor(const Args& a);

}  // namespace zun::dbtool
