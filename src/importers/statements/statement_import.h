// The importer of financial statement blocks: "*FS", "*FSIFNEWER",
// "*FSUPDATE" and "*FSNEWDB".
//
//   *FS company country refdate consolidated [source [doctype]]
//   CURRENCYDT 2024-01-31
//   MONTHS 12
//   3M
//   @120 3M FY 5.5
//   END
//
// The keyword line carries the statement's key; the block's lines carry
// header items and account values ("@" + account, optional period markers
// "3M" then "FY", then the value; an empty value or "-" is null) up to
// "END". The whole block counts as one record with one result code. Both
// passes parse and validate the block and look the company and the
// accounts up; the import pass also completes and grades the statement
// with the company's format (TCheckBalanco, periods 0 then 1) and stores
// it with DbBalPut. "*FSIFNEWER" skips a block published earlier than the
// stored statement with a warning through Msg; "*FSUPDATE" starts from the
// stored statement, so the block changes it; "*FSNEWDB" stores it as
// entered as new database. After an error the rest of the block is
// dropped up to its "END".
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "engine/keyword_table.h"

namespace zun {

// Codes of the statement block.
inline constexpr int32_t kBalSemPais = 3955;
inline constexpr int32_t kBalEmpNaoAchada = 3956;
inline constexpr int32_t kBalDataRef = 3957;
// A reference date "-": "BalHeadPutV2" refuses a statement without one.
inline constexpr int32_t kBalSemDataRef = 50921;
inline constexpr int32_t kBalConsolidado = 3958;
inline constexpr int32_t kBalTokVazio = 3959;
inline constexpr int32_t kBalCurrencyDt = 3960;
inline constexpr int32_t kBalFormat = 3961;
inline constexpr int32_t kBalMonths = 3962;
inline constexpr int32_t kBalMonCorr = 3963;
inline constexpr int32_t kBalPublishDt = 3964;
inline constexpr int32_t kBalCurrency = 3965;
inline constexpr int32_t kBalRetifDt = 3966;
inline constexpr int32_t kBalContaNaoInteira = 3967;
inline constexpr int32_t kBalContaForaDaFaixa = 3968;
inline constexpr int32_t kBalValor = 3969;
inline constexpr int32_t kBalTokInvalido = 3970;
inline constexpr int32_t kBalSemEmpresa = 3971;
inline constexpr int32_t kBalExcecao = 3972;
inline constexpr int32_t kBalSourceNaoInteiro = 4013;
inline constexpr int32_t kBalSourceForaDaFaixa = 4014;
inline constexpr int32_t kBalCampoDemais = 4015;
inline constexpr int32_t kBalContaDoBloco5 = 4195;
inline constexpr int32_t kBalFormato2 = 4288;
inline constexpr int32_t kBalTipoDocNaoInteiro = 40003;
inline constexpr int32_t kBalTipoDocForaDaFaixa = 40004;

// Statement block handler (entry of TImportador::kBalanco): v.NovaBase,
// v.Atualiza and v.SeMaisNovo select the keyword's variant. *code is the
// block's result; the messages go through imp.ErrMsg.
void ImportaBalanco(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
