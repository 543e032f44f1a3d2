#include "foundation/exit_procs.h"

#include <gtest/gtest.h>

#include <string>

namespace zun {
namespace {

std::string g_order;
TCallBackList* g_list = nullptr;
int g_refires = 0;

void A() { g_order += "A"; }
void B() { g_order += "B"; }
void C() { g_order += "C"; }
void CollectsC() {
  g_order += "D";
  AdicionaExitProc(&C);
}
void Refire() {
  g_order += "R";
  if (g_refires-- > 0) g_list->ChamaTodos("test");
}

TEST(ExitProcs, RunLastFirst) {
  g_order.clear();
  AdicionaExitProc(&A);
  AdicionaExitProc(&CollectsC);
  AdicionaExitProc(&B);
  RodaTodasAsExitProcs();
  EXPECT_EQ(g_order, "BDCA");
  RodaTodasAsExitProcs();
  EXPECT_EQ(g_order, "BDCA");
}

TEST(TCallBackList, BroadcastRepeatsWhenFiredAgain) {
  TCallBackList list;
  g_list = &list;
  g_order.clear();
  list.Adiciona(&A);
  list.Adiciona(&Refire);
  g_refires = 1;
  list.ChamaTodos("test");
  EXPECT_EQ(g_order, "ARAR");
  list.Retira(&A);
  g_order.clear();
  g_refires = 0;
  list.ChamaTodos("test");
  EXPECT_EQ(g_order, "R");
}

TEST(TCallBackList, EleventhRunOrAMissingListIsFatal) {
  TCallBackList list;
  g_list = &list;
  list.Adiciona(&Refire);
  g_refires = 100;
  EXPECT_EXIT(list.ChamaTodos("x"), ::testing::ExitedWithCode(250), "");
  g_refires = 9;  // ten runs in all: allowed
  list.ChamaTodos("x");
  EXPECT_EQ(g_refires, -1);
  EXPECT_EXIT(Adiciona(nullptr, &A, "lista"), ::testing::ExitedWithCode(250), "");
}

}  // namespace
}  // namespace zun
