// The program's own reference tables, against which the database's country
// and currency lists are checked at login: the country codes (ids 0..79,
// three- and two-letter codes; ids 68..79 have none, 9 stands for no
// country) and the currencies (ids 0..31, symbol and country). Also the
// names of the destination database kinds (TipoDeBGL).
//
// Thread-safety: constant data and pure functions.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

inline constexpr int kNumPaises = 80;
inline constexpr int kNumMoedas = 32;
inline constexpr int32_t kPaisNenhum = 9;

struct CodigoDePais {
  const char* cod3;  // "" for an id without codes
  const char* cod2;
};

struct MoedaDaTabela {
  const char* simbolo;
  int32_t pais;
};

// Codes of country id i (0..79).
const CodigoDePais& CodigoDoPais(int id);

// Symbol and country of currency id i (0..31).
const MoedaDaTabela& MoedaDoId(int id);

// The country id of a code text, compared upper-cased: first the two-letter
// codes of ids 0..79 in order, then the three-letter ones (an id without
// codes compares as its number zero-padded to two, resp. three, digits);
// then "-", "--" and "---" give 9; then an integer in 0..79 gives itself.
// *found tells whether anything matched (the result is -1 when not).
int32_t PaisCodToId(const std::string& text, bool* found);

// The name of a destination database kind: 0 "Zun Clients", 1 "Goes to All
// Clients", 2 "Extended DB", 3 "New DB", 4 "Test", 5 "ZunInput", any other
// "TipoDeBGL#" + id.
std::string NomeDoTipoDeBGL(int id);

}  // namespace zun
