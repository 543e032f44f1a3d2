// The codes of the database layer: the object calls, the look-ups, the
// global lists and the indicators. The call helpers' codes (3939 ...) are in
// toolbox/dbutil/codes.h.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

// Company, asset and series calls (objects.h): the code of a call that
// failed without one of its own.
inline constexpr int32_t kErrObjEmpAdd = 3673;
inline constexpr int32_t kErrObjEmpGet = 3674;
inline constexpr int32_t kErrObjEmpPut = 3675;
inline constexpr int32_t kErrObjAtvAdd = 3677;
inline constexpr int32_t kErrObjAtvGet = 3678;
inline constexpr int32_t kErrObjAtvPut = 3679;
inline constexpr int32_t kErrObjAnbAdd = 3681;
inline constexpr int32_t kErrObjAnbGet = 3682;
inline constexpr int32_t kErrObjAnbPut = 3683;
inline constexpr int32_t kErrAnbSemPaisProCodZun = 3807;  // a series read with PaisProCodZun < 0
inline constexpr int32_t kErrFmtBalSourceFora = 4461;     // a statement source outside 0..3
inline constexpr int32_t kErrObjListNivel = 15252;        // ObjListDaEmp of level 3 or more

// The global lists and the start and end of a run (global_state.h).
inline constexpr int32_t kErrEnumPaisCod = 3701;     // a country's code is not its own
inline constexpr int32_t kErrEnumMoeda = 3719;       // a currency id outside the table
inline constexpr int32_t kErrReqGBolSemDb = 3797;    // a pending bulletin request, no database
inline constexpr int32_t kErrListaMarcaFora = 4368;  // a marked list item with an id outside 0..255
inline constexpr int32_t kErrTipoObjSemMarca = 4369;  // asset type 0 not marked in "EnumTipoObj"

// Object look-ups (object_lookups.h). 4170 and 4172 are "GetIdAtvV2"'s own.
inline constexpr int32_t kErrGetIdAtvEmpNaoAchada = 4170;  // no company of that code
inline constexpr int32_t kErrGetIdAtvSemAtivo = 4172;      // company and class known, no asset
inline constexpr int32_t kErrGetIdEmpPais = 4173;          // a country outside 0..79
inline constexpr int32_t kErrGetIdEmpSemId = 4174;         // no company of that code
inline constexpr int32_t kErrGetIdAtvPais = 4175;          // GetIdAtv: a country outside 0..79
inline constexpr int32_t kErrGetIdAnbBolsa = 4177;         // an exchange that is not an integer
inline constexpr int32_t kErrRegistroNaoAchado = 4178;  // no such series, or party (AcionistaGet)
inline constexpr int32_t kErrTickerNaoRegistrado =
    4042;                                              // GetTipoDeBGLDaAnb: no series of that code
inline constexpr int32_t kErrGetTipoDeBGLFora = 4044;  // a destination kind outside 0..11
inline constexpr int32_t kErrGetIdAtvSemCodEmp = 15254;     // an empty or "-" company code
inline constexpr int32_t kErrGetIdAtvSemCodClasse = 15255;  // an empty or "-" class code

// Name normalisation: "BufPorPaisGet" has no row for the country (not a
// failure), and the warnings logged as "Warn:" + code when a country's
// tables cannot be read (the name is then kept as it is).
inline constexpr int32_t kErrBufPorPaisVazia = 4251;
inline constexpr int32_t kAvisoAbreviacoes = 15679;
inline constexpr int32_t kAvisoPalavras = 15680;
inline constexpr int32_t kAvisoNormalizador = 16016;

// Indicators (indicators.h).
inline constexpr int32_t kErrDefIndicadorIdInvalido = 4286;    // a definition with Id < 1
inline constexpr int32_t kErrIndInteiro = 4294;                // not an integer
inline constexpr int32_t kErrIndFloat = 4295;                  // not a number
inline constexpr int32_t kErrIndMoeda = 4179;                  // unknown currency
inline constexpr int32_t kErrIndBooleano = 4133;               // not a boolean
inline constexpr int32_t kErrIndDataNaoStrict = 45113;         // date unreadable (not strict)
inline constexpr int32_t kErrIndDataZero = 4336;               // a date that came out 0
inline constexpr int32_t kErrIndTipoDesconhecido = 4296;       // field type not readable
inline constexpr int32_t kErrIndListaIdNaoInteiro = 4306;      // "#" without an integer
inline constexpr int32_t kErrIndListaItemDesconhecido = 4307;  // name not in the list
inline constexpr int32_t kErrIndListaIdFora = 4308;            // "#id" not in the list
inline constexpr int32_t kErrIndListaDocIdVazio = 4399;        // "doc-id:" without a text
inline constexpr int32_t kErrIndIdSemDefinicao = 25076;        // SetFromString: no definition
inline constexpr int32_t kErrIndEaaInvalido = 25074;           // kind above 2
inline constexpr int32_t kErrIndIdForaDaLista = 15687;         // Poe: id < 1 or beyond
inline constexpr int32_t kErrIndSemDefinicao = 15688;          // Poe: no definition
inline constexpr int32_t kErrIndSemProcedimento = 25075;       // no procedure for the kind
inline constexpr int32_t kErrFormatoIdFdc = 35008;             // no format of that id
inline constexpr int32_t kErrFormatoRegra = 35009;             // no format for the rule
inline constexpr int32_t kErrDefIndicadorInterno = 51001;      // a slot holds another id

}  // namespace zun
