#include "importers/market/registration.h"

#include <memory>
#include <utility>

#include "engine/imp_main.h"
#include "engine/keyword_table.h"
#include "importers/market/bulletins.h"
#include "importers/market/corporate_actions.h"
#include "importers/market/news.h"
#include "importers/market/quotes.h"

namespace zun {

bool RegistraImportadoresDeMercado() {
  using I = TImportador;
  const std::pair<TImportador, TEntrada> entradas[] = {
      // quotes.h
      {I::kCotacao, TImportaObjetoCodigo(ImportaCotacao)},
      {I::kApagaCotacao, TImportaObjetoCodigo(ImportaApagaCotacao)},
      // bulletins.h
      {I::kBolCot, TImportaObjetoCodigo(ImportaBolCot)},
      // corporate_actions.h
      {I::kEvento, TImportaObjetoOk(ImportaEvento)},
      // news.h
      {I::kNoticia, TImportaObjetoOk(ImportaNoticia)},
  };
  bool todos = true;
  for (const auto& [importador, entrada] : entradas) {
    todos = RegistraImportador(importador, entrada) && todos;
  }
  DefineFabricaDeBolCot([] { return std::make_unique<TMakeUpBolCot>(); });
  return todos;
}

}  // namespace zun
