// The two passes against each other: every example file, mutated at random
// (a field replaced by a hostile token, a field dropped or added, a line
// repeated or removed, letter case changed), is checked alone (the dry run)
// and then imported, both on a copy of the demo database as it stands just
// before that example is applied. The dry run must predict the import's
// outcome, and a file that fails must leave the database as it found it.
//
// ZUN_TWO_PASSES_MUTATIONS sets the number of mutations (300 by default;
// `make differential` runs 5000) and ZUN_TWO_PASSES_SEED the seed.
#include <sqlite3.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "database/reference_db.h"
#include "db/global_state.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "service/importers.h"
#include "service/login.h"
#include "service/queue_step.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

// The examples in the order the demo queues them.
const char kExemplos[] =
    "good.txt small_tables.txt quotes_bulletin.txt quotes_conditional.txt corporate_actions.txt "
    "news.txt object_records.txt registry.txt share_bases.txt shareholders.txt composition.txt "
    "portfolio.txt statement_plan.txt statements.txt security_master_1_company.txt "
    "security_master_2_class.txt security_master_3_series.txt security_master_4_data.txt "
    "check_fails.txt";

// Tables a run writes whatever its files do: logins, the queue, settings.
const std::set<std::string> kForaDaComparacao = {"users", "import_files", "settings"};

// The hostile tokens a field may be replaced with or joined by.
const char kVenenos[] =
    "- -- 0 -1 00 1e-400 1e400 nan inf 2147483648 -2147483649 99999999999999999999 0.0000001 1,5 "
    "0000-00-00 1900-01-01 2099-12-31 2024-02-30 31/12/2024 x \xE9 \xA0 \" ' END *QT ; # ON PN "
    "PETR4 PETR ZDEM1 1 7 6001 9 80 32 "
    "0000000000000000000000000000000000000000000000000000000000000000000000000000";

std::string LeArquivo(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Divide(const std::string& texto, char sep) {
  std::vector<std::string> partes;
  std::string parte;
  std::istringstream in(texto);
  while (std::getline(in, parte, sep)) partes.push_back(parte);
  return partes;
}

std::string Junta(const std::vector<std::string>& partes, const char* sep) {
  std::string s;
  for (size_t i = 0; i < partes.size(); ++i) s += (i ? sep : "") + partes[i];
  return s;
}

bool LinhaDeDados(const std::string& linha) {
  const size_t i = linha.find_first_not_of(" \r");
  return i != std::string::npos && linha[i] != '#' && linha[i] != ';' &&
         linha.compare(i, 2, "//") != 0;
}

// One mutation of text: the mutated file and what was done.
std::pair<std::string, std::string> Muta(const std::string& texto, std::mt19937& rng) {
  static const std::vector<std::string> venenos = Divide(kVenenos, ' ');
  std::vector<std::string> linhas = Divide(texto, '\n');
  std::vector<size_t> dados;
  for (size_t i = 0; i < linhas.size(); ++i) {
    if (!linhas[i].empty() && linhas[i].back() == '\r') linhas[i].pop_back();
    if (LinhaDeDados(linhas[i])) dados.push_back(i);
  }
  auto sorteia = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  const size_t n = dados[sorteia(dados.size())];
  std::vector<std::string> campos = Divide(linhas[n], ' ');
  std::erase(campos, "");
  const size_t c = sorteia(campos.size());
  const auto campo = campos.begin() + static_cast<long>(c);
  const std::string veneno = venenos[sorteia(venenos.size())];
  std::string feito =
      "line " + std::to_string(n + 1) + ": field " + std::to_string(c) + " <" + *campo + "> ";
  switch (sorteia(7)) {
    case 0:
    case 1:
      feito += "-> <" + veneno + ">";
      *campo = veneno;
      break;
    case 2:
      feito += "dropped";
      campos.erase(campo);
      break;
    case 3:
      feito += "followed by <" + veneno + ">";
      campos.insert(campo + 1, veneno);
      break;
    case 4:
      feito = "line " + std::to_string(n + 1) + " repeated";
      campos.push_back("\r\n" + linhas[n]);
      break;
    case 5:
      feito = "line " + std::to_string(n + 1) + " removed";
      campos.clear();
      break;
    default: {
      const bool alta = rng() % 2;
      feito = "line " + std::to_string(n + 1) + (alta ? " upper case" : " lower case");
      for (std::string& f : campos) {
        for (char& ch : f) ch = static_cast<char>(alta ? toupper(ch) : tolower(ch));
      }
    }
  }
  linhas[n] = Junta(campos, " ");
  return {Junta(linhas, "\r\n") + "\r\n", feito};
}

// Every row of every compared table of the database file, sorted per table.
std::map<std::string, std::vector<std::string>> Conteudo(const std::string& path) {
  std::map<std::string, std::vector<std::string>> tabelas;
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<std::string> nomes;
  auto nome = [](void* v, int, char** c, char**) {
    static_cast<std::vector<std::string>*>(v)->push_back(c[0]);
    return 0;
  };
  sqlite3_exec(db, "SELECT name FROM sqlite_master WHERE type = 'table'", nome, &nomes, nullptr);
  for (const std::string& t : nomes) {
    if (kForaDaComparacao.count(t)) continue;
    std::vector<std::string>& linhas = tabelas[t];
    auto linha = [](void* v, int n, char** c, char**) {
      std::string s;
      for (int i = 0; i < n; ++i) s += std::string(c[i] ? c[i] : "<null>") + "|";
      static_cast<std::vector<std::string>*>(v)->push_back(s);
      return 0;
    };
    sqlite3_exec(db, ("SELECT * FROM \"" + t + "\"").c_str(), linha, &linhas, nullptr);
    std::sort(linhas.begin(), linhas.end());
  }
  sqlite3_close(db);
  return tabelas;
}

class TwoPasses : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("zun2passes-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetLogFileName((dir_ / "zuninput.log").string());
    RegisterDatabaseProcedures();
    const std::string db = (dir_ / "ZunInput.db").string();
    InitDatabase(db);
    AddUser(db, {"zunsvc", "s3cret", "", true, 0, 0, 0});
    AddUser(db, {"ana.lima", "x", "ana.lima@example.com", false, 0, 0, 0});
    // The demo's own rows: company PETR with series PETR4, and the quoted series.
    std::string sql =
        "INSERT INTO empresa (id, cod, pais, nome) VALUES (1, 'PETR', 0, 'Petrobras');"
        "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 3, 1, 0);"
        "INSERT INTO anb (id, acao, cod, bolsa) VALUES (1, 1, 'PETR4', 1);"
        "UPDATE anb SET pais_pro_cod_zun = 0 WHERE id = 1;";
    for (const std::string& l : Divide(LeArquivo(Exemplo("quote_series.sql")), '\n')) {
      if (!l.empty()) sql += l + ";";
    }
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    ASSERT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(h);
    // Each example's base: the database just before the demo applies it.
    for (const std::string& e : Divide(kExemplos, ' ')) {
      fs::copy_file(db, dir_ / (e + ".db"));
      std::string diag;
      const int32_t code = Importa(Exemplo(e), true, &diag);
      EXPECT_EQ(code == 0, e != "check_fails.txt") << e << " " << diag;
    }
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static fs::path Exemplo(const std::string& nome) {
    return fs::path(ZUN_TEST_SOURCE_DIR) / "examples" / nome;
  }

  // Logs in to the working database as the service, works as the file's
  // owner and runs the file (check pass only when importa is false); the
  // file's code and its status line. Standard output goes to a file.
  static int32_t Importa(const fs::path& arquivo, bool importa, std::string* diag = nullptr) {
    fflush(stdout);
    const int saida = dup(STDOUT_FILENO);
    FILE* console = freopen((dir_ / "console.txt").c_str(), "w", stdout);
    SetProgramArgs({"zuninput", "-provider:SQLite", "-user:zunsvc", "-password:s3cret",
                    "-MailGateway:http://127.0.0.1:9/"});
    const fs::path antes = fs::current_path();
    fs::current_path(dir_);
    IniciaZiGlobs();
    RegistraImportadores();
    int32_t erro = InitDbConnection("", "", false);
    if (erro == 0) erro = ChamaSetuser("ana.lima");
    std::string status;
    if (erro == 0) {
      int32_t linha = 0;
      std::string ultima;
      try {
        ImpCliImport(arquivo.string(), false, &linha, &ultima, &status, &erro, nullptr, importa);
      } catch (const std::exception& x) {
        erro = -1;
        status = std::string("exception: ") + x.what();
      }
    }
    int32_t fim = 1;
    EncerraZiGlobs(&fim);
    ReqGBolPendente.clear();
    fs::current_path(antes);
    fflush(stdout);
    if (console) dup2(saida, STDOUT_FILENO);
    close(saida);
    if (diag) *diag = status;
    return erro;
  }

  static fs::path dir_;
};
fs::path TwoPasses::dir_;

TEST_F(TwoPasses, TheDryRunPredictsTheImportAndAFailedFileWritesNothing) {
  const char* n = std::getenv("ZUN_TWO_PASSES_MUTATIONS");
  const char* s = std::getenv("ZUN_TWO_PASSES_SEED");
  const int mutacoes = n ? std::atoi(n) : 300;
  const unsigned semente = s ? static_cast<unsigned>(std::atol(s)) : 20261207u;
  std::mt19937 rng(semente);
  const std::vector<std::string> exemplos = Divide(kExemplos, ' ');
  std::map<std::string, std::map<std::string, std::vector<std::string>>> bases;
  const fs::path banco = dir_ / "ZunInput.db";
  const fs::path arquivo = dir_ / "mutated.txt";
  int discordancias = 0, importados = 0;
  for (int m = 0; m < mutacoes; ++m) {
    const std::string exemplo = exemplos[rng() % exemplos.size()];
    const auto [texto, feito] = Muta(LeArquivo(Exemplo(exemplo)), rng);
    std::ofstream(arquivo, std::ios::binary) << texto;
    fs::copy_file(dir_ / (exemplo + ".db"), banco, fs::copy_options::overwrite_existing);
    if (!bases.count(exemplo)) bases[exemplo] = Conteudo(banco.string());
    std::string diag_check, diag_import;
    const int32_t check = Importa(arquivo, false, &diag_check);
    const int32_t import = Importa(arquivo, true, &diag_import);
    importados += import == 0;
    std::string falha;
    if ((check == 0) != (import == 0)) {
      falha = "dry run " + std::to_string(check) + ", import " + std::to_string(import);
    } else if (import != 0) {
      const auto depois = Conteudo(banco.string());
      for (const auto& [tabela, linhas] : bases[exemplo]) {
        if (depois.at(tabela) != linhas) falha += " changed:" + tabela;
      }
      if (!falha.empty()) falha = "failed with " + std::to_string(import) + falha;
    }
    if (!falha.empty()) {
      ++discordancias;
      ADD_FAILURE() << "#" << m << " " << exemplo << " " << feito << ": " << falha
                    << "\n  check: " << diag_check << "\n  import: " << diag_import;
    }
  }
  std::cerr << mutacoes << " mutations, seed " << semente << ", " << importados << " imported, "
            << discordancias << " disagreements\n";
}

}  // namespace
}  // namespace zun
