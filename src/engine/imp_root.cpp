#include "engine/imp_root.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "db/global_state.h"
#include "db/id_text_list.h"
#include "engine/codes.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "foundation/text.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {
namespace {

constexpr int32_t kSemLimite = 2147483647;

// Longest piece of a line's text quoted in the status line; longer lines are
// cut and marked with "..." so that one huge line cannot blow up log lines
// and the owner's mail.
constexpr size_t kMaxTextoDeLinha = 1000;

std::string YN(bool b) { return b ? "Y" : "N"; }

// A decimal integer with an optional sign that fits 32 bits.
bool LeInteiro(const std::string& s, int32_t* v) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i == s.size()) return false;
  int64_t n = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    n = n * 10 + (s[i] - '0');
    if (n > 2147483648LL) return false;
  }
  if (neg) n = -n;
  if (n > 2147483647LL) return false;
  *v = static_cast<int32_t>(n);
  return true;
}

TLinhasDoArquivo LeLinhasDoArquivo(const std::string& file_name) {
  std::FILE* f = std::fopen(file_name.c_str(), "rb");
  if (f == nullptr) {
    throw std::system_error(errno, std::generic_category(), "cannot open <" + file_name + ">");
  }
  std::string text;
  // One allocation of the file's size when it can be told, so that a large
  // file is not copied while its buffer grows.
  struct stat st;
  if (::fstat(::fileno(f), &st) == 0 && st.st_size > 0) {
    text.reserve(static_cast<size_t>(st.st_size));
  }
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool falhou = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  if (falhou)
    throw std::system_error(err, std::generic_category(), "cannot read <" + file_name + ">");
  return TLinhasDoArquivo(std::move(text));
}

}  // namespace

void TListaDeSHAdded::Adiciona(const std::string& doc, int32_t pais) {
  if (!Contem(doc, pais)) itens_.emplace_back(doc, pais);
}

bool TListaDeSHAdded::Contem(const std::string& doc, int32_t pais) const {
  return std::find(itens_.begin(), itens_.end(), std::make_pair(doc, pais)) != itens_.end();
}

TLinhasDoArquivo::TLinhasDoArquivo(std::string text) : texto_(std::move(text)) {
  for (size_t inicio = 0; inicio < texto_.size(); inicio = DepoisDaQuebra(FimDaLinha(inicio))) {
    if (linhas_ % kPasso == 0) marcos_.push_back(inicio);
    ++linhas_;
  }
}

size_t TLinhasDoArquivo::FimDaLinha(size_t inicio) const {
  // The first '\n', then any '\r' before it: two scans that memchr makes
  // fast, where a loop over the bytes was a good part of reading a file.
  const char* p = texto_.data();
  const size_t n = texto_.size();
  if (inicio >= n) return n;
  const void* lf = std::memchr(p + inicio, '\n', n - inicio);
  const size_t fim = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - p) : n;
  const void* cr = std::memchr(p + inicio, '\r', fim - inicio);
  return cr != nullptr ? static_cast<size_t>(static_cast<const char*>(cr) - p) : fim;
}

size_t TLinhasDoArquivo::DepoisDaQuebra(size_t fim) const {
  if (fim == texto_.size()) return fim;
  return texto_[fim] == '\r' && fim + 1 < texto_.size() && texto_[fim + 1] == '\n' ? fim + 2
                                                                                   : fim + 1;
}

std::string_view TLinhasDoArquivo::operator[](size_t i) const {
  size_t linha = i / kPasso * kPasso;
  size_t inicio = marcos_[i / kPasso];
  if (cursor_linha_ <= i && cursor_linha_ > linha) {
    linha = cursor_linha_;
    inicio = cursor_inicio_;
  }
  for (; linha < i; ++linha) inicio = DepoisDaQuebra(FimDaLinha(inicio));
  const size_t fim = FimDaLinha(inicio);
  // Reading in order finds the next line's start here.
  cursor_linha_ = i + 1;
  cursor_inicio_ = DepoisDaQuebra(fim);
  return std::string_view(texto_).substr(inicio, fim - inicio);
}

std::vector<std::string> DivideEmLinhas(const std::string& text) {
  const TLinhasDoArquivo linhas(text);
  std::vector<std::string> r;
  r.reserve(linhas.size());
  for (size_t i = 0; i < linhas.size(); ++i) r.emplace_back(linhas[i]);
  return r;
}

void VerificaLimitesDeAcionistas(int32_t* erro, int32_t sh_mod_count, int32_t sh_add_count,
                                 const std::function<void(const std::string&)>& msg) {
  if (*erro != 0) return;
  struct Limite {
    const char* nome;
    int32_t valor = kSemLimite;
    bool dado = false;
  };
  Limite add{"SHLIMITADD"}, mod{"SHLIMITMOD"}, total{"SHLIMITTOTAL"};
  for (Limite* l : {&add, &mod, &total}) {
    std::string v;
    if (!LeSwitch(l->nome, &v)) continue;
    l->dado = true;
    if (!LeInteiro(v, &l->valor)) {
      l->valor = kSemLimite;
      Loga(std::string("error param ") + l->nome + " <" + v + ">");
      *erro = kErrShLimitInvalido;
    }
  }
  if (*erro == 0) {
    if (static_cast<int64_t>(sh_mod_count) + sh_add_count > total.valor ||
        sh_mod_count > mod.valor || sh_add_count > add.valor) {
      *erro = kErrShLimitExcedido;
    }
  }
  if (sh_mod_count < 1 && sh_add_count < 1) return;
  auto lim = [](const Limite& l) {
    return l.valor == kSemLimite ? std::string("-") : std::to_string(l.valor);
  };
  msg(std::string("Share holders limit") + (*erro == kErrShLimitExcedido ? " exceeded!!!" : "") +
      " erro:" + std::to_string(*erro) + " Mod:" + std::to_string(sh_mod_count) +
      " Add:" + std::to_string(sh_add_count) + " LimMod:" + lim(mod) + " LimAdd:" + lim(add) +
      " LimTotal:" + lim(total) +
      (!add.dado && !mod.dado && !total.dado ? " no-limits-specified" : ""));
}

tImpRoot::tImpRoot(std::string file_name, bool ci_or_co)
    : CIorCO(ci_or_co), FileName(std::move(file_name)) {
  Loga("ImpRoot start " + FileName + " CIorCO:" + YN(CIorCO));
  SHAdded = std::make_unique<TListaDeSHAdded>();
  Lines = LeLinhasDoArquivo(FileName);
}

tImpRoot::~tImpRoot() {
  // Msg is no longer there: the messages of this file go to the console and
  // the log as tMyImpMain's do.
  if (MensagensOmitidas > 0) LogaConsole(TextoDasOmitidas());
  Loga(StatusLine("end"));
}

std::string tImpRoot::TextoDasOmitidas() const {
  return "... " + std::to_string(MensagensOmitidas) +
         " more line messages of this pass not logged (at most " +
         std::to_string(kMaxMensagensPorPassagem) + " a pass)";
}

void tImpRoot::FechaMensagensDaPassagem() {
  if (MensagensOmitidas > 0) Msg(TextoDasOmitidas());
  MensagensOmitidas = 0;
  MensagensNaPassagem = 0;
}

bool tImpRoot::IsComment(const std::string& line, bool blank_is_data) const {
  const size_t i = line.find_first_not_of(' ');
  if (i == std::string::npos) return !blank_is_data;
  const char c = line[i];
  if (c == '#' || c == ';') return true;
  return c == '/' && i + 1 < line.size() && line[i + 1] == '/';
}

std::string tImpRoot::Describe() const {
  return std::string("[") + ClassName() + " \"" + FileName + "\"]";
}

void tImpRoot::NextLine(bool blank_is_data, std::string* line) {
  line->clear();
  entregou_ = false;
  if (!Comecou) ResetPass();
  bool achou = false;
  while (Erro == 0 && !achou && CanGoOn()) {
    if (AtEnd()) {
      if (RegistroEmCurso) break;
      FechaMensagensDaPassagem();
      if (ToNoCheck) {
        VerificaLimitesDeAcionistas(&Erro, SHModCount, SHAddCount,
                                    [this](const std::string& t) { Msg(t); });
      }
      if (Erro == 0) {
        if (ToNoCheck && CIorCO) {
          ToNoCheck = false;
          Msg("check ok, starting import");
          ResetPass();
          StartImport();
          continue;
        }
        Acabou = true;
      }
    } else {
      const std::string_view texto = Lines[static_cast<size_t>(lnn)];
      ++lnn;
      if (texto.size() > kMaxBytesPorLinha) {
        // Never copied whole: a line of many megabytes would be copied again
        // by the parser, the messages, the log and the mails.
        LastLine = CortaTexto(texto, kMaxTextoDeLinha);
        Erro = kErroLinhaLonga;
        ErrMsg("Error:" + std::to_string(kErroLinhaLonga) +
               " line too long: " + std::to_string(texto.size()) + " bytes, at most " +
               std::to_string(kMaxBytesPorLinha));
        break;
      }
      line->assign(texto);
      LastLine = *line;
      achou = !IsComment(*line, blank_is_data);
      // A skipped comment is no line: the end of the file right after it
      // inside a record reads as an empty line, not as the comment.
      if (!achou) line->clear();
    }
  }
  entregou_ = achou && Erro == 0;
  if (Parser) Parser->SetLine(*line);
}

bool tImpRoot::LinhaDoBloco(bool blank_is_data, std::string* line) {
  if (!CanGoOn() || AtEnd()) {
    line->clear();
    if (Parser) Parser->SetLine(*line);
    return false;
  }
  NextLine(blank_is_data, line);
  return entregou_;
}

std::string tImpRoot::StatusLine(const std::string& what) const {
  std::string last = LastLine;
  if (last.size() > kMaxTextoDeLinha) last = last.substr(0, kMaxTextoDeLinha) + "...";
  const auto corta = [](const std::string& t) { return CortaTexto(t, kMaxTextoDeLinha); };
  return "ImpRoot " + what + " Erro:" + std::to_string(Erro) +
         " ErroNaoFatal:" + std::to_string(ErroNaoFatal) +
         " ErroNaoFatalCount:" + std::to_string(ErroNaoFatalCount) + " Acabou:" + YN(Acabou) +
         " ToNoCheck:" + YN(ToNoCheck) + " lnn:" + std::to_string(lnn) +
         " ErrMsgCount:" + std::to_string(ErrMsgCount) + " FirstErrMsg:<" + corta(FirstErrMsg) +
         ">" + " LastErrMsg:<" + corta(LastErrMsg) + ">" + " LastLine:<" + last + ">";
}

int32_t tImpRoot::ResultCode() const {
  if (Erro != 0) return Erro;
  if (ErroNaoFatal != 0) return ErroNaoFatal;
  if (!Acabou) return kErrArquivoNaoAcabou;
  return 0;
}

void tImpRoot::AddErroNaoFatal(int32_t code) {
  if (code == 0) return;
  if (ErroNaoFatal == 0) ErroNaoFatal = code;
  ++ErroNaoFatalCount;
  if (ErroNaoFatalCount > kMaxErrosNaoFatais && Erro == 0) Erro = kErrErrosDemais;
}

void tImpRoot::ErrMsgNaLinha(int32_t linha, const std::string& text) {
  ++ErrMsgCount;
  if (FirstErrMsg.empty()) FirstErrMsg = text;
  LastErrMsg = text;
  const std::pair<int32_t, std::string> m(linha, text);
  if (MensagensDeLinha.size() < kMaxMensagensDeLinha &&
      std::find(MensagensDeLinha.begin(), MensagensDeLinha.end(), m) == MensagensDeLinha.end()) {
    MensagensDeLinha.push_back(m);
  }
  if (MensagensNaPassagem >= kMaxMensagensPorPassagem) {
    ++MensagensOmitidas;
    return;
  }
  ++MensagensNaPassagem;
  Msg("line:" + std::to_string(linha) + " " + text);
}

int32_t tImpRoot::StrToPais(const std::string& s, int32_t* pais) {
  if (!LeInteiro(s, pais)) {
    *pais = -1;
    return kErrImpPaisDesconhecido;
  }
  int32_t code = 0;
  try {
    if (!EnumPais || EnumPais->IndexOfId(*pais) < 0) code = kErrImpPaisDesconhecido;
  } catch (const std::exception& x) {
    CodigoDaExcecao("StrToPais", &code, x, kErrImpPaisDesconhecido);
  }
  return code;
}

namespace {

// Whether one of the first ate lines of linhas is a record of keyword whose
// field 1 passes igual.
template <typename Igual>
bool RegistroAntes(const TLinhasDoArquivo& linhas, std::string_view keyword, int32_t ate,
                   Igual igual) {
  tParserWrapper w(std::make_unique<tParserSpcDelim>());
  for (int32_t i = 0; i < ate && i < static_cast<int32_t>(linhas.size()); ++i) {
    w.SetLine(linhas[static_cast<size_t>(i)]);
    if (ComparaSemCaixa(w.Field(0), keyword) == 0 && igual(w.Field(1))) return true;
  }
  return false;
}

}  // namespace

bool tImpRoot::DefinidoAntes(std::string_view keyword, int32_t id, int32_t ate) const {
  return RegistroAntes(Lines, keyword, ate, [id](std::string_view campo) {
    int32_t n = 0;
    return StrToIntOk(campo, &n) && n == id;
  });
}

bool tImpRoot::DefinidoAntes(std::string_view keyword, std::string_view campo1, int32_t ate) const {
  return RegistroAntes(Lines, keyword, ate, [campo1](std::string_view campo) {
    return ComparaSemCaixa(campo, campo1) == 0;
  });
}

void tImpRoot::ResetPass() {
  Comecou = true;
  SHAddCount = 0;
  SHModCount = 0;
  if (Erro == 0) {
    lnn = 0;
    LastLine.clear();
  }
}

}  // namespace zun
