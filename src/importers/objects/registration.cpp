#include "importers/objects/registration.h"

#include <utility>

#include "db/indicators.h"
#include "engine/keyword_table.h"
#include "importers/objects/company_series.h"
#include "importers/objects/object_records.h"
#include "importers/objects/registry.h"
#include "importers/objects/small_tables.h"

namespace zun {

bool RegistraImportadoresDeObjetos() {
  using I = TImportador;
  const std::pair<TImportador, TEntrada> entradas[] = {
      // small_tables.h
      {I::kPais, TImportaParserOk(ImportaPais)},
      {I::kCurrency, TImportaParserOk(ImportaCurrency)},
      {I::kBolsa, TImportaParserOk(ImportaBolsa)},
      {I::kVotingStatus, TImportaParserOk(ImportaVotingStatus)},
      {I::kHideNoZunInput, TImportaParserOk(ImportaHideNoZunInput)},
      {I::kBlocoPadraoNaDigitacao, TImportaParserOk(ImportaBlocoPadraoNaDigitacao)},
      {I::kIdentificacaoDeContas, TImportaParserOk(ImportaIdentificacaoDeContas)},
      {I::kOcoTipo, TImportaParserOk(ImportaOcoTipo)},
      {I::kTipoObj, TImportaParserCodigo(ImportaTipoObj)},
      {I::kListChoice, TImportaObjetoCodigo(ImportaListChoice)},
      // object_records.h
      {I::kNaics, TImportaObjetoCodigo(ImportaNaics)},
      {I::kSerieStatus, TImportaObjetoCodigo(ImportaSerieStatus)},
      {I::kIsin, TImportaObjetoCodigo(ImportaIsin)},
      {I::kObjClass, TImportaObjetoCodigo(ImportaObjClass)},
      // company_series.h
      {I::kObjEmp, TImportaObjetoCodigo(ImportaObjEmp)},
      {I::kObjSerie, TImportaObjetoCodigo(ImportaObjSerie)},
      // registry.h
      {I::kRegistro, TImportaObjetoCodigo(ImportaRegistro)},
      {I::kRegistroRepeteData, TImportaObjetoCodigo(RepeteRegistro)},
      {I::kEaaReg, TImportaObjetoCodigo(ImportaRegistroDaSerie)},
  };
  InstalaDefIndicadores();
  bool todos = true;
  for (const auto& [importador, entrada] : entradas) {
    todos = RegistraImportador(importador, entrada) && todos;
  }
  return todos;
}

}  // namespace zun
