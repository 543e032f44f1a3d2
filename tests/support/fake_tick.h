// Test fixture that drives the tick counter by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/momento.h"

namespace zun {

inline uint32_t g_fake_tick = 0;
inline uint32_t FakeTick() { return g_fake_tick; }

class FakeClock : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake_tick = 1000;
    SetTickSource(&FakeTick);
  }
  void TearDown() override { SetTickSource(nullptr); }
};

}  // namespace zun
