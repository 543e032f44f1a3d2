// Result codes and data-log kinds of the quote procedures of the reference
// database: "CotacaoImportV3" (one quote of a series and date),
// "CotacaoImportDelRange" (the quotes of a series in a date range) and the
// quote bulletin entries of "DataLogAdd". The procedures are registered by
// RegisterQuoteProcedures (procedure_sets.h); a call that returns a code
// writes nothing.
#pragma once

#include <cstdint>

namespace zun {

// No series of that code on that exchange.
inline constexpr int32_t kErrCotacaoSerieDesconhecida = 50601;
// "@date" is NULL: a quote belongs to a day.
inline constexpr int32_t kErrCotacaoSemData = 50602;
// "@IfOperador" outside 0..11, or an operator with "@IfValorTermo1" outside
// 1..12.
inline constexpr int32_t kErrCotacaoCondicaoInvalida = 50603;
// "CotacaoImportDelRange" with both dates NULL: a series' whole history is
// never deleted by an open range.
inline constexpr int32_t kErrCotacaoIntervaloAberto = 50604;
// "CotacaoImportDelRange" whose first date lies after its last.
inline constexpr int32_t kErrCotacaoIntervaloInvertido = 50605;
// A bulletin entry ("DataLogAdd" "@tip" 42) whose "@oid" is not an exchange.
inline constexpr int32_t kErrBoletimBolsaDesconhecida = 50606;
// A bulletin entry whose "@aux" (destination kind) lies outside 0..11.
inline constexpr int32_t kErrBoletimTipoInvalido = 50607;
// A bulletin entry without "@date".
inline constexpr int32_t kErrBoletimSemData = 50608;

// Outcomes the service reports for the line but does not count as errors;
// nothing is written.
// "@NoOverwrite" kept every stored value; "CotacaoImportDelRange": no quote
// in the range.
inline constexpr int32_t kCotacaoNadaMudou = 3757;
// The "*QTIF" condition is false.
inline constexpr int32_t kCotacaoCondicaoFalsa = 4383;
// The stored quote already holds the line's values.
inline constexpr int32_t kCotacaoIgual = 4390;

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
