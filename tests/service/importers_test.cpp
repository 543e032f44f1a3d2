#include "service/importers.h"

#include <gtest/gtest.h>

#include "engine/keyword_table.h"

namespace zun {
namespace {

// The start-up check: every keyword of the table reaches its importer, so
// that no file meets a 3942 a build left behind.
TEST(RegistraImportadoresTest, EveryKeywordHasItsImporter) {
  EXPECT_TRUE(RegistraImportadores());
  EXPECT_TRUE(TabelaDeKeywords().KeywordsSemImportador().empty());
}

}  // namespace
}  // namespace zun
