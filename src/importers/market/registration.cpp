#include "importers/market/registration.h"

#include <utility>

#include "engine/keyword_table.h"
#include "importers/market/corporate_actions.h"
#include "importers/market/news.h"

namespace zun {

bool RegistraImportadoresDeMercado() {
  using I = TImportador;
  const std::pair<TImportador, TEntrada> entradas[] = {
      // corporate_actions.h
      {I::kEvento, TImportaObjetoOk(ImportaEvento)},
      // news.h
      {I::kNoticia, TImportaObjetoOk(ImportaNoticia)},
  };
  bool todos = true;
  for (const auto& [importador, entrada] : entradas) {
    todos = RegistraImportador(importador, entrada) && todos;
  }
  return todos;
}

}  // namespace zun
