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
  struct Caso {
    int i;
    std::string tipo, formato, nivel, composicao, documento, acoes;
  };
  const Caso casos[] = {
      {-1, "", "", "", "", "", ""},
      {0, "_tcSmInt", "_fcNormal", "anb", "ShareHolders", "Financial Statements",
       "Emitidas|Issued|Emitidas"},
      {1, "_tcLong", "_fcCentavos", "atv", "Fund Portfolio", "Credit Receivables Funds Reports",
       "Tesouraria|Treasury|Tesorer\xed"
       "a"},
      {2, "_tcReal", "_fcDecVar", "emp", "", "Real Estate Funds Reports",
       "Outstanding|Outstanding|Outstanding"},
      {3, "_tcString", "_fcKilo", "", "Credit Receivables", "", ""},
      {7, "_tcEx_StringEUD", "_fcEmUnidades", "", "", "", ""},
      {8, "_tcPais", "_fcEmMilhares", "", "", "", ""},
      {12, "_tcTipoObj", "_fcKiloDecFixo", "", "", "", ""},
      {13, "_tcSetorPC", "", "", "", "", ""},
      {32, "_tcInstFndCodStrOuLong", "", "", "", "", ""},
      {40, "_tcCLVmarcados", "", "", "", "", ""},
      {41, "_tcCLVBvalores1", "", "", "", "", ""},
      {49, "_tcCLVBvalores9", "", "", "", "", ""},
      {50, "_tcCLVBvaloresA", "", "", "", "", ""},
      {75, "_tcCLVBvaloresZ", "", "", "", "", ""},
      {76, "_tcCLVWvalores36", "", "", "", "", ""},
      {102, "_tcCLVWvalores62", "", "", "", "", ""},
      {103, "_tcCLVWmarcados", "", "", "", "", ""},
      {104, "_tcCLVWvalores63", "", "", "", "", ""},
      {141, "_tcCLVWvalores100", "", "", "", "", ""},
      {142, "_tcFundoFonte", "", "", "", "", ""},
      {145, "_tcListaInstFndCodLong", "", "", "", "", ""},
      {146, "_tcCLVWvalores101", "", "", "", "", ""},
      {245, "_tcCLVWvalores200", "", "", "", "", ""},
      {246, "", "", "", "", "", ""},
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(NomeDoTipoCampo(c.i), c.tipo) << c.i;
    EXPECT_EQ(NomeDoFormatoCampo(c.i), c.formato) << c.i;
    EXPECT_EQ(NomeDoNivelDeObjeto(c.i), c.nivel) << c.i;
    EXPECT_EQ(NomeDoTipoDeComposicao(c.i), c.composicao) << c.i;
    EXPECT_EQ(NomeDoTipoDeDocumento(c.i), c.documento) << c.i;
    EXPECT_EQ(NomeDoTipoDeAcoes(c.i), c.acoes) << c.i;
  }
}

}  // namespace
}  // namespace zun
