#include "importers/ownership/registration.h"

#include "engine/keyword_table.h"
#include "importers/ownership/compositions.h"
#include "importers/ownership/share_base.h"
#include "importers/ownership/shareholders.h"

namespace zun {

bool RegistraImportadoresDeParticipacoes() {
  using I = TImportador;
  return RegistraEntradas({
      // share_base.h
      {I::kShares, ImportaLinhaDeBase},
      // shareholders.h
      {I::kAcionista, ImportaAcionista},
      // compositions.h
      {I::kComposicao, ImportaComposicao},
  });
}

}  // namespace zun
