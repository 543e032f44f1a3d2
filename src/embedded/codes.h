// The codes the reference database's procedures return (their return
// values or "result"), by family of procedures; docs/database.md describes
// each procedure. A call that returns a code other than 0 writes nothing,
// except where a code is said to be an outcome. The names with "Db" were
// private to their procedures' units; the infix keeps them apart from the
// names the importers give the same codes.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

#include "toolbox/dbutil/import_queue.h"

namespace zun {

// The login procedures ("CheckClientVersionV2", "GetInfoDoUsuario",
// "ChamaSetuser").
// The client version is older than the minimum kept in the settings table
// ("CheckClientVersionV2").
inline constexpr int32_t kErrClientVersionTooOld = 50301;
// The connection's current user is not (or no longer) in the users table
// ("GetInfoDoUsuario").
inline constexpr int32_t kErrCurrentUserUnknown = 50302;
// The connection did not log in as an administrator, so it may not take
// another user's identity ("ChamaSetuser").
inline constexpr int32_t kErrSetuserNotAdmin = 50303;
// No user of that name ("ChamaSetuser").
inline constexpr int32_t kErrSetuserUnknownUser = 50304;
// The queue procedures' codes are in toolbox/dbutil/import_queue.h.

// Parties and compositions ("AcionistaAddV3", "AcionistaPutV3", "CacAddV2",
// "CacPutV2", ...). A party not found by its document is 4178 and a
// composition not found 3932, as the client expects.
inline constexpr int32_t kErrAcionistaNomeVazio = 51101;     // empty "@nome"
inline constexpr int32_t kErrAcionistaDocVazio = 51102;      // no letter or digit in "@doc"
inline constexpr int32_t kErrAcionistaPaisInvalido = 51103;  // "@pais" not a country
// The document names another party and "@PodeLimparDocID" is not set.
inline constexpr int32_t kErrAcionistaDocDeOutro = 51104;
inline constexpr int32_t kErrAcionistaDesconhecido = 51105;  // "@id" names no party
inline constexpr int32_t kErrAcionistaEspecial = 51106;      // the special parties are fixed
inline constexpr int32_t kErrAcionistaPaisCheio = 51107;     // no free party code in "@pais"
inline constexpr int32_t kErrCacEmpDesconhecida = 51110;     // "@emp" names no company
inline constexpr int32_t kErrCacSemDtRef = 51111;            // "@dtref" is NULL
inline constexpr int32_t kErrCacTipoInvalido = 51112;        // kind not 0, 1 or 3
// Another composition has the same company, kind and reference date.
inline constexpr int32_t kErrCacDuplicada = 51113;
inline constexpr int32_t kErrCacDesconhecida = 51114;  // "@id"/"@idcac" names none
inline constexpr int32_t kErrDbAcionistaNaoAchado = 4178;
inline constexpr int32_t kErrDbCacNaoAchada = 3932;

// Quotes ("CotacaoImportV3", "CotacaoImportDelRange") and the quote bulletin
// entries of "DataLogAdd".
// No series of that code on that exchange.
inline constexpr int32_t kErrCotacaoSerieDesconhecida = 50601;
// "@date" is NULL: a quote belongs to a day.
inline constexpr int32_t kErrCotacaoSemData = 50602;
// "@IfOperador" outside 0..11, or an operator with "@IfValorTermo1" outside
// 1..12.
inline constexpr int32_t kErrCotacaoCondicaoInvalida = 50603;
// "CotacaoImportDelRange" with both dates NULL: a series' whole history is
// never deleted by an open range.
inline constexpr int32_t kErrCotacaoIntervaloAberto = 50604;
// "CotacaoImportDelRange" whose first date lies after its last.
inline constexpr int32_t kErrCotacaoIntervaloInvertido = 50605;
// A bulletin entry ("DataLogAdd" "@tip" 42) whose "@oid" is not an exchange.
inline constexpr int32_t kErrBoletimBolsaDesconhecida = 50606;
// A bulletin entry whose "@aux" (destination kind) lies outside 0..11.
inline constexpr int32_t kErrBoletimTipoInvalido = 50607;
// A bulletin entry without "@date".
inline constexpr int32_t kErrBoletimSemData = 50608;

// Outcomes the service reports for the line but does not count as errors;
// nothing is written.
// "@NoOverwrite" kept every stored value; "CotacaoImportDelRange": no quote
// in the range.
inline constexpr int32_t kCotacaoNadaMudou = 3757;
// The "*QTIF" condition is false.
inline constexpr int32_t kCotacaoCondicaoFalsa = 4383;
// The stored quote already holds the line's values.
inline constexpr int32_t kCotacaoIgual = 4390;

// Small reference tables: countries, currencies, exchanges, voting status,
// corporate action types, the account settings and the choice-list entries.
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

// Statements: the account plan ("ContaBal..."), account blocks, statement
// formats and their lines, and statements with their cells.
// The account number is outside 1..6000.
inline constexpr int32_t kErrContaBalForaDaFaixa = 50901;
// No account has this number.
inline constexpr int32_t kErrContaBalDesconhecida = 50902;
// The account's block is not an account block.
inline constexpr int32_t kErrContaBalBlocoDesconhecido = 50903;
// The account has values in stored statements ("ContaBalDel").
inline constexpr int32_t kErrContaBalComValores = 50904;
// The account is on a line of a statement format ("ContaBalDel").
inline constexpr int32_t kErrContaBalNoFormato = 50905;
// A name the row needs is NULL or empty.
inline constexpr int32_t kErrBalTextoVazio = 50906;
// An account block id below 1 ("BlocoContaBalPut").
inline constexpr int32_t kErrBlocoContaBalInvalido = 50907;
// A negative format id ("FormatoBalPut").
inline constexpr int32_t kErrFormatoBalInvalido = 50908;
// The format's country is not in the country table ("FormatoBalPut").
inline constexpr int32_t kErrFormatoBalPaisDesconhecido = 50909;
// No statement format has this id.
inline constexpr int32_t kErrFormatoBalDesconhecido = 50910;
// No company has this id ("BalHeadPutV2").
inline constexpr int32_t kErrBalEmpresaDesconhecida = 50920;
// The statement has no reference date ("BalHeadPutV2").
inline constexpr int32_t kErrBalSemDataRef = 50921;
// A header value is outside its range: consolidated 0..1, source 0..7,
// document type 0..1, check grade 0..2 ("BalHeadPutV2").
inline constexpr int32_t kErrBalCabecalhoForaDaFaixa = 50922;
// No statement has this id ("BalHeadPutV2", "BalancoNaoLogaContas...").
inline constexpr int32_t kErrBalDesconhecido = 50923;
// Another statement already has this key ("BalHeadPutV2" with an id).
inline constexpr int32_t kErrBalChaveRepetida = 50924;
// No statement has the key ("BalGetPelaDataCons"); the program's own code.
inline constexpr int32_t kErrBalNaoEncontrado = 3585;

// Companies, assets and series ("ObjEmp...", "ObjAtv...", "ObjAnb...",
// "DefineFormatoBalDaEmpSeNulo") and the look-ups the program knows by
// number ("GetIdAtvV2", "GetIdAnb", "GetTipoDeBGLDaAnb").
inline constexpr int32_t kErrDbCadCodEmpVazio = 50501;
inline constexpr int32_t kErrDbCadEmpDuplicada = 50502;
inline constexpr int32_t kErrDbCadEmpDesconhecida = 50503;
inline constexpr int32_t kErrDbCadPaisDesconhecido = 50504;
inline constexpr int32_t kErrDbCadSemDireitoPaisDaEmp = 50505;
inline constexpr int32_t kErrDbCadSemDireitoSource = 50506;
inline constexpr int32_t kErrDbCadMoedaDesconhecida = 50507;
inline constexpr int32_t kErrDbCadFmtBalDesconhecido = 50508;
inline constexpr int32_t kErrDbCadSourceOuDocInvalido = 50509;
inline constexpr int32_t kErrDbCadAtvDesconhecido = 50511;
inline constexpr int32_t kErrDbCadClasseDesconhecida = 50512;
inline constexpr int32_t kErrDbCadAtvDuplicado = 50513;
inline constexpr int32_t kErrDbCadVoteDesconhecido = 50514;
inline constexpr int32_t kErrDbCadTipoObjDesconhecido = 50515;
inline constexpr int32_t kErrDbCadSemDireitoEmpDoAtv = 50516;
inline constexpr int32_t kErrDbCadSemDireitoClasseEstrangeira = 50517;
inline constexpr int32_t kErrDbCadAnbDesconhecido = 50521;
inline constexpr int32_t kErrDbCadCodAnbVazio = 50522;
inline constexpr int32_t kErrDbCadAnbDuplicado = 50523;
inline constexpr int32_t kErrDbCadBolsaDesconhecida = 50524;
inline constexpr int32_t kErrDbCadTipoDeBGLInvalido = 50525;
inline constexpr int32_t kErrDbCadSemDireitoAtvDoAnb = 50526;
inline constexpr int32_t kErrDbCadSemDireitoTipoDeBGL = 50527;
inline constexpr int32_t kErrDbCadSemDireitoTrazDados = 50528;
inline constexpr int32_t kErrDbCadSemDireitoCalendario = 50529;
inline constexpr int32_t kErrDbCadTipoDeContratoDesconhecido = 50530;
inline constexpr int32_t kErrDbIdAtvEmpNaoAchada = 4170;
inline constexpr int32_t kErrDbIdAtvClasseNaoAchada = 4171;
inline constexpr int32_t kErrDbIdAtvSemAtivo = 4172;
inline constexpr int32_t kErrDbIdAnbNaoAchado = 4178;
inline constexpr int32_t kErrDbTickerNaoRegistrado = 4042;

// Corporate actions ("PrvImport") and news ("NwsImport"); the last three
// are outcomes the program knows by number, not failures of the import.
inline constexpr int32_t kErrDbPrvBolsaDesconhecida = 50701;
inline constexpr int32_t kErrDbPrvUdexNula = 50702;
inline constexpr int32_t kErrDbPrvTipoDesconhecido = 50703;
inline constexpr int32_t kErrDbPrvSeqInvalida = 50704;
inline constexpr int32_t kErrDbPrvMoedaDesconhecida = 50705;
inline constexpr int32_t kErrDbPrvTipoZero = 50706;
inline constexpr int32_t kErrDbNwsPaisDesconhecido = 50711;
inline constexpr int32_t kErrDbNwsDataNula = 50712;
inline constexpr int32_t kErrDbNwsSeqInvalida = 50713;
inline constexpr int32_t kErrDbNwsTextoVazio = 50714;
inline constexpr int32_t kDbPrvSerieDesconhecida = 3758;
inline constexpr int32_t kDbNwsEmpDesconhecida = 3752;
inline constexpr int32_t kDbEventoNadaAFazer = 8604;

// Indicators by date ("Put...NaData", "Get...NaData").
inline constexpr int32_t kErrDbValorObjetoNulo = 51011;  // the object id is NULL
// No series, asset or company of that id.
inline constexpr int32_t kErrDbValorObjetoDesconhecido = 51012;
inline constexpr int32_t kErrDbValorIndicadorDesconhecido = 51013;
inline constexpr int32_t kErrDbValorDataNula = 51014;  // "@dataVigencia" NULL

// The share base ("PutBaseAcionaria", "DelBaseAcionaria", ...).
inline constexpr int32_t kErrDbBaseEmpDesconhecida = 51201;
inline constexpr int32_t kErrDbBaseSourceInvalido = 51202;
inline constexpr int32_t kErrDbBaseSemData = 51203;
inline constexpr int32_t kErrDbBaseClasseDesconhecida = 51204;
inline constexpr int32_t kErrDbBaseStatusInvalido = 51205;
inline constexpr int32_t kErrDbBaseSemDireitoSource = 51206;

// Name normalisation ("BufPorPaisGet"). A country without entries of the
// kind asked for gives kDbBufPorPaisVazia; the reader takes it as an empty
// table.
inline constexpr int32_t kDbBufPorPaisVazia = 4251;
inline constexpr int32_t kErrDbBufPorPaisPais = 50801;  // "@pais" is NULL or not a country
inline constexpr int32_t kErrDbBufPorPaisTipo = 50802;  // "@tipo" is NULL or neither 1 nor 2

// The data log ("DataLogAdd"): "@tip", "@oid" or "@aux" is NULL.
inline constexpr int32_t kErrDbDataLogNulo = 50201;

}  // namespace zun
