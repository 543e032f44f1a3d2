#include "engine/value_formats.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "foundation/momento.h"
#include "foundation/text.h"

namespace zun {

namespace {

inline bool EhDigito(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool StrToFloatOk(std::string_view s, double* v) {
  *v = NuloFloat();
  // Blanks and control characters around it go, as Apara takes them.
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  s = s.substr(b, e - b);
  if (s.empty() || s == "-") return true;

  // Check the whole text against the number grammar first: std::from_chars
  // alone would also take "inf", "nan" and stop early on "1e".
  const size_t n = s.size();
  size_t i = 0;
  bool negativo = false;
  if (s[i] == '+' || s[i] == '-') {
    negativo = s[i] == '-';
    ++i;
  }
  const size_t inicio = s[0] == '+' ? 1 : 0;  // from_chars takes "-" but not "+"
  size_t digitos = 0;
  int32_t ordem = 0;  // decimal order of the first significant digit, for range errors
  bool significativo = false;
  uint64_t mantissa = 0;  // the digits as an integer, while they fit
  int32_t decimais = 0;   // digits after the point
  for (; i < n && EhDigito(s[i]); ++i, ++digitos) {
    if (s[i] != '0') significativo = true;
    if (significativo) ++ordem;
    if (digitos < 19) mantissa = mantissa * 10 + static_cast<uint64_t>(s[i] - '0');
  }
  if (i < n && s[i] == '.') {
    for (++i; i < n && EhDigito(s[i]); ++i, ++digitos, ++decimais) {
      if (s[i] != '0') significativo = true;
      if (!significativo) --ordem;
      if (digitos < 19) mantissa = mantissa * 10 + static_cast<uint64_t>(s[i] - '0');
    }
  }
  if (digitos == 0) return false;
  if (i == n && digitos <= 15) {
    // Up to 15 digits and no exponent: the digits and the power of ten are
    // exact doubles, and one division rounds their quotient as the full
    // conversion would.
    static constexpr double kPotencias[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double valor = static_cast<double>(mantissa) / kPotencias[decimais];
    *v = negativo ? -valor : valor;
    return true;
  }
  int32_t expoente = 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool exp_negativo = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
      exp_negativo = s[i] == '-';
      ++i;
    }
    if (i == n) return false;
    for (; i < n && EhDigito(s[i]); ++i) {
      if (expoente < 100000) expoente = expoente * 10 + (s[i] - '0');
    }
    if (exp_negativo) expoente = -expoente;
  }
  if (i != n) return false;

  double valor = 0;
  const char* fim = s.data() + n;
  const auto r = std::from_chars(s.data() + inicio, fim, valor, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond the largest double is invalid; below the smallest reads as zero.
    if (ordem + expoente > 0) return false;
    *v = negativo ? -0.0 : 0.0;
    return true;
  }
  if (r.ec != std::errc() || r.ptr != fim) return false;
  *v = valor;
  return true;
}

bool StrToDateOk(std::string_view s, double* v) {
  *v = kDataZero;
  if (s.empty() || s == "-") return true;
  if (s.size() != 10) return false;
  const char sep = s[4];
  if ((sep != '-' && sep != '.') || s[7] != sep) return false;
  int32_t ano = 0;
  int32_t mes = 0;
  int32_t dia = 0;
  if (!StrToIntOk(s.substr(0, 4), &ano) || !StrToIntOk(s.substr(5, 2), &mes) ||
      !StrToIntOk(s.substr(8, 2), &dia)) {
    return false;
  }
  double dt = 0;
  if (!TryEncodeDate(ano, mes, dia, &dt)) return false;
  *v = dt;
  return true;
}

bool StrToBoolOk(std::string_view s, bool* v) {
  *v = false;
  int32_t i = 0;
  if (StrToIntOk(s, &i) && (i == 0 || i == 1)) {
    *v = i == 1;
    return true;
  }
  if (s.size() >= 1 && s.size() <= 3) {
    const char c = s[0];
    if (c == 'Y' || c == 'y') {
      *v = true;
      return true;
    }
    if (c == 'N' || c == 'n') return true;
  }
  return false;
}

}  // namespace zun
