// Quote bulletins: a day's price list of an exchange is logged in the
// database once, as one bulletin entry, instead of once per quote.
//
// TMakeUpBolCot, the bulletin detector of one import file, groups the
// quotes of the check pass by (exchange, destination kind, date) and
// decides which groups are bulletins: a group forced by a "*BOLCOT" line,
// or one of at least 20 quotes that holds more than 0.7 of the series of
// its exchange and kind (rounded half to even). Its first query closes it:
// from then on groups are only read. Between the passes, LogaBoletins
// writes "- BolCot: ..." and one data-log entry (tip 42) per bulletin and
// asks for a bulletin generation; in the import pass each quote asks
// whether it belongs to a bulletin (then its own data-log entry is
// skipped).
//
// Thread-safety: none; one detector belongs to one importer object on the
// main thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/imp_main.h"
#include "engine/keyword_table.h"

namespace zun {

// A group needs at least this many quotes to be a bulletin...
inline constexpr int32_t kMinCotacoesDoBoletim = 20;
// ...and more than this share of its exchange's series of that kind, in
// tenths (0.7), so that the limit is computed exactly in integers.
inline constexpr int64_t kRazaoDoBoletimEmDecimos = 7;
// Quotes create no further groups once this many exist (so no more than 91
// groups come from quotes); forced groups are always created.
inline constexpr size_t kMaxGruposAntesDeCotacao = 90;
// Destination kinds 0..11 as letters in the log.
inline constexpr char kLetrasDosTiposDeBGL[] = "LGENTXPQRSUW";
// The destination kind that is never forced.
inline constexpr uint8_t kTipoDeBGLZunInput = 5;
// Data-log kind of a bulletin entry.
inline constexpr int32_t kTipDataLogBoletim = 42;
// The database's code for a bulletin entry without a date.
inline constexpr int32_t kBoletimSemData = 50608;

class TMakeUpBolCot : public TDetectorDeBoletim {
 public:
  struct TGrupo {
    int32_t Bolsa = 0;
    double Data = 0;  // groups match on an exactly equal value
    uint8_t Tipo = 0;
    int32_t Count = 0;  // quotes of the check pass
    bool Forcado = false;
    bool TotalConhecido = false;
    int32_t Total = 0;  // series of the exchange and kind in the database
  };

  // Counts one quote of the check pass. Raises EZunInputException 3995 when
  // closed. A quote of a new group creates it only while at most 90 groups
  // exist; otherwise it is not counted.
  void AdicionaCotacao(int32_t bolsa, uint8_t tipo, double data);
  // Forces the group (created when needed, without limit). Raises
  // EZunInputException 3996 when closed. Does nothing for kind 5.
  void Forca(int32_t bolsa, uint8_t tipo, double data);
  // Closes the detector; whether the group of (bolsa, tipo, data) exists
  // and is a bulletin.
  bool LogaComoBoletim(int32_t bolsa, uint8_t tipo, double data);
  // Closes the detector; the groups that are bulletins, in creation order.
  std::vector<TGrupo> ListaBoletins();
  // The log step between the passes: for each bulletin while imp.Erro is 0,
  // the line "- BolCot: " + date + " xchg:" + exchange + " TBGL:" + kind
  // letter (+ " #:" + count when above 0) (+ " Forced"), the data-log entry
  // (tip 42, oid exchange, aux kind, the date, no text) whose result
  // becomes imp.Erro, and a bulletin request of priority 1.
  void LogaBoletins(TImpMain& imp) override;

  const std::vector<TGrupo>& Grupos() const { return grupos_; }
  bool Fechado() const { return fechado_; }

  // A quote line's series as the check pass found it: the destination kind
  // its quote was counted with and, for a "-provis" ticker, the code it
  // was registered under (else ""). The import pass writes with this answer
  // instead of asking again: the bulletins were logged with these kinds.
  struct TSerieDaLinha {
    uint8_t Tipo = 0;
    std::string Ticker;
  };
  // Keeps the answer of line (lines come in increasing order; a line kept
  // again replaces nothing).
  void GuardaSerie(int32_t linha, uint8_t tipo, const std::string& registrado);
  // The answer kept for line; false when none.
  bool SerieDaLinha(int32_t linha, TSerieDaLinha* serie) const;

 private:
  TGrupo* Procura(int32_t bolsa, uint8_t tipo, double data);
  // The bulletin test; reads the group's total when it is not known (from
  // another group of the same exchange and kind, else the database; a failed
  // read leaves it unknown and counting as 0).
  bool EhBoletim(TGrupo& g);

  std::vector<TGrupo> grupos_;
  // The kept answers: (line, kind) by line, and the registered codes.
  std::vector<std::pair<int32_t, uint8_t>> tipos_das_linhas_;
  std::map<int32_t, std::string> registrados_;
  size_t ultimo_ = 0;  // the group found last: quotes come in runs
  bool fechado_ = false;
};

// A date as the log shows it: "yyyy/mm/dd", followed by "-hh:nn:ss" when
// it has a time of day.
std::string DataComoTexto(double data);

// An exchange field: an integer that is an id of EnumBolsa. Raises what
// reading the list raises.
bool BolsaValida(std::string_view campo, int32_t* bolsa);

// The detector of the file being imported; null when it has none.
TMakeUpBolCot* BolCotDe(TImpMain& imp);

// "*BOLCOT" exchange date [kind]: forces the bulletin of the exchange and
// date for the kind given, or for kinds 0 to 5 (5 is never forced). 4100
// "Invalid # of fields" unless 3 or 4 fields; 4101 "Invalid <exchange>";
// 4102 "Invalid <date>"; kBoletimSemData "Empty <date>" for empty or "-"
// (the database keeps no bulletin without a day); 4104 (no message) for a
// non-empty kind that is not an integer 0..11. Forces in the check pass
// only.
void ImportaBolCot(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
