// The import engine as the importer tests run it: its line messages are kept
// in msgs, one per line, instead of being shown.
#pragma once

#include <string>

#include "engine/imp_main.h"

namespace zun {

class ImpDeTeste : public TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string& text) override { msgs += text + "\n"; }
  std::string msgs;
};

}  // namespace zun
