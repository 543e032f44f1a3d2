// Share-base records through the import engine on the embedded database.
// PETR (id 1) has assets of classes 2 and 3, both under class 1; VALE
// (id 2) has only class 2, so its class 1 has a single child. Each case
// starts from a stored base, imports one line and compares the stored
// classes ("class|total/status=in/status+out/status"), the writes and
// deletes logged, and the slots marked invalid when the base is derived
// again.
#include "importers/ownership/share_base.h"

#include <string>
#include <vector>

#include "../../support/import_fixture.h"
#include "../../support/log_capture.h"
#include "engine/value_formats.h"
#include "importers/ownership/registration.h"

namespace zun {
namespace {

constexpr char kEmpresas[] =
    "INSERT INTO empresa (id, cod, pais) VALUES (2, 'VALE', 0);"
    "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (2, 1, 3, 1, 0), (3, 2, 2, 0, 0)";

constexpr char kConsulta[] =
    "SELECT id_class, printf('%g/%d=%g/%d+%g/%d', total, stat_tot, em_tesouraria, stat_em, "
    "ex_tesouraria, stat_ex) FROM base_acionaria ORDER BY id_emp, id_class";

// A stored row of PETR's base of 2024-03-31, source 0.
std::string Guardada(const char* classe, const char* valores) {
  return std::string(
             "INSERT INTO base_acionaria (id_emp, data, source, id_class, total, stat_tot, "
             "em_tesouraria, stat_em, ex_tesouraria, stat_ex) VALUES (1, "
             "'2024-03-31 00:00:00', 0, ") +
         classe + ", " + valores + ")";
}

class ShareBaseImport : public ImportDb<RegistraImportadoresDeParticipacoes> {
 protected:
  void SetUp() override {
    ImportDb::SetUp();
    SqlScript(kEmpresas);
  }

  // Classes of emp's base with an invalid slot after deriving it again:
  // "class:" + one Y/N per slot, blank-separated.
  std::string Invalidos(int32_t emp) {
    TListaBaseAcionaria lista(emp, 0);
    EXPECT_EQ(lista.Le(), 0);
    double data = 0;
    StrToDateOk("2024-03-31", &data);
    TBaseAcionaria* base = lista.PegaBase(data, false);
    if (base == nullptr) return "no base";
    base->Deriva();
    std::string r;
    std::vector<const TUmaClasseNaBac*> pilha = {&base->Raiz};
    while (!pilha.empty()) {
      const TUmaClasseNaBac* c = pilha.back();
      pilha.pop_back();
      std::string m;
      for (const TValorBac& v : c->Valores) m += v.Invalido ? "Y" : "N";
      if (c->IdClass != 0 && m != "NNN")
        r += (r.empty() ? "" : " ") + std::to_string(c->IdClass) + ":" + m;
      for (const auto& f : c->Filhos) pilha.push_back(f.get());
    }
    return r;
  }
};

struct Caso {
  std::vector<std::string> guardada;  // rows of PETR's base
  std::string linha;
  const char* classes;  // stored afterwards
  int escritas;         // data-log entries: classes written, base deleted
  const char* invalidos;
};

TEST_F(ShareBaseImport, MergesDerivesAndWrites) {
  const std::string bac3 = Guardada("3", "1000, 5, 10, 2, 990, 2");
  const std::vector<std::string> tres = {Guardada("1", "1000, 5, 0, 0, 0, 0"),
                                         Guardada("2", "600, 2, 0, 0, 0, 0"),
                                         Guardada("3", "400, 2, 0, 0, 0, 0")};
  const std::string k = "*SHARES PETR 0 2024-03-31 0 ", u = "*SHARESUPDATE PETR 0 2024-03-31 0 ";
  const std::vector<Caso> casos = {
      // The total follows from the two parts; a class found by its name.
      {{}, k + "\"Preferred shares\" 10 990", "3|1000/5=10/2+990/2", 1, ""},
      {{}, k + "#3 TOTAL 1000", "3|1000/2=0/0+0/0", 1, ""},
      // Three given numbers that do not add up are all invalid.
      {{}, k + "#3 TOTAL 1000 #3 10 900", "3|1000/2=10/2+900/2", 1, "3:YYY"},
      // The parent gets its children's sum, or is invalid when its own differs.
      {{},
       k + "#2 issued 600 #3 TOTAL 400",
       "1|1000/5=0/0+0/0;2|600/2=0/0+0/0;3|400/2=0/0+0/0",
       3,
       ""},
      {{},
       k + "#1 TOTAL 999 #2 TOTAL 600 #3 TOTAL 400",
       "1|999/2=0/0+0/0;2|600/2=0/0+0/0;3|400/2=0/0+0/0",
       3,
       "1:YNN"},
      // "*SHARES" clears the other classes, "*SHARESUPDATE" keeps them.
      {tres, k + "#3 TOTAL 500", "3|500/2=0/0+0/0", 1, ""},
      {tres, u + "#3 TOTAL 500", "1|1100/5=0/0+0/0;2|600/2=0/0+0/0;3|500/2=0/0+0/0", 3, ""},
      // A base that does not change is not written; "-" gives nothing.
      {{bac3}, k + "#3 10 990", "3|1000/5=10/2+990/2", 0, ""},
      {{bac3}, u + "#3 - -", "3|1000/5=10/2+990/2", 0, ""},
      // A stored status 4 reads as 5; status 10 is cleared and derived again.
      {{Guardada("3", "1000, 4, 10, 2, 990, 2")}, u, "3|1000/4=10/2+990/2", 0, ""},
      {{Guardada("3", "1000, 10, 10, 2, 990, 2")}, u, "3|1000/5=10/2+990/2", 1, ""},
      // A base left with nothing to write is deleted.
      {{bac3}, k + "#3 - -", "", 1, "no base"},
      // A given total of a parent with one child is handed down.
      {{}, "*SHARES VALE 0 2024-03-31 0 #1 TOTAL 500", "1|500/5=0/0+0/0;2|500/2=0/0+0/0", 2, ""},
  };
  for (const Caso& c : casos) {
    Sql("DELETE FROM base_acionaria");
    Sql("DELETE FROM data_log");
    for (const std::string& g : c.guardada) Sql(g);
    RodaArquivos({{c.linha, 0, "", c.classes}}, kConsulta);
    EXPECT_EQ(LinhasComoTexto(*Db, "SELECT count(*) FROM data_log"), std::to_string(c.escritas))
        << c.linha;
    const int32_t emp = c.linha.find("VALE") != std::string::npos ? 2 : 1;
    EXPECT_EQ(Invalidos(emp), c.invalidos) << c.linha;
  }
}

TEST_F(ShareBaseImport, LineErrors) {
  EXPECT_EQ(
      RodaArquivos(
          {
              {"*SHARES \"\" 0 2024-03-31 0 #3 TOTAL 1", 4149, "Empty <company>"},
              {"*SHARES PETR x 2024-03-31 0 #3 TOTAL 1", 4182},
              // The company and the classes are checked before anything is written.
              {"*SHARES PETR 0 2024-06-30 0 #3 TOTAL 1\r\n*SHARES GOLD 0 2024-03-31 0 #3 TOTAL 1",
               4174},
              // The line's own fields before the company and the right to a source.
              {"*SHARES GOLD 0 - 0 #3 TOTAL 1", 4151, "Invalid date: <->"},
              {"*SHARES GOLD 0 2024-03-31 1 #99 TOTAL 1", 4153},
              {"*SHARES PETR 0 2024-03-31 8 #3 TOTAL 1", 4152, "Invalid <source>"},
              {"*SHARES PETR 0 2024-06-30 0 #3 TOTAL 1\r\n*SHARES PETR 0 2024-03-31 1 #3 TOTAL 1",
               51206},
              {"*SHARES PETR 0 2024-03-31 0 #99 TOTAL 1", 4153, "Unknown class #99 \"#99\" pais:0"},
              {"*SHARES PETR 0 2024-03-31 0 Nope TOTAL 1", 4153,
               "Unknown class #-1 \"Nope\" pais:0"},
              {"*SHARES PETR 0 2024-03-31 0 #3 TOTAL 1,5", 4154, "Invalid field <1,5>"},
              {"*SHARES PETR 0 2024-03-31 0 #3 x 5", 4154, "Invalid field <x>"},
              {"*SHARES PETR 0 2024-03-31 0 #3 TOTAL 1 #2", 4156},
              // Class 4 is known but not one of PETR's.
              {"*SHARES PETR 0 2024-06-30 0 #3 TOTAL 1\r\n"
               "*SHARES PETR 0 2024-03-31 0 #3 TOTAL 1 #4 TOTAL 1",
               4203},
          },
          kConsulta),
      "");
}

// A refused write (this user has no right to source 1, which the check
// pass believes it has) fails the line and is logged with the class and its
// slots; a base whose last class fails is left as it was stored.
TEST_F(ShareBaseImport, FailedWriteIsLogged) {
  LogCapture log;
  UsuarioIsAdmin = true;
  EXPECT_EQ(ImportaArquivo("*SHARES PETR 0 2024-03-31 1 #3 10 990")->ResultCode(), 51206);
  EXPECT_TRUE(
      log.Has("T1CnB.SDb Erro: 51206 empresa 1 2024-03-31 Src:1 classe 3/Preferred shares "
              "[1000/5=10/2+990/2]"));
  UsuarioIsAdmin = false;
  for (const char* c : {"1", "2", "3"}) Sql(Guardada(c, "7, 2, 0, 0, 0, 0"));
  Sql("CREATE TRIGGER falha BEFORE INSERT ON base_acionaria WHEN NEW.id_class = 3 "
      "BEGIN SELECT RAISE(ABORT, 'no'); END");
  EXPECT_NE(ImportaArquivo("*SHARES PETR 0 2024-03-31 0 #2 TOTAL 600 #3 TOTAL 400")->ResultCode(),
            0);
  EXPECT_EQ(LinhasComoTexto(*Db, kConsulta), "1|7/2=0/0+0/0;2|7/2=0/0+0/0;3|7/2=0/0+0/0");
}

}  // namespace
}  // namespace zun
