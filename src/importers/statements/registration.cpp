#include "importers/statements/registration.h"

#include "engine/keyword_table.h"
#include "importers/statements/account_plan.h"
#include "importers/statements/statement_import.h"

namespace zun {

bool RegistraImportadoresDeBalancos() {
  using I = TImportador;
  return RegistraEntradas({
      // account_plan.h
      {I::kCBal, ImportaCBal},
      {I::kDelCBal, ImportaDelCBal},
      {I::kBlocoCBal, ImportaBlocoCBal},
      {I::kFBal, ImportaFBal},
      {I::kApresFBal, ImportaApresFBal},
      // statement_import.h: "*FS", "*FSIFNEWER", "*FSUPDATE", "*FSNEWDB"
      {I::kBalanco, ImportaBalanco},
  });
}

}  // namespace zun
