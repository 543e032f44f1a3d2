// The consistency check of a financial statement against its format.
//
// TCheckBalanco checks one period of one statement with the company's
// loaded format: every total must equal the signed sum of its parts (a part
// with sinal 4 is subtracted), lines sharing an IdentificacaoDeContas code
// must carry the same value, and the header must give a period length and
// a currency date. Values that follow from the structure but were not
// reported (a missing total, the missing parts of a total known to be zero)
// are computed and written into the statement as calculated cells
// (CalcOuRx true) when they hang from a reported, consistent line. The
// outcome is the header's grade: ChecagemFalhou 0 (passed), 1 (only
// unreported top-level totals disagree) or 2 (failure), Incompleto (a line
// with an identification code has no value) and AceitarFalhaNaChecagem
// cleared when nothing failed. The check writes no messages; with the
// switch "DbgDifChecagemBal" it logs each line left in conflict
// ("ChecaBal dif ...": company, period, line, account, the reported and the
// computed value, "-" for none).
//
// Values compare with Valorigual: equal within a relative 1e-8, or both at
// most 1e-8 in magnitude, computed in long double.
//
// Thread-safety: none; one object serves one check on the main thread.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "importers/statements/statement.h"
#include "importers/statements/statement_format.h"

namespace zun {

// Value equality of statement values. Two non-finite values are equal; a
// finite and a non-finite one are not; otherwise equal when a == b, when
// the ratio a / b (long double; 0 when b is 0 or the ratio overflows) lies
// within [0.99999999, 1.00000001], or when both |a| and |b| are at most
// 1e-8.
bool Valorigual(double a, double b);

class TCheckBalanco {
 public:
  // Checks period periodo (0 or 1) of bal with fmt; neither is owned and
  // both must outlive the object.
  TCheckBalanco(const TFormatoBal& fmt, TBalanco& bal, int32_t periodo)
      : fmt_(fmt), bal_(bal), periodo_(periodo) {}

  // Runs the check once: completes the period's cells and sets the grade
  // fields of bal's header. Reads the definitions of the format's accounts
  // through the account cache, which raises EZunInputException for an
  // account the database does not have.
  void Checa();

  // After Checa: whether line i (1-based) of the format ended in conflict,
  // and its computed value (null when none). For diagnostics and tests.
  bool EmConflito(int32_t i) const { return e_[i].conflito; }
  double Calculado(int32_t i) const { return e_[i].calculado; }

 private:
  struct Entrada {
    int32_t conta = 0;
    double reportado = 0;
    double calculado = 0;
    bool tem_reportado = false;
    bool tem_calculado = false;
    bool conflito = false;
    bool grupo_confirmado = false;
    bool raiz = false;
  };
  struct Pai {
    bool existe = false;
    int32_t total_anterior = 0;  // the child total line, 0 for none
    bool inicio_de_parcelas = false;
    std::vector<int32_t> filhos;  // ascending
  };

  void MontaTabelas();
  void Carrega();
  void ZeraCalculados();
  void Propaga();
  bool PassoDeSoma();
  bool PassoDeZeros();
  void TotaisNaoReportados();
  void ChecaCabecalho();
  void ChecaGrupos();
  void Escreve();
  bool Cadeia(int32_t k, int32_t passos);
  void Anota(int32_t i, int32_t passos);
  void Completude();
  void Nota();
  void LogaDiferencas() const;

  bool EhConta(int32_t i) const;
  bool Ancorada(int32_t i) const;
  double Valor(int32_t i) const;
  void DefineCalculado(int32_t e, double x, bool* mudou);
  void Sobe(int32_t nota);

  const TFormatoBal& fmt_;
  TBalanco& bal_;
  const int32_t periodo_;
  int32_t n_ = 0;
  std::vector<Entrada> e_;  // 1-based
  std::vector<Pai> pais_;   // 1-based
  std::map<int32_t, std::vector<int32_t>> grupos_;
  std::vector<std::pair<int32_t, int32_t>> lista_;  // (parent line, its depth)
};

// Runs a fresh TCheckBalanco on period 0 of bal, then on period 1. The
// header keeps the worse ChecagemFalhou of the two runs, Incompleto when
// either period lacks a value, and AceitarFalhaNaChecagem only while some
// period failed.
void ChecaBalanco(const TFormatoBal& fmt, TBalanco& bal);

}  // namespace zun
