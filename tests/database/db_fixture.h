// A fresh reference database in a temporary directory, with an
// administrator and a plain user, and sessions logged in to it the way the
// service logs in.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "database/reference_db.h"
#include "foundation/log.h"
#include "toolbox/dbutil/server_version.h"
#include "toolbox/dbutil/session.h"

namespace zun {

class FreshDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/database_test.log");
    RegisterDatabaseProcedures();
    char tmpl[] = "/tmp/zun-dbtest-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/ZunTest.db";
    InitDatabase(path_);
    admin_uid_ = AddUser(path_, {"zunsvc", "s3cret", "ops@example.com", true, 0, 0, 0});
    user_uid_ = AddUser(path_, {"Jo\xe3o.Silva", "pw", "joao@example.com", false, 6, 1, 3});
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string ConnectionText(const std::string& user, const std::string& password) const {
    return "Provider=SQLite;Data Source=localhost;Initial Catalog=ZunTest;Data Directory=" + dir_ +
           ";User ID=" + user + ";Password=" + password;
  }

  // A session logged in as user, with the server generation detected.
  std::unique_ptr<TAdoDataBaseComInfoTran> Login(const std::string& user,
                                                 const std::string& password) {
    auto s = std::make_unique<TAdoDataBaseComInfoTran>();
    s->SetConnectionString(ConnectionText(user, password));
    s->Open();
    DetectaVersaoDoServidor(s.get());
    return s;
  }

  // Runs SQL on the file directly, as an operator would.
  void Sql(const std::string& text) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << text;
    sqlite3_close(db);
  }

  std::string dir_;
  std::string path_;
  int64_t admin_uid_ = 0;
  int64_t user_uid_ = 0;
};

}  // namespace zun
