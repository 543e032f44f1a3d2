#include "importers/market/quotes.h"

#include <cmath>
#include <memory>

#include "db/object_lookups.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/text.h"
#include "importers/market/bulletins.h"
#include "importers/market/market_codes.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

// What the quote procedures refuse (their codes): a quote without a date, a
// deletion open at both ends.
constexpr int32_t kCotacaoSemData = 50602;
constexpr int32_t kApagaSemLimites = 50604;
constexpr int32_t kApagaSemSerie = 50601;
constexpr int32_t kApagaInvertido = 50605;
// "CotacaoImportV3": a condition on a value other than 1..12.
constexpr int32_t kCondicaoInvalida = 50603;
// Further fields looked at after the twelve values.
constexpr int kCamposExcedentesOlhados = 10;

// Calls procedure proc with the parameters poe sets (plain execute); an
// exception becomes its code.
template <typename F>
[[nodiscard]] int32_t Chama(const char* proc, F poe) {
  return ChamaComGuarda(proc, proc, kErrChamada, [&](DsRef cmd, int32_t* e) {
    poe(cmd);
    *e = ExecStProc(cmd, ModoStProc::kExecuta);
  });
}

// A call that lost the link failed for the database, not for the line: the
// file ends with the call's code, and its next try runs on a new link.
void FimSeOLinkCaiu(TImpMain& imp, int32_t code) {
  if (code != 0 && Db != nullptr && Db->LinkPerdidoNaChamada() && imp.Erro == 0) imp.Erro = code;
}

// "prefixo ticker/exchange error:" + the code's text.
std::string MensagemDeErro(const char* prefixo, const std::string& ticker, int32_t bolsa,
                           int32_t e) {
  std::string texto;
  TextoDoErro(e, &texto);
  return prefixo + ticker + "/" + std::to_string(bolsa) + " error:" + texto;
}

bool EhBranco(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int32_t LeCondicao(std::string_view texto, int32_t* operador, int32_t* termo1, double* termo2) {
  std::string_view w[5];
  size_t n = 0, i = 0;
  while (n < 5) {
    while (i < texto.size() && EhBranco(texto[i])) ++i;
    if (i >= texto.size()) break;
    const size_t ini = i;
    while (i < texto.size() && !EhBranco(texto[i])) ++i;
    w[n++] = texto.substr(ini, i - ini);
  }
  *operador = *termo1 = 0;
  *termo2 = 0;
  if (w[0] != "#") return kCondSemCerquilha;
  if (!StrToIntOk(w[1], termo1)) return kCondTermo1;
  for (int32_t k = 0; k < 11; ++k) {
    if (w[2] == kOperadoresDaCondicao[k]) *operador = k + 1;
  }
  if (*operador == 0) return kCondOperador;
  if (!StrToFloatOk(w[3], termo2)) return kCondTermo2;
  if (n > 4) return kCondTextoDemais;
  // "CotacaoImportV3" compares one of the twelve values.
  if (*termo1 < 1 || *termo1 > kValoresDaCotacao) return kCondicaoInvalida;
  return 0;
}

int32_t LeCotacao(TImpMain& imp, int32_t modo, TCotacao* q) {
  tParserWrapper& p = *imp.Parser;
  p.SetIndex(1);
  q->Ticker.assign(p.NextField());
  if (q->Ticker.empty()) {
    imp.ErrMsg("Empty <ticker>");
    return kCotTickerVazio;
  }
  if (!BolsaValida(p.NextField(), &q->Bolsa)) {
    imp.ErrMsg("Invalid <exchange>");
    return kCotBolsa;
  }
  if (!StrToDateOk(p.NextField(), &q->Data)) {
    imp.ErrMsg("Invalid <date>");
    return kCotData;
  }
  if (modo == 2) {
    const int32_t e = LeCondicao(p.NextField(), &q->Operador, &q->Termo1, &q->Termo2);
    if (e != 0) return e;
  }
  for (int i = 0; i < kValoresDaCotacao; ++i) {
    const std::string_view campo = p.NextField();
    q->Mantem[i] = campo == "*";
    q->Valores[i] = NuloFloat();
    if (campo.empty() || q->Mantem[i]) continue;
    double v = 0;
    if (!StrToFloatOk(campo, &v)) {
      imp.ErrMsg("Invalid <vlr#" + std::to_string(i + 1) + ":" + std::string(campo) + ">");
      return kCotValor;
    }
    q->Valores[i] = std::isnan(v) ? NuloFloat() : v;
  }
  for (int k = 0; k < kCamposExcedentesOlhados; ++k) {
    const std::string_view campo = p.NextField();
    if (!campo.empty()) {
      imp.ErrMsg("Invalid # of fields : <" + std::string(campo) + ">");
      return kCotNumCampos;
    }
  }
  return 0;
}

void ImportaCotacao(TImpMain& imp, const TVariantes& v, int32_t* code) {
  TCotacao q;
  *code = LeCotacao(imp, v.Modo, &q);
  if (*code != 0) return;
  TMakeUpBolCot* bol = BolCotDe(imp);
  // The import pass takes the check pass's answer for the line: the write
  // finds the series itself (kCotSerieDesconhecida when it is gone), and
  // the kind must be the one the bulletins were counted and logged with.
  TMakeUpBolCot::TSerieDaLinha vista;
  const bool ja_vista = !imp.ToNoCheck && bol != nullptr && bol->SerieDaLinha(imp.lnn, &vista);
  uint8_t tipo = vista.Tipo;
  std::string registrado;
  if (ja_vista) {
    if (!vista.Ticker.empty()) q.Ticker = vista.Ticker;
  } else {
    *code = GetTipoDeBGLDaAnb(q.Ticker, q.Bolsa, &tipo);
    int32_t id_emp = 0, id_anb = 0;
    if (*code == kErrTickerNaoRegistrado && q.Ticker.find("-provis") != std::string::npos &&
        GetRegistroCodCVMparaAnbima(q.Ticker, &registrado, &id_emp, &id_anb)) {
      q.Ticker = registrado;
      *code = GetTipoDeBGLDaAnb(q.Ticker, q.Bolsa, &tipo);
    }
  }
  if (*code == kErrTickerNaoRegistrado) {
    imp.ErrMsg(MensagemDeErro("ImpCot ", q.Ticker, q.Bolsa, *code));
    *code = 0;
    return;
  }
  FimSeOLinkCaiu(imp, *code);
  if (*code != 0) return;
  if (EhDataZero(q.Data)) {
    // The procedure would refuse it; a day of no date is no bulletin either.
    imp.ErrMsg(MensagemDeErro("ImpCot ", q.Ticker, q.Bolsa, kCotacaoSemData));
    *code = kCotacaoSemData;
    return;
  }
  if (imp.ToNoCheck) {
    if (bol != nullptr) {
      bol->AdicionaCotacao(q.Bolsa, tipo, q.Data);
      bol->GuardaSerie(imp.lnn, tipo, registrado);
    }
    return;
  }
  const bool nao_logar = bol != nullptr && bol->LogaComoBoletim(q.Bolsa, tipo, q.Data);
  *code = Chama("CotacaoImportV3", [&](DsRef cmd) {
    static const struct {
      std::string valor, keep;
    } kNomes[kValoresDaCotacao] = {
        {"@valor1", "@keepvlr1"},   {"@valor2", "@keepvlr2"},   {"@valor3", "@keepvlr3"},
        {"@valor4", "@keepvlr4"},   {"@valor5", "@keepvlr5"},   {"@valor6", "@keepvlr6"},
        {"@valor7", "@keepvlr7"},   {"@valor8", "@keepvlr8"},   {"@valor9", "@keepvlr9"},
        {"@valor10", "@keepvlr10"}, {"@valor11", "@keepvlr11"}, {"@valor12", "@keepvlr12"}};
    SetParamStr(cmd, "@ticker", q.Ticker);
    SetParamInt(cmd, "@bolsa", q.Bolsa);
    SetParamDateTime(cmd, "@date", q.Data);
    for (int i = 0; i < kValoresDaCotacao; ++i) {
      SetParamFloat(cmd, kNomes[i].valor, q.Valores[i]);
      SetParamBool(cmd, kNomes[i].keep, q.Mantem[i]);
    }
    SetParamBool(cmd, "@NoOverwrite", v.Modo == 1);
    SetParamBool(cmd, "@NaoLogar", nao_logar);
    SetParamInt(cmd, "@IfOperador", q.Operador);
    SetParamInt(cmd, "@IfValorTermo1", q.Termo1);
    SetParamFloat(cmd, "@IfTermo2", q.Termo2);
  });
  if (*code == 0) return;
  FimSeOLinkCaiu(imp, *code);
  if (ja_vista && *code == kCotSerieDesconhecida) *code = kErrTickerNaoRegistrado;
  imp.ErrMsg(MensagemDeErro("ImpCot ", q.Ticker, q.Bolsa, *code));
  if (*code == kCotSemMudanca || *code == kCotCondicaoFalsa || *code == kCotValoresIguais ||
      *code == kErrTickerNaoRegistrado)
    *code = 0;
}

void ImportaApagaCotacao(TImpMain& imp, const TVariantes&, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  const std::string ticker(p.Field(1));
  int32_t bolsa = 0;
  double de = 0, ate = 0;
  if (p.Count() != 5) {
    imp.ErrMsg("Invalid # of fields");
    *code = kCotNumCampos;
  } else if (ticker.empty()) {
    imp.ErrMsg("Empty <ticker>");
    *code = kCotTickerVazio;
  } else if (!BolsaValida(p.Field(2), &bolsa)) {
    imp.ErrMsg("Invalid <exchange>");
    *code = kCotBolsa;
  } else if (!StrToDateOk(p.Field(3), &de)) {
    imp.ErrMsg("Invalid from <date>");
    *code = kCotData;
  } else if (!StrToDateOk(p.Field(4), &ate)) {
    imp.ErrMsg("Invalid to <date>");
    *code = kCotData;
  } else if (EhDataZero(de) && EhDataZero(ate)) {
    imp.ErrMsg(MensagemDeErro("ImpCotDelRange ", ticker, bolsa, kApagaSemLimites));
    *code = kApagaSemLimites;
  } else if (!EhDataZero(de) && !EhDataZero(ate) && de > ate) {
    imp.ErrMsg(MensagemDeErro("ImpCotDelRange ", ticker, bolsa, kApagaInvertido));
    *code = kApagaInvertido;
  }
  if (*code == 0 && imp.ToNoCheck) {
    // The procedure needs the series as it is named (no provisional codes).
    uint8_t tipo = 0;
    *code = GetTipoDeBGLDaAnb(ticker, bolsa, &tipo);
    if (*code == kErrTickerNaoRegistrado) {
      imp.ErrMsg(MensagemDeErro("ImpCotDelRange ", ticker, bolsa, kApagaSemSerie));
      *code = kApagaSemSerie;
    }
  }
  if (*code != 0 || imp.ToNoCheck) return;
  *code = Chama("CotacaoImportDelRange", [&](DsRef cmd) {
    SetParamStr(cmd, "@ticker", ticker);
    SetParamInt(cmd, "@bolsa", bolsa);
    SetParamDateTime(cmd, "@datefrom", de);
    SetParamDateTime(cmd, "@dateto", ate);
  });
  if (*code == 0) return;
  FimSeOLinkCaiu(imp, *code);
  imp.ErrMsg(MensagemDeErro("ImpCotDelRange ", ticker, bolsa, *code));
  if (*code == kCotSemMudanca) *code = 0;
}

}  // namespace zun
