// Creating the database file and adding users.
#include <sqlite3.h>

#include "db_fixture.h"
#include "toolbox/dbclient/errors.h"

namespace zun {
namespace {

class ReferenceDb : public FreshDatabase {
 protected:
  std::string One(const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    std::string v = "<none>";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) != nullptr) {
      v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
  }
};

TEST_F(ReferenceDb, FreshFileHoldsTheCurrentSchemaVersion) {
  EXPECT_EQ(One("SELECT version FROM schema_version"), std::to_string(kSchemaVersion));
  EXPECT_EQ(One("SELECT COUNT(*) FROM schema_version"), "1");
  EXPECT_THROW(InitDatabase(path_), ProviderError);
  EXPECT_THROW(InitDatabase(dir_ + "/no/such/dir.db"), ProviderError);
}

TEST_F(ReferenceDb, UsersKeepOnlyAHashAndRejectUnusableNames) {
  const std::string hash = One("SELECT password_hash FROM users WHERE name = 'zunsvc'");
  EXPECT_EQ(hash.find("s3cret"), std::string::npos);
  EXPECT_EQ(hash.rfind("pbkdf2-sha256$", 0), 0u) << hash;
  // Stored as UTF-8.
  EXPECT_EQ(One("SELECT name FROM users WHERE uid = " + std::to_string(user_uid_)),
            "Jo\xc3\xa3o.Silva");
  for (const std::string bad : {"", " x", "x ", "a\tb", "ZUNSVC"}) {
    EXPECT_THROW(AddUser(path_, {bad, "p", "", false, 0, 0, 0}), ProviderError)
        << "<" << bad << ">";
  }
  EXPECT_THROW(AddUser(path_, {"lang", "p", "", false, 0, 3, 0}), ProviderError);
  EXPECT_THROW(AddUser(dir_ + "/missing.db", {"x", "p", "", false, 0, 0, 0}), ProviderError);
}

}  // namespace
}  // namespace zun
