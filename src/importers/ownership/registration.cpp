#include "importers/ownership/registration.h"

#include <utility>

#include "engine/keyword_table.h"
#include "importers/ownership/compositions.h"
#include "importers/ownership/shareholders.h"

namespace zun {

bool RegistraImportadoresDeParticipacoes() {
  using I = TImportador;
  const std::pair<TImportador, TEntrada> entradas[] = {
      // shareholders.h
      {I::kAcionista, TImportaObjetoCodigo(ImportaAcionista)},
      // compositions.h
      {I::kComposicao, TImportaObjetoCodigo(ImportaComposicao)},
  };
  bool todos = true;
  for (const auto& [importador, entrada] : entradas) {
    todos = RegistraImportador(importador, entrada) && todos;
  }
  return todos;
}

}  // namespace zun
