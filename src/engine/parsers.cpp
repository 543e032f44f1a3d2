#include "engine/parsers.h"

#include <functional>
#include <limits>

namespace zun {

namespace {

constexpr int32_t kMaxLen = std::numeric_limits<int32_t>::max();

inline bool EhBrancoOuTab(char c) { return c == ' ' || c == '\t'; }

inline bool EhLetraOuDigitoAscii(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

void tParserRoot::SetText(std::string_view s) {
  // Positions are 32-bit; a longer text is cut at the largest length they
  // can address.
  if (s.size() > static_cast<size_t>(kMaxLen)) s = s.substr(0, kMaxLen);
  const char* begin = Texto.data();
  const std::less<const char*> antes;
  if (!antes(s.data(), begin) && antes(s.data(), begin + Texto.size())) {
    Texto = std::string(s);  // s views the held text: copy before replacing it
  } else {
    Texto.assign(s.data(), s.size());
  }
  Len = static_cast<int32_t>(Texto.size());
  Restart(0);
}

void tParserRoot::Restart(int32_t p) {
  Pos = p < 0 ? 0 : p;
  if (Pos <= Len) SkipSeparators();
}

std::string_view tParserRoot::NextField() {
  if (Pos > Len) return {};
  int32_t start = 0;
  int32_t length = 0;
  NextToken(&start, &length);
  if (Pos <= Len) SkipSeparators();
  return std::string_view(Texto.data() + (start - 1), static_cast<size_t>(length));
}

void tParserChrDelim::SkipSeparators() {}

void tParserChrDelim::NextToken(int32_t* start, int32_t* length) {
  ++Pos;
  *start = Pos;
  int32_t p = Pos;
  while (p <= Len && Texto[p - 1] != Delim) ++p;
  *length = p - *start;
  Pos = p;
}

void tParserSpcDelim::SkipSeparators() {
  if (Pos == 0) Pos = 1;
  while (Pos <= Len && EhBrancoOuTab(Texto[Pos - 1])) ++Pos;
}

void tParserSpcDelim::NextToken(int32_t* start, int32_t* length) {
  const char q = Texto[Pos - 1];
  if (q == '"' || q == '\'') {
    *start = Pos + 1;
    int32_t p = *start;
    while (p <= Len && Texto[p - 1] != q) ++p;
    *length = p - *start;
    Pos = p <= Len ? p + 1 : p;  // behind the closing quote, if any
    return;
  }
  *start = Pos;
  int32_t p = Pos;
  while (p <= Len && !EhBrancoOuTab(Texto[p - 1])) ++p;
  *length = p - *start;
  Pos = p;
}

tParserWrapper::tParserWrapper(std::unique_ptr<tParserRoot> parser) : Parser(std::move(parser)) {}

void tParserWrapper::SetLine(std::string_view s) {
  Fields.clear();
  Parser->SetText(s);
  while (!Parser->AtEnd()) Fields.push_back(Parser->NextField());
  Index = 0;
}

std::string_view tParserWrapper::Field(int32_t i) {
  Index = i < kMaxLen ? i + 1 : i;
  if (i < 0 || i >= Count()) return {};
  return Fields[static_cast<size_t>(i)];
}

std::string SoLetrasEDigitos(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s) {
    if (!EhLetraOuDigitoAscii(c)) continue;
    r.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return r;
}

}  // namespace zun
