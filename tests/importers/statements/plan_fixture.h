// The statement importers against the embedded database: company PETR
// (id 1), an account plan of accounts 1..3000 in block 1, and an empty
// account cache for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "importers/statements/accounts.h"

namespace zun {

// Accounts 1..3000: 3001 and above are outside the plan.
inline constexpr int kContasDoPlano = 3000;

class PlanoDeContasDb : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    CacheContaBal().Limpa();
    SqlScript(kEmpresaESerieDeTeste);
    Sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(kContasDoPlano) +
        ") INSERT INTO conta_bal (id, nome_extenso_por, nome_extenso_ing, nome_extenso_esp, "
        "nome_compacto_por, nome_compacto_ing, nome_compacto_esp, bloco) "
        "SELECT i, 'c' || i, 'a' || i, 'c' || i, 'c', 'a', 'c', 1 FROM n");
  }
  void TearDown() override {
    CacheContaBal().Limpa();
    ZiGlobsDb::TearDown();
  }
  std::string Linhas(const std::string& sql) { return LinhasComoTexto(*Db, sql); }
};

}  // namespace zun
