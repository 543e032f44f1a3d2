// The statement importers against the embedded database: company PETR of
// country 0, the account plan created through "*CBAL" lines, and files run
// through both passes of the import engine.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../../engine/test_files.h"
#include "engine/imp_main.h"
#include "importers/objects/registration.h"
#include "importers/statements/accounts.h"
#include "importers/statements/registration.h"

namespace zun {

// The format the tests lay out.
inline constexpr int32_t kFmtDeTeste = 7;

class ImpDeBalanco : public TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string& text) override { msgs += text + "\n"; }
  std::string msgs;
};

class StatementDb : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    CacheContaBal().Limpa();
    ASSERT_TRUE(RegistraImportadoresDeObjetos());
    ASSERT_TRUE(RegistraImportadoresDeBalancos());
    SqlScript(kEmpresaESerieDeTeste);
  }
  void TearDown() override {
    CacheContaBal().Limpa();
    ZiGlobsDb::TearDown();
  }

  // Runs text through both passes; its ResultCode. The messages of Msg go
  // to msgs_, the last line message to ultima_.
  int32_t Importa(const std::string& text) {
    ImpDeBalanco imp(EscreveArquivo("statement.txt", text), true);
    while (imp.CanGoOn()) imp.ImportNext();
    msgs_ = imp.msgs;
    ultima_ = imp.LastErrMsg;
    lidas_ = imp.lnn;
    return imp.ResultCode();
  }

  // The "*CBAL" line of account conta in block bloco with comocalcular.
  static std::string LinhaCBal(int32_t conta, int32_t comocalcular = 0, int32_t bloco = 1) {
    const std::string n = " c" + std::to_string(conta);
    return "*CBAL " + std::to_string(conta) + n + n + n + n + n + n + " " + std::to_string(bloco) +
           " 1 0 0 " + std::to_string(comocalcular) + " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
  }
  void CriaConta(int32_t conta, int32_t comocalcular = 0, int32_t bloco = 1) {
    ASSERT_EQ(Importa(LinhaCBal(conta, comocalcular, bloco)), 0) << ultima_;
  }
  void CriaContas(std::initializer_list<int32_t> contas) {
    std::string text;
    for (int32_t c : contas) text += LinhaCBal(c);
    ASSERT_EQ(Importa(text), 0) << ultima_;
  }

  std::string msgs_, ultima_;
  int32_t lidas_ = 0;
};

}  // namespace zun
