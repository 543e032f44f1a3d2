// The ownership importers through the import engine against the embedded
// database holding company PETR (country 0). Each file runs both passes;
// a case gives the file, its result, a text its messages must contain and
// the rows of the test's query afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../../engine/test_files.h"
#include "../imp_de_teste.h"
#include "engine/imp_main.h"
#include "importers/ownership/registration.h"
#include "importers/ownership/shareholders.h"

namespace zun {

using ImpDeParticipacoes = ImpDeTeste;

struct CasoDeArquivo {
  std::string arquivo;   // the file's text
  int32_t resultado;     // its ResultCode
  std::string mensagem;  // a text its messages contain ("" for any)
  std::string linhas;    // the rows of the query afterwards
};

class OwnershipImport : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeParticipacoes());
    SqlScript(kEmpresaESerieDeTeste);
    LiberaCacheAcionistaDocPais();
  }
  void TearDown() override {
    LiberaCacheAcionistaDocPais();
    ZiGlobsDb::TearDown();
  }

  // Runs each file in order on the database; sh_port_flag as the queue
  // step would set it.
  void Roda(const std::string& consulta, const std::vector<CasoDeArquivo>& casos,
            bool sh_port_flag = false) {
    for (const CasoDeArquivo& c : casos) {
      ImpDeParticipacoes imp(EscreveArquivo("ownership.txt", c.arquivo), true);
      imp.ShPortFlag = sh_port_flag;
      while (imp.CanGoOn()) imp.ImportNext();
      EXPECT_EQ(imp.ResultCode(), c.resultado) << c.arquivo << "\n" << imp.msgs;
      EXPECT_NE(imp.msgs.find(c.mensagem), std::string::npos) << c.arquivo << "\n" << imp.msgs;
      EXPECT_EQ(LinhasComoTexto(*Db, consulta), c.linhas) << c.arquivo;
    }
  }
};

}  // namespace zun
