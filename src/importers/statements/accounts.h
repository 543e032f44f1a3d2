// The account plan as the importers see it: the definition of an account
// and the process-wide cache of definitions.
//
// The cache holds the definitions by account number and remembers which
// statement formats had all their accounts loaded at once
// ("ContaBalDoFBalGet"); other accounts are read one by one ("ContaBalGet").
// After any change of an account the cache forgets it and every format
// mark, so the next request reads the database again.
//
// Thread-safety: none; the cache belongs to the program's single working
// thread and lives until shutdown.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zun {

// The number of characteristics of an account.
inline constexpr int kCaracteristicasConta = 16;

struct TContaBal {
  int32_t id = 0;  // the account number; 0 for an empty entry
  std::string Nome_Extenso;
  std::string Nome_Compacto;
  int32_t Bloco = 0;
  int32_t OrdemNoBloco = 0;
  int32_t Decimais = 0;
  int32_t Formatacao = 0;
  // The characteristics, in this order: carac_Periodizavel,
  // carac_PeriodizCalc, carac_EmMoeda, carac_03, carac_04,
  // carac_AfetadaPorLote, carac_DoResumo, carac_EhPorAcao,
  // carac_HideNaEsctreco, carac_OferecePriBal, carac_10 .. carac_15.
  std::array<bool, kCaracteristicasConta> carac{};
  int32_t comocalcular = 0;  // 0 = reported, not calculated
  int32_t comocalcular_Num = 0;
  bool HideNoZunInput = false;
  int32_t BlocoPadraoNaDigitacao = 0;
};

// Column names of the characteristics as the account procedures return
// them ("carac_Periodizavel", ...), in the order of TContaBal::carac.
extern const std::array<const char*, kCaracteristicasConta> kColunasCarac;

class TCacheContaBal {
 public:
  // The definition of account numero. When it is not cached and fmtbal is
  // 0 or more and that format's accounts were not loaded yet, marks the
  // format loaded and loads all its accounts ("ContaBalDoFBalGet"); when
  // it is still not cached, reads it alone ("ContaBalGet"). Raises
  // EZunInputException 3763 for numero below 1, and with the procedure's
  // code when the account cannot be read (the entry stays empty).
  TContaBal Get(int32_t numero, int32_t fmtbal = -1);

  // Forgets account numero and every format mark.
  void Forget(int32_t numero);

  // Empties the cache and restarts the count of reads.
  void Limpa();

  // Number of database calls the cache made so far (both procedures).
  int64_t Leituras() const { return leituras_; }

 private:
  bool Valida(int32_t numero) const;
  void Guarda(const TContaBal& c);

  std::vector<TContaBal> contas_;     // index = account number
  std::vector<bool> formatos_lidos_;  // index = format id
  int64_t leituras_ = 0;
};

// The process-wide account cache.
TCacheContaBal& CacheContaBal();

}  // namespace zun
