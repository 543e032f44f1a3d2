#include "service/importers.h"

#include <string>
#include <string_view>

#include "engine/keyword_table.h"
#include "foundation/log.h"
#include "importers/market/registration.h"
#include "importers/objects/registration.h"
#include "importers/ownership/registration.h"
#include "importers/statements/registration.h"

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
      {"statements", RegistraImportadoresDeBalancos},
  };
  bool todos = true;
  for (const Pasta& p : kPastas) {
    if (p.registra()) continue;
    Loga(std::string("RegistraImportadores failed: ") + p.nome);
    todos = false;
  }
  for (std::string_view keyword : TabelaDeKeywords().KeywordsSemImportador()) {
    Loga("RegistraImportadores sem importador para " + std::string(keyword));
    todos = false;
  }
  return todos;
}

}  // namespace zun
