// The run's bounded history, and the operators' notifications of a failure
// that repeats (the summary itself: the end-to-end runs).
#include "service/run_summary.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "../support/scratch.h"
#include "notify/repeat_guard.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(RunSummary, HistoryKeepsTheLastRuns) {
  std::string old;
  for (int i = 0; i < kLinhasDoHistorico + 5; ++i) old += "{\"run\": " + std::to_string(i) + "}\n";
  const std::string h = HistoricoComMaisUma(old, "{\"run\": \"new\"}\n");
  EXPECT_EQ(std::count(h.begin(), h.end(), '\n'), kLinhasDoHistorico);
  EXPECT_TRUE(h.starts_with("{\"run\": 6}\n")) << h.substr(0, 40);
  EXPECT_TRUE(h.ends_with("}\n{\"run\": \"new\"}\n"));
  EXPECT_EQ(HistoricoComMaisUma("{\"run\": 1}", "{}\n"), "{\"run\": 1}\n{}\n");
}

// The same failure is let through once an hour, the next one saying how
// many were held back; another failure is not held back by it.
TEST(RepeatGuard, OnceAnHourAndTheCountInTheNext) {
  const fs::path dir = ScratchDir("zun-notices");
  const fs::path here = fs::current_path();
  fs::current_path(dir);
  const struct {
    const char* key;
    int64_t at;
    bool sent;
    int32_t held;
  } rows[] = {
      {"login 3714", 1000, true, 0}, {"login 3714", 1010, false, 0},
      {"login 4274", 1020, true, 0}, {"login 3714", 4599, false, 0},
      {"login 3714", 4600, true, 2}, {"login 3714", 4700, false, 0},
  };
  for (const auto& r : rows) {
    int32_t held = -1;
    EXPECT_EQ(AvisoLiberado(r.key, r.at, &held), r.sent) << r.key << " " << r.at;
    EXPECT_EQ(held, r.held) << r.key << " " << r.at;
  }
  fs::current_path(here);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zun
