// Reads back the log lines written since a mark.
#pragma once

#include <string>
#include <vector>

#include "foundation/log.h"

namespace zun {

class LogCapture {
 public:
  LogCapture() { Mark(); }

  // Starts a new capture.
  void Mark() {
    marker_ = "#capture " + std::to_string(++counter_);
    Loga(marker_);
  }

  // The messages (without the line prefix) logged since the mark.
  std::vector<std::string> Lines() const {
    const std::vector<std::string> all = LinhasRecentes();
    std::vector<std::string> out;
    size_t prefix = std::string::npos;
    for (const std::string& line : all) {
      if (prefix == std::string::npos) {
        if (line.size() >= marker_.size() &&
            line.compare(line.size() - marker_.size(), marker_.size(), marker_) == 0) {
          prefix = line.size() - marker_.size();
        }
        continue;
      }
      out.push_back(line.size() >= prefix ? line.substr(prefix) : line);
    }
    return out;
  }

  bool Has(const std::string& msg) const { return Count(msg) > 0; }
  int Count(const std::string& msg) const {
    int n = 0;
    for (const auto& l : Lines()) n += l == msg;
    return n;
  }
  bool HasPrefix(const std::string& start) const {
    for (const auto& l : Lines()) {
      if (l.rfind(start, 0) == 0) return true;
    }
    return false;
  }

 private:
  static inline int counter_ = 0;
  std::string marker_;
};

}  // namespace zun
