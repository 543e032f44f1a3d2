// The program's own type vocabulary: the names of the field types
// (TipoCampo) and field formats (FormatoCampo) of indicator values, of the
// three object levels, of the composition kinds, of the statement document
// kinds and of the share kinds. The names appear in log lines and messages;
// which field types have a choice list is TemListaDeValores
// (db/global_state.h).
//
// Thread-safety: constant data and pure functions.
#pragma once

#include <string>

namespace zun {

// Field types 0..245 and field formats 0..12.
inline constexpr int kNumTiposCampo = 246;
inline constexpr int kNumFormatosCampoDeValor = 13;

// The name of field type tipo: "_tcSmInt" (0) .. "_tcCLVWvalores200"
// (245); the byte-sized choice lists 41..75 are "_tcCLVBvalores1" ..
// "_tcCLVBvalores9", "_tcCLVBvaloresA" .. "_tcCLVBvaloresZ", the word-sized
// ones "_tcCLVWvalores" + their number (36..200). "" outside 0..245.
std::string NomeDoTipoCampo(int tipo);

// The name of field format formato: "_fcNormal" (0) .. "_fcKiloDecFixo"
// (12); "" outside.
const char* NomeDoFormatoCampo(int formato);

// Object levels: 0 "anb" (series), 1 "atv" (asset), 2 "emp" (company); ""
// outside.
const char* NomeDoNivelDeObjeto(int nivel);

// Composition kinds 0..7: 0 "ShareHolders", 1 "Fund Portfolio",
// 3 "Credit Receivables"; "" for the others and outside.
const char* NomeDoTipoDeComposicao(int tipo);

// Statement document kinds 0..7: 0 "Financial Statements", 1 "Credit
// Receivables Funds Reports", 2 "Real Estate Funds Reports"; "" for the
// others and outside.
const char* NomeDoTipoDeDocumento(int tipo);

// Share kinds, the names in Portuguese, English and Spanish joined by "|"
// (Windows-1252; TextoNaLingua picks one): 0 issued, 1 treasury,
// 2 outstanding. "" outside 0..2.
const char* NomeDoTipoDeAcoes(int tipo);

}  // namespace zun
