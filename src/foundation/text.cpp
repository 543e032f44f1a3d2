#include "foundation/text.h"

namespace zun {

namespace {

inline int DigitoHex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Maiusculas(std::string_view s) {
  std::string r(s);
  for (char& c : r) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return r;
}

std::string CortaTexto(std::string_view s, size_t max) {
  if (s.size() <= max) return std::string(s);
  std::string out(s.substr(0, max));
  out += "...[" + std::to_string(s.size() - max) + " bytes cut]";
  return out;
}

std::string AparaBrancos(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string Apara(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

bool StrToIntOk(std::string_view s, int32_t* v) {
  *v = 0;
  const size_t n = s.size();
  size_t i = 0;
  while (i < n && s[i] == ' ') ++i;
  bool negativo = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) {
    negativo = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < n) {
    if (s[i] == '$' || s[i] == 'x' || s[i] == 'X') {
      hex = true;
      ++i;
    } else if (s[i] == '0' && i + 1 < n && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      hex = true;
      i += 2;
    }
  }
  if (i == n) return false;  // no digits
  if (hex) {
    // A hexadecimal number is a 32-bit pattern: up to 8 significant digits.
    uint32_t acc = 0;
    for (; i < n; ++i) {
      const int d = DigitoHex(s[i]);
      if (d < 0 || acc > 0x0FFFFFFFu) return false;
      acc = acc * 16 + static_cast<uint32_t>(d);
    }
    *v = static_cast<int32_t>(negativo ? 0u - acc : acc);
    return true;
  }
  const uint64_t limite = negativo ? 2147483648ull : 2147483647ull;
  uint64_t acc = 0;
  for (; i < n; ++i) {
    if (!(s[i] >= '0' && s[i] <= '9')) return false;
    acc = acc * 10 + static_cast<uint64_t>(s[i] - '0');
    if (acc > limite) return false;
  }
  *v = negativo ? static_cast<int32_t>(-static_cast<int64_t>(acc)) : static_cast<int32_t>(acc);
  return true;
}

unsigned char MaiusculaCp1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A:  // s with caron
    case 0x9C:  // oe
    case 0x9E:  // z with caron
      return static_cast<unsigned char>(c - 0x10);
    case 0xFF:  // y with diaeresis
      return 0x9F;
    default:
      return c;
  }
}

unsigned char MinusculaCp1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
  switch (c) {
    case 0x8A:  // S with caron
    case 0x8C:  // OE
    case 0x8E:  // Z with caron
      return static_cast<unsigned char>(c + 0x10);
    case 0x9F:  // Y with diaeresis
      return 0xFF;
    default:
      return c;
  }
}

std::string MinusculasCp1252(std::string s) {
  for (char& c : s) c = static_cast<char>(MinusculaCp1252(static_cast<unsigned char>(c)));
  return s;
}

bool LetraOuDigitoCp1252(unsigned char c) {
  if ((c >= '0' && c <= '9') || MaiusculaCp1252(c) != c || MinusculaCp1252(c) != c) return true;
  switch (c) {
    case 0x83:  // f with hook
    case 0x88:  // modifier letter circumflex
    case 0xAA:  // feminine ordinal indicator
    case 0xB2:  // superscript two
    case 0xB3:  // superscript three
    case 0xB5:  // micro sign
    case 0xB9:  // superscript one
    case 0xBA:  // masculine ordinal indicator
    case 0xDF:  // sharp s
      return true;
    default:
      return false;
  }
}

int ComparaSemCaixa(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const int x = MaiusculaCp1252(static_cast<unsigned char>(a[i]));
    const int y = MaiusculaCp1252(static_cast<unsigned char>(b[i]));
    if (x != y) return x - y;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace zun
