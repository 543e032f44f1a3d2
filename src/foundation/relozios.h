// Speed clocks: up to 201 numbered, named stopwatches that write a timing
// table to the log. Slot 0 measures the whole and is started at creation.
// Misuse (stopping a clock that is not running, starting one twice, two names
// for one slot) is recorded and shown in the table, never raised.
//
// Thread-safety: not locked; a set belongs to one thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zun {

class TRelozios {
 public:
  static constexpr int kSlots = 201;

  explicit TRelozios(const std::string& name);
  // Stops slot 0, marks slots still running with 4317 and writes the table
  // ("destroy") unless it was written already.
  ~TRelozios();
  TRelozios(const TRelozios&) = delete;
  TRelozios& operator=(const TRelozios&) = delete;

  void Nomeia(int i, const std::string& name);
  void Inicia(int i, const std::string& name) {
    Nomeia(i, name);
    Liga(i);
  }
  void Liga(int i);
  void Desliga(int i);
  // Accumulated milliseconds, plus the running stretch.
  uint32_t Tempo(int i) const;
  void JaRelatou() { reported_ = true; }
  // Logs one line per slot that was ever started.
  void Relatorio(const std::string& title);

  int32_t ErroDeFluxo(int i) const { return slots_[i].flow_error; }
  uint32_t Partidas(int i) const { return slots_[i].starts; }

 private:
  struct Slot {
    uint32_t accumulated = 0;
    uint32_t starts = 0;
    uint32_t start_tick = 0;
    bool running = false;
    int32_t flow_error = 0;
    bool name_collision = false;
    std::string name;
  };
  bool Valid(int i) const { return i >= 0 && i < kSlots; }

  bool reported_ = false;
  std::array<Slot, kSlots> slots_;
  std::string name_;
  bool enabled_ = true;
};

}  // namespace zun
