#include "importers/objects/registration.h"

#include "db/indicators.h"
#include "engine/keyword_table.h"
#include "importers/objects/company_series.h"
#include "importers/objects/object_records.h"
#include "importers/objects/registry.h"
#include "importers/objects/small_tables.h"

namespace zun {

bool RegistraImportadoresDeObjetos() {
  using I = TImportador;
  InstalaDefIndicadores();
  return RegistraEntradas({
      // small_tables.h
      {I::kPais, ImportaPais},
      {I::kCurrency, ImportaCurrency},
      {I::kBolsa, ImportaBolsa},
      {I::kVotingStatus, ImportaVotingStatus},
      {I::kHideNoZunInput, ImportaHideNoZunInput},
      {I::kBlocoPadraoNaDigitacao, ImportaBlocoPadraoNaDigitacao},
      {I::kIdentificacaoDeContas, ImportaIdentificacaoDeContas},
      {I::kOcoTipo, ImportaOcoTipo},
      {I::kTipoObj, ImportaTipoObj},
      {I::kListChoice, ImportaListChoice},
      // object_records.h
      {I::kNaics, ImportaNaics},
      {I::kSerieStatus, ImportaSerieStatus},
      {I::kIsin, ImportaIsin},
      {I::kObjClass, ImportaObjClass},
      // company_series.h
      {I::kObjEmp, ImportaObjEmp},
      {I::kObjSerie, ImportaObjSerie},
      // registry.h
      {I::kRegistro, ImportaRegistro},
      {I::kRegistroRepeteData, RepeteRegistro},
      {I::kEaaReg, ImportaRegistroDaSerie},
  });
}

}  // namespace zun
