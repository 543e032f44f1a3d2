// TBalanco: one financial statement of one company for one reference date,
// held in memory as a header and a fixed grid of account values, two
// periods of 6000 accounts each.
//
// A cell holds a value and the mark CalcOuRx (computed by the consistency
// check rather than reported). The null value is the NaN whose upper word is
// 0xFFF80000 (NuloFloat); a cleared cell is null with CalcOuRx false.
// Period 0 is the full period ("FY", stored with De3Meses = 0), period 1
// the last three months ("3M", De3Meses = 1).
//
// Thread-safety: a plain value type; one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

namespace zun {

// Highest account number of the grid; accounts run from 1.
inline constexpr int kMaxContaBal = 6000;
// Number of periods of the grid.
inline constexpr int kPeriodosBal = 2;

struct TCelulaBal {
  double valor;   // the null number when there is no value
  bool CalcOuRx;  // computed by the check, not reported
};

class TBalanco {
 public:
  // A cleared record.
  TBalanco();

  // Header, in the order of the stored statement.
  int32_t id;                   // 0 while not stored
  int32_t empresa;              // company id
  double dataref;               // reference date (day number; 0 = none)
  uint8_t consolidado;          // 0..1
  uint8_t sourcedobal;          // 0..7
  int32_t meses;                // months covered
  int32_t moeda;                // currency id
  double datamoeda;             // currency date
  double datadivulgacao;        // publication date
  double DataUltAlteracao;      // date of the last change (never stored)
  int32_t corrmon;              // monetary correction mode
  bool Incompleto;              // key accounts missing (set by the check)
  int32_t ChecagemFalhou;       // 0 passed, 1 minor failure, 2 failure
  bool AceitarFalhaNaChecagem;  // failure accepted
  uint8_t TipoDocumento;        // 0..1

  // Every header field to zero (dates to the zero date, booleans false) and
  // every cell null with CalcOuRx false.
  void Limpa();
  // Every cell null with CalcOuRx false; the header stays.
  void LimpaValores();

  // The cell of (periodo, conta). Precondition: 0 <= periodo < 2 and
  // 1 <= conta <= 6000 (checked: std::out_of_range otherwise).
  TCelulaBal& Celula(int periodo, int conta);
  const TCelulaBal& Celula(int periodo, int conta) const;

  // Value of a cell (the null number when none).
  double Valor(int periodo, int conta) const { return Celula(periodo, conta).valor; }
  // Whether the cell is null (the NaN pattern of the null number).
  bool Nulo(int periodo, int conta) const;
  // Sets a cell's value and mark.
  void SetValor(int periodo, int conta, double valor, bool calc_ou_rx = false);

 private:
  // kPeriodosBal * (kMaxContaBal + 1) cells; index 0 of each period unused.
  std::vector<TCelulaBal> celulas_;
};

}  // namespace zun
