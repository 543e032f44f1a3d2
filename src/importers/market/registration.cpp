#include "importers/market/registration.h"

#include <memory>

#include "engine/imp_main.h"
#include "engine/keyword_table.h"
#include "importers/market/bulletins.h"
#include "importers/market/corporate_actions.h"
#include "importers/market/news.h"
#include "importers/market/quotes.h"

namespace zun {

bool RegistraImportadoresDeMercado() {
  using I = TImportador;
  const bool todos = RegistraEntradas({
      // quotes.h
      {I::kCotacao, ImportaCotacao},
      {I::kApagaCotacao, ImportaApagaCotacao},
      // bulletins.h
      {I::kBolCot, ImportaBolCot},
      // corporate_actions.h
      {I::kEvento, ImportaEvento},
      // news.h
      {I::kNoticia, ImportaNoticia},
  });
  DefineFabricaDeBolCot([] { return std::make_unique<TMakeUpBolCot>(); });
  return todos;
}

}  // namespace zun
