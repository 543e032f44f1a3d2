#include "db/type_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "db/global_state.h"

namespace zun {
namespace {

// A field type has a choice list exactly when its name says so: the
// numbered "_tcCLVB..." and "_tcCLVW..." lists and "_tcInstFndCodStrOuLong";
// the marked lists ("_tcCLVmarcados", "_tcCLVWmarcados") have none.
TEST(TypeNamesTest, ChoiceListNamesAreExactlyTheChoiceListTypes) {
  std::set<std::string> nomes;
  for (int t = 0; t < kNumTiposCampo; ++t) {
    const std::string n = NomeDoTipoCampo(t);
    EXPECT_TRUE(nomes.insert(n).second) << t << " " << n;
    const bool lista = n.starts_with("_tcCLVBvalores") || n.starts_with("_tcCLVWvalores") ||
                       n == "_tcInstFndCodStrOuLong";
    EXPECT_EQ(lista, TemListaDeValores(t)) << t << " " << n;
  }
}

TEST(TypeNamesTest, Names) {
  std::string nomes;
  for (int t : {-1, 0, 12, 40, 41, 49, 50, 75, 76, 102, 103, 104, 141, 142, 145, 146, 245, 246}) {
    nomes += NomeDoTipoCampo(t) + " ";
  }
  EXPECT_EQ(nomes,
            " _tcSmInt _tcTipoObj _tcCLVmarcados _tcCLVBvalores1 _tcCLVBvalores9 _tcCLVBvaloresA "
            "_tcCLVBvaloresZ _tcCLVWvalores36 _tcCLVWvalores62 _tcCLVWmarcados _tcCLVWvalores63 "
            "_tcCLVWvalores100 _tcFundoFonte _tcListaInstFndCodLong _tcCLVWvalores101 "
            "_tcCLVWvalores200  ");
  EXPECT_STREQ(NomeDoFormatoCampo(7), "_fcEmUnidades");
  EXPECT_STREQ(NomeDoFormatoCampo(12), "_fcKiloDecFixo");
  EXPECT_STREQ(NomeDoFormatoCampo(13), "");
  EXPECT_STREQ(NomeDoNivelDeObjeto(2), "emp");
  EXPECT_STREQ(NomeDoTipoDeComposicao(2), "");
  EXPECT_STREQ(NomeDoTipoDeComposicao(3), "Credit Receivables");
  EXPECT_STREQ(NomeDoTipoDeDocumento(2), "Real Estate Funds Reports");
  EXPECT_STREQ(NomeDoTipoDeDocumento(8), "");
  EXPECT_STREQ(NomeDoTipoDeAcoes(1),
               "Tesouraria|Treasury|Tesorer\xed"
               "a");
  EXPECT_STREQ(NomeDoTipoDeAcoes(3), "");
}

}  // namespace
}  // namespace zun
