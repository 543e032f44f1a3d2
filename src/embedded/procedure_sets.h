// The procedure sets of the reference database, one per area; each
// registers its procedures with the embedded provider (idempotent).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolbox/dbclient/value.h"

namespace zun {

class ProcContext;

// "CheckClientVersionV2", "GetInfoDoUsuario", "ChamaSetuser".
void RegisterLoginProcedures();

// The enumerations and reference tables read at start-up and the database
// log ("Enum..." procedures and the reference-table procedures).
void RegisterReferenceProcedures();

// The writes of the small reference tables ("PaisPut", "MoedaPut",
// "BolsaPut", "VoteStatPut", "OcoTipoPut", the three account settings and
// "AddListChoice"); their codes are in codes.h.
void RegisterSmallTableProcedures();

// Companies, assets and series: their add, read and write procedures, the
// look-ups from codes to ids, the company tree and the provisional codes.
void RegisterObjectProcedures();

// Corporate actions of a series and news of a company: "PrvImport" and
// "NwsImport".
void RegisterEventProcedures();

// Quotes: "CotacaoImportV3" and "CotacaoImportDelRange"; their codes are in
// quote_procs.h.
void RegisterQuoteProcedures();

// The name-normalisation tables of each country: "BufPorPaisGet".
void RegisterNameProcedures();

// Indicators by date: the definitions, the values of series, assets and
// companies, and the registration formats.
void RegisterIndicatorProcedures();
// Share bases: "GetBaseAcDaEmp", "PutBaseAcionaria" and "DelBaseAcionaria";
// their codes are 51201..51206 (docs/database.md).
void RegisterShareBaseProcedures();
// Parties with their names and documents, and the shareholding
// compositions; their codes are in ownership_procs.h.
void RegisterOwnershipProcedures();
// The account plan, account blocks, statement formats and their lines, and
// statements: "ContaBal...", "BlocoContaBalPut", "FormatoBalPut",
// "ApresFmtBalItemsGet", "BalGetPelaDataCons", "BalHeadPutV2" and
// "BalancoNaoLogaContas..."; their codes are in codes.h.
void RegisterStatementProcedures();

// A quote bulletin entry of "DataLogAdd" ("@tip" 42): checks "@oid" (an
// exchange), "@aux" (a destination kind 0..11) and "@date" (given), then
// records a bulletin generation request of priority 1 ("reqgbol"). 0 or
// the code of quote_procs.h. Precondition: "@oid" and "@aux" are not NULL.
int32_t EntradaDeBoletim(ProcContext& c);

// The series cod on exchange bolsa (the code compared without regard to
// the letter case of ASCII letters, as the table's key does): its id and
// destination kind, or nothing when there is none. The connection keeps the
// answer while the series table cannot have changed (ProcContext::Lembrado).
std::vector<Value> SerieDaBolsa(ProcContext& c, int32_t bolsa, const std::string& cod);

}  // namespace zun
