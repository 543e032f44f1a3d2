#include "engine/keyword_table.h"

#include "db/global_state.h"
#include "engine/imp_main.h"

namespace zun {
namespace {

using I = TImportador;

constexpr size_t kNumImportadores = static_cast<size_t>(TImportador::kListChoice) + 1;

const TEntrada kSemEntrada;

}  // namespace

const std::vector<TLinhaDeKeyword>& LinhasDeKeywords() {
  static const std::vector<TLinhaDeKeyword> linhas = {
      {"*QT", I::kCotacao, {.Modo = 0}},
      {"*QTNOOVERWRITE", I::kCotacao, {.Modo = 1}},
      {"*QTIF", I::kCotacao, {.Modo = 2}},
      {"*DELQT", I::kApagaCotacao, {}},
      {"*BOLCOT", I::kBolCot, {}},
      {"*FS", I::kBalanco, {}},
      {"*FSIFNEWER", I::kBalanco, {.SeMaisNovo = true}},
      {"*FSUPDATE", I::kBalanco, {.Atualiza = true}},
      {"*FSNEWDB", I::kBalanco, {.NovaBase = true}},
      {"*CA", I::kEvento, {}},
      {"*NW", I::kNoticia, {}},
      {"*OBJEMP", I::kObjEmp, {.Abreviado = false}},
      {"*OBJEMPABREV", I::kObjEmp, {.Abreviado = true}},
      {"*OBJCLASS", I::kObjClass, {}},
      {"*OBJSERIE", I::kObjSerie, {}},
      {"*SERIESTATUS", I::kSerieStatus, {}},
      {"*ISIN", I::kIsin, {}},
      {"*NAICS", I::kNaics, {.SoSe = false}},
      {"*NAICSIF", I::kNaics, {.SoSe = true}},
      {"*CBAL", I::kCBal, {}},
      {"*DELCBAL", I::kDelCBal, {}},
      {"*APRESFBAL", I::kApresFBal, {}},
      {"*BLOCOCBAL", I::kBlocoCBal, {}},
      {"*PAIS", I::kPais, {}},
      {"*FBAL", I::kFBal, {}},
      {"*CURRENCY", I::kCurrency, {}},
      {"*BOLSA", I::kBolsa, {}},
      {"*TIPOOBJ", I::kTipoObj, {}},
      {"*VOTINGSTATUS", I::kVotingStatus, {}},
      {"*HIDENOZUNINPUT", I::kHideNoZunInput, {}},
      {"*BLOCOPADRAONADIGITACAO", I::kBlocoPadraoNaDigitacao, {}},
      {"*IDENTIFICACAODECONTAS", I::kIdentificacaoDeContas, {}},
      {"*OCOTIPO", I::kOcoTipo, {}},
      {"*OCOLOCA", I::kOcoLoca, {}},
      {"*REQGBOL", I::kReqGBol, {}},
      {"*SHARES", I::kShares, {.Atualiza = false, .Adicional = true}},
      {"*SHARESUPDATE", I::kShares, {.Atualiza = true, .Adicional = true}},
      {"*SHAREHOLDER", I::kAcionista, {.SeDocNovo = false, .ItemDeCarteira = false}},
      {"*SHAREHOLDERIFDOCISNEW", I::kAcionista, {.SeDocNovo = true}},
      {"*PFITEM", I::kAcionista, {.ItemDeCarteira = true}},
      {"*PFITEMIFDOCISNEW", I::kAcionista, {.SeDocNovo = true, .ItemDeCarteira = true}},
      {"*SHAREHOLDERS", I::kComposicao, {.Carteira = false}},
      {"*PORTFOLIO", I::kComposicao, {.Carteira = true}},
      {"*COMREG", I::kRegistro, {.Nivel = 2}},
      {"*COMREGADDITEMIFNEW", I::kRegistro, {.Nivel = 2, .AdicionaItemSeNovo = true}},
      {"*COMREGREPEATDATE", I::kRegistroRepeteData, {.Nivel = 2}},
      {"*CLASSREG", I::kRegistro, {.Nivel = 1}},
      {"*CLASSREGADDITEMIFNEW", I::kRegistro, {.Nivel = 1, .AdicionaItemSeNovo = true}},
      {"*CLASSREGREPEATDATE", I::kRegistroRepeteData, {.Nivel = 1}},
      {"*SERIEREG", I::kRegistro, {.Nivel = 0}},
      {"*SERIEREGADDITEMIFNEW", I::kRegistro, {.Nivel = 0, .AdicionaItemSeNovo = true}},
      {"*SERIEREGREPEATDATE", I::kRegistroRepeteData, {.Nivel = 0}},
      {"*EAAREG", I::kEaaReg, {}},
      {"*EAAREGIFEXISTS", I::kEaaReg, {.SeExiste = true}},
      {"*EAAREGADDITEMIFNEW", I::kEaaReg, {.AdicionaItemSeNovo = true}},
      {"*LISTCHOICE", I::kListChoice, {}},
  };
  return linhas;
}

TTabelaDeKeywords::TTabelaDeKeywords(std::vector<TLinhaDeKeyword> linhas)
    : linhas_(std::move(linhas)), entradas_(kNumImportadores) {}

bool TTabelaDeKeywords::Registra(TImportador importador, TEntrada entrada) {
  const size_t i = static_cast<size_t>(importador);
  // An empty function object would be called like a missing entry.
  if (i >= entradas_.size() || !entrada) return false;
  bool usada = false;
  for (const TLinhaDeKeyword& l : linhas_) usada = usada || l.Importador == importador;
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

std::vector<std::string_view> TTabelaDeKeywords::KeywordsSemImportador() const {
  std::vector<std::string_view> faltam;
  for (const TLinhaDeKeyword& l : linhas_) {
    if (!EntradaDe(l.Importador)) faltam.push_back(l.Keyword);
  }
  return faltam;
}

void ImportaOcoLoca(TImpMain&, const TVariantes&, int32_t*) {}

void ImportaReqGBol(TImpMain& imp, const TVariantes&, int32_t*) {
  if (imp.ToNoCheck) return;
  ReqGBolPendente += "[import \"*REQGBOL\" " + imp.Describe() + "]";
}

TTabelaDeKeywords& TabelaDeKeywords() {
  static TTabelaDeKeywords* tabela = [] {
    auto* t = new TTabelaDeKeywords(LinhasDeKeywords());
    t->Registra(TImportador::kOcoLoca, ImportaOcoLoca);
    t->Registra(TImportador::kReqGBol, ImportaReqGBol);
    return t;
  }();
  return *tabela;
}

bool RegistraImportador(TImportador importador, TEntrada entrada) {
  return TabelaDeKeywords().Registra(importador, std::move(entrada));
}

bool RegistraEntradas(const std::vector<TRegistroDeImportador>& entradas) {
  bool todos = true;
  for (const TRegistroDeImportador& r : entradas) {
    todos = RegistraImportador(r.Importador, r.Entrada) && todos;
  }
  return todos;
}

}  // namespace zun
