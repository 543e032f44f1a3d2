// The market importers through the import engine against the embedded
// database: series PETR4 on exchange 1 of company PETR (country 0) and a
// corporate action type 0. Each file runs both passes; the test reads the
// result, the latest error message and the rows of a query.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../../engine/test_files.h"
#include "../imp_de_teste.h"
#include "engine/imp_main.h"
#include "importers/market/registration.h"

namespace zun {

using ImpDeMercado = ImpDeTeste;

struct CasoDeArquivo {
  const char* arquivo;   // the file's text
  int32_t resultado;     // its ResultCode
  const char* mensagem;  // its LastErrMsg
  const char* linhas;    // the rows of the query afterwards
};

class MarketImport : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeMercado());
    SqlScript(kEmpresaESerieDeTeste);
  }

  // Runs each file in order on the database.
  void Roda(const std::string& consulta, const std::vector<CasoDeArquivo>& casos) {
    for (const CasoDeArquivo& c : casos) {
      ImpDeMercado imp(EscreveArquivo("market.txt", c.arquivo), true);
      while (imp.CanGoOn()) imp.ImportNext();
      EXPECT_EQ(imp.ResultCode(), c.resultado) << c.arquivo << imp.msgs;
      EXPECT_EQ(imp.LastErrMsg, c.mensagem) << c.arquivo;
      EXPECT_EQ(LinhasComoTexto(*Db, consulta), c.linhas) << c.arquivo;
    }
  }
};

}  // namespace zun
