#include "foundation/relozios.h"

#include <cstdio>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/momento.h"

namespace zun {

TRelozios::TRelozios(const std::string& name) : name_(name) { Inicia(0, "main"); }

TRelozios::~TRelozios() {
  Desliga(0);
  for (int i = 0; i < kSlots; ++i) {
    if (slots_[i].running) {
      slots_[i].flow_error = kErrReloginhoRodando;
      Desliga(i);
      slots_[i].running = true;  // shown as " Running!" in the table
    }
  }
  enabled_ = false;
  if (!reported_) Relatorio("destroy");
}

void TRelozios::Nomeia(int i, const std::string& name) {
  if (!Valid(i)) return;
  Slot& s = slots_[i];
  if (!s.name.empty() && s.name != name) s.name_collision = true;
  s.name = name;
}

void TRelozios::Liga(int i) {
  if (!enabled_ || !Valid(i)) return;
  Slot& s = slots_[i];
  if (s.running) {
    s.flow_error = kErrReloginhoLigado;
    return;
  }
  s.start_tick = TickCount();
  s.running = true;
  ++s.starts;
}

void TRelozios::Desliga(int i) {
  if (!enabled_ || !Valid(i)) return;
  Slot& s = slots_[i];
  if (!s.running) {
    s.flow_error = kErrReloginhoDesligado;
    return;
  }
  s.accumulated += TickCount() - s.start_tick;
  s.running = false;
}

uint32_t TRelozios::Tempo(int i) const {
  if (!Valid(i)) return 0;
  const Slot& s = slots_[i];
  return s.accumulated + (s.running && enabled_ ? TickCount() - s.start_tick : 0);
}

void TRelozios::Relatorio(const std::string& title) {
  const double t0 = Tempo(0);
  bool first = true;
  for (int i = 0; i < kSlots; ++i) {
    const Slot& s = slots_[i];
    if (s.starts == 0) continue;
    if (first) Loga("Relozios " + name_ + " " + title);
    first = false;
    const double t = Tempo(i);
    // With no time on slot 0 yet the share is shown as 0.
    const double share = t0 > 0 ? t / t0 * 100.0 : 0.0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "- %3d:%6u%7.2fs%12.8fs/call %5.1f%%", i, s.starts, t * 0.001,
                  t * 0.001 / s.starts, share);
    std::string line = buf;
    if (s.running) line += "\t Running!";
    if (s.flow_error != 0) line += " ErroDeFluxo=" + std::to_string(s.flow_error) + "!";
    if (s.name_collision) line += " ColisaoDeNome!";
    Loga(line + "  " + s.name);
  }
  reported_ = true;
}

}  // namespace zun
