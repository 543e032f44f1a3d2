// Result codes and data-log kinds of the quote procedures of the reference
// database: "CotacaoImportV3" (one quote of a series and date),
// "CotacaoImportDelRange" (the quotes of a series in a date range) and the
// quote bulletin entries of "DataLogAdd". The procedures are registered by
// RegisterQuoteProcedures (procedure_sets.h); a call that returns a code
// writes nothing.
#pragma once

#include <cstdint>

#include "embedded/codes.h"

namespace zun {

// Kinds ("@tip") of the data log written for quotes.
inline constexpr int32_t kDataLogCotacao = 41;           // one quote written (oid: series)
inline constexpr int32_t kDataLogBoletim = 42;           // one quote bulletin
inline constexpr int32_t kDataLogCotacoesApagadas = 43;  // a range deleted (aux: how many)

// Operators of the "*QTIF" condition, by the number "@IfOperador" carries.
enum TOperadorCotacao : int32_t {
  kOpSemCondicao = 0,
  kOpTemValor = 1,         // "###"
  kOpIgualOuNulo = 2,      // "=*"
  kOpDiferenteOuNulo = 3,  // "<>*"
  kOpMenorOuNulo = 4,      // "<*"
  kOpMaiorOuNulo = 5,      // ">*"
  kOpSempre = 6,           // "**"
  kOpNulo = 7,             // "!!"
  kOpIgual = 8,            // "="
  kOpDiferente = 9,        // "<>"
  kOpMenor = 10,           // "<"
  kOpMaior = 11,           // ">"
};

}  // namespace zun
