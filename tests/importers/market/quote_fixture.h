// The market data importers through the import engine against a fresh
// embedded database: the company PETR with the series PETR4 on exchange 1
// (destination kind 0) and its provisional code PETR-provis; more series
// on demand.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../database/db_fixture.h"
#include "../../db/zi_globs_fixture.h"
#include "../imp_de_teste.h"
#include "importers/market/registration.h"

namespace zun {

class MercadoDb : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    ASSERT_TRUE(RegistraImportadoresDeMercado());
    SqlScript(std::string(kEmpresaESerieDeTeste) +
              ";INSERT INTO registro_cod_provis VALUES ('PETR-provis', 'PETR4', 1, 1)");
  }
  void TearDown() override {
    DefineFabricaDeBolCot({});
    ZiGlobsDb::TearDown();
  }

  // n more series "<prefixo>1".."<prefixo>n" of exchange bolsa and kind tipo.
  void CriaSeries(int bolsa, int tipo, int n, const std::string& prefixo) {
    Sql("INSERT INTO anb (acao, cod, bolsa, tipo_de_bgl_destino) WITH RECURSIVE n(i) AS "
        "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(n) + ") SELECT 1, '" + prefixo + "' || i, " + std::to_string(bolsa) + ", " +
        std::to_string(tipo) + " FROM n");
  }

  // Imports text as one file; its result code. The messages stay in msgs_.
  int32_t Importa(const std::string& text) {
    const auto imp = ImportaArquivo(text);
    msgs_ = imp->msgs;
    return imp->ResultCode();
  }

  std::string Linhas(const std::string& sql) { return LinhasComoTexto(*Db, sql); }

  std::string msgs_;
};

}  // namespace zun
