// Indicators by date: the registration data of the registry objects (a
// fund series, a security class, a company) kept as values of defined
// indicators, each valid from a date on.
//
// The unit holds the process-wide list of indicator definitions
// (TListaDefIndicador, read from "GetTodosDefIndicador" on first use), turns
// the text of an import field into a typed value by the indicator's field
// type (InternalSetFromString), writes and reads values through the kind's
// procedures (TPoeValorNumIndicadorNumaData, TPegaValorDumIndicadorNumaData),
// and knows the registration formats that say which indicators belong to
// the registration data of which kind of object.
//
// Every operation returns an error code (0 = success) and never raises; the
// command objects are given back on every path.
//
// Thread-safety: none; the lists are process-wide and belong to the main
// thread, like Db.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "db/codes.h"

namespace zun {

// Object kinds of the registry (EAA).
inline constexpr uint8_t kEaaAnb = 0;  // fund series, id parameter "anb"
inline constexpr uint8_t kEaaAtv = 1;  // security class, "atv"
inline constexpr uint8_t kEaaEmp = 2;  // company, "emp"

// The short name of kind ("anb", "atv", "emp"); "" above 2.
const char* NomeCurtoDoEaa(uint8_t eaa);

// The codes of this unit are in db/codes.h.

// One indicator definition (a row of "GetTodosDefIndicador"). The program
// uses the id and the field type; the other columns are not kept.
struct DefIndicador {
  int32_t Id = 0;
  uint8_t FC = 0;  // field type
};

// The indicator definitions, indexed by id. Read from the database on
// first use: "GetTodosDefIndicador" in mode 1 (a status, the rows in the
// next result set, then a result set with the final "result").
class TListaDefIndicador {
 public:
  // Reads the definitions unless read; a failed read is read again on the
  // next use. Returns
  // 0, 4286 for a row with Id < 1, or the call's code.
  [[nodiscard]] int32_t GaranteLido();
  // The definition of id (read first); nullptr for an empty slot, an id
  // below 1 or an id beyond the definitions read (the array grows only with
  // the definitions put in it, never for an id asked).
  // A slot that holds another id logs "TLDI.GPII pediu:" + id + " achou:" +
  // id found, sets *e to 51001 and gives nullptr. *e is otherwise the read's
  // code. Precondition: e is not null.
  const DefIndicador* PegaDef(int32_t id, int32_t* e);
  // The number of slots (the highest id read + 1, or more after growth).
  int32_t Conta() const { return static_cast<int32_t>(defs_.size()); }
  // Puts a definition in its slot, growing the array up to its id, and
  // marks the list read (the read fills the list through it).
  void AdicionaLocal(const DefIndicador& def);

 private:
  std::vector<DefIndicador> defs_;  // slot i holds id i, or Id 0 when empty
  bool lido_ = false;
};

// The process-wide list; created on first use, recreated by the login and
// freed at shutdown through DefIndicadoresHooks (InstalaDefIndicadores).
TListaDefIndicador& DefIndicadores();

// Installs the hooks of the global state that recreate the list at every
// login ("- def indicadores") and free it at shutdown. Call at start-up.
void InstalaDefIndicadores();

// A value interpreted from text.
struct TValorDeIndicador {
  bool Nulo = true;
  std::string Texto;
  double Data = 0;    // day number, 0 = none
  double Numero = 0;  // the null number when none
};

// Interprets texto for the field type of def: numbers (0, 1 integers;
// 5, 15, 16 floats, strict with "." or with the locale's separators),
// 3 text, 9 currency (abbreviation or "#id"), 21, 38 booleans (1 or 0),
// 28 dates (strict "yyyy?mm?dd" with one separator, else "yyyy-mm-dd" or
// "yyyy.mm.dd"), and the list types by "#id", "doc-id:" + document id or
// name (adding the name to the list when pode_incluir_item and the list can
// add). Empty or "-" is null. Returns 0 or the type's code (logging where
// the codes above say); *v is set on success.
[[nodiscard]] int32_t InternalSetFromString(const DefIndicador& def, const std::string& texto,
                                            bool estrito, bool pode_incluir_item,
                                            TValorDeIndicador* v);

// One value to write: the object, its kind, the indicator and the date from
// which the value holds (0 = none).
struct TPoeValorNumIndicadorNumaData {
  int32_t IdEAA = 0;
  uint8_t EAA = 0;
  int32_t IdIndica = 0;
  double Data = 0;

  // Checks the indicator (25076), interprets texto (InternalSetFromString)
  // and writes it (Poe). Nothing is written when interpretation fails.
  [[nodiscard]] int32_t SetFromString(const std::string& texto, bool estrito,
                                      bool pode_incluir_item);
  // Writes through the kind's procedure: kind above 2 25074; id below 1 or
  // beyond the definitions 15687; no definition 15688. nulo writes NULL in
  // "@valornum", "@valordt" and "@valorst"; otherwise field type 3 writes
  // the trimmed text (NULL when empty or "-"), 27 and 28 the date (NULL for
  // 0), the others the number (NULL for the null number). Returns the call's
  // code.
  [[nodiscard]] int32_t Poe(bool nulo, const std::string& texto, double data, double numero);
};

// One value to read: the same four fields; Data is the date at which the
// value must hold.
struct TPegaValorDumIndicadorNumaData {
  int32_t IdEAA = 0;
  uint8_t EAA = 0;
  int32_t IdIndica = 0;
  double Data = 0;

  // Reads the value valid at Data through the kind's procedure. *nulo tells
  // whether the column of the field type is NULL (an unknown indicator
  // counts as null). Returns 0 or the call's (or "result"'s) code.
  // Preconditions: the out arguments are not null.
  [[nodiscard]] int32_t Pega(bool* nulo, double* numero, std::string* texto, double* data);
};

// Writes a registry value given as text on object id_eaa of kind eaa, valid
// from data (0 = none). Indicator 9 of a company is its tax registration
// number: the company is read, its cnpj set to texto ("-" clears it) and
// written back. Any other indicator is written with SetFromString (strict,
// adding items to lists when pode_incluir_item).
[[nodiscard]] int32_t EscreveValorDoIndicador(int32_t id_eaa, uint8_t eaa, int32_t id_indica,
                                              const std::string& texto, double data,
                                              bool pode_incluir_item);

// What EscreveValorDoIndicador would refuse of texto for indicator
// id_indica of an object of kind eaa, found without writing: 0 when the
// value would be written (a list name the list may add counts as known when
// pode_incluir_item), else the code the write would give before its call.
[[nodiscard]] int32_t ConfereValorDoIndicador(uint8_t eaa, int32_t id_indica,
                                              const std::string& texto, bool pode_incluir_item);

// The registration formats ("FormatoDeCadastroList").
struct FormatoDeCadastro {
  int32_t Id = 0;
  int32_t Pais = 0;
  int32_t Ordem = 0;
  std::string TituloPT, TituloEN, TituloES;
};

// The rules that give the format of an object type in a country
// ("RegraDeFormatoDeCadastroList").
struct RegraDeFormatoDeCadastro {
  uint8_t TipoObj = 0;
  uint8_t Pais = 0;
  int32_t IdFDC = 0;
};

// The lines of the formats ("LinhaDeFormatoList"); a line of type 2 names
// an indicator in P1.
struct LinhaDeFormato {
  int32_t IdFDC = 0;
  int32_t IdLinha = 0;
  uint8_t EAA = 0;
  uint8_t TipoLinhaFormato = 0;
  int32_t P1 = 0;
  std::string StrPT, StrEN, StrES;
  bool VisivelNoZun = false;
};

// The three format arrays, read once per process (each when empty) and
// freed with the indicator definitions. Returns 0 or the first read's code.
[[nodiscard]] int32_t CarregaFormatosDeCadastro();
const std::vector<FormatoDeCadastro>& FormatosDeCadastro();
const std::vector<RegraDeFormatoDeCadastro>& RegrasDeFormatoDeCadastro();
const std::vector<LinhaDeFormato>& LinhasDeFormato();

// (object kind, indicator id) pairs of a format.
using TParesEaaIndicador = std::vector<std::pair<uint8_t, int32_t>>;

// The indicators of format id_fdc, or, when id_fdc is 0, of the format the
// rule for (tipo_obj, pais) names, that lie on lines of type 2 whose kind
// is in eaas; no pair twice. Returns 0, the formats' read code, or 35008
// or 35009 (logged) when the format does not exist. Precondition: pares is
// not null.
[[nodiscard]] int32_t IndicadoresDoFormato(int32_t id_fdc, int32_t tipo_obj, int32_t pais,
                                           const std::set<uint8_t>& eaas,
                                           TParesEaaIndicador* pares);

// Whether the indicator lies in the registration format of the object or
// of the objects it belongs to (the series, its class, its company): the
// first format pair found gives *eaa_achado, a pair of the asked kind ends
// the search. *e is the first failure's code; an object whose kind has no
// format rule (35009) is passed over, and gives *e only when the indicator
// is not found. Preconditions: the out arguments are not null.
bool AchaFormatoDoIndicador(int32_t id_indica, int32_t id_eaa, uint8_t eaa, int32_t* e,
                            uint8_t* eaa_achado);

// AchaFormatoDoIndicador found the indicator, and in the asked kind.
bool IndicadorNoFormato(int32_t id_indica, int32_t id_eaa, uint8_t eaa, int32_t* e);

// The registration line groups: "pt|en|es" names (Windows-1252) of group
// id; "" for an unknown id.
const char* NomeDoGrupoDeLinha(int32_t id);

// The ids of the registration line groups in table order.
std::vector<int32_t> IdsDosGruposDeLinha();

}  // namespace zun
