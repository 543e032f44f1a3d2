#include "foundation/momento.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../support/fake_tick.h"
#include "foundation/log.h"

namespace zun {
namespace {

TEST(MomentoStr, TextsAndConversion) {
  const Momento m = DateTimeToMomento(EncodeDateTime(2020, 7, 3, 10, 11, 12, 0));
  const std::pair<Momento, const char*> rows[] = {
      {0, "0000/00/00-00:00:00"}, {-5, "!-5"},
      {1, "1980/01/01-00:00:01"}, {m, "2020/07/03-10:11:12"},
      {m, "2020/07/03-10:11:12"},  // from the cache
      {0, "0000/00/00-00:00:00"}};
  for (const auto& [momento, text] : rows) EXPECT_EQ(MomentoStr(momento), text) << momento;
  // Day numbers before 1980 and invalid ones give 0; seconds are rounded.
  const std::pair<double, Momento> days[] = {{29221.0, 0},
                                             {29220.5, 0},
                                             {NAN, 0},
                                             {29222.0, 86400},
                                             {29221.0 + 1.4 / 86400.0, 1},
                                             {29221.0 + 1.6 / 86400.0, 2}};
  for (const auto& [dt, want] : days) EXPECT_EQ(DateTimeToMomento(dt), want) << dt;
}

TEST(DuracaoStr, Parts) {
  const struct {
    int32_t seconds;
    int parts;
    const char* text;
  } cases[] = {{0, 5, "0"},
               {3725, 20, "1h2'5\""},
               {3725, 2, "1h2'"},
               {-90, 20, "-1'30\""},
               {86400, 20, "1d"},
               {86400 * 31 + 1, 2, "1m1d"},
               {86400 * 30 * 12 * 2 + 5, 3, "2y"}};
  for (const auto& c : cases) EXPECT_EQ(DuracaoStr(c.seconds, c.parts), c.text) << c.seconds;
}

TEST_F(FakeClock, CountDownExpiresAtItsDuration) {
  TCountDown countdown(600.0);
  g_fake_tick = 1000 + 599900;
  EXPECT_FALSE(countdown.Expired());
  g_fake_tick = 1000 + 600000;
  EXPECT_TRUE(countdown.Expired());
}

TEST_F(FakeClock, StopwatchAcrossTheWrapAndLongStretches) {
  g_fake_tick = 0xFFFFFFFFu - 2000;
  Stopwatch w;
  g_fake_tick = 0xFFFFFFFFu - 1000;
  EXPECT_NEAR(w.Elapsed(), 1.0, 1e-9);
  g_fake_tick = 3000;  // wrapped
  EXPECT_NEAR(w.Elapsed(), 5.0, 0.002);
  g_fake_tick = 4000;
  EXPECT_NEAR(w.Elapsed(), 6.0, 0.002);

  g_fake_tick = 0;
  Stopwatch l;
  g_fake_tick = (1u << 30) + 5000;
  EXPECT_NEAR(l.Elapsed(), ((1u << 30) + 5000) * 0.001, 1e-6);
  g_fake_tick = 0xFFFFFFF0u;
  const double before_wrap = l.Elapsed();
  g_fake_tick = 10;
  EXPECT_NEAR(l.Elapsed() - before_wrap, 0.025, 0.002);
}

TEST(ClockOffset, OffsetAndLogging) {
  ClockOffset clock;
  EXPECT_EQ(clock.LocalToServidor(0), 0);
  clock.SetGMT2Local(100);
  EXPECT_EQ(clock.LocalToServidor(1000), 900);
  Loga("marker");
  clock.SetGMT2Local(400);  // 300 s apart: no line
  EXPECT_NE(LinhasRecentes().back().find(" marker"), std::string::npos);
  clock.SetGMT2Local(701);  // 301 s apart: one line
  EXPECT_NE(LinhasRecentes().back().find("SetGMT2Local : 6'40\" -> 11'41\""), std::string::npos);
  EXPECT_EQ(clock.Offset(), 701);
}

}  // namespace
}  // namespace zun
