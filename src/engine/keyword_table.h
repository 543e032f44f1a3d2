// The keyword table of import files.
//
// One row per record keyword: the keyword (upper case), the importer entry
// that handles it and the row's variant flags. Rows are data; the dispatch
// of TImpMain compares a record's keyword with them in order. Every entry
// has one shape (TEntrada): it receives the importer object and the row's
// flags and answers an error code.
//
// The importers live in the layers above the engine, so a row names its
// entry by TImportador and the entry function itself is registered into the
// table at start-up (RegistraImportador); KeywordsSemImportador tells the
// program entry whether a row was left without one. A row whose entry is
// not registered is handled like an unknown keyword (3942). The engine registers
// its own entries: "*OCOLOCA" (accepted, no effect) and "*REQGBOL" (bulletin
// request text, import pass only).
//
// Thread-safety: none. Register entries at start-up on the main thread,
// before the first file is imported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/codes.h"

namespace zun {

class TImpMain;

// Variant flags of a row. Each importer reads only its own.
struct TVariantes {
  int32_t Modo = 0;                 // quote: 0 overwrite, 1 no overwrite, 2 "*QTIF"
  int32_t Nivel = 0;                // registry level: 2 company, 1 class, 0 series
  bool NovaBase = false;            // statement: new database
  bool Atualiza = false;            // statement, share base: update
  bool SeMaisNovo = false;          // statement: only if newer
  bool Abreviado = false;           // company: abbreviated record
  bool SoSe = false;                // industry code: only if
  bool Adicional = false;           // share base: the further flag (always on)
  bool SeDocNovo = false;           // shareholder: only if the document is new
  bool ItemDeCarteira = false;      // shareholder: portfolio item
  bool Carteira = false;            // shareholding composition: portfolio
  bool AdicionaItemSeNovo = false;  // registry: add the item if new
  bool SeExiste = false;            // series registry: only if it exists
};

// The importer entries rows can name.
enum class TImportador : uint8_t {
  kCotacao,                 // quote
  kApagaCotacao,            // quote deletion
  kBolCot,                  // forced bulletin
  kBalanco,                 // financial statement block
  kEvento,                  // corporate action
  kNoticia,                 // news with its text lines
  kObjEmp,                  // company
  kObjClass,                // class
  kObjSerie,                // series
  kSerieStatus,             // series status
  kIsin,                    // ISIN code
  kNaics,                   // industry code
  kCBal,                    // account plan
  kDelCBal,                 // account plan deletion
  kApresFBal,               // statement presentation with its lines
  kBlocoCBal,               // account block
  kPais,                    // country
  kFBal,                    // statement format
  kCurrency,                // currency
  kBolsa,                   // exchange
  kTipoObj,                 // asset type
  kVotingStatus,            // voting status
  kHideNoZunInput,          // hidden-entry setting
  kBlocoPadraoNaDigitacao,  // default entry block
  kIdentificacaoDeContas,   // account identification
  kOcoTipo,                 // occurrence type
  kOcoLoca,                 // accepted and ignored
  kReqGBol,                 // bulletin request
  kShares,                  // share base
  kAcionista,               // shareholder or portfolio item
  kComposicao,              // shareholding composition with its lines
  kRegistro,                // registry of a company, class or series
  kRegistroRepeteData,      // registry date repetition
  kEaaReg,                  // registry of a series by its code
  kListChoice,              // list of choices
};

// The code of a record whose importer tells only whether it went well.
[[nodiscard]] inline int32_t CodigoDoOk(bool ok) { return ok ? 0 : kErrRegistroRecusado; }

// An importer entry: handles the record loaded in imp.Parser in the pass
// imp.ToNoCheck says, reading the row's variant flags v. *code arrives 0
// and is left 0 on success, else set to the record's error code; messages
// of the line go to imp.ErrMsg.
using TEntrada = std::function<void(TImpMain& imp, const TVariantes& v, int32_t* code)>;

struct TLinhaDeKeyword {
  std::string_view Keyword;  // upper case, with the leading "*"
  TImportador Importador;
  TVariantes Variantes;
};

// Rows together with their registered entries.
class TTabelaDeKeywords {
 public:
  explicit TTabelaDeKeywords(std::vector<TLinhaDeKeyword> linhas);

  // Registers the entry of importador. Fails (false, nothing changed) when
  // no row names importador or the entry is empty. A later registration
  // replaces an earlier one.
  bool Registra(TImportador importador, TEntrada entrada);

  // The first row whose keyword equals keyword (already upper case), or
  // null.
  const TLinhaDeKeyword* Procura(std::string_view keyword) const;

  // The registered entry of importador; an empty one when none.
  const TEntrada& EntradaDe(TImportador importador) const;

  // The keywords of the rows whose entry is not registered, in row order.
  std::vector<std::string_view> KeywordsSemImportador() const;

  const std::vector<TLinhaDeKeyword>& Linhas() const { return linhas_; }

 private:
  std::vector<TLinhaDeKeyword> linhas_;
  std::vector<TEntrada> entradas_;  // indexed by TImportador
};

// Every keyword of import files, in dispatch order.
const std::vector<TLinhaDeKeyword>& LinhasDeKeywords();

// The process-wide table over LinhasDeKeywords, with the engine's own
// entries registered.
TTabelaDeKeywords& TabelaDeKeywords();

// Registers an importer's entry in the process-wide table; false as in
// TTabelaDeKeywords::Registra.
bool RegistraImportador(TImportador importador, TEntrada entrada);

// One registration of an importer folder: an importer and its entry.
struct TRegistroDeImportador {
  TImportador Importador;
  TEntrada Entrada;
};

// Registers every entry of a folder's list in the process-wide table; true
// when each was taken, false when any was refused (the others stay
// registered).
bool RegistraEntradas(const std::vector<TRegistroDeImportador>& entradas);

// The engine's own entries: "*OCOLOCA" does nothing; "*REQGBOL" appends
// "[import \"*REQGBOL\" " + imp.Describe() + "]" to ReqGBolPendente in the
// import pass and does nothing in the check pass.
void ImportaOcoLoca(TImpMain& imp, const TVariantes& v, int32_t* code);
void ImportaReqGBol(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
