// The two passes against each other: every example file, mutated at random
// (a field replaced by a hostile token, a field dropped or added, a line
// repeated or removed, letter case changed), is checked alone (the dry run)
// and then imported, both on a copy of the demo database as it stands just
// before that example is applied. The dry run must predict the import's
// outcome, and a file that fails must leave the database as it found it.
//
// ZUN_TWO_PASSES_MUTATIONS sets the number of mutations (300 by default;
// `make differential` runs 5000) and ZUN_TWO_PASSES_SEED the seed.

#include <cstdio>
#include <cstdlib>
#include <random>

#include "queue_db.h"
#include "service/importers.h"
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

std::vector<std::string> Divide(const std::string& texto, char sep) {
  std::vector<std::string> partes;
  std::istringstream in(texto);
  for (std::string parte; std::getline(in, parte, sep);) partes.push_back(parte);
  return partes;
}

std::string Junta(const std::vector<std::string>& partes, const char* sep) {
  std::string s;
  for (size_t i = 0; i < partes.size(); ++i) s += (i ? sep : "") + partes[i];
  return s;
}

// One mutation of a data line (not blank, not a comment) of text: the
// mutated file and what was done.
std::pair<std::string, std::string> Muta(const std::string& texto, std::mt19937& rng) {
  static const std::vector<std::string> venenos = Divide(kVenenos, ' ');
  std::vector<std::string> linhas = Divide(texto, '\n');
  std::vector<size_t> dados;
  for (size_t i = 0; i < linhas.size(); ++i) {
    if (!linhas[i].empty() && linhas[i].back() == '\r') linhas[i].pop_back();
    const size_t c = linhas[i].find_first_not_of(' ');
    if (c != std::string::npos && linhas[i][c] != '#' && linhas[i][c] != ';' &&
        linhas[i].compare(c, 2, "//") != 0) {
      dados.push_back(i);
    }
  }
  auto sorteia = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  const size_t n = dados[sorteia(dados.size())];
  std::vector<std::string> campos = Divide(linhas[n], ' ');
  std::erase(campos, "");
  const size_t c = sorteia(campos.size());
  const auto campo = campos.begin() + static_cast<long>(c);
  const std::string veneno = venenos[sorteia(venenos.size())];
  const std::string linha = "line " + std::to_string(n + 1);
  std::string feito = linha + ": field " + std::to_string(c) + " <" + *campo + "> ";
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
      feito = linha + " repeated";
      campos.push_back("\r\n" + linhas[n]);
      break;
    case 5:
      feito = linha + " removed";
      campos.clear();
      break;
    default: {
      const bool alta = rng() % 2;
      feito = linha + (alta ? " upper case" : " lower case");
      for (std::string& f : campos) {
        for (char& ch : f) ch = static_cast<char>(alta ? toupper(ch) : tolower(ch));
      }
    }
  }
  linhas[n] = Junta(campos, " ");
  return {Junta(linhas, "\r\n") + "\r\n", feito};
}

// In dir: logs in to ZunInput.db as the service, works as the file's owner
// and runs the file (check pass only when importa is false); the file's
// code, and its status line in *diag. Standard output goes to a file.
int32_t Importa(const fs::path& dir, const fs::path& arquivo, bool importa, std::string* diag) {
  fflush(stdout);
  const int saida = dup(STDOUT_FILENO);
  FILE* console = freopen((dir / "console.txt").c_str(), "w", stdout);
  const fs::path antes = fs::current_path();
  fs::current_path(dir);
  RegistraImportadores();
  int32_t erro = LoginInProcess();
  if (erro == 0) erro = ChamaSetuser("ana.lima");
  diag->clear();
  if (erro == 0) {
    int32_t linha = 0;
    std::string ultima;
    try {
      ImpCliImport(arquivo.string(), false, &linha, &ultima, diag, &erro, nullptr, importa);
    } catch (const std::exception& x) {
      erro = -1;
      *diag = std::string("exception: ") + x.what();
    }
  }
  int32_t fim = 1;
  EncerraZiGlobs(&fim);
  ReqGBolPendente.clear();
  fs::current_path(antes);
  fflush(stdout);
  if (console) dup2(saida, STDOUT_FILENO);
  close(saida);
  return erro;
}

TEST(TwoPasses, TheDryRunPredictsTheImportAndAFailedFileWritesNothing) {
  const fs::path dir = ScratchDir("zun2passes");
  SetLogFileName((dir / "zuninput.log").string());
  RegisterDatabaseProcedures();
  const std::string banco = (dir / "ZunInput.db").string();
  NewQueueDatabase(banco);
  AddExampleRows(banco);
  // Each example's base: the database just before the demo applies it.
  const std::vector<std::string> exemplos = Divide(kExemplos, ' ');
  const fs::path pasta = fs::path(ZUN_TEST_SOURCE_DIR) / "examples";
  std::string diag_check, diag_import;
  for (const std::string& e : exemplos) {
    fs::copy_file(banco, dir / (e + ".db"));
    EXPECT_EQ(Importa(dir, pasta / e, true, &diag_import) == 0, e != "check_fails.txt")
        << e << " " << diag_import;
  }

  const char* n = std::getenv("ZUN_TWO_PASSES_MUTATIONS");
  const char* s = std::getenv("ZUN_TWO_PASSES_SEED");
  const int mutacoes = n ? std::atoi(n) : 300;
  const unsigned semente = s ? static_cast<unsigned>(std::atol(s)) : 20261207u;
  std::mt19937 rng(semente);
  std::map<std::string, std::map<std::string, std::string>> bases;
  const fs::path arquivo = dir / "mutated.txt";
  int discordancias = 0, importados = 0;
  for (int m = 0; m < mutacoes; ++m) {
    const std::string exemplo = exemplos[rng() % exemplos.size()];
    const auto [texto, feito] = Muta(ReadFile(pasta / exemplo), rng);
    std::ofstream(arquivo, std::ios::binary) << texto;
    fs::copy_file(dir / (exemplo + ".db"), banco, fs::copy_options::overwrite_existing);
    if (!bases.count(exemplo)) bases[exemplo] = Tables(banco, kForaDaComparacao);
    const int32_t check = Importa(dir, arquivo, false, &diag_check);
    const int32_t import = Importa(dir, arquivo, true, &diag_import);
    importados += import == 0;
    std::string falha;
    if ((check == 0) != (import == 0)) {
      falha = "dry run " + std::to_string(check) + ", import " + std::to_string(import);
    } else if (import != 0) {
      const auto depois = Tables(banco, kForaDaComparacao);
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
  if (!HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace zun
