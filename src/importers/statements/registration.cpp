#include "importers/statements/registration.h"

#include <utility>

#include "engine/keyword_table.h"
#include "importers/statements/statement_import.h"

namespace zun {

bool RegistraImportadoresDeBalancos() {
  // Only finished importers are entered; a keyword without an entry stays
  // refused as unknown.
  using I = TImportador;
  const std::pair<TImportador, TEntrada> entradas[] = {
      // statement_import.h: "*FS", "*FSIFNEWER", "*FSUPDATE", "*FSNEWDB"
      {I::kBalanco, TImportaObjetoCodigo(ImportaBalanco)},
  };
  bool todos = true;
  for (const auto& [importador, entrada] : entradas) {
    todos = RegistraImportador(importador, entrada) && todos;
  }
  return todos;
}

}  // namespace zun
