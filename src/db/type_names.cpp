#include "db/type_names.h"

#include <iterator>

namespace zun {

namespace {

// The types 0..40 and 142..145 have names of their own; the others are
// numbered choice lists.
constexpr const char* kTiposIniciais[] = {
    "_tcSmInt",
    "_tcLong",
    "_tcReal",
    "_tcString",
    "_tcDataWordDescontinuado",
    "_tcMks",
    "_tcStringEBMC",
    "_tcEx_StringEUD",
    "_tcPais",
    "_tcMoeda",
    "_tcEx_SicResumido",
    "_tcSetPais",
    "_tcTipoObj",
    "_tcSetorPC",
    "_tcBolsa",
    "_tcDouble",
    "_tcExtended",
    "_tcFormatoBal",
    "_tcSetorNaics",
    "_tcSetorZun",
    "_tcAtivoInativo",
    "_tcBoolean3B",
    "_tcDcfConstanteOuNominal",
    "_tcSetBolsa",
    "_tcSetSetorZun",
    "_tcModoPeriodizacao",
    "_tcSetTipoObj",
    "_tcDateTime",
    "_tcData3B",
    "_tcCCU",
    "_tcFundosClassifAnbid",
    "_tcInstAnbidCodStr",
    "_tcInstFndCodStrOuLong",
    "_tcListaCAF",
    "_tcListaInstFndCodStr",
    "_tcListaCCF",
    "_tcPerfilCota",
    "_tcListaFFx",
    "_tcBoolean1B",
    "_tcListaFTI",
    "_tcCLVmarcados",
};
static_assert(std::size(kTiposIniciais) == 41);

constexpr const char* kTipos142a145[] = {"_tcFundoFonte", "_tcOrigemRFPeru", "_tcInstFndCodLong",
                                         "_tcListaInstFndCodLong"};

constexpr const char* kFormatos[kNumFormatosCampoDeValor] = {
    "_fcNormal",         "_fcCentavos",      "_fcDecVar",     "_fcKilo",       "_fcCotacao",
    "_fcEmMilionesimos", "_fcEmMilesimos",   "_fcEmUnidades", "_fcEmMilhares", "_fcEmMilhoes",
    "_fcEmBilhoes",      "_fcKiloPraEscala", "_fcKiloDecFixo"};

constexpr const char* kNiveis[] = {"anb", "atv", "emp"};

constexpr const char* kComposicoes[] = {
    "ShareHolders", "Fund Portfolio", "", "Credit Receivables", "", "", "", ""};

constexpr const char* kDocumentos[] = {"Financial Statements",
                                       "Credit Receivables Funds Reports",
                                       "Real Estate Funds Reports",
                                       "",
                                       "",
                                       "",
                                       "",
                                       ""};

constexpr const char* kAcoes[] = {"Emitidas|Issued|Emitidas",
                                  "Tesouraria|Treasury|Tesorer\355a",  // 0xED: i acute
                                  "Outstanding|Outstanding|Outstanding"};

template <size_t N>
const char* NomeEm(const char* const (&nomes)[N], int i) {
  return i >= 0 && static_cast<size_t>(i) < N ? nomes[i] : "";
}

}  // namespace

std::string NomeDoTipoCampo(int tipo) {
  if (tipo < 0 || tipo >= kNumTiposCampo) return "";
  if (tipo <= 40) return kTiposIniciais[tipo];
  if (tipo <= 49) return "_tcCLVBvalores" + std::to_string(tipo - 40);
  if (tipo <= 75) return std::string("_tcCLVBvalores") + static_cast<char>('A' + tipo - 50);
  if (tipo <= 102) return "_tcCLVWvalores" + std::to_string(tipo - 40);
  if (tipo == 103) return "_tcCLVWmarcados";
  if (tipo <= 141) return "_tcCLVWvalores" + std::to_string(tipo - 41);
  if (tipo <= 145) return kTipos142a145[tipo - 142];
  return "_tcCLVWvalores" + std::to_string(tipo - 45);
}

const char* NomeDoFormatoCampo(int formato) { return NomeEm(kFormatos, formato); }

const char* NomeDoNivelDeObjeto(int nivel) { return NomeEm(kNiveis, nivel); }

const char* NomeDoTipoDeComposicao(int tipo) { return NomeEm(kComposicoes, tipo); }

const char* NomeDoTipoDeDocumento(int tipo) { return NomeEm(kDocumentos, tipo); }

const char* NomeDoTipoDeAcoes(int tipo) { return NomeEm(kAcoes, tipo); }

}  // namespace zun
