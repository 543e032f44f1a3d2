#include "foundation/relozios.h"

#include <gtest/gtest.h>

#include "../support/fake_tick.h"
#include "../support/log_capture.h"
#include "foundation/log.h"

namespace zun {
namespace {

using Relozios = FakeClock;

TEST_F(Relozios, FlowErrors) {
  TRelozios r("t");
  r.Desliga(3);
  EXPECT_EQ(r.ErroDeFluxo(3), 4319);
  EXPECT_EQ(r.Tempo(3), 0u);
  r.Liga(4);
  r.Liga(4);
  EXPECT_EQ(r.Partidas(4), 1u);
  EXPECT_EQ(r.ErroDeFluxo(4), 4318);
  g_fake_tick += 250;
  r.Desliga(4);
  EXPECT_EQ(r.Tempo(4), 250u);
  r.JaRelatou();
}

TEST_F(Relozios, DestroyReportsRunningSlot) {
  LogCapture log;
  {
    TRelozios r("DbgSpeed");
    r.Inicia(7, "V.Get");
    r.Inicia(2, "B.Get");
    r.Nomeia(2, "other");
    g_fake_tick += 2000;
    r.Desliga(2);
  }
  // Never-started slots are not listed.
  EXPECT_EQ(
      log.Lines(),
      (std::vector<std::string>{
          "Relozios DbgSpeed destroy", "-   0:     1   2.00s  2.00000000s/call 100.0%  main",
          "-   2:     1   2.00s  2.00000000s/call 100.0% ColisaoDeNome!  other",
          "-   7:     1   2.00s  2.00000000s/call 100.0%\t Running! ErroDeFluxo=4317!  V.Get"}));
}

}  // namespace
}  // namespace zun
