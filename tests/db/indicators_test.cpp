// Indicators by date against the embedded database: the reading of a value
// text for every field type, the writes and reads by date, and the
// registration formats of the test company PETR / asset ON / series PETR4
// (asset type 0 in country 0, format 2 of the seed data).
#include "db/indicators.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../support/zi_globs_fixture.h"
#include "db/global_state.h"
#include "embedded/procedure_catalog.h"
#include "foundation/momento.h"
#include "toolbox/dbutil/accessors.h"

namespace zun {
namespace {

class Indicators : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    InstalaDefIndicadores();
    DefIndicadoresHooks.Recria();
    SqlScript(kEmpresaESerieDeTeste);
    Sql("UPDATE anb SET pais_pro_cod_zun = 0");
  }
  void TearDown() override {
    DefIndicadoresHooks.Libera();
    ZiGlobsDb::TearDown();
  }
};

// The value as text: "null", "t:" text, "d:" date or the number.
std::string Mostra(int fc, const TValorDeIndicador& v) {
  if (v.Nulo) return "null";
  if (fc == 3) return "t:" + v.Texto;
  if (fc == 28) return "d:" + DataIso(v.Data);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v.Numero);
  return buf;
}

// Every field type: numbers, text, currency, booleans, dates, list types
// (32: "A" Aberto / "F" Fechado; 41: Sim / Nao), an unreadable type.
TEST_F(Indicators, InternalSetFromString) {
  struct Caso {
    int fc;
    const char* texto;
    bool estrito;
    bool pode_incluir;
    int32_t code;
    const char* valor;
  };
  const Caso casos[] = {
      {0, "42", true, false, 0, "42"},
      {1, "-7", true, false, 0, "-7"},
      {0, "4.2", true, false, 4294, ""},
      {1, "-", true, false, 0, "null"},
      {3, " abc d ", true, false, 0, "t: abc d "},
      {3, "", true, false, 0, "null"},
      {5, "1.5", true, false, 0, "1.5"},
      {15, " -2e3 ", true, false, 0, "-2000"},
      {16, "1,5", true, false, 4295, ""},
      {5, "1.5", false, false, 0, "1.5"},
      {5, "abc", false, false, 4295, ""},
      {9, "USD", true, false, 0, "2"},
      {9, "#3", true, false, 0, "3"},
      {9, "XYZ", true, false, 4179, ""},
      {21, "Yes", true, false, 0, "1"},
      {38, "N", true, false, 0, "0"},
      {21, "talvez", true, false, 4133, ""},
      {27, "2024-02-29", true, false, 4296, ""},
      {2, "1", true, false, 4296, ""},
      {28, "2024-02-29", true, false, 0, "d:2024-02-29"},
      {28, "2024/02/29", true, false, 0, "d:2024-02-29"},
      {28, "2024/02/30", true, false, 4336, ""},
      {28, "2024-02/29", true, false, 4336, ""},
      {28, "1919-12-31", true, false, 4336, ""},
      {28, "2024.02.29", false, false, 0, "d:2024-02-29"},
      {28, "2024/02/29", false, false, 45113, ""},
      {28, "yyyy-mm-dd", false, false, 4336, ""},
      {28, "-", false, false, 0, "null"},
      {32, "#2", true, false, 0, "2"},
      {32, "#9", true, false, 4308, ""},
      {32, "#x", true, false, 4306, ""},
      {32, "doc-id:F", true, false, 0, "2"},
      {32, "doc-id:", true, false, 4399, ""},
      {32, "doc-id:Z", true, false, 4307, ""},
      {32, "closed", true, false, 0, "2"},
      {41, "Talvez", true, false, 4307, ""},
      {41, "Talvez", true, true, 0, "3"},
      {41, "talvez", true, false, 0, "3"},
  };
  for (const Caso& c : casos) {
    const DefIndicador def{500, static_cast<uint8_t>(c.fc)};
    TValorDeIndicador v;
    EXPECT_EQ(InternalSetFromString(def, c.texto, c.estrito, c.pode_incluir, &v), c.code)
        << c.fc << " <" << c.texto << ">";
    if (c.code == 0) {
      EXPECT_EQ(Mostra(c.fc, v), c.valor) << c.fc << " <" << c.texto << ">";
    }
  }
}

// Writes and reads by date; "-" writes NULL into all three columns.
TEST_F(Indicators, PoeEPega) {
  struct Escrita {
    uint8_t eaa;
    int32_t id_eaa, indica;
    const char* texto;
    const char* data;
    int32_t code;
  };
  const Escrita escritas[] = {
      {kEaaAnb, 1, 46, "10.5", "", 0},
      {kEaaAnb, 1, 46, "11", "2024-01-01", 0},
      {kEaaAnb, 1, 46, "-", "2024-06-01", 0},
      {kEaaAtv, 1, 100, "2020-05-04", "", 0},
      {kEaaEmp, 1, 58, " Texto ", "", 0},
      {kEaaEmp, 1, 0, "x", "", 25076},
      {kEaaEmp, 1, 2, "x", "", 25076},
      {kEaaEmp, 1, 5000, "x", "", 25076},
      {3, 1, 58, "x", "", 25074},
      {kEaaEmp, 99, 58, "x", "", 51012},
      {kEaaAnb, 1, 46, "abc", "", 4295},
  };
  for (const Escrita& w : escritas) {
    TPoeValorNumIndicadorNumaData p{w.id_eaa, w.eaa, w.indica,
                                    *w.data ? Value::String(w.data).AsDateTime() : 0};
    EXPECT_EQ(p.SetFromString(w.texto, true, false), w.code) << w.indica << " " << w.texto;
  }
  EXPECT_EQ(LinhasComoTexto(*Db,
                            "SELECT eaa, id_eaa, idindica, data_ini, valornum, valordt, valorst "
                            "FROM valor_indicador ORDER BY eaa, idindica, data_ini"),
            "0|1|46||10.5||;0|1|46|2024-01-01 00:00:00|11||;0|1|46|2024-06-01 00:00:00|||;"
            "1|1|100|||2020-05-04 00:00:00|;2|1|58||||Texto");
  TPoeValorNumIndicadorNumaData zero{1, kEaaEmp, 0, 0};
  EXPECT_EQ(zero.Poe(false, "x", 0, 0), 15687);
  TPoeValorNumIndicadorNumaData sem_def{1, kEaaEmp, 2, 0};
  EXPECT_EQ(sem_def.Poe(false, "x", 0, 0), 15688);

  // Each date reads the value in force on it; the undated one before the
  // first date.
  std::string lidos;
  for (const char* d : {"2023-12-31", "2024-01-01", "2024-05-31", "2024-06-01"}) {
    TPegaValorDumIndicadorNumaData g{1, kEaaAnb, 46, Value::String(d).AsDateTime()};
    TValorDeIndicador v;
    EXPECT_EQ(g.Pega(&v.Nulo, &v.Numero, &v.Texto, &v.Data), 0) << d;
    lidos += Mostra(5, v) + ";";
  }
  EXPECT_EQ(lidos, "10.5;11;11;null;");
}

// Formats by id and by rule, and the search through the related objects.
TEST_F(Indicators, Formatos) {
  struct Caso {
    int32_t id_fdc, tipo_obj, pais;
    int32_t code;
    size_t pares;
  };
  const Caso casos[] = {
      {2, 0, 0, 0, 7}, {0, 0, 0, 0, 7}, {0, 0, 1, 0, 4}, {7, 0, 0, 35008, 0}, {0, 3, 0, 35009, 0}};
  for (const Caso& c : casos) {
    TParesEaaIndicador pares;
    const int32_t e =
        IndicadoresDoFormato(c.id_fdc, c.tipo_obj, c.pais, {kEaaAnb, kEaaAtv, kEaaEmp}, &pares);
    EXPECT_EQ(e, c.code) << c.id_fdc << " " << c.tipo_obj;
    EXPECT_EQ(pares.size(), c.pares) << c.id_fdc << " " << c.tipo_obj;
  }
  TParesEaaIndicador so_emp;
  int32_t e = IndicadoresDoFormato(2, 0, 0, {kEaaEmp}, &so_emp);
  EXPECT_EQ(so_emp, (TParesEaaIndicador{{kEaaEmp, 58}, {kEaaEmp, 9}, {kEaaEmp, 106}}));

  struct Busca {
    int32_t indica, id_eaa;
    uint8_t eaa;
    bool achou;
    uint8_t achado;
    bool no_formato;
  };
  const Busca buscas[] = {
      {1, 1, kEaaAnb, true, kEaaAnb, true},     {103, 1, kEaaAnb, true, kEaaAtv, false},
      {58, 1, kEaaAnb, true, kEaaEmp, false},   {58, 1, kEaaEmp, true, kEaaEmp, true},
      {105, 1, kEaaAnb, false, kEaaAnb, false}, {103, 1, kEaaAtv, true, kEaaAtv, true},
  };
  for (const Busca& b : buscas) {
    uint8_t achado = 9;
    EXPECT_EQ(AchaFormatoDoIndicador(b.indica, b.id_eaa, b.eaa, &e, &achado), b.achou) << b.indica;
    EXPECT_EQ(e, 0);
    EXPECT_EQ(achado, b.achado) << b.indica;
    EXPECT_EQ(IndicadorNoFormato(b.indica, b.id_eaa, b.eaa, &e), b.no_formato) << b.indica;
  }
  // A series of a kind without a rule does not hide the company's format.
  Sql("INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (9, 1, 3, 1, 3);"
      "INSERT INTO anb (id, acao, cod, bolsa, pais_pro_cod_zun) VALUES (9, 9, 'IDX9', 1, 0)");
  EXPECT_TRUE(IndicadorNoFormato(58, 1, kEaaEmp, &e));
  EXPECT_EQ(e, 0);
  // A failed read of the definitions is read again on the next use.
  UnregisterProcedure("GetTodosDefIndicador");
  DefIndicadoresHooks.Recria();
  EXPECT_EQ(DefIndicadores().PegaDef(58, &e), nullptr);
  EXPECT_NE(e, 0);
  RegisterDatabaseProcedures();
  EXPECT_NE(DefIndicadores().PegaDef(58, &e), nullptr);
}

}  // namespace
}  // namespace zun
