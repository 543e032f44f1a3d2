// Importers of the registry records: one registration indicator of one
// registry object (a series, a security class or a company) set to a value
// from a date on.
//
// "*COMREG", "*CLASSREG", "*SERIEREG" (and their ADDITEMIFNEW forms, which
// may add new items to value lists) write a value; the REPEATDATE forms copy
// the value held at one date to another date; "*EAAREG" and its two forms
// take a series line whose indicator may belong to the series, its class or
// its company, and write the value to the object whose registration format
// holds it. Values are read and written through db/indicators.h.
//
// The line head (object look-up, indicator, value present, date) is checked
// in both passes; the check pass also checks the registration format, and
// the import pass reads the value by the indicator's field type and writes
// it, so a value that cannot be read fails the line in the import pass. An unknown series (4178)
// is only a warning line message ("Warning: 4178 Ticker:..., Bolsa:...")
// except for "*EAAREGIFEXISTS".
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>

#include "engine/keyword_table.h"

namespace zun {

// Codes of the registry records.
inline constexpr int32_t kErrRegSerieSemId = 4167;         // series look-up gave no id
inline constexpr int32_t kErrRegClasseSemId = 4169;        // class look-up gave no id
inline constexpr int32_t kErrRegEmpSemId = 4304;           // company look-up gave no id
inline constexpr int32_t kErrRegIndicador = 4301;          // indicator not an integer or undefined
inline constexpr int32_t kErrRegValorVazio = 4302;         // no value text
inline constexpr int32_t kErrRegData = 25072;              // date field not a date
inline constexpr int32_t kErrRegForaDoFormato = 4292;      // indicator outside the object's format
inline constexpr int32_t kErrRegDataOrigem = 45081;        // REPEATDATE: source date missing
inline constexpr int32_t kErrRegDataDestino = 45080;       // REPEATDATE: target date missing
inline constexpr int32_t kErrEaaRegIndicador = 25001;      // "*EAAREG": indicator
inline constexpr int32_t kErrEaaRegValorVazio = 25002;     // "*EAAREG": no value text
inline constexpr int32_t kErrEaaRegSerieSemId = 25003;     // "*EAAREG": no series
inline constexpr int32_t kErrEaaRegForaDoFormato = 25004;  // "*EAAREG": in no format
inline constexpr int32_t kErrEaaRegData = 25073;           // "*EAAREG": date field not a date

// "*COMREG" code country indicator value [date], "*CLASSREG" company code
// country class indicator value [date], "*SERIEREG" ticker exchange
// indicator value [date]: v.Nivel is the object kind, v.AdicionaItemSeNovo
// allows adding to value lists. The check pass refuses an indicator outside
// the object's registration format (4292, with the diagnosis log line).
void ImportaRegistro(TImpMain& imp, const TVariantes& v, int32_t* code);

// The REPEATDATE forms: the value field is the source date, the date field
// the target date; the value held at the source date is written unchanged
// (null included) at the target date.
void RepeteRegistro(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*EAAREG" ticker exchange indicator value [date]: the value goes to the
// series, its class or its company, whichever registration format holds the
// indicator (25004 when none does). v.SeExiste keeps an unknown series an
// error; v.AdicionaItemSeNovo allows adding to value lists.
void ImportaRegistroDaSerie(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
