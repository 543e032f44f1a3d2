// zuninput-db: the operators' tool for the embedded reference database.
// Creates a database file, adds users, queues import files, lists, shows,
// retries and purges queue entries, and runs single SQL statements. On a
// SQL Server selected as the service selects it, the queue commands go
// through the queue's procedures.
// Command-line texts are taken as UTF-8, as the database file holds them.

#include <exception>
#include <iostream>
#include <string>

#include "zuninput_db/command_line.h"
#include "zuninput_db/database_commands.h"
#include "zuninput_db/queue_commands.h"
#include "zuninput_db/server_queue.h"
#include "zuninput_db/user_commands.h"

namespace zun::dbtool {
namespace {

int Run(int argc, char** argv) {
  const Args a = Parse(argc, argv);
  if (a.Has("--help")) {
    std::cout << kUsage;
    return 0;
  }
  if (a.words.empty()) throw UsageError("no command given");
  if (ServidorSelecionado(a)) return NoServidor(a);
  const std::string path = DatabasePath(a);
  const std::string& cmd = a.words[0];
  if (cmd == "init") return Init(a, path);
  if (cmd == "user") return UserCommand(a, path);
  if (cmd == "enqueue") return Enqueue(a, path);
  if (cmd == "queue") return Queue(a, path);
  if (cmd == "show") return Show(a, path);
  if (cmd == "retry") return Retry(a, path);
  if (cmd == "cancel") return Cancel(a, path);
  if (cmd == "errors") return Errors(a, path);
  if (cmd == "purge") return Purge(a, path);
  if (cmd == "sql") return Sql(a, path);
  throw UsageError("unknown command <" + cmd + ">");
}

}  // namespace
}  // namespace zun::dbtool

int main(int argc, char** argv) {
  try {
    return zun::dbtool::Run(argc, argv);
  } catch (const zun::dbtool::UsageError& e) {
    std::cerr << "zuninput-db: " << e.what() << "\n" << zun::dbtool::kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "zuninput-db: " << e.what() << "\n";
    return 1;
  }
}
