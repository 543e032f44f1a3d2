// Result codes of the statement procedures of the reference database: the
// account plan ("ContaBal..."), account blocks, statement formats and their
// lines, and statements with their cells. The procedures are registered by
// RegisterStatementProcedures (procedure_sets.h); a call that returns one
// of these codes writes nothing.
#pragma once

#include <cstdint>

namespace zun {

// The account number is outside 1..6000.
inline constexpr int32_t kErrContaBalForaDaFaixa = 50901;
// No account has this number.
inline constexpr int32_t kErrContaBalDesconhecida = 50902;
// The account's block is not an account block.
inline constexpr int32_t kErrContaBalBlocoDesconhecido = 50903;
// The account has values in stored statements ("ContaBalDel").
inline constexpr int32_t kErrContaBalComValores = 50904;
// The account is on a line of a statement format ("ContaBalDel").
inline constexpr int32_t kErrContaBalNoFormato = 50905;
// A name the row needs is NULL or empty.
inline constexpr int32_t kErrBalTextoVazio = 50906;
// An account block id below 1 ("BlocoContaBalPut").
inline constexpr int32_t kErrBlocoContaBalInvalido = 50907;
// A negative format id ("FormatoBalPut").
inline constexpr int32_t kErrFormatoBalInvalido = 50908;
// The format's country is not in the country table ("FormatoBalPut").
inline constexpr int32_t kErrFormatoBalPaisDesconhecido = 50909;
// No statement format has this id.
inline constexpr int32_t kErrFormatoBalDesconhecido = 50910;
// No company has this id ("BalHeadPutV2").
inline constexpr int32_t kErrBalEmpresaDesconhecida = 50920;
// The statement has no reference date ("BalHeadPutV2").
inline constexpr int32_t kErrBalSemDataRef = 50921;
// A header value is outside its range: consolidated 0..1, source 0..7,
// document type 0..1, check grade 0..2 ("BalHeadPutV2").
inline constexpr int32_t kErrBalCabecalhoForaDaFaixa = 50922;
// No statement has this id ("BalHeadPutV2", "BalancoNaoLogaContas...").
inline constexpr int32_t kErrBalDesconhecido = 50923;
// Another statement already has this key ("BalHeadPutV2" with an id).
inline constexpr int32_t kErrBalChaveRepetida = 50924;
// No statement has the key ("BalGetPelaDataCons"); the program's own code.
inline constexpr int32_t kErrBalNaoEncontrado = 3585;

}  // namespace zun
