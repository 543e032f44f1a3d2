// The process-wide state of database work: the one session Db (created
// here, declared in toolbox/dbutil/session.h), the global enumerations (id-text
// lists that read themselves from their stored procedures on first use), the
// bulletin-request text collected while importing, the directory of the
// bulletin request files and the statement-check debug flag.
//
// IniciaZiGlobs runs before the login and creates all of it, unread;
// LeDadosIniciais (called by the login) marks the lists unread so that every
// login reads fresh data, and checks the database's reference data against
// the program's own tables; EncerraZiGlobs sends a pending bulletin request
// and frees everything.
//
// Thread-safety: none. Everything here belongs to the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "db/id_text_list.h"

namespace zun {

// Text of the quote bulletin requests collected while importing. The queue
// step takes out what a file added and records it together with the file's
// outcome; what is left (a request that could not be recorded then) is sent
// to the database at shutdown.
inline std::string ReqGBolPendente;

// Directory of the quote bulletin request files, ending in "/": the value
// of the switch "PathReqGBol", else kPathReqGBolPadrao. The service makes
// the directory at the start of a run when it is missing.
inline std::string PathReqGBol;
inline constexpr char kPathReqGBolPadrao[] = "./reqgbol/";

// True when the switch "DbgDifChecagemBal" is present: the statement
// consistency check logs its differences.
inline bool DbgDifChecagemBal = false;

// The special parties of the shareholder tables: the total, the base and
// the free float of a composition; they must exist in every database.
inline constexpr int32_t NacTotal = 2147483647;
inline constexpr int32_t NacBase = 2147483646;
inline constexpr int32_t NacFreeFloat = 2147483645;

// The global enumerations; null outside IniciaZiGlobs .. EncerraZiGlobs.
extern std::unique_ptr<tIntStgList> EnumPais;       // "EnumPais": id, name
extern std::unique_ptr<tIntStgList> EnumPaisCod;    // "EnumPaisCod": id, code
extern std::unique_ptr<tIntStgList> EnumPaisDoUsr;  // countries of the user
extern std::unique_ptr<tIntStgList> EnumBaseDeDadosComercializavel;
extern std::unique_ptr<tIntStgList> EnumMoeda;  // Campo2 = country
extern std::unique_ptr<tIntStgList> EnumAbrevMoeda;
extern std::unique_ptr<tIntStgList> EnumFmtBal;
extern std::unique_ptr<tIntStgList> EnumBolsa;
extern std::unique_ptr<tIntStgList> EnumVote;
extern std::unique_ptr<tIntStgList> EnumTipoObj;  // Campo3 marks types
extern std::unique_ptr<tIntStgList> EnumOcoAbrv;
extern std::unique_ptr<tIntStgList> EnumOcoNome;
extern std::unique_ptr<tIntStgList> EnumBlocoDeContaBal;
extern std::unique_ptr<tIntStgList> EnumClasses;                          // Campo3 = parent class
extern std::unique_ptr<tIntStgListMultiLng> EnumTipoAplicacao;            // id 0 first
extern std::unique_ptr<tIntStgListMultiLng> EnumPfItemTipoClassificacao;  // id 0 first
extern std::unique_ptr<tIntStgListMultiLng> EnumTipoDeContrato;           // id 0 first
// Filled locally: 0 "Active", 1 "Inactive".
extern std::unique_ptr<tIntStgList> EnumAtivo;
// Filled locally: the destination database kinds 0..11 (NomeDoTipoDeBGL),
// Campo2 = 0 for 0..5 and 1 for 6..11.
extern std::unique_ptr<tIntStgList> EnumTipoDeBGL;

// The choice list of each field format f (0..245): "GetCampoListaDeValores"
// with "@formatocampo" = f, items added by "AddItemCampoListaValores". Only
// the formats for which TemListaDeValores holds have a list; the other
// entries stay null.
inline constexpr int kNumFormatosCampo = 246;
extern std::array<std::unique_ptr<tIntStgListMultiLng>, kNumFormatosCampo> ListasDeValores;

// Whether field format f has a choice list: 32, 41..102, 104..141, 146..245.
bool TemListaDeValores(int f);

// The indicator definitions list is kept by the indicators unit, which
// installs these hooks: Recria frees the list and creates a new one
// (LeDadosIniciais), Libera frees it (EncerraZiGlobs). Either may be empty.
struct GanchosDefIndicadores {
  std::function<void()> Recria;
  std::function<void()> Libera;
};
inline GanchosDefIndicadores DefIndicadoresHooks;

// Unit start-up, once per process (a counter makes later calls no-ops until
// the matching EncerraZiGlobs): the switches "output" (standard output
// appended to the named file), "PathReqGBol" and "DbgDifChecagemBal", the
// message-text hook, Db (AutoReconnect, caption "ZunInput", not connected),
// every list above (unread), EnumAtivo and EnumTipoDeBGL. Precondition: the
// program arguments are set (foundation/switches.h).
void IniciaZiGlobs();

// Unit shutdown, the reverse of IniciaZiGlobs. When *run_error_code is 0
// and ReqGBolPendente is not empty, the pending request is sent with
// ReqGBol ("[ZiGlobs.fini " + text + "]") and *run_error_code becomes its
// result, or 3797 when Db is missing or not connected; the text is then
// cleared. Frees the lists, the indicator definitions, the company cache, Db, and clears the
// user context. Precondition: run_error_code is not null.
void EncerraZiGlobs(int32_t* run_error_code);

// Receives each progress line of LeDadosIniciais ("Reading initial data",
// then "- countries", ...).
using TProgressoLeDados = std::function<void(const std::string& line)>;

// The "Reading initial data" step of the login: marks every global list
// unread, recreates the indicator definitions, then checks the database's
// country codes (3701), currencies (3719), asset type 0 marked in column 3
// of "EnumTipoObj" (4369) and the special shareholders (their
// "AcionistaGet" code); returns 0 or that code, 3718 when Db is missing or
// not connected. A list that cannot be read raises EZunInputException (the
// login's exception rule ends the login). Precondition: IniciaZiGlobs ran.
[[nodiscard]] int32_t LeDadosIniciais(const TProgressoLeDados& progresso = nullptr);

// The checks of LeDadosIniciais, each on its list; they read the list when
// needed and return 0 or the check's code.
[[nodiscard]] int32_t TestaEnumPaisCod(tIntStgList* lista);  // 3701
[[nodiscard]] int32_t TestaEnumMoeda(tIntStgList* lista);    // 3719
// Sets bit 0 of the Marca of every class that has children and logs the
// warnings "Warning: Class #..." (missing parent, circular parents).
void TestaClasses(tIntStgList* lista);

// Reads the special shareholders NacTotal, NacBase and NacFreeFloat with
// "AcionistaGet"; 0, or the code of the first one that is missing (logged
// as "NU.CENT: ..."). A call whose status is 0 but which gives no row for
// the party yields 4178.
[[nodiscard]] int32_t CarregaAcionistasEspeciais();

}  // namespace zun
