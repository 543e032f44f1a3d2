#include "engine/keyword_table.h"

#include "db/global_state.h"
#include "engine/imp_main.h"

namespace zun {
namespace {

using I = TImportador;
constexpr TRecebe O = TRecebe::kObjeto;
constexpr TRecebe P = TRecebe::kParser;
constexpr TRecebe PL = TRecebe::kParserELinhas;
constexpr TResposta C = TResposta::kCodigo;
constexpr TResposta K = TResposta::kOk;
constexpr TResposta CM = TResposta::kCodigoEMensagem;

constexpr size_t kNumImportadores = static_cast<size_t>(TImportador::kListChoice) + 1;

const TEntrada kSemEntrada;

}  // namespace

const std::vector<TLinhaDeKeyword>& LinhasDeKeywords() {
  static const std::vector<TLinhaDeKeyword> linhas = {
      {"*QT", I::kCotacao, O, C, {.Modo = 0}},
      {"*QTNOOVERWRITE", I::kCotacao, O, C, {.Modo = 1}},
      {"*QTIF", I::kCotacao, O, C, {.Modo = 2}},
      {"*DELQT", I::kApagaCotacao, O, C, {}},
      {"*BOLCOT", I::kBolCot, O, C, {}},
      {"*FS", I::kBalanco, O, C, {}},
      {"*FSIFNEWER", I::kBalanco, O, C, {.SeMaisNovo = true}},
      {"*FSUPDATE", I::kBalanco, O, C, {.Atualiza = true}},
      {"*FSNEWDB", I::kBalanco, O, C, {.NovaBase = true}},
      {"*CA", I::kEvento, O, K, {}},
      {"*NW", I::kNoticia, O, K, {}},
      {"*OBJEMP", I::kObjEmp, O, C, {.Abreviado = false}},
      {"*OBJEMPABREV", I::kObjEmp, O, C, {.Abreviado = true}},
      {"*OBJCLASS", I::kObjClass, O, C, {}},
      {"*OBJSERIE", I::kObjSerie, O, C, {}},
      {"*SERIESTATUS", I::kSerieStatus, O, C, {}},
      {"*ISIN", I::kIsin, O, C, {}},
      {"*NAICS", I::kNaics, O, C, {.SoSe = false}},
      {"*NAICSIF", I::kNaics, O, C, {.SoSe = true}},
      {"*CBAL", I::kCBal, P, C, {}},
      {"*DELCBAL", I::kDelCBal, P, K, {}},
      {"*APRESFBAL", I::kApresFBal, PL, K, {}},
      {"*BLOCOCBAL", I::kBlocoCBal, P, K, {}},
      {"*PAIS", I::kPais, P, K, {}},
      {"*FBAL", I::kFBal, P, K, {}},
      {"*CURRENCY", I::kCurrency, P, K, {}},
      {"*BOLSA", I::kBolsa, P, K, {}},
      {"*TIPOOBJ", I::kTipoObj, P, C, {}},
      {"*VOTINGSTATUS", I::kVotingStatus, P, K, {}},
      {"*HIDENOZUNINPUT", I::kHideNoZunInput, P, K, {}},
      {"*BLOCOPADRAONADIGITACAO", I::kBlocoPadraoNaDigitacao, P, K, {}},
      {"*IDENTIFICACAODECONTAS", I::kIdentificacaoDeContas, P, K, {}},
      {"*OCOTIPO", I::kOcoTipo, P, K, {}},
      {"*OCOLOCA", I::kOcoLoca, O, C, {}},
      {"*REQGBOL", I::kReqGBol, O, C, {}},
      {"*SHARES", I::kShares, P, CM, {.Atualiza = false, .Adicional = true}},
      {"*SHARESUPDATE", I::kShares, P, CM, {.Atualiza = true, .Adicional = true}},
      {"*SHAREHOLDER", I::kAcionista, O, C, {.SeDocNovo = false, .ItemDeCarteira = false}},
      {"*SHAREHOLDERIFDOCISNEW", I::kAcionista, O, C, {.SeDocNovo = true}},
      {"*PFITEM", I::kAcionista, O, C, {.ItemDeCarteira = true}},
      {"*PFITEMIFDOCISNEW", I::kAcionista, O, C, {.SeDocNovo = true, .ItemDeCarteira = true}},
      {"*SHAREHOLDERS", I::kComposicao, O, C, {.Carteira = false}},
      {"*PORTFOLIO", I::kComposicao, O, C, {.Carteira = true}},
      {"*COMREG", I::kRegistro, O, C, {.Nivel = 2}},
      {"*COMREGADDITEMIFNEW", I::kRegistro, O, C, {.Nivel = 2, .AdicionaItemSeNovo = true}},
      {"*COMREGREPEATDATE", I::kRegistroRepeteData, O, C, {.Nivel = 2}},
      {"*CLASSREG", I::kRegistro, O, C, {.Nivel = 1}},
      {"*CLASSREGADDITEMIFNEW", I::kRegistro, O, C, {.Nivel = 1, .AdicionaItemSeNovo = true}},
      {"*CLASSREGREPEATDATE", I::kRegistroRepeteData, O, C, {.Nivel = 1}},
      {"*SERIEREG", I::kRegistro, O, C, {.Nivel = 0}},
      {"*SERIEREGADDITEMIFNEW", I::kRegistro, O, C, {.Nivel = 0, .AdicionaItemSeNovo = true}},
      {"*SERIEREGREPEATDATE", I::kRegistroRepeteData, O, C, {.Nivel = 0}},
      {"*EAAREG", I::kEaaReg, O, C, {}},
      {"*EAAREGIFEXISTS", I::kEaaReg, O, C, {.SeExiste = true}},
      {"*EAAREGADDITEMIFNEW", I::kEaaReg, O, C, {.AdicionaItemSeNovo = true}},
      {"*LISTCHOICE", I::kListChoice, O, C, {}},
  };
  return linhas;
}

size_t FormaDaEntrada(TRecebe recebe, TResposta resposta) {
  switch (recebe) {
    case TRecebe::kObjeto:
      if (resposta == TResposta::kCodigo) return 1;
      if (resposta == TResposta::kOk) return 2;
      return 0;
    case TRecebe::kParser:
      if (resposta == TResposta::kCodigo) return 3;
      if (resposta == TResposta::kOk) return 4;
      return 6;
    case TRecebe::kParserELinhas:
      return resposta == TResposta::kOk ? 5 : 0;
  }
  return 0;
}

TTabelaDeKeywords::TTabelaDeKeywords(std::vector<TLinhaDeKeyword> linhas)
    : linhas_(std::move(linhas)), entradas_(kNumImportadores) {}

bool TTabelaDeKeywords::Registra(TImportador importador, TEntrada entrada) {
  const size_t i = static_cast<size_t>(importador);
  if (i >= entradas_.size()) return false;
  // An empty function object would be called like a missing entry.
  bool vazia = false;
  std::visit(
      [&vazia](const auto& f) {
        if constexpr (!std::is_same_v<std::decay_t<decltype(f)>, std::monostate>) vazia = !f;
      },
      entrada);
  if (vazia || entrada.index() == 0) return false;
  bool usada = false;
  for (const TLinhaDeKeyword& l : linhas_) {
    if (l.Importador != importador) continue;
    if (FormaDaEntrada(l.Recebe, l.Resposta) != entrada.index()) return false;
    usada = true;
  }
  if (!usada) return false;
  entradas_[i] = std::move(entrada);
  return true;
}

const TLinhaDeKeyword* TTabelaDeKeywords::Procura(std::string_view keyword) const {
  for (const TLinhaDeKeyword& l : linhas_) {
    if (l.Keyword == keyword) return &l;
  }
  return nullptr;
}

const TEntrada& TTabelaDeKeywords::EntradaDe(TImportador importador) const {
  const size_t i = static_cast<size_t>(importador);
  return i < entradas_.size() ? entradas_[i] : kSemEntrada;
}

void ChamaImportador(const TLinhaDeKeyword& linha, const TEntrada& entrada, TImpMain& imp,
                     int32_t* code, bool* ok) {
  tParserWrapper& parser = *imp.Parser;
  const TVariantes& v = linha.Variantes;
  switch (entrada.index()) {
    case 1:
      std::get<1>(entrada)(imp, v, code);
      break;
    case 2:
      std::get<2>(entrada)(imp, v, ok);
      break;
    case 3:
      std::get<3>(entrada)(parser, imp.ToNoCheck, v, code);
      break;
    case 4:
      std::get<4>(entrada)(parser, imp.ToNoCheck, v, ok);
      break;
    case 5:
      std::get<5>(entrada)(parser, imp.ToNoCheck, imp, ok);
      break;
    case 6: {
      std::string mensagem;
      std::get<6>(entrada)(parser, imp.ToNoCheck, v, code, &mensagem);
      if (!mensagem.empty()) imp.ErrMsg(mensagem);
      break;
    }
    default:
      break;
  }
}

void ImportaOcoLoca(TImpMain&, const TVariantes&, int32_t*) {}

void ImportaReqGBol(TImpMain& imp, const TVariantes&, int32_t*) {
  if (imp.ToNoCheck) return;
  ReqGBolPendente += "[import \"*REQGBOL\" " + imp.Describe() + "]";
}

TTabelaDeKeywords& TabelaDeKeywords() {
  static TTabelaDeKeywords* tabela = [] {
    auto* t = new TTabelaDeKeywords(LinhasDeKeywords());
    t->Registra(TImportador::kOcoLoca, TImportaObjetoCodigo(ImportaOcoLoca));
    t->Registra(TImportador::kReqGBol, TImportaObjetoCodigo(ImportaReqGBol));
    return t;
  }();
  return *tabela;
}

bool RegistraImportador(TImportador importador, TEntrada entrada) {
  return TabelaDeKeywords().Registra(importador, std::move(entrada));
}

}  // namespace zun
