#include "foundation/modules.h"

#include <gtest/gtest.h>

#include "../support/log_capture.h"
#include "foundation/log.h"
#include "foundation/sequencer.h"
#include "foundation/switches.h"

namespace zun {
namespace {

TEST(Modules, ListSeparatorAvoidsTheDecimalSeparator) {
  struct Case {
    char list, decimal, want;
  } cases[] = {{';', ',', ';'},  {';', ';', '|'},  {',', ',', ';'},
               {'\0', '.', ';'}, {'\0', ';', '|'}, {',', '.', ','}};
  for (const Case& c : cases) {
    EXPECT_EQ(EscolheSeparadorDeLista(c.list, c.decimal), c.want) << c.list << c.decimal;
  }
}

void ExitA() {}

TEST(Modules, StartAndEndWithSpeedClocksAndExitProcedures) {
  SetProgramArgs({"zuninput", "/dbgspeed", "-li"});
  IniciaFundacao();
  ASSERT_NE(DbgSpeed(), nullptr);
  ASSERT_NE(CallbacksGlobais(), nullptr);
  DbgSpeed()->Inicia(3, "V.EPelaPos");
  DbgSpeed()->Desliga(3);
  AdicionaExitProc(ExitA);  // run by the shutdown stack
  LogCapture log;
  EncerraFundacao();
  EXPECT_EQ(DbgSpeed(), nullptr);
  EXPECT_EQ(CallbacksGlobais(), nullptr);
  const std::string text = log.Text();
  // The speed table is written before the shutdown stack runs; slot 3 keeps
  // the name given at start (no name collision).
  const size_t table = text.find("Relozios DbgSpeed destroy");
  const size_t stack = text.find("Basic2.RodaTodasAsExitProcs rodando");
  ASSERT_NE(table, std::string::npos) << text;
  ASSERT_NE(stack, std::string::npos) << text;
  EXPECT_LT(table, stack);
  EXPECT_NE(text.find("  V.EPelaPos\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("ColisaoDeNome"), std::string::npos);
  EXPECT_LT(text.find("*Basic2 end"), text.find("*Basic end"));
  SetLogVerbose(false);
}

TEST(Modules, CriticalSectionCanBeEnteredAgainByItsHolder) {
  TCriticalSection cs("teste");
  Locka(&cs);
  EXPECT_TRUE(cs.Locka());
  cs.Unlocka();
  cs.Unlocka();
}

}  // namespace
}  // namespace zun
