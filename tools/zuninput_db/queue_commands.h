// The queue commands on the embedded file: enqueue, queue, show, retry,
// cancel, errors, purge. They read and change import_files directly, in
// write transactions where a running service could take the same entry.
//
// Thread-safety: single-threaded; each command opens the file itself.
#pragma once

#include <cstdint>
#include <string>

#include "toolbox/dbutil/import_queue.h"
#include "zuninput_db/command_line.h"

namespace zun::dbtool {

// "no queue entry ID".
std::string NoEntry(int64_t id);

// A file to queue, as the command line gives it.
struct ArquivoParaAFila {
  std::string content;
  int32_t priority = kMaxPrioridadeDeDia;
  std::string shown;  // the name shown in messages
};

// The file enqueue names, its priority and the name it is shown by, as
// checked for both the embedded file and SQL Server. Raises UsageError,
// or Failure when the file cannot be read.
ArquivoParaAFila LeArquivoParaAFila(const Args& a);

// purge's --before as "yyyy-mm-dd hh:nn:ss" (GMT); UsageError for a date
// the calendar does not have.
std::string AntesDoPurge(const Args& a);

// Each command on the file at path: prints its outcome, raises UsageError
// or Failure.
int Enqueue(const Args& a, const std::string& path);
int Queue(const Args& a, const std::string& path);
int Show(const Args& a, const std::string& path);
int Retry(const Args& a, const std::string& path);
int Cancel(const Args& a, const std::string& path);
int Errors(const Args& a, const std::string& path);
int Purge(const Args& a, const std::string& path);

}  // namespace zun::dbtool
