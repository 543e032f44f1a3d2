// The statement importers on the importer tests' database with an account
// plan of accounts 1..3000 in block 1, and statement formats written as
// text.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "import_fixture.h"
#include "importers/statements/registration.h"
#include "importers/statements/statement_format.h"

namespace zun {

// Accounts 1..3000: 3001 and above are outside the plan.
inline constexpr int kContasDoPlano = 3000;

class PlanoDeContasDb : public ImportDb<RegistraImportadoresDeBalancos> {
 protected:
  void SetUp() override {
    ImportDb::SetUp();
    Sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(kContasDoPlano) +
        ") INSERT INTO conta_bal (id, nome_extenso_por, nome_extenso_ing, nome_extenso_esp, "
        "nome_compacto_por, nome_compacto_ing, nome_compacto_esp, bloco) "
        "SELECT i, 'c' || i, 'a' || i, 'c' || i, 'c', 'a', 'c', 1 FROM n");
  }
};

// Format id with its tree derived, one line per text: "H" for a header of
// block 1, "T<tipo>/<indentacao>" for a line of another type without an
// account, else "conta/indentacao/sinal" with an optional
// "/IdentificacaoDeContas".
inline TFormatoBal Formato(const std::vector<const char*>& linhas, int32_t id = -1) {
  TFormatoBal f;
  f.id = id;
  for (const char* texto : linhas) {
    TLinhaFmtBal l;
    l.fmtbal = id;
    l.seq = f.Count() + 1;
    std::istringstream in(texto);
    char c;
    int n = 0;
    if (*texto == 'H') {
      l.tipo = 1;
      l.bloco = 1;
    } else if (*texto == 'T') {
      in >> c >> n >> c >> l.indentacao;
      l.tipo = static_cast<uint8_t>(n);
    } else {
      in >> l.conta >> c >> l.indentacao >> c >> n;
      if (in >> c) in >> l.IdentificacaoDeContas;
      l.sinal = static_cast<uint8_t>(n);
    }
    f.Linhas.push_back(l);
  }
  DerivaArvoreFmtBal(&f);
  return f;
}

}  // namespace zun
