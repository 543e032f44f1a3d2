// The statement check and store on a scratch embedded database.
//
// (c) The consistency check alone (one period) on a 4000-line format: 400
//     groups of a group line, eight parts (one subtracted) and their total,
//     with every part and half of the totals reported.
// (a) A realistic statement, a 400-line format with 600 reported cells (400
//     of the full period, 200 of the quarter), checked and stored over an
//     empty database; then the same statement again with 60 cells changed.
//     Repeated on distinct reference dates; the figures are per statement.
//     The raw floor writes the same rows with prepared statements in one
//     transaction on a connection of its own with the provider's settings
//     (header and cells; the second time the header, a read of the stored
//     cells and the changed cells); the ratio is the floor's time over the store's (1.0: as fast
//     as the floor).
//
// The accounts and the 400-line format are created through the import
// engine ("*CBAL", "*FBAL", "*APRESFBAL"), the format is loaded as the
// import loads it.
//
// Usage: statement_check_bench [--rounds N] (default 40). Exit status 1
// when a step fails.
//
// Thread-safety: single-threaded program.
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "embedded/reference_db.h"
#include "engine/imp_main.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "importers/objects/registration.h"
#include "importers/statements/check_balanco.h"
#include "importers/statements/registration.h"
#include "importers/statements/statement.h"
#include "importers/statements/statement_format.h"
#include "importers/statements/statement_store.h"
#include "toolbox/dbutil/session.h"

namespace {

using Clock = std::chrono::steady_clock;
using zun::TBalanco;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double Mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

[[noreturn]] void Falha(const std::string& o_que) {
  std::fprintf(stderr, "statement_check_bench: %s\n", o_que.c_str());
  std::exit(1);
}

class ImpSilencioso : public zun::TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string&) override {}
};

void Importa(const std::string& dir, const std::string& text) {
  const std::string path = dir + "/bench.txt";
  std::ofstream(path, std::ios::binary) << text;
  ImpSilencioso imp(path, true);
  while (imp.CanGoOn()) imp.ImportNext();
  if (imp.ResultCode() != 0) Falha("import failed: " + imp.LastErrMsg);
}

// Group g of a format: a group line, parts 1..8 (the fifth subtracted), a
// total; accounts from base + 10 * g.
void LinhasDoGrupo(int32_t base, int32_t g, std::vector<std::string>* linhas) {
  const int32_t c = base + 10 * g;
  linhas->push_back("0 " + std::to_string(c) + " 0 0 0");
  for (int32_t p = 1; p <= 8; ++p) {
    linhas->push_back("0 " + std::to_string(c + p) + (p == 5 ? " 4" : " 2") + " 1 0");
  }
  linhas->push_back("0 " + std::to_string(c + 9) + " 1 1 0");
}

// Reported values of group g: parts p * 10, the total with its sum when
// com_total.
void ValoresDoGrupo(int32_t base, int32_t g, int periodo, bool com_total, TBalanco* bal) {
  const int32_t c = base + 10 * g;
  double soma = 0;
  for (int32_t p = 1; p <= 8; ++p) {
    const double v = p * 10.0 + g;
    bal->SetValor(periodo, c + p, v);
    soma += p == 5 ? -v : v;
  }
  if (com_total) {
    bal->SetValor(periodo, c, soma);
    bal->SetValor(periodo, c + 9, soma);
  }
}

zun::TFormatoBal FormatoEmMemoria(int32_t id, int32_t grupos) {
  std::vector<std::string> linhas;
  for (int32_t g = 0; g < grupos; ++g) LinhasDoGrupo(1, g, &linhas);
  zun::TFormatoBal f;
  f.id = id;
  for (const std::string& l : linhas) {
    zun::TLinhaFmtBal x;
    x.fmtbal = id;
    x.seq = f.Count() + 1;
    int tipo, sinal;
    std::sscanf(l.c_str(), "%d %d %d %d", &tipo, &x.conta, &sinal, &x.indentacao);
    x.tipo = static_cast<uint8_t>(tipo);
    x.sinal = static_cast<uint8_t>(sinal);
    f.Linhas.push_back(x);
  }
  zun::DerivaArvoreFmtBal(&f);
  return f;
}

// The raw floor: the header of statement id (inserted, or updated when
// atualiza) and rows (account, period, value) written in one transaction
// with prepared statements. An update first reads the statement's stored
// cells, as the store must to know which changed.
double Piso(sqlite3* db, int64_t id, const std::vector<std::array<double, 3>>& rows,
            bool atualiza) {
  const auto t0 = Clock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* cab = nullptr;
  const char* sql_cab = atualiza ? "UPDATE balanco SET meses = 12, checagemfalhou = 0 WHERE id = ?1"
                                 : "INSERT INTO balanco (id, empresa, dataref, consolidado, "
                                   "sourcedobal, tipodocumento, meses) VALUES (?1, 1, "
                                   "datetime(?1, 'unixepoch'), 1, 1, 0, 12)";
  if (sqlite3_prepare_v2(db, sql_cab, -1, &cab, nullptr) != SQLITE_OK) Falha(sqlite3_errmsg(db));
  sqlite3_bind_int64(cab, 1, id);
  if (sqlite3_step(cab) != SQLITE_DONE) Falha(sqlite3_errmsg(db));
  sqlite3_finalize(cab);
  if (atualiza) {
    sqlite3_stmt* sel = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT conta, De3Meses, valor, CalcOuRx FROM BalancoUmaConta "
                           "WHERE balanco = ?1",
                           -1, &sel, nullptr) != SQLITE_OK) {
      Falha(sqlite3_errmsg(db));
    }
    sqlite3_bind_int64(sel, 1, id);
    double soma = 0;
    while (sqlite3_step(sel) == SQLITE_ROW) soma += sqlite3_column_double(sel, 2);
    sqlite3_finalize(sel);
    if (soma != soma) Falha("floor read");
  }
  sqlite3_stmt* st = nullptr;
  const char* sql = atualiza ? "UPDATE BalancoUmaConta SET valor = ?3, CalcOuRx = 0 "
                               "WHERE balanco = ?4 AND conta = ?1 AND De3Meses = ?2"
                             : "INSERT INTO BalancoUmaConta (conta, De3Meses, valor, CalcOuRx, "
                               "balanco) VALUES (?1, ?2, ?3, 0, ?4)";
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) Falha(sqlite3_errmsg(db));
  for (const auto& r : rows) {
    sqlite3_bind_int(st, 1, static_cast<int>(r[0]));
    sqlite3_bind_int(st, 2, static_cast<int>(r[1]));
    sqlite3_bind_double(st, 3, r[2]);
    sqlite3_bind_int64(st, 4, id);
    if (sqlite3_step(st) != SQLITE_DONE) Falha(sqlite3_errmsg(db));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Falha("floor commit");
  return Ms(t0, Clock::now());
}

}  // namespace

int main(int argc, char** argv) {
  int rodadas = 40;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0) rodadas = std::max(1, std::atoi(argv[i + 1]));
  }
  char tmpl[] = "/tmp/zun-stmtbench-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) Falha("no scratch directory");
  const std::string dir = tmpl;
  zun::SetLogFileName(dir + "/bench.log");
  zun::RegisterDatabaseProcedures();
  zun::InitDatabase(dir + "/ZunRef.db");
  zun::AddUser(dir + "/ZunRef.db", {"bench", "pw", "", true, 0, 0, 0});
  zun::SetProgramArgs({"statement_check_bench", "/MailGateway=http://127.0.0.1:9/"});
  zun::IniciaZiGlobs();
  zun::Db->SetConnectionString(
      "Provider=SQLite;Data Source=localhost;Initial Catalog=ZunRef;Data Directory=" + dir +
      ";User ID=bench;Password=pw");
  zun::Db->Open();
  zun::RegistraImportadoresDeObjetos();
  zun::RegistraImportadoresDeBalancos();
  zun::Db->Execute("INSERT INTO empresa (id, cod, pais) VALUES (1, 'BENCH', 0)");

  // The accounts of both formats: 1..4000.
  std::string plano;
  for (int32_t c = 1; c <= 4000; ++c) {
    const std::string n = " c" + std::to_string(c);
    plano += "*CBAL " + std::to_string(c) + n + n + n + n + n + n +
             " 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
  }
  Importa(dir, plano);

  // (c) The check alone on 4000 lines.
  {
    const zun::TFormatoBal fmt = FormatoEmMemoria(1, 400);
    TBalanco base;
    base.meses = 12;
    base.datamoeda = 45291;
    for (int32_t g = 0; g < 400; ++g) ValoresDoGrupo(1, g, 0, g % 2 == 0, &base);
    std::vector<double> tempos;
    for (int r = 0; r < rodadas; ++r) {
      TBalanco bal = base;
      const auto t0 = Clock::now();
      zun::TCheckBalanco(fmt, bal, 0).Checa();
      tempos.push_back(Ms(t0, Clock::now()));
      if (bal.ChecagemFalhou != 1) Falha("unexpected grade of the 4000-line check");
    }
    std::printf("(c) check alone, 4000-line format: %.2f ms (median of %d; goal < 20 ms)\n",
                Mediana(tempos), rodadas);
  }

  // (a) Check and store, 400-line format, 600 cells.
  std::vector<std::string> linhas;
  for (int32_t g = 0; g < 40; ++g) LinhasDoGrupo(1, g, &linhas);
  std::string formato = "*FBAL 8 0 bench bench\n*APRESFBAL 8\n";
  for (const std::string& l : linhas) formato += l + "\n";
  Importa(dir, formato + "END\n");
  zun::TFormatoBal fmt;
  if (zun::CarregaFormatoBal(8, &fmt) != 0 || fmt.Count() != 400) Falha("format 8 not loaded");

  sqlite3* piso = nullptr;
  if (sqlite3_open((dir + "/ZunRef.db").c_str(), &piso) != SQLITE_OK) Falha("no raw connection");
  sqlite3_busy_timeout(piso, 5000);
  // The provider's own settings.
  sqlite3_exec(piso, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON",
               nullptr, nullptr, nullptr);
  std::vector<double> novo, novo_store, muda, muda_store, piso_novo, piso_muda;
  for (int r = 0; r < rodadas; ++r) {
    TBalanco bal;
    bal.empresa = 1;
    bal.dataref = 40000 + r;
    bal.consolidado = 1;
    bal.meses = 12;
    bal.datamoeda = bal.dataref;
    // 400 cells of the full period, 200 of the quarter (20 groups).
    for (int32_t g = 0; g < 40; ++g) ValoresDoGrupo(1, g, 0, true, &bal);
    for (int32_t g = 0; g < 20; ++g) ValoresDoGrupo(1, g, 1, true, &bal);
    auto t0 = Clock::now();
    zun::ChecaBalanco(fmt, bal);
    const auto t1 = Clock::now();
    if (zun::DbBalPut(&bal, false) != 0) Falha("store failed");
    const auto t2 = Clock::now();
    novo.push_back(Ms(t0, t2));
    novo_store.push_back(Ms(t1, t2));
    // 60 parts changed (four in each of 15 groups, keeping their sums).
    for (int32_t g = 0; g < 15; ++g) {
      for (int32_t p : {1, 2, 3, 4}) {
        bal.SetValor(0, 1 + 10 * g + p, bal.Valor(0, 1 + 10 * g + p) + (p % 2 ? 0.5 : -0.5));
      }
    }
    t0 = Clock::now();
    zun::ChecaBalanco(fmt, bal);
    const auto t3 = Clock::now();
    if (zun::DbBalPut(&bal, false) != 0) Falha("second store failed");
    const auto t4 = Clock::now();
    muda.push_back(Ms(t0, t4));
    muda_store.push_back(Ms(t3, t4));
    // The floor: the same rows of a statement id of its own.
    std::vector<std::array<double, 3>> todas, mudadas;
    for (int p = 0; p < 2; ++p) {
      for (int32_t a = 1; a <= zun::kMaxContaBal; ++a) {
        if (!bal.Nulo(p, a)) todas.push_back({double(a), double(p), bal.Valor(p, a)});
      }
    }
    for (int32_t g = 0; g < 15; ++g) {
      for (int32_t p : {1, 2, 3, 4}) mudadas.push_back({double(1 + 10 * g + p), 0, 1.0 * r});
    }
    const int64_t id_piso = 2000000 - r;  // below the ids the store takes next
    piso_novo.push_back(Piso(piso, id_piso, todas, false));
    piso_muda.push_back(Piso(piso, id_piso, mudadas, true));
    if (r == 0 && (todas.size() != 600 || bal.ChecagemFalhou != 0)) {
      Falha("the statement has " + std::to_string(todas.size()) + " cells, grade " +
            std::to_string(bal.ChecagemFalhou));
    }
  }
  sqlite3_close(piso);
  std::printf(
      "(a) check and store, 400-line format, 600 cells, new: %.2f ms per statement "
      "(store %.2f ms, raw floor %.2f ms, ratio %.2f); goal < 5 ms, ratio >= 0.7\n",
      Mediana(novo), Mediana(novo_store), Mediana(piso_novo),
      Mediana(piso_novo) / Mediana(novo_store));
  std::printf(
      "(a) again with 60 cells changed: %.2f ms per statement (store %.2f ms, raw floor "
      "%.2f ms, ratio %.2f)\n",
      Mediana(muda), Mediana(muda_store), Mediana(piso_muda),
      Mediana(piso_muda) / Mediana(muda_store));
  int32_t code = 0;
  zun::EncerraZiGlobs(&code);
  std::filesystem::remove_all(dir);
  return 0;
}
