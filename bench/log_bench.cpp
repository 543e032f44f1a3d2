// Cost of one log line: open, lock, append, close, plus the prefix and the
// recent-lines list.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>

#include "foundation/log.h"

static void BM_Loga(benchmark::State& state) {
  const std::string file = "/tmp/zun-log-bench-" + std::to_string(getpid()) + ".log";
  zun::SetLogFileName(file);
  for (auto _ : state) zun::Loga("- next MaxIFPri:5 a typical line of the import service log");
  zun::SetLogFileName("zuninput.log");
  unlink(file.c_str());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Loga);
