// The object records run through the import engine (check pass, then import
// pass) against the embedded database holding company PETR (country 0)
// with its asset of class ON and series PETR4 on exchange 1.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../../engine/test_files.h"
#include "../imp_de_teste.h"
#include "engine/imp_main.h"
#include "importers/objects/registration.h"

namespace zun {

// A line, the code of its file and, when not empty, its first line message.
struct Linha {
  const char* texto;
  int32_t codigo;
  const char* mensagem = "";
};

class ObjectRecordsImport : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeObjetos());
    SqlScript(kEmpresaESerieDeTeste);
  }

  // Imports each line as a file of its own; then the rows of consulta.
  std::string Roda(const std::vector<Linha>& linhas, const std::string& consulta) {
    for (const Linha& l : linhas) {
      ImpDeTeste imp(EscreveArquivo("objects.txt", std::string(l.texto) + "\r\n"), true);
      while (imp.CanGoOn()) imp.ImportNext();
      EXPECT_EQ(imp.ResultCode(), l.codigo) << l.texto;
      if (*l.mensagem != '\0') {
        EXPECT_EQ(imp.FirstErrMsg, l.mensagem) << l.texto;
      }
    }
    return LinhasComoTexto(*Db, consulta);
  }
};

}  // namespace zun
