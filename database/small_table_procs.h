// Result codes of the small reference table procedures of the reference
// database: countries, currencies, exchanges, voting status, corporate
// action types, the account settings and the choice-list entries. The
// procedures are registered by RegisterSmallTableProcedures
// (procedure_sets.h); a call that returns one of these codes writes nothing.
#pragma once

#include <cstdint>

namespace zun {

// The id is not one the table can hold: a country other than 0..79, a
// currency other than 0..31, a negative exchange, voting status or
// corporate action type, an account other than 1..6000.
inline constexpr int32_t kErrSmallTableIdInvalido = 50401;
// A text the row needs is NULL or empty (a country's code or name, a
// currency's code, an exchange's or voting status's code, a corporate
// action type's abbreviation or name).
inline constexpr int32_t kErrSmallTableTextoVazio = 50402;
// The code is neither the country's two-letter nor its three-letter code
// ("PaisPut"): country codes are fixed by the program's country table.
inline constexpr int32_t kErrPaisCodigoDiferente = 50403;
// The country a currency or an exchange refers to is not in the table.
inline constexpr int32_t kErrPaisDesconhecido = 50404;
// The symbol is not the currency's own ("MoedaPut").
inline constexpr int32_t kErrMoedaSimboloDiferente = 50405;
// The country is not the currency's own ("MoedaPut").
inline constexpr int32_t kErrMoedaPaisDiferente = 50406;
// Another row of the table already has this code (an exchange's or voting
// status's code, a corporate action type's abbreviation).
inline constexpr int32_t kErrSmallTableCodigoRepetido = 50407;
// The default entry block is negative or not a statement account block
// ("BlocoPadraoNaDigitacaoPut"; 0 means none).
inline constexpr int32_t kErrBlocoDesconhecido = 50408;
// The account identification code is NULL or negative
// ("IdentificacaoDeContasPut"; 0 means none).
inline constexpr int32_t kErrIdentificacaoInvalida = 50409;
// The field type has no choice list ("AddListChoice").
inline constexpr int32_t kErrTipoSemListaDeValores = 50410;
// No entry of the list has this id, or the call names no entry at all
// ("AddListChoice" without "@id_new", an id of 1 or more or a document id).
inline constexpr int32_t kErrEscolhaDesconhecida = 50411;
// Another entry of the list already has this document id ("AddListChoice").
inline constexpr int32_t kErrDocumentoRepetido = 50412;
// The entry would have no name in any language ("AddListChoice").
inline constexpr int32_t kErrEscolhaSemNome = 50413;

}  // namespace zun
