#include "db/id_text_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/zi_globs_fixture.h"
#include "embedded/procedure_catalog.h"

namespace zun {
namespace {

// A procedure answering the given rows as its only result set.
void RegisterRows(const std::string& name, const std::vector<std::string>& columns,
                  const std::vector<std::vector<Value>>& rows) {
  RegisterProcedure(name, {}, [columns, rows](ProcContext& c) {
    Recordset rs(columns);
    for (const auto& r : rows) rs.AddRow(r);
    c.AddResult(std::move(rs));
  });
}

// The items of a list as "id|text|field 2|field 3|field 4|text 2", joined by ";".
std::string Itens(tIntStgList& l) {
  std::string s;
  for (int i = 0; i < l.Conta(); ++i) {
    const IntStgItem* t = l.ItemEm(i);
    s += (i ? ";" : "") + std::to_string(t->Id) + "|" + t->Texto + "|" + std::to_string(t->Campo2) +
         "|" + std::to_string(t->Campo3) + "|" + std::to_string(t->Campo4) + "|" + t->Texto2;
  }
  return s;
}

class IdTextListTest : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    UsuarioLingua = 0;
    // Rows only, though the list passes a parameter: no "result" column.
    RegisterProcedure("TstListaSemStatus", {{"@p", DataType::kInteger}}, [](ProcContext& c) {
      Recordset rs({"id", "nome", "c2", "c3", "c4", "t2"});
      const int32_t p = c.In("@p").AsInt();
      rs.AddRow({Value::Int(p), Value::String("  dado  "), Value::Int(7), Value::Null(),
                 Value::Int(-4), Value::String(" doc ")});
      rs.AddRow({Value::Int(p + 1), Value::Null(), Value::Null(), Value::Int(1), Value::Null(),
                 Value::Null()});
      c.AddResult(std::move(rs));
    });
    // A status result set carrying a failure.
    RegisterProcedure("TstListaFalha", {{"@p", DataType::kInteger}}, [](ProcContext& c) {
      Recordset st({"result"});
      st.AddRow({Value::Int(4321)});
      c.AddResult(std::move(st));
    });
    // A second row whose id is not a number.
    RegisterRows("TstListaLinhaRuim", {"id", "nome"},
                 {{Value::Int(1), Value::String("a")}, {Value::String("x"), Value::String("b")}});
    // A marked item (column 3) whose id cannot be in the marked set.
    RegisterRows("TstListaMarcaGrande", {"id", "nome", "c2", "c3"},
                 {{Value::Int(5), Value::String("a"), Value::Int(0), Value::Int(1)},
                  {Value::Int(300), Value::String("b"), Value::Int(0), Value::Int(1)}});
  }
  void TearDown() override {
    UsuarioLingua = 0;
    ZiGlobsDb::TearDown();
  }
};

// The text is trimmed, the second text kept as read, NULL and missing
// columns read as zero.
TEST_F(IdTextListTest, RowsWithoutStatusColumnLoadWithEveryColumn) {
  tIntStgList l("TstListaSemStatus", 40, "@p");
  EXPECT_FALSE(l.Lido);
  EXPECT_EQ(Itens(l), "40|dado|7|0|-4| doc ;41||0|1|0|");
  EXPECT_EQ(Db->DsAcc(), 0);
}

TEST_F(IdTextListTest, FailingProcedureRaisesOnceAndGivesTheCommandBack) {
  tIntStgList l("TstListaFalha", 3, "@p");
  try {
    l.GaranteLido();
    FAIL() << "no exception";
  } catch (const EZunInputException& x) {
    EXPECT_EQ(x.Code(), 4321);
    EXPECT_STREQ(x.what(), "EDBException:4321");
  }
  EXPECT_EQ(Db->DsAcc(), 0);
  // Marked read: later uses see an empty list without a new read.
  EXPECT_TRUE(l.Lido);
  EXPECT_EQ(l.Conta(), 0);
  l.Reinicia();
  EXPECT_THROW(l.Conta(), EZunInputException);
  // An unreadable row or an unknown procedure leave the list empty, not
  // half filled.
  for (const char* proc : {"TstListaLinhaRuim", "NaoExiste"}) {
    tIntStgList ruim(proc);
    EXPECT_THROW(ruim.GaranteLido(), EZunInputException) << proc;
    EXPECT_EQ(ruim.Conta(), 0) << proc;
    EXPECT_EQ(ruim.IndexOfId(0), -1) << proc << ": no placeholder row with id 0";
    EXPECT_EQ(Db->DsAcc(), 0) << proc;
  }
}

TEST(IdTextListLocal, IndexAndTextLookups) {
  tIntStgList l("");
  l.AdicionaLocal(1, "Bovespa", 0);
  l.AdicionaLocal(2, "Bovespa Mais", 0);
  l.AdicionaLocal(3, "Bolsa|Exchange|Bolsa", 1);
  l.AdicionaLocal(4, "Outra|Exchange|Otra", 0);
  l.ItemEm(0)->Texto2 = "X";
  l.ItemEm(1)->Texto2 = "X";
  l.ItemEm(1)->Marca = 1;
  EXPECT_EQ(l.IdEm(-1), -1);
  EXPECT_EQ(l.IdEm(4), -1);
  EXPECT_EQ(l.ItemEm(4), nullptr);
  EXPECT_EQ(l.TextoDoId(17, true), "NA(17)");
  EXPECT_EQ(l.TextoDoId(17, false), "");
  struct Case {
    int32_t id, campo2;
    bool qualquer;
    int32_t mascara;
    int want;
  };
  const Case cases[] = {
      {4, 0, false, 0, 2}, {4, 0, false, 1, 1}, {3, 0, false, 1, -1}, {2, 0, false, 1, -1},
      {3, 1, false, 0, 0}, {4, 7, true, 0, 3},  {4, 7, true, 1, 2},   {9, 0, true, 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(l.IndexOfIdFiltrado(c.id, c.campo2, c.qualquer, c.mascara), c.want)
        << c.id << " " << c.campo2 << " " << c.qualquer << " " << c.mascara;
  }
  EXPECT_EQ(l.IdDoTexto("Bovespa", 0, true), 1);
  EXPECT_EQ(l.IdDoTexto("bovespa m", 0, false), 2);
  EXPECT_EQ(l.IdDoTexto("bovespa m", 0, true), -1);
  EXPECT_EQ(l.IdDoTexto("BOV", 0, false), 1);     // first from the front
  EXPECT_EQ(l.IdDoTexto("Bolsa", 0, false), -1);  // Campo2 must match
  EXPECT_EQ(l.IdDoTexto("Bolsa", 1, false), 3);
  EXPECT_EQ(l.IdDoTexto2("X"), 2);  // last from the back
  UsuarioLingua = 1;
  EXPECT_EQ(l.IdDoTextoNaLingua("Exchange"), 4);
  EXPECT_EQ(l.IdDoTextoNaLingua("Bovespa"), 1);  // no "|": same in every language
  UsuarioLingua = 0;
  EXPECT_EQ(l.IdDoTextoNaLingua("Exchange"), -1);
  EXPECT_EQ(l.IdDoTextoNaLingua("Bolsa"), 3);
}

TEST_F(IdTextListTest, MarkedSetOfColumnThree) {
  tIntStgList tipos("EnumTipoObj");
  std::string marcas;
  for (int id : {0, 1, 3, 256, -1}) marcas += tipos.TemMarcaF3M(id, "t") ? "1" : "0";
  EXPECT_EQ(marcas, "10100");
  tIntStgList grande("TstListaMarcaGrande");
  EXPECT_EQ(CodigoLevantado([&] { grande.TemMarcaF3M(5, "ctx"); }), 4368);
}

TEST(IdTextListMultiLng, CompletesMissingLanguages) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"R||", "R|R|R"},   {"|F|", "F|F|F"},           {"a||c", "a|c|c"}, {"a|b", "a|b|b"},
      {"a|b|c", "a|b|c"}, {"sem barra", "sem barra"}, {"||", "||"},
  };
  for (const auto& c : cases) {
    std::vector<IntStgItem> v(1);
    v[0].Texto = c.in;
    tIntStgListMultiLng::CompletaEOrdena(&v, false);
    EXPECT_EQ(v[0].Texto, c.out) << c.in;
  }
}

TEST(IdTextListMultiLng, SortsByTheUsersLanguageStablyWithIdZeroFirst) {
  const struct {
    int lingua;
    bool id_zero_primeiro;
    std::vector<int32_t> ids;
  } cases[] = {
      {0, false, {5, 6, 0, 1, 3}}, {1, false, {3, 1, 5, 6, 0}}, {2, false, {1, 5, 6, 0, 3}},
      {0, true, {0, 5, 6, 1, 3}},  {1, true, {0, 3, 1, 5, 6}},
  };
  for (const auto& c : cases) {
    std::vector<IntStgItem> v(5);
    const char* texts[] = {"Zeta|Alpha|Xi", "Registro|Fund facts|Datos generales", "Meio",
                           "Nada|None|Nada", "Meio"};
    const int32_t ids[] = {3, 1, 5, 0, 6};
    for (int i = 0; i < 5; ++i) {
      v[i].Id = ids[i];
      v[i].Texto = texts[i];
    }
    UsuarioLingua = c.lingua;
    tIntStgListMultiLng::CompletaEOrdena(&v, c.id_zero_primeiro);
    std::vector<int32_t> got;
    for (const auto& it : v) got.push_back(it.Id);
    EXPECT_EQ(got, c.ids) << c.lingua << " " << c.id_zero_primeiro;  // equal texts keep order
  }
  UsuarioLingua = 0;
}

TEST_F(IdTextListTest, MultilingualDatabaseListPutsIdZeroFirst) {
  UsuarioLingua = 1;
  tIntStgListMultiLng l(true, "", 0, "", CommandType::kStoredProc, "EnumTipoAplicacao");
  ASSERT_EQ(l.Conta(), 3);
  // English names: None (id 0, moved first), Fixed income, Shares.
  EXPECT_EQ((std::vector<int32_t>{l.IdEm(0), l.IdEm(1), l.IdEm(2)}),
            (std::vector<int32_t>{0, 2, 1}));
}

TEST_F(IdTextListTest, AddItemAddsAndRereads) {
  tIntStgListMultiLng sem(false, "", 32, "@formatocampo", CommandType::kStoredProc,
                          "GetCampoListaDeValores");
  EXPECT_FALSE(sem.PodeAdicionar());
  int32_t e = 0;
  EXPECT_EQ(sem.AdicionaItem("x", &e, ""), -1);
  EXPECT_NE(e, 0);
  tIntStgListMultiLng l(false, "AddItemCampoListaValores", 32, "@formatocampo",
                        CommandType::kStoredProc, "GetCampoListaDeValores");
  ASSERT_EQ(l.Conta(), 2);
  EXPECT_TRUE(l.PodeAdicionar());
  EXPECT_EQ(l.AdicionaItem("Misto|Mixed", &e, "ctx"), 3);
  EXPECT_EQ(e, 0);
  EXPECT_FALSE(l.Lido);
  // The Spanish name was not given: sent empty, completed from English.
  EXPECT_EQ(l.TextoDoId(3, false), "Misto|Mixed|Mixed");
  EXPECT_EQ(Db->DsAcc(), 0);
}

}  // namespace
}  // namespace zun
