#include "foundation/switches.h"

#include <cctype>

namespace zun {
namespace {

std::vector<std::string>& Args() {
  static std::vector<std::string> args;
  return args;
}

// Drops a surrounding pair of equal quote characters (double or single).
std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

bool SameIgnoringCase(const std::string& a, size_t pos, const std::string& key) {
  if (a.size() - pos < key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[pos + i])) !=
        std::toupper(static_cast<unsigned char>(key[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

void SetProgramArgs(const std::vector<std::string>& args) { Args() = args; }

const std::vector<std::string>& ProgramArgs() { return Args(); }

bool LeSwitch(const std::string& key, std::string* value) {
  if (value != nullptr) value->clear();
  const std::vector<std::string>& args = Args();
  for (size_t i = 1; i < args.size(); ++i) {
    std::string a = Unquote(args[i]);
    if (a.empty() || (a[0] != '-' && a[0] != '/')) continue;
    if (!SameIgnoringCase(a, 1, key)) continue;
    std::string rest = a.substr(1 + key.size());
    if (!rest.empty()) {
      if (rest[0] != ':' && rest[0] != '=') continue;
      rest.erase(0, 1);
    }
    if (value != nullptr) {
      *value = Unquote(rest);
      if (value->size() > 255) value->resize(255);
    }
    return true;
  }
  return false;
}

bool TemSwitch(const std::string& key) { return LeSwitch(key, nullptr); }

}  // namespace zun
