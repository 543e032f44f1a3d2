// The keyword table of import files.
//
// One row per record keyword: the keyword (upper case), the importer entry
// that handles it, what that entry receives (the importer object, or only
// its parser and pass flag), the row's variant flags and whether the entry
// answers an error code or an ok flag. Rows are data; the dispatch of
// TImpMain compares a record's keyword with them in order.
//
// The importers live in the layers above the engine, so a row names its
// entry by TImportador and the entry function itself is registered into the
// table at start-up (RegistraImportador). A row whose entry is not
// registered is handled like an unknown keyword (3942). The engine registers
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
#include <variant>
#include <vector>

namespace zun {

class tImpRoot;
class TImpMain;
class tParserWrapper;

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

// What an entry receives.
enum class TRecebe : uint8_t {
  kObjeto,         // the importer object
  kParser,         // its Parser and ToNoCheck
  kParserELinhas,  // its Parser and ToNoCheck, and the object for NextLine
};

// How an entry answers.
enum class TResposta : uint8_t {
  kCodigo,           // an error code, 0 = success
  kOk,               // an ok flag, true = success
  kCodigoEMensagem,  // an error code and a message text for ErrMsg
};

// Entry shapes. The out arguments arrive as 0 / true / "".
using TImportaObjetoCodigo = std::function<void(TImpMain& imp, const TVariantes& v, int32_t* code)>;
using TImportaObjetoOk = std::function<void(TImpMain& imp, const TVariantes& v, bool* ok)>;
using TImportaParserCodigo = std::function<void(tParserWrapper& parser, bool to_no_check,
                                                const TVariantes& v, int32_t* code)>;
using TImportaParserOk =
    std::function<void(tParserWrapper& parser, bool to_no_check, const TVariantes& v, bool* ok)>;
// linhas is handed over only for its NextLine and AtEnd.
using TImportaParserLinhasOk =
    std::function<void(tParserWrapper& parser, bool to_no_check, tImpRoot& linhas, bool* ok)>;
using TImportaParserCodigoMensagem =
    std::function<void(tParserWrapper& parser, bool to_no_check, const TVariantes& v, int32_t* code,
                       std::string* mensagem)>;

// An entry of one of the shapes above; std::monostate when none is registered.
using TEntrada =
    std::variant<std::monostate, TImportaObjetoCodigo, TImportaObjetoOk, TImportaParserCodigo,
                 TImportaParserOk, TImportaParserLinhasOk, TImportaParserCodigoMensagem>;

struct TLinhaDeKeyword {
  std::string_view Keyword;  // upper case, with the leading "*"
  TImportador Importador;
  TRecebe Recebe;
  TResposta Resposta;
  TVariantes Variantes;
};

// The index in TEntrada of the shape that (recebe, resposta) calls for; 0
// for a combination no entry shape has.
size_t FormaDaEntrada(TRecebe recebe, TResposta resposta);

// Rows together with their registered entries.
class TTabelaDeKeywords {
 public:
  explicit TTabelaDeKeywords(std::vector<TLinhaDeKeyword> linhas);

  // Registers the entry of importador. Fails (false, nothing changed) when
  // no row names importador or the entry's shape differs from what a row
  // naming it receives and answers. A later registration replaces an
  // earlier one.
  bool Registra(TImportador importador, TEntrada entrada);

  // The first row whose keyword equals keyword (already upper case), or
  // null.
  const TLinhaDeKeyword* Procura(std::string_view keyword) const;

  // The registered entry of importador; std::monostate when none.
  const TEntrada& EntradaDe(TImportador importador) const;

  const std::vector<TLinhaDeKeyword>& Linhas() const { return linhas_; }

 private:
  std::vector<TLinhaDeKeyword> linhas_;
  std::vector<TEntrada> entradas_;  // indexed by TImportador
};

// Calls entrada for row linha on the record loaded in imp's Parser, the
// way the row says: sets *code or *ok from the answer; a non-empty message
// text goes to imp.ErrMsg. Precondition: entrada has the row's shape and
// imp.Parser is present.
void ChamaImportador(const TLinhaDeKeyword& linha, const TEntrada& entrada, TImpMain& imp,
                     int32_t* code, bool* ok);

// Every keyword of import files, in dispatch order.
const std::vector<TLinhaDeKeyword>& LinhasDeKeywords();

// The process-wide table over LinhasDeKeywords, with the engine's own
// entries registered.
TTabelaDeKeywords& TabelaDeKeywords();

// Registers an importer's entry in the process-wide table; false as in
// TTabelaDeKeywords::Registra.
bool RegistraImportador(TImportador importador, TEntrada entrada);

// The engine's own entries: "*OCOLOCA" does nothing; "*REQGBOL" appends
// "[import \"*REQGBOL\" " + imp.Describe() + "]" to ReqGBolPendente in the
// import pass and does nothing in the check pass.
void ImportaOcoLoca(TImpMain& imp, const TVariantes& v, int32_t* code);
void ImportaReqGBol(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
