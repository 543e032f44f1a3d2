// Statement formats: the ordered, indented lines in which a company's
// statements are laid out, loaded from the database with the tree of totals
// and parts derived from them, and stored back.
//
// The tree follows from each account line's sign and indentation: a total
// (sinal 1) takes as children the lines before it at its own indentation
// (parts, sinal 2, 3 or 4, and an earlier total, which ends the scan); any
// other account line takes the lines right below it indented one level
// deeper. A line may be claimed twice; the later claim wins.
//
// Thread-safety: none; plain data plus calls on the process-wide session
// and account cache, on the program's single working thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zun {

// Most lines a format may have.
inline constexpr int kMaxLinhasFmtBal = 4000;

struct TLinhaFmtBal {
  int32_t fmtbal = 0;
  int32_t seq = 0;    // line number, from 1
  uint8_t tipo = 0;   // 0 or 3 account line, 1 block header, others
  int32_t conta = 0;  // account number (account lines)
  uint8_t sinal = 0;  // 1 total; 2, 3, 4 part (4 subtracted); others none
  int32_t indentacao = 0;
  int32_t anvert = 0;
  int32_t IdentificacaoDeContas = 0;  // identification code; 0 = none
  int32_t bloco = 0;                  // block number (block headers)
  // Derived by DerivaArvoreFmtBal.
  int32_t Pai = 0;           // parent line, 0 = none
  bool TemFilhos = false;    // some line has this one as parent
  int32_t Profundidade = 0;  // 0 without parent, else the parent's plus 1
  bool Oculta = false;       // the account has HideNoZunInput

  bool EhConta() const { return tipo == 0 || tipo == 3; }
};

struct TFormatoBal {
  int32_t id = 0;
  std::vector<TLinhaFmtBal> Linhas;  // Linhas[0] is line 1

  int32_t Count() const { return static_cast<int32_t>(Linhas.size()); }
  // Line seq, from 1. Precondition: 1 <= seq <= Count() (checked:
  // std::out_of_range).
  TLinhaFmtBal& Linha(int32_t seq) { return Linhas.at(static_cast<size_t>(seq - 1)); }
  const TLinhaFmtBal& Linha(int32_t seq) const { return Linhas.at(static_cast<size_t>(seq - 1)); }
  void Limpa() {
    id = 0;
    Linhas.clear();
  }
};

// Derives the parent lines, has-children marks, depths and hidden marks of
// every line of *fmt (the hidden mark reads each account line's definition
// through the account cache with the format's id). Raises what the account
// cache raises.
void DerivaArvoreFmtBal(TFormatoBal* fmt);

// Loads format fmtbal ("ApresFmtBalItemsGet") into *fmt and derives its
// tree. Returns 0, the procedure's code, or the code of an exception (the
// account cache's, else 3523); on any failure *fmt is left cleared. Timed
// by a speed clock whose table ("MeDaAFB#" + id) is logged with the switch
// "DbgSpeed" or when the load took more than 5000 ms. Never raises.
[[nodiscard]] int32_t CarregaFormatoBal(int32_t fmtbal, TFormatoBal* fmt);

// Stores the lines of fmt in "ApresFmtBalItems" in one transaction: stored
// rows beyond the line count are deleted, the others rewritten from their
// lines, missing rows added. Returns 0, 3523 (or the exception's code) for
// a failure while writing, 3999 when ending the transaction failed. Never
// raises.
[[nodiscard]] int32_t DbApresFormatoBalPut(const TFormatoBal& fmt);

}  // namespace zun
