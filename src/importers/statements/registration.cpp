#include "importers/statements/registration.h"

#include <utility>

#include "engine/keyword_table.h"
#include "importers/statements/account_plan.h"
#include "importers/statements/statement_import.h"

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
