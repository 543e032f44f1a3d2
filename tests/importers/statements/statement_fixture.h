// Statement blocks through the import engine on the account plan of
// PlanoDeContasDb: files run through both passes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../../engine/test_files.h"
#include "engine/imp_main.h"
#include "importers/statements/registration.h"
#include "plan_fixture.h"

namespace zun {

class ImpDeBalanco : public TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string& text) override { msgs += text + "\n"; }
  std::string msgs;
};

class StatementDb : public PlanoDeContasDb {
 protected:
  void SetUp() override {
    PlanoDeContasDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeBalancos());
  }

  // Runs text through both passes; its ResultCode. The messages of Msg go
  // to msgs_, the last line message to ultima_, the lines consumed to
  // lidas_.
  int32_t Importa(const std::string& text) {
    ImpDeBalanco imp(EscreveArquivo("statement.txt", text), true);
    while (imp.CanGoOn()) imp.ImportNext();
    msgs_ = imp.msgs;
    ultima_ = imp.LastErrMsg;
    lidas_ = imp.lnn;
    return imp.ResultCode();
  }

  std::string msgs_, ultima_;
  int32_t lidas_ = 0;
};

}  // namespace zun
