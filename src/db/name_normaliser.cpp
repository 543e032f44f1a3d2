#include "db/name_normaliser.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "db/codes.h"
#include "foundation/exception_trace.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

std::unique_ptr<TNormalizadorDeNomes> g_normalizador;
int32_t g_pais_do_normalizador = 0;

bool LetraOuDigito(char c) { return LetraOuDigitoCp1252(static_cast<unsigned char>(c)); }

// a sorts before b: the longer key first, keys of equal length by their
// text with letter case ignored.
int Compara(const TNomeNormalizado& a, const TNomeNormalizado& b) {
  if (a.Chave.size() != b.Chave.size())
    return static_cast<int>(b.Chave.size()) - static_cast<int>(a.Chave.size());
  return ComparaSemCaixa(a.Chave, b.Chave);
}

// Inserts in order; an entry whose key is already there is dropped.
void Insere(std::vector<TNomeNormalizado>* lista, TNomeNormalizado item) {
  const auto it = std::lower_bound(
      lista->begin(), lista->end(), item,
      [](const TNomeNormalizado& a, const TNomeNormalizado& b) { return Compara(a, b) < 0; });
  if (it != lista->end() && Compara(*it, item) == 0) return;
  lista->insert(it, std::move(item));
}

struct Ocorrencia {
  const TNomeNormalizado* item = nullptr;
  size_t p = 0;  // first character
  size_t e = 0;  // one past the last
};

// The first entry of lista, in list order, that occurs in texto as a whole
// word (no letter or digit right before or after it), at its leftmost such
// occurrence. Occurrences that do not count are skipped whole.
Ocorrencia AchaPalavraInteira(const std::vector<TNomeNormalizado>& lista,
                              const std::string& texto) {
  for (const TNomeNormalizado& item : lista) {
    size_t de = 0;
    for (;;) {
      const size_t p = texto.find(item.Chave, de);
      if (p == std::string::npos) break;
      const size_t e = p + item.Chave.size();
      if ((p == 0 || !LetraOuDigito(texto[p - 1])) &&
          (e == texto.size() || !LetraOuDigito(texto[e])))
        return {&item, p, e};
      de = e;
    }
  }
  return {};
}

// Every word with its first letter in upper case (the text is in lower
// case already); a separator repeated right after itself is dropped, except
// the first one after a word.
std::string Capitaliza(const std::string& trecho) {
  std::string r, palavra;
  bool na_palavra = false;
  char anterior = '\0';
  for (size_t i = 0; i < trecho.size(); ++i) {
    const char c = trecho[i];
    if (na_palavra) {
      if (LetraOuDigito(c)) {
        palavra += c;
      } else {
        r += palavra;
        r += c;
        na_palavra = false;
      }
    } else if (LetraOuDigito(c)) {
      palavra.assign(1, static_cast<char>(MaiusculaCp1252(static_cast<unsigned char>(c))));
      na_palavra = true;
    } else if (c != anterior) {
      r += c;
    }
    if (na_palavra && i + 1 == trecho.size()) r += palavra;
    anterior = c;
  }
  return r;
}

}  // namespace

bool TListaStringsAbrev::MenorSemCaixa::operator()(const std::string& a,
                                                   const std::string& b) const {
  return ComparaSemCaixa(a, b) < 0;
}

TListaStringsAbrev::TListaStringsAbrev(int32_t pais, int32_t* erro, int32_t tipo, bool mostra_valor)
    : Pais(pais), MostraValor(mostra_valor), Tipo(tipo) {
  *erro = 0;
  *erro = Carrega();
}

int32_t TListaStringsAbrev::Carrega() {
  std::string conteudo;
  const int32_t e = ComComando("BufPorPaisGet", [&](DsRef cmd) {
    SetParamInt(cmd, "@pais", Pais);
    SetParamInt(cmd, "@tipo", Tipo);
    int32_t r = ExecStProc(cmd, ModoStProc::kLeResult);
    if (r != 0) return r;
    int32_t tamanho = 0;  // the database's count, not needed here
    GetFieldInt(cmd, "ConteudoLen", &tamanho);
    cmd->NextRecordset();
    GetFieldStr(cmd, "conteudo", &conteudo);
    cmd->NextRecordset();
    return LerResult(cmd, true);
  });
  if (e == kErrBufPorPaisVazia) return 0;
  if (e == 0) Analisa(conteudo, 0);
  return e;
}

void TListaStringsAbrev::Analisa(const std::string& conteudo, uint8_t marca) {
  // The text of a line from de up to the next "=" (leading "=" skipped),
  // trimmed; de moves past it.
  auto campo = [](const std::string& linha, size_t* de) {
    size_t i = linha.find_first_not_of('=', *de);
    if (i == std::string::npos) i = linha.size();
    size_t f = linha.find('=', i);
    if (f == std::string::npos) f = linha.size();
    *de = f;
    return Apara(linha.substr(i, f - i));
  };
  size_t i = 0;
  while (i < conteudo.size()) {
    i = conteudo.find_first_not_of("\r\n", i);
    if (i == std::string::npos) break;
    size_t f = conteudo.find_first_of("\r\n", i);
    if (f == std::string::npos) f = conteudo.size();
    const std::string linha = conteudo.substr(i, f - i);
    i = f;
    size_t de = 0;
    const std::string chave = campo(linha, &de);
    TInfoStringAbrev& item = Itens[chave];
    item.Ativo = true;
    item.Marca |= marca;
    item.Valor = campo(linha, &de);
  }
}

std::string TListaStringsAbrev::Texto() const {
  std::string r;
  for (const auto& [chave, item] : Itens) {
    if (!item.Ativo) continue;
    r += chave;
    if (MostraValor) r += " = " + item.Valor;
    r += "\r\n";
  }
  return r;
}

TNormalizadorDeNomes::TNormalizadorDeNomes()
    : UsaAbreviacoes(false), SeparadorDeValor("\t"), SeparadorDeLinha("\r") {}

void TNormalizadorDeNomes::CarregaAbreviacoes(const std::string& texto) {
  Abreviacoes.clear();
  if (texto.empty() || SeparadorDeValor.empty() || SeparadorDeLinha.empty()) return;
  const std::string t = texto + SeparadorDeLinha;
  size_t de = 0;
  for (;;) {
    const size_t sv = t.find(SeparadorDeValor, de);
    if (sv == std::string::npos) break;
    TNomeNormalizado item;
    item.Chave = Apara(MinusculasCp1252(t.substr(de, sv - de)));
    de = sv + SeparadorDeValor.size();
    size_t sl = t.find(SeparadorDeLinha, de);
    if (sl == std::string::npos) sl = t.size();
    item.Valor = Apara(t.substr(de, sl - de));
    if (!item.Chave.empty()) Insere(&Abreviacoes, std::move(item));
    de = sl + SeparadorDeLinha.size();
  }
}

void TNormalizadorDeNomes::CarregaPalavras(const std::string& texto) {
  Palavras.clear();
  if (texto.empty() || SeparadorDeLinha.empty()) return;
  const std::string t = texto + SeparadorDeLinha;
  size_t de = 0;
  for (;;) {
    const size_t sl = t.find(SeparadorDeLinha, de);
    if (sl == std::string::npos) break;
    TNomeNormalizado item;
    item.Valor = Apara(t.substr(de, sl - de));
    item.Chave = MinusculasCp1252(item.Valor);
    if (!item.Chave.empty()) Insere(&Palavras, std::move(item));
    de = sl + SeparadorDeLinha.size();
  }
}

std::string TNormalizadorDeNomes::Normaliza(const std::string& nome) const {
  std::string t = MinusculasCp1252(nome);
  for (char& c : t) {
    switch (static_cast<unsigned char>(c)) {
      case 0x93:  // left and right double quotation marks
      case 0x94:
        c = '"';
        break;
      case 0x96:  // en and em dash
      case 0x97:
        c = '-';
        break;
      default:
        break;
    }
  }
  return Apara(UsaAbreviacoes ? PassoDeAbreviacoes(t, 0) : PassoDePalavras(t, 0));
}

// offset: where the fragment starts in the name as rewritten so far.
std::string TNormalizadorDeNomes::PassoDeAbreviacoes(const std::string& trecho,
                                                     size_t offset) const {
  const Ocorrencia o = AchaPalavraInteira(Abreviacoes, trecho);
  if (o.item == nullptr) return PassoDePalavras(trecho, offset);
  std::string r;
  if (o.p > 0) r += PassoDeAbreviacoes(trecho.substr(0, o.p), offset);
  r += o.item->Valor;
  if (o.e < trecho.size()) r += PassoDeAbreviacoes(trecho.substr(o.e), r.size() + offset);
  return r;
}

std::string TNormalizadorDeNomes::PassoDePalavras(const std::string& trecho, size_t offset) const {
  const Ocorrencia o = AchaPalavraInteira(Palavras, trecho);
  if (o.item == nullptr) return Capitaliza(trecho);
  std::string r;
  if (o.p > 0) r += PassoDePalavras(trecho.substr(0, o.p), offset);
  std::string valor = o.item->Valor;
  // A word in lower case in the table is capitalised when it begins the name.
  if (o.p == 0 && offset == 0 && valor == MinusculasCp1252(valor))
    valor[0] = static_cast<char>(MaiusculaCp1252(static_cast<unsigned char>(valor[0])));
  r += valor;
  if (o.e < trecho.size()) r += PassoDePalavras(trecho.substr(o.e), r.size() + offset);
  return r;
}

std::string NormalizaNome(int32_t pais, const std::string& nome) {
  const auto aviso = [&](int32_t code) {
    return "Warn:" + std::to_string(code) + " pais:" + std::to_string(pais) + " nome:[" + nome +
           "]";
  };
  try {
    if (g_normalizador == nullptr || g_pais_do_normalizador != pais) {
      g_normalizador.reset();
      g_pais_do_normalizador = pais;
      int32_t erro = 0;
      const TListaStringsAbrev abreviacoes(pais, &erro, 1, true);
      if (erro != 0) {
        Loga(aviso(kAvisoAbreviacoes));
        return nome;
      }
      const TListaStringsAbrev palavras(pais, &erro, 2, false);
      if (erro != 0) {
        Loga(aviso(kAvisoPalavras));
        return nome;
      }
      auto n = std::make_unique<TNormalizadorDeNomes>();
      n->SeparadorDeValor = "=";
      n->SeparadorDeLinha = "\r\n";
      n->CarregaAbreviacoes(abreviacoes.Texto());
      n->CarregaPalavras(palavras.Texto());
      n->UsaAbreviacoes = true;
      g_normalizador = std::move(n);
    }
    return g_normalizador->Normaliza(nome);
  } catch (const std::exception& x) {
    Loga(aviso(kAvisoNormalizador) + " exception:[" + NomeDaClasse(x) + "]" + x.what());
    return nome;
  }
}

void LiberaNormalizadorDeNomes() { g_normalizador.reset(); }

}  // namespace zun
