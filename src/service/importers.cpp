#include "service/importers.h"

#include <string>

#include "foundation/log.h"
#include "importers/market/registration.h"
#include "importers/objects/registration.h"
#include "importers/ownership/registration.h"

namespace zun {

bool RegistraImportadores() {
  struct Pasta {
    const char* nome;
    bool (*registra)();
  };
  static constexpr Pasta kPastas[] = {
      {"objects", RegistraImportadoresDeObjetos},
      {"market", RegistraImportadoresDeMercado},
      {"ownership", RegistraImportadoresDeParticipacoes},
  };
  bool todos = true;
  for (const Pasta& p : kPastas) {
    if (p.registra()) continue;
    Loga(std::string("RegistraImportadores failed: ") + p.nome);
    todos = false;
  }
  return todos;
}

}  // namespace zun
