// Feeds arbitrary bytes as an import file to the real importers: the whole
// keyword table with every importer registered (as the service registers
// them), the check pass and then the import pass, on an embedded database
// seeded like the demo's (the company PETR with its series PETR4 and the
// quoted series of examples/quote_series.sql), as the file owner ana.lima.
// The seeded database is made once; every input runs on a fresh copy of it
// after a login of its own, so that no input sees what another wrote and
// the process-wide caches start from the seeded rows again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "db/reqgbol.h"
#include "embedded/reference_db.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "importers/ownership/shareholders.h"
#include "importers/statements/accounts.h"
#include "notify/mail.h"
#include "service/importers.h"
#include "service/login.h"
#include "service/queue_step.h"
#include "toolbox/dbutil/session.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

struct Pastas {
  fs::path raiz;    // the working directory: ZunInput.db and the input file
  fs::path modelo;  // the seeded database, copied before each input
};

const Pastas& PastasDoFuzz() {
  static const Pastas p = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    Pastas r;
    r.raiz = fs::path(base) / ("zun_import_fuzz." + std::to_string(getpid()));
    r.modelo = r.raiz / "modelo.db";
    return r;
  }();
  return p;
}

void ExecutaSql(const std::string& sql) {
  std::istringstream in(sql);
  for (std::string s; std::getline(in, s, '\n');) {
    if (!s.empty()) Db->Execute(s);
  }
}

void RemoveBanco(const fs::path& banco) {
  for (const char* ext : {"", "-wal", "-shm"}) fs::remove(banco.string() + ext);
}

// Logs in to ZunInput.db in the working directory as the service and works
// as the file owner; 0 or the login's code.
int32_t Entra() {
  SetProgramArgs({"zuninput", "-provider:SQLite", "-user:zunsvc",
                  "-PasswordFile:" + (PastasDoFuzz().raiz / "senha").string(),
                  "-MailGateway:http://127.0.0.1:9/"});
  IniciaZiGlobs();
  int32_t erro = InitDbConnection("", "", false);
  if (erro == 0) erro = ChamaSetuser("ana.lima");
  return erro;
}

void Sai() {
  int32_t fim = 1;  // no bulletin request at the end
  EncerraZiGlobs(&fim);
  ReqGBolPendente.clear();
  LiberaCacheAcionistaDocPais();
  CacheContaBal().Limpa();
}

void CriaModelo() {
  const Pastas& p = PastasDoFuzz();
  fs::remove_all(p.raiz);
  fs::create_directories(p.raiz);
  fs::current_path(p.raiz);
  std::ofstream(p.raiz / "senha") << "fuzz-pw\n";
  fs::permissions(p.raiz / "senha", fs::perms::owner_read | fs::perms::owner_write);
  const fs::path banco = p.raiz / "ZunInput.db";
  InitDatabase(banco.string());
  AddUser(banco.string(), {"zunsvc", "fuzz-pw", "ops@example.com", true, 0, 0, 0});
  AddUser(banco.string(), {"ana.lima", "x", "ana@example.com", false, 0, 0, 0});
  if (Entra() != 0) __builtin_trap();
  std::ifstream series(fs::path(ZUN_SOURCE_DIR) / "examples" / "quote_series.sql");
  std::stringstream sql;
  sql << "INSERT INTO empresa (id, cod, pais, nome) VALUES (1, 'PETR', 0, 'Petrobras')\n"
         "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 3, 1, 0)\n"
         "INSERT INTO anb (id, acao, cod, bolsa, pais_pro_cod_zun) VALUES (1, 1, 'PETR4', 1, 0)\n"
      << series.rdbuf();
  ExecutaSql(sql.str());
  Sai();
  fs::copy_file(banco, p.modelo, fs::copy_options::overwrite_existing);
}

}  // namespace
}  // namespace zun

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace zun;
  SetLogFileName("/dev/null");
  SetMailSuppressed(true);
  RegisterDatabaseProcedures();
  if (!RegistraImportadores()) __builtin_trap();
  CriaModelo();
  // The standard output (every line message) is not the fuzzer's.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zun;
  const Pastas& p = PastasDoFuzz();
  const fs::path banco = p.raiz / "ZunInput.db";
  RemoveBanco(banco);
  fs::copy_file(p.modelo, banco);
  const fs::path arquivo = p.raiz / "import.txt";
  std::ofstream(arquivo, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (Entra() != 0) __builtin_trap();
  int32_t linha = 0, erro = 0;
  std::string ultima, diag;
  try {
    ImpCliImport(arquivo.string(), false, &linha, &ultima, &diag, &erro, nullptr, true);
  } catch (const std::exception&) {
    // An exception ends the file and becomes its code in the queue step.
  }
  Sai();
  return 0;
}
