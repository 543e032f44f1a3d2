#include "engine/imp_main.h"

#include "engine/codes.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "foundation/text.h"

namespace zun {
namespace {

// Longest piece of a line quoted in the generic error message.
constexpr size_t kMaxLinhaNaMensagem = 1000;

TFabricaDeBolCot& FabricaDeBolCot() {
  static TFabricaDeBolCot fabrica;
  return fabrica;
}

}  // namespace

void DefineFabricaDeBolCot(TFabricaDeBolCot fabrica) { FabricaDeBolCot() = std::move(fabrica); }

TImpMain::TImpMain(std::string file_name, bool ci_or_co, const TTabelaDeKeywords* tabela)
    : tImpRoot(std::move(file_name), ci_or_co),
      tabela_(tabela != nullptr ? tabela : &TabelaDeKeywords()) {
  Parser = std::make_unique<tParserWrapper>(std::make_unique<tParserSpcDelim>());
  if (FabricaDeBolCot()) BolCot = FabricaDeBolCot()();
  SegueAposErro = !ci_or_co && TemSwitch("CheckAll");
}

TImpMain::~TImpMain() = default;

void TImpMain::StartImport() {
  if (Erro == 0 && BolCot) BolCot->LogaBoletins(*this);
}

void TImpMain::ImportNext() {
  if (!CanGoOn()) return;
  std::string line;
  NextLine(false, &line);
  if (!CanGoOn()) {
    if (Acabou && primeiro_erro_ != 0) {
      Erro = primeiro_erro_;
      Msg("failed lines: " + std::to_string(LinhasComErro) +
          "; the file's code is the first one's");
    }
    return;
  }
  std::string keyword;
  Parser->Field(0, &keyword);
  if (ressincroniza_) {
    // What follows a failed line up to the next keyword line belongs to it
    // (a block's lines, its END).
    if (keyword.empty() || keyword[0] != '*') return;
    ressincroniza_ = false;
  }
  // A block's importer reads further lines: the record's message belongs to
  // its first one, whose text it quotes.
  const int32_t linha_do_registro = lnn;
  const int32_t msgs = ErrMsgCount;
  const size_t mensagens = MensagensDeLinha.size();
  // ToNoCheck as the record started: the pass it is counted in.
  const bool to_no_check = ToNoCheck;
  int32_t code = 0;
  keyword = Maiusculas(std::move(keyword));
  if (!keyword.empty()) {
    const TLinhaDeKeyword* linha = tabela_->Procura(keyword);
    const TEntrada* entrada = linha ? &tabela_->EntradaDe(linha->Importador) : nullptr;
    if (entrada == nullptr || !*entrada) {
      // Known keywords whose importer is not part of this build are told
      // apart in the log; for the file both are an invalid line.
      if (linha != nullptr) Loga("ImpMain sem importador para " + keyword);
      Erro = kErrKeywordDesconhecida;
    } else {
      // The pass is the one the record started in. An exception of an
      // importer is not a line error: it ends the file, and the queue step
      // turns it into the file's code, so that no further record runs on a
      // session that may be broken.
      struct EmCurso {
        tImpRoot& arquivo;
        explicit EmCurso(tImpRoot& a) : arquivo(a) {
          arquivo.RegistroEmCurso = true;
          arquivo.LinhaDoRegistro = arquivo.lnn;
        }
        ~EmCurso() {
          arquivo.RegistroEmCurso = false;
          arquivo.LinhaDoRegistro = 0;
        }
      } em_curso(*this);
      (*entrada)(*this, linha->Variantes, &code);
    }
  }
  if (!to_no_check && !keyword.empty() && code == 0) {
    ++(ErrMsgCount != msgs ? LinhasPuladas : LinhasAplicadas);
  }
  if (code != 0) {
    if (to_no_check) {
      if (Erro == 0) Erro = code;
    } else {
      AddErroNaoFatal(code);
    }
  }
  if (Erro != 0 && ErrMsgCount == msgs) {
    std::string texto = line;
    if (texto.size() > kMaxLinhaNaMensagem) texto = texto.substr(0, kMaxLinhaNaMensagem) + "...";
    ErrMsgNaLinha(linha_do_registro, "Error:" + std::to_string(Erro) + " Invalid line: " + texto);
  }
  const int32_t codigo = code != 0 ? code : Erro;
  for (size_t i = mensagens; codigo != 0 && i < MensagensDeLinha.size(); ++i) {
    CodigoDaLinha.emplace(MensagensDeLinha[i].first, codigo);
  }
  // SegueAposErro holds only without an import pass (CIorCO false).
  if (SegueAposErro && Erro != 0) {
    if (primeiro_erro_ == 0) primeiro_erro_ = Erro;
    ++LinhasComErro;
    Erro = 0;
    ressincroniza_ = true;
  }
}

void tMyImpMain::Msg(const std::string& text) { LogaConsole(text); }

}  // namespace zun
