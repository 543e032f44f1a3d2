#include "zuninput_db/database_commands.h"

#include <iostream>

#include "embedded/reference_db.h"
#include "zuninput_db/output.h"
#include "zuninput_db/sqlite_file.h"

namespace zun::dbtool {

int Init(const Args& a, const std::string& path) {
  Allow(a, {});
  WordCount(a, 1, "");
  InitDatabase(path);
  std::cout << "created " << path << " (schema version " << kSchemaVersion << ")\n";
  return 0;
}

int Sql(const Args& a, const std::string& path) {
  Allow(a, {});
  WordCount(a, 2, "SQL statement");
  DbFile db(path);
  Stmt st{db.Prepare(a.words[1])};
  PrintRows(db, st.st, std::cout);
  if (sqlite3_column_count(st.st) == 0) {
    std::cerr << sqlite3_changes(db.handle()) << " row(s) changed\n";
  }
  return 0;
}

}  // namespace zun::dbtool
