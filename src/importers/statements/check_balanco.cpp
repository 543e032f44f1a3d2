#include "importers/statements/check_balanco.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "db/global_state.h"
#include "foundation/log.h"
#include "importers/statements/accounts.h"
#include "toolbox/dbutil/accessors.h"

namespace zun {

namespace {

// Ratio bounds and the magnitude under which two values count as zero.
constexpr long double kRazaoMin = 0.99999999L;
constexpr long double kRazaoMax = 1.00000001L;
constexpr double kQuaseZero = 1e-8;

bool ContaValida(int32_t conta) { return conta >= 1 && conta <= kMaxContaBal; }

bool EhFinito(double x) { return std::isfinite(x); }

// Null-skipping addition of x to *s.
void Soma(double* s, double x) {
  if (!EhFinito(x)) return;
  *s = EhNuloFloat(*s) ? x : *s + x;
}

}  // namespace

bool Valorigual(double a, double b) {
  if (!EhFinito(a)) return !EhFinito(b);
  if (!EhFinito(b)) return false;
  if (a == b) return true;
  // No floating-point traps are enabled, so the division cannot raise: a
  // zero divisor and an overflowing ratio are caught by their results.
  long double r = 0;
  if (b != 0) {
    r = static_cast<long double>(a) / static_cast<long double>(b);
    if (!std::isfinite(r)) r = 0;
  }
  if (r >= kRazaoMin && r <= kRazaoMax) return true;
  return std::fabs(a) <= kQuaseZero && std::fabs(b) <= kQuaseZero;
}

void TCheckBalanco::Checa() {
  MontaTabelas();
  Carrega();
  ZeraCalculados();
  Propaga();
  TotaisNaoReportados();
  ChecaCabecalho();
  ChecaGrupos();
  Escreve();
  Completude();
  Nota();
  if (DbgDifChecagemBal) LogaDiferencas();
}

void TCheckBalanco::LogaDiferencas() const {
  const auto texto = [](bool tem, double v) {
    if (!tem) return std::string("-");
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return std::string(buf);
  };
  for (int32_t i = 1; i <= n_; ++i) {
    const Entrada& en = e_[static_cast<size_t>(i)];
    if (!en.conflito) continue;
    Loga("ChecaBal dif emp:" + std::to_string(bal_.empresa) + " per:" + std::to_string(periodo_) +
         " linha:" + std::to_string(i) + " conta:" + std::to_string(fmt_.Linha(i).conta) + " rep:" +
         texto(en.tem_reportado, en.reportado) + " calc:" + texto(en.tem_calculado, en.calculado));
  }
}

bool TCheckBalanco::EhConta(int32_t i) const { return fmt_.Linha(i).EhConta(); }

double TCheckBalanco::Valor(int32_t i) const {
  if (e_[i].tem_reportado) return e_[i].reportado;
  if (e_[i].tem_calculado) return e_[i].calculado;
  return NuloFloat();
}

bool TCheckBalanco::Ancorada(int32_t i) const {
  return EhConta(i) && (e_[i].tem_reportado || e_[i].grupo_confirmado) && !e_[i].conflito;
}

void TCheckBalanco::DefineCalculado(int32_t e, double x, bool* mudou) {
  Entrada& en = e_[e];
  if (!EhFinito(x)) {
    en.conflito = true;
    return;
  }
  if (en.tem_calculado) {
    if (!Valorigual(x, en.calculado)) en.conflito = true;
    return;
  }
  if (en.tem_reportado && Valorigual(x, en.reportado)) return;
  en.calculado = x;
  en.tem_calculado = true;
  *mudou = true;
  if (en.tem_reportado) en.conflito = true;
}

void TCheckBalanco::Sobe(int32_t nota) {
  if (bal_.ChecagemFalhou < nota) bal_.ChecagemFalhou = nota;
}

void TCheckBalanco::MontaTabelas() {
  if (!e_.empty()) return;
  n_ = fmt_.Count();
  e_.assign(static_cast<size_t>(n_) + 1, Entrada{});
  pais_.assign(static_cast<size_t>(n_) + 1, Pai{});
  for (int32_t i = 1; i <= n_; ++i) {
    const TLinhaFmtBal& l = fmt_.Linha(i);
    if (l.IdentificacaoDeContas != 0) grupos_[l.IdentificacaoDeContas].push_back(i);
    const int32_t p = l.Pai;
    if (p < 1 || p > n_) continue;
    Pai& r = pais_[p];
    r.existe = true;
    lista_.emplace_back(p, fmt_.Linha(p).Profundidade);
    if (l.sinal == 1) {
      r.total_anterior = i;
      continue;
    }
    r.filhos.push_back(i);
    // A total whose first part follows a header or a calculated account
    // starts its own run of summands: it is not read as a sum of zeros.
    if (r.filhos.size() == 1 && r.total_anterior == 0 && (l.sinal == 2 || l.sinal == 4)) {
      r.inicio_de_parcelas =
          i == 1 || !EhConta(i - 1) ||
          CacheContaBal().Get(fmt_.Linha(i - 1).conta, fmt_.id).comocalcular != 0;
    }
  }
  // Shallowest parents first; pairs of equal depth keep their order.
  std::stable_sort(lista_.begin(), lista_.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
}

void TCheckBalanco::Carrega() {
  for (int32_t i = 1; i <= n_; ++i) {
    Entrada& en = e_[i];
    en = Entrada{};
    en.conta = fmt_.Linha(i).conta;
    en.reportado = en.calculado = NuloFloat();
    if (!EhConta(i) || !ContaValida(en.conta)) continue;
    const double v = bal_.Valor(periodo_, en.conta);
    if (EhFinito(v) && !bal_.Celula(periodo_, en.conta).CalcOuRx) {
      en.reportado = v;
      en.tem_reportado = true;
    }
  }
}

void TCheckBalanco::ZeraCalculados() {
  for (int32_t a = 1; a <= kMaxContaBal; ++a) {
    if (bal_.Celula(periodo_, a).CalcOuRx) bal_.SetValor(periodo_, a, NuloFloat(), false);
  }
  bal_.ChecagemFalhou = 0;
}

bool TCheckBalanco::PassoDeSoma() {
  bool mudou = false;
  for (auto it = lista_.rbegin(); it != lista_.rend(); ++it) {
    const int32_t p = it->first;
    const Pai& r = pais_[p];
    if (!r.existe) continue;
    double s = NuloFloat();
    bool falta = false;
    if (r.total_anterior != 0) Soma(&s, Valor(r.total_anterior));
    for (int32_t c : r.filhos) {
      const double v = Valor(c);
      if (!EhFinito(v)) falta = true;
      Soma(&s, fmt_.Linha(c).sinal == 4 ? -v : v);
    }
    if (!EhFinito(s)) continue;
    DefineCalculado(p, s, &mudou);
    if (!falta) continue;
    for (int32_t c : r.filhos) {
      if (!EhFinito(Valor(c))) DefineCalculado(c, 0, &mudou);
    }
  }
  return mudou;
}

bool TCheckBalanco::PassoDeZeros() {
  bool mudou = false;
  for (const auto& [p, profundidade] : lista_) {
    const Pai& r = pais_[p];
    if (!r.existe || r.total_anterior != 0 || r.inicio_de_parcelas) continue;
    if (!Valorigual(Valor(p), 0)) continue;
    bool algum = false;
    for (int32_t c : r.filhos) algum = algum || EhFinito(Valor(c));
    if (algum) continue;
    for (int32_t c : r.filhos) DefineCalculado(c, 0, &mudou);
  }
  return mudou;
}

void TCheckBalanco::Propaga() {
  for (bool rodada = true; rodada;) {
    rodada = false;
    while (PassoDeSoma()) rodada = true;
    while (PassoDeZeros()) rodada = true;
  }
}

void TCheckBalanco::TotaisNaoReportados() {
  for (int32_t i = 1; i <= n_; ++i) {
    const TLinhaFmtBal& l = fmt_.Linha(i);
    if (EhConta(i) && l.Pai == 0 && pais_[i].existe && e_[i].tem_calculado &&
        !e_[i].tem_reportado && l.IdentificacaoDeContas == 0 && !l.Oculta) {
      e_[i].conflito = true;
    }
  }
}

void TCheckBalanco::ChecaCabecalho() {
  if (bal_.meses <= 0) Sobe(2);
  if (!(bal_.datamoeda > 0)) Sobe(2);
}

void TCheckBalanco::ChecaGrupos() {
  for (const auto& [codigo, membros] : grupos_) {
    if (membros.size() < 2) continue;
    const double primeiro = Valor(membros.front());
    bool iguais = true;
    for (int32_t m : membros) iguais = iguais && Valorigual(Valor(m), primeiro);
    for (int32_t m : membros) (iguais ? e_[m].grupo_confirmado : e_[m].conflito) = true;
  }
}

bool TCheckBalanco::Cadeia(int32_t k, int32_t passos) {
  // A chain runs through distinct lines; more steps than lines is a loop.
  if (passos > n_) return false;
  const Pai& r = pais_[k];
  bool ok;
  if (!r.existe) {
    return false;
  } else if (r.inicio_de_parcelas) {
    ok = true;
  } else if (r.total_anterior == 0 || e_[k].conflito) {
    return false;
  } else {
    ok = Cadeia(r.total_anterior, passos + 1) || Ancorada(r.total_anterior);
  }
  if (ok) e_[k].raiz = true;
  return ok;
}

void TCheckBalanco::Anota(int32_t i, int32_t passos) {
  if (passos > n_ || !EhConta(i) || e_[i].conflito) return;
  const Entrada& en = e_[i];
  if (ContaValida(en.conta) &&
      (bal_.Nulo(periodo_, en.conta) || bal_.Celula(periodo_, en.conta).CalcOuRx)) {
    if (en.tem_reportado) {
      bal_.SetValor(periodo_, en.conta, en.reportado, false);
    } else if (en.tem_calculado) {
      bal_.SetValor(periodo_, en.conta, en.calculado, true);
    } else {
      bal_.SetValor(periodo_, en.conta, NuloFloat(), false);
    }
  }
  for (int32_t c : pais_[i].filhos) Anota(c, passos + 1);
}

void TCheckBalanco::Escreve() {
  for (int32_t i = 1; i <= n_; ++i) {
    const Pai& r = pais_[i];
    if (r.existe && r.total_anterior == 0 && !r.inicio_de_parcelas && Ancorada(i)) {
      e_[i].raiz = true;
    }
  }
  for (int32_t i = 1; i <= n_; ++i) {
    const Pai& r = pais_[i];
    if (r.existe && (r.total_anterior != 0 || r.inicio_de_parcelas) && Ancorada(i)) {
      Cadeia(i, 0);
    }
  }
  for (int32_t i = 1; i <= n_; ++i) {
    if (e_[i].raiz) Anota(i, 0);
  }
}

void TCheckBalanco::Completude() {
  bool incompleto = false;
  for (int32_t i = 1; i <= n_ && !incompleto; ++i) {
    if (!EhConta(i) || fmt_.Linha(i).IdentificacaoDeContas == 0) continue;
    const int32_t conta = e_[i].conta;
    incompleto = !ContaValida(conta) || !EhFinito(bal_.Valor(periodo_, conta));
  }
  bal_.Incompleto = incompleto;
}

void TCheckBalanco::Nota() {
  bool falha = false, menor = false;
  for (int32_t i = 1; i <= n_; ++i) {
    if (!EhConta(i) || !e_[i].conflito) continue;
    const TLinhaFmtBal& l = fmt_.Linha(i);
    if (l.Pai == 0 && l.TemFilhos && !e_[i].tem_reportado) {
      menor = true;
    } else {
      falha = true;
    }
  }
  if (falha) {
    Sobe(2);
  } else if (menor) {
    Sobe(1);
  }
  if (bal_.ChecagemFalhou == 0) bal_.AceitarFalhaNaChecagem = false;
}

void ChecaBalanco(const TFormatoBal& fmt, TBalanco& bal) {
  // Each run grades its own period from scratch; the statement keeps the
  // worse grade, so a failure of the full period is not passed over by a
  // quarter that agrees.
  const bool aceitar = bal.AceitarFalhaNaChecagem;
  TCheckBalanco(fmt, bal, 0).Checa();
  const int32_t nota = bal.ChecagemFalhou;
  const bool incompleto = bal.Incompleto;
  TCheckBalanco(fmt, bal, 1).Checa();
  bal.ChecagemFalhou = std::max(nota, bal.ChecagemFalhou);
  bal.Incompleto = bal.Incompleto || incompleto;
  bal.AceitarFalhaNaChecagem = bal.ChecagemFalhou != 0 && aceitar;
}

}  // namespace zun
