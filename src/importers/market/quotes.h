// Importers of quote records: "*QT", "*QTNOOVERWRITE", "*QTIF" (one quote
// of a series and day, twelve values) and "*DELQT" (the quotes of a series
// in a date range).
//
// A quote line is validated and its series resolved in both passes; the
// check pass counts it for the file's quote bulletins (bulletins.h), the
// import pass writes it with "CotacaoImportV3", telling the database not
// to log it on its own when it belongs to a bulletin. A ticker that is not
// registered on the exchange is reported and skipped, never an error.
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/imp_main.h"
#include "engine/keyword_table.h"

namespace zun {

inline constexpr int kValoresDaCotacao = 12;

// The "*QTIF" operators, sent as their position in this list (1..11).
inline constexpr const char* kOperadoresDaCondicao[] = {"###", "=*", "<>*", "<*", ">*", "**",
                                                        "!!",  "=",  "<>",  "<",  ">"};

// The condition of a "*QTIF" line: "#", the number of the stored value
// that is the first term, an operator and the second term (a number),
// separated by blanks or tabs. Returns 0, or the code of the first bad
// word: 4392 no "#", 4393 term 1 not an integer, 4394 operator not in the
// list, 4395 term 2 not a number, 4396 text after term 2; 50603 (as
// "CotacaoImportV3" answers) term 1 outside 1..12.
[[nodiscard]] int32_t LeCondicao(std::string_view texto, int32_t* operador, int32_t* termo1,
                                 double* termo2);

// One quote line, read from field 1 of imp.Parser.
struct TCotacao {
  std::string Ticker;
  int32_t Bolsa = 0;
  double Data = 0;
  std::array<double, kValoresDaCotacao> Valores{};
  std::array<bool, kValoresDaCotacao> Mantem{};
  int32_t Operador = 0, Termo1 = 0;
  double Termo2 = 0;
};

// Reads and validates a quote line of mode modo (0 "*QT", 1
// "*QTNOOVERWRITE", 2 "*QTIF"): ticker (3951 "Empty <ticker>"), exchange
// (3952 "Invalid <exchange>"), date (3953 "Invalid <date>"), the condition
// (mode 2, LeCondicao, no message), twelve values ("" null, "*" null and
// kept, else a number: 3954 "Invalid <vlr#i:field>") and up to ten further
// fields that must be empty (3950 "Invalid # of fields : <field>").
// Messages go to imp.ErrMsg. Returns 0 or the code.
[[nodiscard]] int32_t LeCotacao(TImpMain& imp, int32_t modo, TCotacao* q);

// "*QT" family (v.Modo 0, 1, 2): LeCotacao, then the series' destination
// kind; a "-provis" ticker that is not registered is tried as the code it
// was registered under; a ticker still not registered is reported ("ImpCot
// ticker/exchange error:...") and skipped with code 0. A registered series
// without a date ("-") fails with 50602, reported the same way, in both
// passes (the procedure refuses it). Check pass: counts
// the quote for the bulletins. Import pass: "CotacaoImportV3"; a failure is
// reported the same way, and 3757, 4383 and 4390 are then not errors. The
// import pass writes with the check pass's answer for the line (kept by the
// bulletin detector); a series gone since (50601) is skipped as unknown. A
// call that lost the link ends the file with its code (imp.Erro).
void ImportaCotacao(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*DELQT" ticker exchange from to: exactly 5 fields (3950 "Invalid # of
// fields"), 3951 "Empty <ticker>", 3952 "Invalid <exchange>", 3953
// "Invalid from <date>" / "Invalid to <date>", 50604 (reported as below)
// when both dates are empty or "-", 50605 when from is after to; in the
// check pass 50601 (reported as below) for a series that is not
// registered. Import pass:
// "CotacaoImportDelRange" (an empty or "-" date is NULL); a failure is
// reported ("ImpCotDelRange ticker/exchange error:..."), 3757 is then not
// an error; one that lost the link ends the file with its code.
void ImportaApagaCotacao(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
