// The market data importers on the importer tests' database, with more
// series on demand.
#pragma once

#include <string>

#include "../imp_de_teste.h"
#include "importers/market/registration.h"

namespace zun {

class MercadoDb : public ImportDb<RegistraImportadoresDeMercado> {
 protected:
  // n more series "<prefixo>1".."<prefixo>n" of exchange bolsa and kind tipo.
  void CriaSeries(int bolsa, int tipo, int n, const std::string& prefixo) {
    Sql("INSERT INTO anb (acao, cod, bolsa, tipo_de_bgl_destino) WITH RECURSIVE n(i) AS "
        "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(n) + ") SELECT 1, '" + prefixo + "' || i, " + std::to_string(bolsa) + ", " +
        std::to_string(tipo) + " FROM n");
  }
};

}  // namespace zun
