#include "importers/statements/registration.h"

#include <utility>

#include "engine/keyword_table.h"
#include "importers/statements/account_plan.h"

namespace zun {

bool RegistraImportadoresDeBalancos() {
  using I = TImportador;
  const std::pair<TImportador, TEntrada> entradas[] = {
      // account_plan.h
      {I::kCBal, TImportaParserCodigo(ImportaCBal)},
      {I::kDelCBal, TImportaParserOk(ImportaDelCBal)},
      {I::kBlocoCBal, TImportaParserOk(ImportaBlocoCBal)},
      {I::kFBal, TImportaParserOk(ImportaFBal)},
      {I::kApresFBal, TImportaParserLinhasOk(ImportaApresFBal)},
  };
  bool todos = true;
  for (const auto& [importador, entrada] : entradas) {
    todos = RegistraImportador(importador, entrada) && todos;
  }
  return todos;
}

}  // namespace zun
