// The ownership importers through the import engine against the embedded
// database holding company PETR (country 0).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../imp_de_teste.h"
#include "importers/ownership/registration.h"
#include "importers/ownership/shareholders.h"

namespace zun {

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
};

}  // namespace zun
