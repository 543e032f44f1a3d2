#include "service/codes.h"

#include <cstring>

namespace zun {

extern const char kTabelaDeCodigos[];

std::string MotivoDoCodigo(int32_t code) {
  // A row is "| code | from | reason |" at the start of a line.
  const std::string key = "\n| " + std::to_string(code) + " |";
  const char* at = std::strstr(kTabelaDeCodigos, key.c_str());
  if (at == nullptr) return "";
  const char* from = at + key.size();
  const char* end_of_line = std::strchr(from, '\n');
  std::string row(from, end_of_line != nullptr ? end_of_line : from + std::strlen(from));
  const size_t reason = row.find(" | ");
  if (reason == std::string::npos) return "";
  row.erase(0, reason + 3);
  const size_t close = row.rfind(" |");
  return close == std::string::npos ? row : row.substr(0, close);
}

std::string LinhaDoCodigo(const std::string& head, int32_t code, const std::string& detail) {
  std::string reason = MotivoDoCodigo(code);
  if (reason.empty()) reason = "a line of the file or a procedure gave it; see the log";
  std::string line = head + ": code " + std::to_string(code) + ": " + reason;
  if (!detail.empty()) line += " (" + detail + ")";
  return line;
}

}  // namespace zun
