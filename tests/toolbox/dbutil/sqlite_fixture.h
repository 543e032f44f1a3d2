// A temporary embedded database (user "tester"/"pw", table t) and its
// connection string. Each test process gets files of its own, so that tests
// run in parallel never share a database.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "foundation/log.h"
#include "toolbox/dbclient/sqlite/password_hash.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbutil/session.h"

namespace zun {

inline std::string TestDbDir() {
  const std::string dir =
      std::string(ZUN_TEST_BINARY_DIR) + "/dbutil_db/" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  return dir;
}

// (Re)creates the catalog file and gives its connection string.
inline std::string CriaBanco(const std::string& catalog) {
  SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/dbutil_test.log");
  RegisterSqliteProvider();
  const std::string base = TestDbDir() + "/" + catalog + ".db";
  for (const char* ext : {"", "-wal", "-shm"}) std::remove((base + ext).c_str());
  sqlite3* db = OpenSqliteFile(base, true);
  const std::string sql =
      "CREATE TABLE users(name TEXT PRIMARY KEY, password_hash TEXT NOT NULL);"
      "CREATE TABLE t(id INTEGER PRIMARY KEY, a INTEGER, b TEXT, c REAL, d DATETIME, flag "
      "INTEGER);"
      "INSERT INTO users VALUES('tester', '" +
      HashPassword("pw") + "');";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close_v2(db);
  return "Provider=SQLite;Data Source=local;Initial Catalog=" + catalog +
         ";Data Directory=" + TestDbDir() + ";User ID=tester;Password=pw";
}

// Rows of table t as seen by session s.
inline int Linhas(TAdoDataBaseCustomizado* s) {
  std::vector<Recordset> rs;
  s->Provider().ExecuteSql("SELECT COUNT(*) FROM t", 30, &rs);
  rs.at(0).First();
  return rs.at(0).Field(0).AsInt();
}

}  // namespace zun
