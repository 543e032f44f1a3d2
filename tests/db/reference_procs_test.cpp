#include "db/reference_procs.h"

#include <gtest/gtest.h>

#include "../support/zi_globs_fixture.h"
#include "db/global_state.h"

namespace zun {
namespace {

using ReferenceProcsTest = ZiGlobsDb;

// AddListChoice marks the list of its field type unread whatever the
// call's result, and no other list; a type without a list resets nothing.
TEST_F(ReferenceProcsTest, AddListChoiceResetsOnlyItsOwnList) {
  struct Caso {
    int32_t fc;
    bool novo;
    int32_t id;
    int32_t code;
    int32_t relida;  // the list marked unread, -1 for none
  };
  const Caso casos[] = {
      {41, true, 0, 0, 41},      {41, false, 9, 50411, 41}, {32, false, 1, 0, 32},
      {103, true, 0, 50410, -1}, {246, true, 0, 50410, -1}, {-1, true, 0, 50410, -1},
  };
  for (const Caso& c : casos) {
    ListasDeValores[32]->GaranteLido();
    ListasDeValores[41]->GaranteLido();
    EXPECT_EQ(AddListChoice(c.fc, c.novo, c.id, "", " Talvez ", "Maybe", ""), c.code) << c.fc;
    EXPECT_EQ(ListasDeValores[32]->Lido, c.relida != 32) << c.fc;
    EXPECT_EQ(ListasDeValores[41]->Lido, c.relida != 41) << c.fc;
  }
  // The entry added first is read with the list's next use, its names
  // exactly as sent.
  ASSERT_NE(ListasDeValores[41]->ItemDoId(3), nullptr);
  EXPECT_EQ(ListasDeValores[41]->ItemDoId(3)->Texto, "Talvez|Maybe|Maybe");
  EXPECT_EQ(Linhas("SELECT nome_pt FROM campo_lista_valores WHERE formatocampo = 41 AND id = 3"),
            " Talvez ");
}

}  // namespace
}  // namespace zun
