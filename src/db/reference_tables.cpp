#include "db/reference_tables.h"

#include "foundation/text.h"

namespace zun {

namespace {

constexpr CodigoDePais kPaises[kNumPaises] = {
    {"BRA", "BR"}, {"USA", "US"}, {"ARG", "AR"}, {"MEX", "MX"}, {"CHL", "CL"}, {"VEN", "VE"},
    {"JPN", "JP"}, {"GBR", "UK"}, {"DEU", "DE"}, {"NNN", "NN"}, {"COL", "CO"}, {"PER", "PE"},
    {"ECU", "EC"}, {"PRT", "PT"}, {"ESP", "ES"}, {"BOL", "BO"}, {"PHL", "PH"}, {"GRC", "GR"},
    {"CHN", "CN"}, {"IDN", "ID"}, {"MYS", "MY"}, {"SGP", "SG"}, {"THA", "TH"}, {"TWN", "TW"},
    {"HKG", "HK"}, {"KOR", "KR"}, {"CAN", "CA"}, {"AUS", "AU"}, {"FRA", "FR"}, {"ITA", "IT"},
    {"CHE", "CH"}, {"OTH", "OT"}, {"ARE", "AE"}, {"ANT", "AN"}, {"AUT", "AT"}, {"BRB", "BB"},
    {"BEL", "BE"}, {"BMU", "BM"}, {"BHS", "BS"}, {"DNK", "DK"}, {"FIN", "FI"}, {"ISR", "IL"},
    {"IND", "IN"}, {"CYM", "KY"}, {"LUX", "LU"}, {"MCO", "MC"}, {"NLD", "NL"}, {"NOR", "NO"},
    {"PAN", "PA"}, {"MAR", "MA"}, {"PRI", "PR"}, {"RUS", "RU"}, {"SWE", "SE"}, {"VGB", "VG"},
    {"ZAF", "ZA"}, {"PNG", "PG"}, {"LBR", "LR"}, {"TUR", "TR"}, {"ATG", "AG"}, {"CUW", "CW"},
    {"MHL", "MH"}, {"MUS", "MU"}, {"VIR", "VI"}, {"IRL", "IE"}, {"CYP", "CY"}, {"GEO", "GE"},
    {"CZE", "CZ"}, {"JEY", "JE"}, {"", ""},      {"", ""},      {"", ""},      {"", ""},
    {"", ""},      {"", ""},      {"", ""},      {"", ""},      {"", ""},      {"", ""},
    {"", ""},      {"", ""},
};

constexpr MoedaDaTabela kMoedas[kNumMoedas] = {
    {"m#0", 9},  {"BRL", 0},  {"USD", 1},      {"ARS", 2},      {"MXN", 3},  {"CLP", 4},
    {"VEB", 5},  {"JPY", 6},  {"GBP", 7},      {"SEK", 52},     {"INR", 42}, {"PEN", 11},
    {"COP", 10}, {"TRY", 57}, {"PTE_EUR", 13}, {"ESP_EUR", 14}, {"DKK", 39}, {"PHP", 16},
    {"IDR", 19}, {"EUR", 9},  {"CLF", 4},      {"ZAR", 54},     {"ILS", 41}, {"RUB", 51},
    {"NOK", 47}, {"CNY", 18}, {"TWD", 23},     {"KRW", 25},     {"CAD", 26}, {"AUD", 27},
    {"CHF", 30}, {"#31", 9},
};

std::string ComZeros(int n, size_t width) {
  std::string s = std::to_string(n);
  while (s.size() < width) s.insert(s.begin(), '0');
  return s;
}

// A whole decimal integer with an optional sign, no blanks.
bool InteiroExato(const std::string& s, long long* v) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i == s.size() || s.size() - i > 12) return false;
  long long r = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    r = r * 10 + (s[i] - '0');
  }
  *v = neg ? -r : r;
  return true;
}

}  // namespace

const CodigoDePais& CodigoDoPais(int id) { return kPaises[id]; }

const MoedaDaTabela& MoedaDoId(int id) { return kMoedas[id]; }

int32_t PaisCodToId(const std::string& text, bool* found) {
  const std::string t = Maiusculas(text);
  *found = true;
  for (int i = 0; i < kNumPaises; ++i) {
    const std::string c = *kPaises[i].cod2 ? kPaises[i].cod2 : ComZeros(i, 2);
    if (c == t) return i;
  }
  for (int i = 0; i < kNumPaises; ++i) {
    const std::string c = *kPaises[i].cod3 ? kPaises[i].cod3 : ComZeros(i, 3);
    if (c == t) return i;
  }
  if (t == "-" || t == "--" || t == "---") return kPaisNenhum;
  long long v = 0;
  if (InteiroExato(t, &v) && v >= 0 && v < kNumPaises) return static_cast<int32_t>(v);
  *found = false;
  return -1;
}

std::string NomeDoTipoDeBGL(int id) {
  static const char* const kNomes[] = {
      "Zun Clients", "Goes to All Clients", "Extended DB", "New DB", "Test", "ZunInput"};
  if (id >= 0 && id < 6) return kNomes[id];
  return "TipoDeBGL#" + std::to_string(id);
}

}  // namespace zun
