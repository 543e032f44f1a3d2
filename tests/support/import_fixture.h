// The import engine as the importer tests run it, the one test database of
// the importer tests, and their one table runner: each case is a file
// imported whole (check pass, then import pass) on the test database, in
// order.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/id_text_list.h"
#include "db_fixture.h"
#include "engine/imp_main.h"
#include "importers/market/registration.h"
#include "importers/ownership/shareholders.h"
#include "importers/statements/accounts.h"
#include "test_files.h"
#include "toolbox/dbutil/session.h"
#include "zi_globs_fixture.h"

namespace zun {

// The engine with its messages kept in msgs, one per line, instead of shown.
class ImpDeTeste : public TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string& text) override { msgs += text + "\n"; }
  std::string msgs;
};

// Imports texto as one file through both passes; the engine afterwards.
// sh_port_flag as the queue step would set it.
inline std::unique_ptr<ImpDeTeste> ImportaArquivo(const std::string& texto,
                                                  bool sh_port_flag = false) {
  auto imp = std::make_unique<ImpDeTeste>(EscreveArquivo("import.txt", texto), true);
  imp->ShPortFlag = sh_port_flag;
  while (imp->CanGoOn()) imp->ImportNext();
  return imp;
}

struct CasoDeArquivo {
  CasoDeArquivo(std::string a, int32_t r = 0, std::string m = "",
                std::optional<std::string> l = std::nullopt)
      : arquivo(std::move(a)), resultado(r), mensagem(std::move(m)), linhas(std::move(l)) {}
  std::string arquivo;                // the file's text
  int32_t resultado;                  // its ResultCode
  std::string mensagem;               // a text its messages hold ("" for any)
  std::optional<std::string> linhas;  // the rows of the query afterwards, if given
};

// Imports each case's file in order; then the rows of consulta.
inline std::string RodaArquivos(const std::vector<CasoDeArquivo>& casos,
                                const std::string& consulta = "", bool sh_port_flag = false) {
  for (const CasoDeArquivo& c : casos) {
    const auto imp = ImportaArquivo(c.arquivo, sh_port_flag);
    EXPECT_EQ(imp->ResultCode(), c.resultado) << c.arquivo << "\n" << imp->msgs;
    EXPECT_NE(imp->msgs.find(c.mensagem), std::string::npos) << c.arquivo << "\n" << imp->msgs;
    if (c.linhas) {
      EXPECT_EQ(LinhasComoTexto(*Db, consulta), *c.linhas) << c.arquivo;
    }
  }
  return consulta.empty() ? "" : LinhasComoTexto(*Db, consulta);
}

// The test database of the importers that Registra enters into the
// keyword table: company PETR (id 1, country 0) with its asset of class ON
// and series PETR4 on exchange 1, also known by its provisional code
// PETR-provis. The caches an import fills start and end empty.
template <bool (*Registra)()>
class ImportDb : public ZiGlobsDb {
 protected:
  void SetUp() override {
    ZiGlobsDb::SetUp();
    LimpaCaches();
    ASSERT_TRUE(Registra());
    SqlScript(std::string(kEmpresaESerieDeTeste) +
              ";INSERT INTO registro_cod_provis VALUES ('PETR-provis', 'PETR4', 1, 1)");
  }
  void TearDown() override {
    LimpaCaches();
    DefineFabricaDeBolCot({});
    ZiGlobsDb::TearDown();
  }

  // Imports text as one file; its result code. Its messages stay in msgs_,
  // its last line message in ultima_, the lines it consumed in lidas_.
  int32_t Importa(const std::string& text) {
    const auto imp = ImportaArquivo(text);
    msgs_ = imp->msgs;
    ultima_ = imp->LastErrMsg;
    lidas_ = imp->lnn;
    return imp->ResultCode();
  }

  std::string msgs_, ultima_;
  int32_t lidas_ = 0;

 private:
  static void LimpaCaches() {
    LiberaCacheAcionistaDocPais();
    CacheContaBal().Limpa();
  }
};

// The market data importers on the importer tests' database.
using MercadoDb = ImportDb<RegistraImportadoresDeMercado>;

}  // namespace zun
