// The object records run through the import engine (check pass, then import
// pass) against the embedded database holding company PETR (country 0)
// with its asset of class ON and series PETR4 on exchange 1.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../imp_de_teste.h"
#include "importers/objects/registration.h"

namespace zun {

class ObjectRecordsImport : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeObjetos());
    SqlScript(kEmpresaESerieDeTeste);
  }
};

}  // namespace zun
