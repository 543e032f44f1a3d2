#include "importers/ownership/registration.h"

#include <string>
#include <utility>

#include "engine/keyword_table.h"
#include "importers/ownership/compositions.h"
#include "importers/ownership/share_base.h"
#include "importers/ownership/shareholders.h"

namespace zun {

bool RegistraImportadoresDeParticipacoes() {
  using I = TImportador;
  const std::pair<TImportador, TEntrada> entradas[] = {
      // share_base.h
      {I::kShares,
       TImportaParserCodigoMensagem([](tParserWrapper& parser, bool to_no_check,
                                       const TVariantes& v, int32_t* code, std::string* mensagem) {
         ImportaBaseAcionaria(parser, to_no_check, mensagem, code, v.Atualiza);
       })},
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
