// Companies, assets and series through their procedures and look-ups, as the
// importers call them, on a fresh reference database.
#include "db/objects.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../support/zi_globs_fixture.h"
#include "db/object_lookups.h"
#include "db/user_context.h"

namespace zun {
namespace {

class ObjectsTest : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    UsuarioIsAdmin = true;  // the tests of the rights take them away
  }

  // A company with code cod in country pais, not yet added.
  static TObjEmp Emp(const char* cod, int32_t pais) {
    TObjEmp e;
    e.cod = cod;
    e.pais = pais;
    return e;
  }

  // A company "PETR" in Brazil with one asset of class "ON" and one series
  // "PETR3" on exchange 1; their ids in emp_, atv_ and anb_.
  void CriaPetrobras() {
    TObjEmp e = Emp("PETR", 0);
    e.nome = "Petroleo Brasileiro";
    e.moedabal[0] = 1;
    e.fmtbal[1] = 2;
    ASSERT_EQ(ObjEmpAdd(&e), 0);
    emp_ = e.id;
    TObjAtv a{0, emp_, 2, 0, 0};
    ASSERT_EQ(ObjAtvAdd(&a), 0);
    atv_ = a.id;
    TObjAnb s{.acao = atv_, .cod = "PETR3", .bolsa = 1, .moedacot = 1};
    ASSERT_EQ(ObjAnbAdd(&s), 0);
    anb_ = s.id;
    EXPECT_EQ(s.PaisProCodZun, 0) << "the company's country when none is given";
  }

  // Reads the stored company, changes it with muda and writes it back.
  int32_t MudaEmp(const std::function<void(TObjEmp&)>& muda) {
    TObjEmp e;
    if (const int32_t code = ObjEmpGet(emp_, &e); code != 0) return code;
    muda(e);
    return ObjEmpPut(e);
  }

  int32_t emp_ = 0, atv_ = 0, anb_ = 0;
};

// The plain writes and look-ups are run end to end by the object importers'
// tables; here what those do not reach.
// A call of a table and the code it must give.
struct Chamada {
  const char* what;
  std::function<int32_t()> call;
  int32_t want;
};

TEST_F(ObjectsTest, RecordsRoundTripAndLookUpsFindThem) {
  CriaPetrobras();
  TObjEmp e;
  ASSERT_EQ(ObjEmpGet(emp_, &e), 0);
  // Currency entries that are not exchanged read as 0.
  EXPECT_EQ(std::vector<int32_t>({e.moedabal[0], e.moedabal[1], e.moedabal[2], e.fmtbal[1]}),
            std::vector<int32_t>({1, 0, -1, 2}));
  TObjAnb s;
  ASSERT_EQ(ObjAnbGet(anb_, &s), 0);
  EXPECT_EQ(std::vector<int32_t>({s.acao, s.TipoDeContrato}), std::vector<int32_t>({atv_, -1}));
  s.TipoDeBGLDestino = 3;
  s.cancelado = true;
  ASSERT_EQ(ObjAnbPut(&s), 0);

  uint8_t tipo = 0;
  int32_t num = -1, fmt = -1;
  EXPECT_EQ(GetTipoDeBGLDaAnb("PETR3", 1, &tipo), 0);
  EXPECT_EQ(tipo, 3);
  EXPECT_EQ(GetTotalAnbDessaBolsaTBGL(1, 3, &num), 0);
  EXPECT_EQ(num, 0) << "a cancelled series does not count";
  EXPECT_EQ(GetFmtBalDaEmp(emp_, 4, &fmt), 4461);
  EXPECT_EQ(fmt, 0);
  // A format is set only where none is chosen yet.
  EXPECT_EQ(DefineFormatoBalDaEmpSeNulo(emp_, 0, 0, 1), 0);
  EXPECT_EQ(DefineFormatoBalDaEmpSeNulo(emp_, 1, 0, 1), 0);
  ASSERT_EQ(ObjEmpGet(emp_, &e), 0);
  EXPECT_EQ(std::vector<int32_t>({e.fmtbal[0], e.fmtbal[1]}), std::vector<int32_t>({1, 2}));
}

TEST_F(ObjectsTest, CompanyTreeFromAnyLevel) {
  CriaPetrobras();
  TObjAtv pn{0, emp_, 3, 1, 0};
  ASSERT_EQ(ObjAtvAdd(&pn), 0);
  // An asset without series has a row of its own.
  const std::string arvore = "PETR " + std::to_string(atv_) + "/2 " + std::to_string(anb_) +
                             "/PETR3/1;PETR " + std::to_string(pn.id) + "/3 0//0;";
  for (const auto& [nivel, id] : {std::pair{0, anb_}, {-1, anb_}, {1, atv_}, {2, emp_}}) {
    std::vector<TObjListItem> itens;
    ASSERT_EQ(ObjListDaEmp(nivel, id, &itens), 0) << nivel;
    std::string got;
    for (const auto& i : itens) {
      got += i.empCod + " " + std::to_string(i.atvId) + "/" + std::to_string(i.atvIdClass) + " " +
             std::to_string(i.anbId) + "/" + i.anbCod + "/" + std::to_string(i.anbBolsa) + ";";
    }
    EXPECT_EQ(got, arvore) << nivel;
  }
  std::vector<TObjListItem> itens;
  EXPECT_EQ(ObjListDaEmp(3, emp_, &itens), 15252);
  EXPECT_NE(ObjListDaEmp(0, 999, &itens), 0) << "an unknown series";
  std::vector<TObjListRoot> raizes;
  ASSERT_EQ(ObjListRoot(emp_, &raizes), 0);
  ASSERT_EQ(raizes.size(), 2u);
  EXPECT_EQ(std::vector<int32_t>({raizes[1].AtvId, raizes[1].AtvIdClass, raizes[1].EmpId}),
            std::vector<int32_t>({pn.id, 3, emp_}));
}

// The unknown codes of each level are refused by the importers'
// tables (objects, quotes); here the country, the provisional codes and the ids that come
// with 4172.
TEST_F(ObjectsTest, LookUpCodes) {
  CriaPetrobras();
  Sql("INSERT INTO registro_cod_provis (cod_provis, cod_anbima, idemp, idanb) "
      "VALUES ('PETR-provis', 'PETR', 0, 0)");
  int32_t c = 0, a = 0, e = 0, erro = 0;
  GetIdEmp("PETR", "1", &erro);
  EXPECT_EQ(erro, 4174) << "company in another country";
  EXPECT_EQ(GetIdAtv("PETR-provis", "0", "ON", &c, &a, &e, false), 4170) << "provisional code";
  EXPECT_EQ(GetIdAtv("PETR-provis", "0", "ON", &c, &a, &e, true), 0);
  EXPECT_EQ(GetIdAtv("PETR", "0", "PN", &c, &a, &e, false), 4172);
  EXPECT_EQ(std::vector<int32_t>({c, a, e}), std::vector<int32_t>({3, 0, emp_}));
  std::string cod;
  int32_t id_emp = 0, id_anb = 0;
  EXPECT_TRUE(GetRegistroCodCVMparaAnbima("petr-PROVIS", &cod, &id_emp, &id_anb));
  EXPECT_EQ(cod, "PETR");
  EXPECT_FALSE(GetRegistroCodCVMparaAnbima("PETR", &cod, &id_emp, &id_anb));
}

// With the link down and no reconnection any call raises: the field checks
// need none, and each procedure turns the exception into its own code.
TEST_F(ObjectsTest, FieldChecksAndCallsWithTheLinkDown) {
  int32_t c = 0, a = 0, e = 0, erro = 0;
  GetIdAnb("X", "1", &erro);  // its command object stays in the cache
  Db->SetAutoReconnect(false);
  Db->Close();
  auto emp = [&](const char* cod, const char* pais) { return GetIdEmp(cod, pais, &erro), erro; };
  auto atv = [&](const char* emp, const char* pais, const char* classe) {
    return GetIdAtv(emp, pais, classe, &c, &a, &e, true);
  };
  TObjEmp oe;
  TObjAtv oa;
  TObjAnb os;
  const Chamada cases[] = {
      {"company country 80", [&] { return emp("A", "80"); }, 4173},
      {"company country x", [&] { return emp("A", "x"); }, 4173},
      {"exchange not a number", [&] { return GetIdAnb("A", "B3", &erro), erro; }, 4177},
      {"company code -", [&] { return atv("-", "0", "ON"); }, 15254},
      {"company code empty", [&] { return atv("", "0", "ON"); }, 15254},
      {"asset country 80", [&] { return atv("A", "80", "ON"); }, 4175},
      {"class code empty", [&] { return atv("A", "0", ""); }, 15255},
      {"class code -", [&] { return atv("A", "0", "-"); }, 15255},
      {"EmpAdd", [&] { return ObjEmpAdd(&oe); }, 3673},
      {"EmpGet", [&] { return ObjEmpGet(1, &oe); }, 3674},
      {"EmpPut", [&] { return ObjEmpPut(oe); }, 3675},
      {"AtvAdd", [&] { return ObjAtvAdd(&oa); }, 3677},
      {"AtvGet", [&] { return ObjAtvGet(1, &oa); }, 3678},
      {"AtvPut", [&] { return ObjAtvPut(oa); }, 3679},
      {"AnbAdd", [&] { return ObjAnbAdd(&os); }, 3681},
      {"AnbGet", [&] { return ObjAnbGet(1, &os); }, 3682},
      {"AnbPut", [&] { return ObjAnbPut(&os); }, 3683},
  };
  for (const auto& k : cases) EXPECT_EQ(k.call(), k.want) << k.what;
  // The code of a failed look-up is not taken for a series id.
  EXPECT_EQ(GetIdAnb("X", "1", &erro), 0);
  EXPECT_EQ(erro, 3939);
  // The cache is loaded on first use, before the country is looked at.
  Db->Open();
  GetIdEmpCache("A", "-1", &erro);
  EXPECT_EQ(erro, 4173);
  // A stored series whose country of code is negative is refused on read.
  CriaPetrobras();
  Sql("UPDATE anb SET pais_pro_cod_zun = -2 WHERE id = " + std::to_string(anb_));
  EXPECT_EQ(ObjAnbGet(anb_, &os), 3807);
  EXPECT_EQ(ObjEmpGet(999, &oe), 50503) << "an unknown id is the procedure's code";
}

TEST_F(ObjectsTest, WritesNeedTheirRights) {
  CriaPetrobras();
  TObjEmp outra = Emp("OUTRA", 1);
  ASSERT_EQ(ObjEmpAdd(&outra), 0);
  TObjAtv pn{0, emp_, 3, 0, 0};
  ASSERT_EQ(ObjAtvAdd(&pn), 0);
  TObjAtv estrangeiro{0, emp_, 10, 0, 0};
  TObjAnb s;
  ASSERT_EQ(ObjAnbGet(anb_, &s), 0);
  // Each case changes one thing that a right guards: refused without the
  // right (no admin, no flags), accepted with the flag or administrator.
  // The series kinds 6 to 11 and the calendar are in the object importers'
  // tables.
  const struct {
    const char* what;
    int32_t flag;  // UsuarioFlags bit that grants it; 0: administrators only
    std::function<int32_t()> write;
    int32_t refused;
  } cases[] = {
      {"company country", 4, [&] { return MudaEmp([](TObjEmp& e) { e.pais = 1; }); }, 50505},
      {"asset of a foreign class", 2, [&] { return ObjAtvAdd(&estrangeiro); }, 50517},
      {"asset to another company", 0,
       [&] {
         return ObjAtvPut({atv_, outra.id, 2, 0, 0});
       },
       50516},
      {"series to another asset", 0, [&] { return (s.acao = pn.id, ObjAnbPut(&s)); }, 50526},
      {"series brings company data", 0, [&] { return (s.TrazDadosDaEmp = true, ObjAnbPut(&s)); },
       50528},
  };
  for (const auto& c : cases) {
    UsuarioIsAdmin = false;
    UsuarioFlags = 0;
    EXPECT_EQ(c.write(), c.refused) << c.what;
    if (c.flag != 0) {
      UsuarioFlags = c.flag;
    } else {
      UsuarioIsAdmin = true;
    }
    EXPECT_EQ(c.write(), 0) << c.what;
  }
  // The statement sources other than the local one need a source user.
  UsuarioIsAdmin = false;
  UsuarioFlags = 0;
  EXPECT_EQ(MudaEmp([](TObjEmp& e) { e.fmtbal[2] = 1; }), 50506);
  EXPECT_EQ(MudaEmp([](TObjEmp& e) { e.fmtbal[0] = 1; }), 0) << "the local source is everyone's";
  UsuarioSourceDoBal = 3;
  EXPECT_EQ(MudaEmp([](TObjEmp& e) { e.fmtbal[2] = 1; }), 0);
}

TEST_F(ObjectsTest, DuplicatesAndUnknownReferencesAreRefused) {
  CriaPetrobras();
  TObjEmp dup = Emp("petr", 0);
  TObjEmp sem_pais = Emp("X", -1);
  TObjAtv mesma_classe{0, emp_, 2, 0, 0};
  TObjAtv sem_vote{0, emp_, 3, 9, 0};
  TObjAnb dup_anb{.acao = atv_, .cod = "petr3", .bolsa = 1};
  TObjAnb sem_bolsa{.acao = atv_, .cod = "petr3", .bolsa = 99};
  const Chamada cases[] = {
      {"company code taken", [&] { return ObjEmpAdd(&dup); }, 50502},
      {"company without country", [&] { return ObjEmpAdd(&sem_pais); }, 50504},
      {"second asset of a class", [&] { return ObjAtvAdd(&mesma_classe); }, 50513},
      {"unknown voting status", [&] { return ObjAtvAdd(&sem_vote); }, 50514},
      {"series code taken", [&] { return ObjAnbAdd(&dup_anb); }, 50523},
      {"unknown exchange", [&] { return ObjAnbAdd(&sem_bolsa); }, 50524},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.want) << c.what;
  EXPECT_EQ(dup.id, 0) << "a refused add gives no id";
  EXPECT_EQ(Linhas("SELECT COUNT(*) FROM empresa"), "1");
}

TEST_F(ObjectsTest, CacheOrdersCodesAsItComparesThem) {
  // SQLite orders these by their UTF-8 bytes ("A", "C", "b", "\351a",
  // "\x80uro"); the search compares Windows-1252 letters without case
  // ("A", "b", "C", "\x80uro", "\351a"). \351 is e acute.
  for (const char* cod : {"b", "A", "C", "\351a", "\x80uro"}) {
    TObjEmp e = Emp(cod, 1);
    ASSERT_EQ(ObjEmpAdd(&e), 0) << cod;
  }
  int32_t erro = 0;
  for (const char* cod : {"a", "B", "c", "\311A", "\x80URO", " b "}) {
    EXPECT_GT(GetIdEmpCache(cod, "1", &erro), 0) << cod;
    EXPECT_EQ(erro, 0) << cod;
  }
  EXPECT_EQ(GetIdEmpCache("A", "0", &erro), 0) << "another country";
  EXPECT_EQ(erro, 4174);

  // A company added after the cache was loaded is found only by GetIdEmp.
  TObjEmp nova = Emp("NOVA", 1);
  ASSERT_EQ(ObjEmpAdd(&nova), 0);
  EXPECT_EQ(GetIdEmpCache("NOVA", "1", &erro), 0);
  EXPECT_EQ(erro, 4174);
  EXPECT_EQ(GetIdEmp("NOVA", "1", &erro), nova.id);
}

}  // namespace
}  // namespace zun
