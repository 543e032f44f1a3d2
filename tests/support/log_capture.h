// The log messages (without line prefix) written since construction or Mark.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/log.h"

namespace zun {

class LogCapture {
 public:
  LogCapture() { Mark(); }
  void Mark() { Loga(marker_ = "#capture " + std::to_string(++counter_)); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    size_t prefix = std::string::npos;
    for (const std::string& l : LinhasRecentes()) {
      if (prefix != std::string::npos) {
        out.push_back(l.substr(std::min(prefix, l.size())));
      } else if (l.ends_with(marker_)) {
        prefix = l.size() - marker_.size();
      }
    }
    return out;
  }
  // Lines() as one text, each ended by "\n".
  std::string Text() const {
    std::string text;
    for (const std::string& l : Lines()) text += l + "\n";
    return text;
  }
  bool Has(const std::string& msg) const {
    const auto lines = Lines();
    return std::find(lines.begin(), lines.end(), msg) != lines.end();
  }
  bool HasPrefix(const std::string& start) const {
    const auto lines = Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.starts_with(start); });
  }

 private:
  static inline int counter_ = 0;
  std::string marker_;
};

}  // namespace zun
