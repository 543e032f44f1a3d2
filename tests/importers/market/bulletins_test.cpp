// Quote bulletins: the detector's rules as a table, the "*BOLCOT" record,
// and the log step between the passes through whole files.
#include "importers/market/bulletins.h"

#include <string>

#include "../../support/import_fixture.h"
#include "../../support/log_capture.h"
#include "db/id_text_list.h"
#include "db/reqgbol.h"
#include "embedded/procedure_catalog.h"

namespace zun {
namespace {

constexpr double kDia = 45476;  // 2024-07-03

class BulletinImport : public MercadoDb {
 protected:
  // n more series "<prefixo>1".."<prefixo>n" of exchange bolsa and kind tipo.
  void CriaSeries(int bolsa, int tipo, int n, const std::string& prefixo) {
    Sql("INSERT INTO anb (acao, cod, bolsa, tipo_de_bgl_destino) WITH RECURSIVE n(i) AS "
        "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(n) + ") SELECT 1, '" + prefixo + "' || i, " + std::to_string(bolsa) + ", " +
        std::to_string(tipo) + " FROM n");
  }
  // Makes "GetTotalAnbDessaBolsaTBGL" fail (true) or work again (false).
  void TotalFalha(bool falha) {
    if (!falha) return RegisterDatabaseProcedures();
    RegisterProcedure("GetTotalAnbDessaBolsaTBGL",
                      {{"@bolsa", DataType::kInteger},
                       {"@TipoDeBGLDestino", DataType::kInteger},
                       {"@Num", DataType::kInteger, ParamDirection::kOutput}},
                      [](ProcContext& c) { c.Return(3939); });
  }
};

TEST_F(BulletinImport, BulletinTest) {
  CriaSeries(1, 1, 100, "A");  // kind 1: 100 series, 2: 28, 3: none, 4: 45
  CriaSeries(1, 2, 28, "B");
  CriaSeries(1, 4, 45, "C");
  const struct {
    const char* what;
    uint8_t tipo;
    int quotes;
    bool forca, sem_total, boletim;
  } casos[] = {
      {"19 quotes never", 3, 19, false, false, false},
      {"20 quotes of a total of 0", 3, 20, false, false, true},
      {"70 of 100", 1, 70, false, false, false},
      {"71 of 100", 1, 71, false, false, true},
      {"20 of 28 (19.6 rounds to 20)", 2, 20, false, false, false},
      {"21 of 28", 2, 21, false, false, true},
      {"32 of 45 (31.5 rounds to 32)", 4, 32, false, false, false},
      {"20 of 100, total unreadable", 1, 20, false, true, true},
      {"forced without quotes", 1, 0, true, false, true},
  };
  for (const auto& c : casos) {
    TMakeUpBolCot d;
    for (int i = 0; i < c.quotes; ++i) d.AdicionaCotacao(1, c.tipo, kDia);
    if (c.forca) d.Forca(1, c.tipo, kDia);
    TotalFalha(c.sem_total);
    EXPECT_EQ(d.LogaComoBoletim(1, c.tipo, kDia), c.boletim) << c.what;
    TotalFalha(false);
    if (c.sem_total) {
      EXPECT_FALSE(d.LogaComoBoletim(1, c.tipo, kDia)) << "read again";
    }
  }
  // A total read for one day serves every day of that exchange and kind.
  TMakeUpBolCot d;
  for (int i = 0; i < 70; ++i) {
    d.AdicionaCotacao(1, 1, kDia);
    d.AdicionaCotacao(1, 1, kDia + 1);
  }
  EXPECT_FALSE(d.LogaComoBoletim(1, 1, kDia));
  TotalFalha(true);
  EXPECT_FALSE(d.LogaComoBoletim(1, 1, kDia + 1)) << "the total of the other day is taken";
  TotalFalha(false);
  EXPECT_FALSE(d.LogaComoBoletim(2, 1, kDia)) << "no group";
}

TEST_F(BulletinImport, GroupLimitAndClosing) {
  TMakeUpBolCot d;
  for (int dia = 0; dia < 91; ++dia) d.AdicionaCotacao(1, 3, kDia + dia);
  for (int i = 0; i < 20; ++i) d.AdicionaCotacao(1, 3, kDia + 91);
  EXPECT_EQ(d.Grupos().size(), 91u) << "the 92nd group is not created by quotes";
  d.Forca(1, 3, kDia + 92);
  d.Forca(1, 5, kDia);
  EXPECT_EQ(d.Grupos().size(), 92u) << "forced groups have no limit; kind 5 is never forced";
  EXPECT_FALSE(d.Fechado());
  EXPECT_FALSE(d.LogaComoBoletim(1, 3, kDia + 91));
  EXPECT_TRUE(d.LogaComoBoletim(1, 3, kDia + 92));
  EXPECT_TRUE(d.Fechado());
  EXPECT_EQ(CodigoLevantado([&] { d.AdicionaCotacao(1, 3, kDia); }), 3995);
  EXPECT_EQ(CodigoLevantado([&] { d.Forca(1, 3, kDia); }), 3996);
}

// Check pass only: each "*BOLCOT" line's code and the kinds it forced.
TEST_F(BulletinImport, BolCotRecord) {
  const struct {
    const char* linha;
    int32_t code;
    const char* tipos;
  } casos[] = {
      {"*BOLCOT 1 2024-07-03", 0, "01234"},
      {"*bolcot 1 2024-07-03 \"\"", 0, "01234"},
      {"*BOLCOT 1 2024-07-03 7", 0, "7"},
      {"*BOLCOT 1 2024-07-03 5", 0, ""},
      {"*BOLCOT 1 -", 50608, ""},
      {"*BOLCOT 1", 4100, ""},
      {"*BOLCOT 1 2024-07-03 0 x", 4100, ""},
      {"*BOLCOT 9 2024-07-03", 4101, ""},
      {"*BOLCOT 1 2024-7-03", 4102, ""},
      {"*BOLCOT 1 2024-07-03 12", 4104, ""},
      {"*BOLCOT 1 2024-07-03 x", 4104, ""},
  };
  for (const auto& c : casos) {
    ImpDeTeste imp(EscreveArquivo("bolcot.txt", std::string(c.linha) + "\n"), false);
    while (imp.CanGoOn()) imp.ImportNext();
    EXPECT_EQ(imp.ResultCode(), c.code) << c.linha;
    std::string tipos;
    for (const auto& g : BolCotDe(imp)->Grupos()) {
      EXPECT_TRUE(g.Forcado && g.Count == 0) << c.linha;
      tipos += std::to_string(g.Tipo);
    }
    EXPECT_EQ(tipos, c.tipos) << c.linha;
  }
}

// 20 quotes of exchange 2, whose kind 0 has 20 series, form a bulletin; 19
// of another day do not; a forced bulletin of exchange 3 has no quotes.
TEST_F(BulletinImport, LogStep) {
  CriaSeries(2, 0, 20, "S");
  std::string file = "*BOLCOT 3 2024-07-03 1\r\n";
  for (int i = 1; i <= 20; ++i) file += "*QT S" + std::to_string(i) + " 2 2024-07-03 1\r\n";
  for (int i = 1; i <= 19; ++i) file += "*QT S" + std::to_string(i) + " 2 2024-07-04 1\r\n";
  LogCapture log;
  ASSERT_EQ(Importa(file), 0) << msgs_;
  EXPECT_TRUE(log.Has("- BolCot: 2024/07/03 xchg:2 TBGL:L #:20")) << msgs_;
  EXPECT_TRUE(log.Has("- BolCot: 2024/07/03 xchg:3 TBGL:G Forced"));
  EXPECT_FALSE(log.HasPrefix("- BolCot: 2024/07/04"));
  // The quotes of the bulletin are not logged one by one.
  EXPECT_EQ(Linhas("SELECT tip, count(*), group_concat(DISTINCT substr(date, 1, 10)) FROM data_log "
                   "GROUP BY tip ORDER BY tip"),
            "41|19|2024-07-04;42|2|2024-07-03");
  EXPECT_EQ(Linhas("SELECT oid, aux FROM data_log WHERE tip = 42 ORDER BY id"), "3|1;2|0");
  EXPECT_EQ(Linhas("SELECT count(*) FROM cotacao"), "39");
  EXPECT_EQ(PrioridadeReqGBol, 1);
}

}  // namespace
}  // namespace zun
