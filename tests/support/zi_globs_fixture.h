// A fresh reference database in a temporary directory and the unit's global
// state started on it: Db logged in as a plain user, every list unread.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "db/global_state.h"
#include "db/id_text_list.h"
#include "db/reqgbol.h"
#include "db/user_context.h"
#include "db_fixture.h"
#include "embedded/reference_db.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "log_capture.h"
#include "toolbox/dbutil/session.h"

namespace zun {

// The code of the EZunInputException fn raises; 0 when it raises none.
template <typename Fn>
int32_t CodigoLevantado(Fn fn) {
  try {
    fn();
  } catch (const EZunInputException& e) {
    return e.Code();
  }
  return 0;
}

class ZiGlobsDb : public DbDir {
 protected:
  void SetUp() override {
    DbDir::SetUp();
    InitDatabase(Path());
    AddUser(Path(), {"leitor", "pw", "leitor@example.com", false, 0, 0, 0});
    // A gateway that refuses at once, so that notifications fail fast.
    SetProgramArgs({"zuninput", "/MailGateway=http://127.0.0.1:9/"});
    IniciaZiGlobs();
    Conecta();
    PrioridadeReqGBol = 0;
    ReqGBolPendente.clear();
  }

  void TearDown() override {
    int32_t code = 1;  // nothing is sent at shutdown unless a test asks
    EncerraZiGlobs(&code);
    DbDir::TearDown();
    SetProgramArgs({"zuninput"});
  }

  // Opens Db on the test database as the plain user.
  void Conecta() {
    ASSERT_NE(Db, nullptr);
    Db->SetConnectionString(
        "Provider=SQLite;Data Source=localhost;Initial Catalog=ZunInput;Data Directory=" + dir_ +
        ";User ID=leitor;Password=pw");
    Db->Open();
  }
  // Runs SQL on the database behind Db.
  void Sql(const std::string& sql) { Db->Execute(sql); }
  // Sql for each statement of a ";"-separated list.
  void SqlScript(const std::string& text) {
    std::istringstream in(text);
    for (std::string s; std::getline(in, s, ';');) Sql(s);
  }

  // The rows of a query on Db's connection: columns joined by "|", rows by ";".
  std::string Linhas(const std::string& sql) { return LinhasComoTexto(*Db, sql); }
};

}  // namespace zun
