// Statement store against its raw floor.
//
// A scratch embedded database holds company 1 and accounts 1..6000. Two
// cases, each run several times on new statements (the median is shown):
//   (a) 600 cells (300 per period) stored as a new statement, then stored
//       again over itself with 60 changed;
//   (b) 2 x 6000 cells stored as a new statement, then again with 100
//       changed.
// Each write is DbBalPut through the session, as the import does it. The
// raw floor writes the same rows with prepared SQLite statements in one
// transaction on its own connection: header insert and cell inserts for
// the first write; for the second, the header update, one read of the
// statement's stored cells in key order (a write cannot tell which cells
// changed without them) and the updates of the cells that differ. The ratio is the floor's time
// over the store's (1.0 = as fast as the floor).
//
// Usage: statement_store_bench [--runs N] [--dir DIR] (defaults: 7,
// BUILD/bench-statements). Exit status 1 when a write fails.
//
// Thread-safety: single-threaded program.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "embedded/reference_db.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "importers/statements/statement_store.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbutil/session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zun::TBalanco;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

void Exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "sql failed: %s\n%s\n", err ? err : "?", sql.c_str());
    std::exit(1);
  }
}

sqlite3_stmt* Prepara(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "prepare failed: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
  return st;
}

void Passo(sqlite3* db, sqlite3_stmt* st) {
  if (sqlite3_step(st) != SQLITE_DONE) {
    std::fprintf(stderr, "step failed: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
  sqlite3_reset(st);
}

struct Celula {
  int periodo, conta;
  double valor;
};

// n cells spread over both periods, with random values.
std::vector<Celula> Celulas(int n, std::mt19937* rnd) {
  std::vector<Celula> c;
  std::uniform_real_distribution<double> v(-1e9, 1e9);
  for (int i = 0; i < n; ++i) c.push_back({i % 2, i / 2 + 1, v(*rnd)});
  return c;
}

// The floor's writes of one statement: the new statement with its cells,
// then the header update and the changed cells.
struct Piso {
  sqlite3* db;
  sqlite3_stmt *cab_ins, *cab_upd, *ins, *upd, *sel;

  explicit Piso(const std::string& path) : db(zun::OpenSqliteFile(path, false)) {
    cab_ins = Prepara(db,
                      "INSERT INTO balanco (empresa, dataref, consolidado, tipodocumento, "
                      "sourcedobal, meses, nao_loga_contas) VALUES (1, ?, 1, 0, 1, 12, 1)");
    cab_upd = Prepara(db, "UPDATE balanco SET meses = 12, nao_loga_contas = 0 WHERE id = ?");
    ins = Prepara(db,
                  "INSERT INTO BalancoUmaConta (balanco, conta, De3Meses, valor, CalcOuRx) "
                  "VALUES (?, ?, ?, ?, 0)");
    upd = Prepara(db,
                  "UPDATE BalancoUmaConta SET valor = ?, CalcOuRx = 0 WHERE balanco = ? AND "
                  "conta = ? AND De3Meses = ?");
    sel = Prepara(db,
                  "SELECT conta, De3Meses, valor, CalcOuRx FROM BalancoUmaConta WHERE balanco = ?");
  }
  int64_t Novo(const std::string& dataref, const std::vector<Celula>& cels) {
    Exec(db, "BEGIN IMMEDIATE");
    sqlite3_bind_text(cab_ins, 1, dataref.c_str(), -1, SQLITE_TRANSIENT);
    Passo(db, cab_ins);
    const int64_t id = sqlite3_last_insert_rowid(db);
    for (const Celula& c : cels) {
      sqlite3_bind_int64(ins, 1, id);
      sqlite3_bind_int(ins, 2, c.conta);
      sqlite3_bind_int(ins, 3, c.periodo);
      sqlite3_bind_double(ins, 4, c.valor);
      Passo(db, ins);
    }
    Exec(db, "UPDATE balanco SET nao_loga_contas = 0 WHERE id = " + std::to_string(id));
    Exec(db, "COMMIT");
    return id;
  }
  // cels: every cell of the statement, with the new values.
  void Muda(int64_t id, const std::vector<Celula>& cels) {
    std::vector<double> novo(2 * 6001, 0);
    for (const Celula& c : cels) novo[static_cast<size_t>(c.periodo * 6001 + c.conta)] = c.valor;
    Exec(db, "BEGIN IMMEDIATE");
    sqlite3_bind_int64(cab_upd, 1, id);
    Passo(db, cab_upd);
    std::vector<Celula> mudadas;
    sqlite3_bind_int64(sel, 1, id);
    while (sqlite3_step(sel) == SQLITE_ROW) {
      const Celula c{sqlite3_column_int(sel, 1), sqlite3_column_int(sel, 0),
                     novo[static_cast<size_t>(sqlite3_column_int(sel, 1) * 6001 +
                                              sqlite3_column_int(sel, 0))]};
      if (sqlite3_column_double(sel, 2) != c.valor || sqlite3_column_int(sel, 3) != 0) {
        mudadas.push_back(c);
      }
    }
    sqlite3_reset(sel);
    for (const Celula& c : mudadas) {
      sqlite3_bind_double(upd, 1, c.valor);
      sqlite3_bind_int64(upd, 2, id);
      sqlite3_bind_int(upd, 3, c.conta);
      sqlite3_bind_int(upd, 4, c.periodo);
      Passo(db, upd);
    }
    Exec(db, "COMMIT");
  }
  ~Piso() {
    for (sqlite3_stmt* st : {cab_ins, cab_upd, ins, upd, sel}) sqlite3_finalize(st);
    sqlite3_close_v2(db);
  }
};

// A date as the database stores it.
std::string TextoDaData(double data) {
  int y, mo, d, h, mi, s, ms;
  zun::DecodeDateTime(data, &y, &mo, &d, &h, &mi, &s, &ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d 00:00:00", y, mo, d);
  return buf;
}

double Mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Tempos {
  std::vector<double> novo, muda, piso_novo, piso_muda;
};

// One case: runs x (store, restore) and the same on the floor.
Tempos Caso(int celulas, int mudadas, int runs, Piso* piso, int* dia) {
  std::mt19937 rnd(celulas);
  Tempos t;
  for (int r = 0; r < runs; ++r) {
    const double data = zun::EncodeDateTime(2000, 1, 1, 0, 0, 0, 0) + (*dia)++;
    std::vector<Celula> cels = Celulas(celulas, &rnd);
    TBalanco b;
    b.empresa = 1;
    b.dataref = data;
    b.consolidado = 1;
    b.meses = 12;
    for (const Celula& c : cels) b.SetValor(c.periodo, c.conta, c.valor);
    auto t0 = Clock::now();
    if (zun::DbBalPut(&b, false) != 0) std::exit(1);
    auto t1 = Clock::now();
    std::vector<Celula> novas = cels;
    for (int i = 0; i < mudadas; ++i) {
      Celula& c = novas[static_cast<size_t>(i)];
      c.valor += 1;
      b.SetValor(c.periodo, c.conta, c.valor);
    }
    auto t2 = Clock::now();
    if (zun::DbBalPut(&b, false) != 0) std::exit(1);
    auto t3 = Clock::now();
    t.novo.push_back(Ms(t0, t1));
    t.muda.push_back(Ms(t2, t3));
    // The floor, on a statement of its own (source 1).
    const std::string dataref = TextoDaData(data);
    auto p0 = Clock::now();
    const int64_t id = piso->Novo(dataref, cels);
    auto p1 = Clock::now();
    piso->Muda(id, novas);
    auto p2 = Clock::now();
    t.piso_novo.push_back(Ms(p0, p1));
    t.piso_muda.push_back(Ms(p1, p2));
  }
  return t;
}

void Mostra(const char* nome, const Tempos& t) {
  const double n = Mediana(t.novo), m = Mediana(t.muda);
  const double pn = Mediana(t.piso_novo), pm = Mediana(t.piso_muda);
  std::printf("%s first store %8.2f ms (floor %7.2f ms, ratio %.2f)\n", nome, n, pn, pn / n);
  std::printf("%s store again %8.2f ms (floor %7.2f ms, ratio %.2f)\n", nome, m, pm, pm / m);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  std::string dir = std::string(ZUN_BENCH_BUILD_DIR) + "/bench-statements";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    if (a == "--dir") dir = argv[i + 1];
  }
  fs::remove_all(dir);
  fs::create_directories(dir);
  zun::SetLogFileName(dir + "/zuninput.log");
  const std::string path = dir + "/Bench.db";
  zun::InitDatabase(path);
  zun::AddUser(path, {"bench", "pw", "", true, 0, 0, 0});
  zun::RegisterDatabaseProcedures();
  {
    sqlite3* db = zun::OpenSqliteFile(path, false);
    Exec(db,
         "INSERT INTO empresa (id, cod, pais) VALUES (1, 'BNCH', 0);"
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 6000) "
         "INSERT INTO conta_bal (id, nome_extenso_por, nome_extenso_ing, nome_extenso_esp, "
         "nome_compacto_por, nome_compacto_ing, nome_compacto_esp, bloco) "
         "SELECT i, 'c', 'c', 'c', 'c', 'c', 'c', 1 FROM n");
    sqlite3_close_v2(db);
  }
  zun::Db = std::make_unique<zun::TAdoDataBaseComInfoTran>();
  zun::Db->SetConnectionString("Provider=SQLite;Initial Catalog=Bench;Data Directory=" + dir +
                               ";User ID=bench;Password=pw");
  zun::Db->Open();
  Piso piso(path);
  int dia = 0;
  std::printf("statement_store_bench: median of %d runs\n", runs);
  Mostra("(a)  600 cells, 60 changed:  ", Caso(600, 60, runs, &piso, &dia));
  Mostra("(b) 12000 cells, 100 changed:", Caso(12000, 100, runs, &piso, &dia));
  zun::Db.reset();
  fs::remove_all(dir);
  return 0;
}
