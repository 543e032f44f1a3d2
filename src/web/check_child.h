// The check of an uploaded file before it is queued, run as a child
// process of the service's own program ("zuninput -CheckFile -CheckAs
// -CheckAll"), so that whatever stops the engine ends the child and never
// the web server, and so that the check is exactly the service's. The
// child logs in as the service's login (the web server's switches and
// environment) and works as the file's owner, as a queue run imports it.
//
// Thread-safety: safe from any thread (each call its own child).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zun::web {

struct CheckResult {
  bool ran = false;  // the child ended on its own with "exit code:"
  int32_t code = 0;  // the check's code: 0 when every line passed
  std::string why;   // when !ran: what happened to the child
  std::vector<std::pair<int32_t, std::string>> messages;  // line, message (as printed)
  std::string summary;                                    // "failed lines: N; ..." when printed
};

// Runs program -CheckFile:file -CheckAs:owner -CheckAll with switches after
// them, in the working directory, for at most timeout_s seconds. Reads at
// most 32 MiB of the child's output.
CheckResult RunCheck(const std::string& program, const std::vector<std::string>& switches,
                     const std::string& file, const std::string& owner, int timeout_s);

// The check's printed output read into *r (the "line:N message" lines,
// "failed lines:" and "exit code:N").
void ReadCheckOutput(const std::string& out, CheckResult* r);

}  // namespace zun::web
