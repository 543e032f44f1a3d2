// Quote import throughput against its raw floor.
//
// A scratch embedded database holds 5,000 series on exchange 1 and one
// queued file of 100,000 "*QT" lines with 12 values each (the 5,000 series
// on 20 days, each day a bulletin). One run of the real executable imports
// it: lines per second from its wall time, its processor time (steadier
// than the wall time on a busy machine) and its peak resident memory.
// With perf available (PERF=0 turns it off) that run is sampled, and the
// time split comes from the samples: look-ups (the series' destination
// kind), writes ("CotacaoImportV3"), log (the log's file appends) and
// engine (everything else: reading, parsing, checking, the bulletins).
//
// In the same program, on copies of the same database, the raw floors: the
// same look-ups (check pass, then import pass) and the same upserts done
// directly with prepared SQLite statements with the provider's pragmas, once
// in autocommit and once in one transaction. The ratios are the service's
// lines per second over each floor's.
//
// Then the same file on a copy of the same database through the SQL Server
// provider (FreeTDS's ODBC driver) against the TDS test server on
// loopback: lines per second, and round trips per line from the server's
// request count of every connection of the run (login and queue included).
// With --kills K, that copy's run is killed K times at random moments
// (SIGKILL, lease expired after each) and run again until the file is
// recorded; the quotes and the data log must then equal the embedded run's
// rows.
//
// Usage: quote_import_bench [--series N] [--days D] [--dir DIR] [--kills K]
// [--seed S] (ZUNINPUT_EXE names the executable; defaults: 5000, 20,
// BUILD/bench-quotes, 0, 1). Exit status 1 when a run fails or the rows
// differ.
//
// Thread-safety: single-threaded program.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/testbeds/tds_server_process.h"
#include "embedded/reference_db.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Segundos(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void Exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "sql failed: %s\n%s\n", err ? err : "?", sql.c_str());
    std::exit(1);
  }
}

struct Linha {
  std::string ticker, data;  // data as stored: "yyyy-mm-dd 00:00:00"
  double valores[12];
};

// Runs argv in dir, standard output and error to log; its exit status,
// wall seconds, processor seconds (user and system) and peak resident
// kilobytes.
// With kill_after > 0 the run is killed (SIGKILL) after that many seconds
// when still running (status -2).
int Roda(const std::vector<std::string>& argv, const fs::path& dir, const fs::path& log,
         double* wall, double* cpu, long* max_rss_kb, double kill_after = 0) {
  std::fflush(nullptr);  // else the child's freopen writes our buffered lines again
  const auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    if (!freopen(log.c_str(), "w", stdout) || !freopen(log.c_str(), "a", stderr)) _exit(127);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (kill_after > 0) {
    while (wait4(pid, &status, WNOHANG, &ru) == 0) {
      if (Segundos(t0, Clock::now()) >= kill_after) {
        kill(pid, SIGKILL);
        wait4(pid, &status, 0, &ru);
        *wall = Segundos(t0, Clock::now());
        return -2;
      }
      usleep(2000);
    }
  } else {
    wait4(pid, &status, 0, &ru);
  }
  *wall = Segundos(t0, Clock::now());
  *cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  *max_rss_kb = ru.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Inclusive sample shares of the symbols perf reports, by demangled name
// prefix; the first matching category wins.
std::map<std::string, double> Divisao(const fs::path& dir) {
  const std::string cmd = "cd '" + dir.string() +
                          "' && perf report -i perf.data --children --stdio -g none "
                          "--sort symbol --percent-limit 0.1 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  std::map<std::string, double> parte;
  if (p == nullptr) return parte;
  const struct {
    const char* cat;
    const char* simbolo;
  } kCategorias[] = {
      {"look-ups", "zun::GetTipoDeBGLDaAnb"},
      {"writes", "zun::ExecStProc"},  // outside the look-ups: the quote's write
      {"log", "zun::Loga"},
      {"all", "zun::TImpMain::ImportNext"},
  };
  char buf[4096];
  while (fgets(buf, sizeof buf, p)) {
    // "  88.94%  0.00%  [.] zun::ExecStProc   ..."
    double filhos = 0;
    const std::string linha = buf;
    const size_t ini = linha.find("] ");
    if (sscanf(buf, " %lf%%", &filhos) != 1 || ini == std::string::npos) continue;
    const std::string sym = linha.substr(ini + 2, linha.find("  ", ini + 2) - ini - 2);
    for (const auto& c : kCategorias) {
      if (sym.rfind(c.simbolo, 0) == 0) parte[c.cat] = std::max(parte[c.cat], filhos);
    }
  }
  pclose(p);
  return parte;
}

// The rows a run leaves that an uninterrupted run decides: quotes, data log
// (but its times), bulletin requests, and the entry's outcome.
std::string Estado(const std::string& path) {
  sqlite3* db = zun::OpenSqliteFile(path, false);
  std::string out;
  for (const char* q : {"SELECT anb, data, valor1, valor12 FROM cotacao ORDER BY anb, data",
                        "SELECT tip, oid, aux, date FROM data_log ORDER BY tip, oid, aux, date",
                        "SELECT prioridade, motivo FROM reqgbol ORDER BY id",
                        "SELECT done, result, taken_until IS NULL FROM import_files"}) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, q, -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const unsigned char* t = sqlite3_column_text(st, c);
        out += t ? reinterpret_cast<const char*>(t) : "N";
        out += '|';
      }
      out += '\n';
    }
    sqlite3_finalize(st);
    out += "--\n";
  }
  sqlite3_close_v2(db);
  return out;
}

// The requests the server's log counts over every connection that ended.
long Pedidos(const fs::path& log) {
  std::ifstream in(log);
  long n = 0;
  for (std::string l; std::getline(in, l);) {
    const size_t at = l.rfind(" requests=");
    if (l.rfind("end ", 0) == 0 && at != std::string::npos) n += std::atol(l.c_str() + at + 10);
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  int series = 5000, dias = 20, mortes = 0;
  unsigned semente = 1;
  fs::path dir = fs::path(ZUN_BENCH_BUILD_DIR) / "bench-quotes";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--series") series = std::atoi(argv[i + 1]);
    if (a == "--days") dias = std::atoi(argv[i + 1]);
    if (a == "--dir") dir = argv[i + 1];
    if (a == "--kills") mortes = std::atoi(argv[i + 1]);
    if (a == "--seed") semente = static_cast<unsigned>(std::atoi(argv[i + 1]));
  }
  const char* exe_env = std::getenv("ZUNINPUT_EXE");
  const std::string exe = exe_env ? exe_env : ZUNINPUT_EXE;
  fs::remove_all(dir);
  fs::create_directories(dir / "floor");
  fs::create_directories(dir / "tds");
  const std::string path = (dir / "ZunInput.db").string();
  zun::InitDatabase(path);
  zun::AddUser(path, {"zunsvc", "bench-pw", "", true, 0, 0, 0});
  zun::AddUser(path, {"owner", "x", "", false, 0, 0, 0});

  // The series and the file: each day the whole exchange, in code order.
  std::vector<Linha> linhas;
  std::string arquivo = "; quote benchmark\r\n";
  char buf[512];
  for (int d = 0; d < dias; ++d) {
    const std::string dia = "2024-" + std::string(d < 9 ? "06-0" : "06-") + std::to_string(d + 1);
    for (int s = 1; s <= series; ++s) {
      Linha l{"Q" + std::to_string(s), dia + " 00:00:00", {}};
      std::string campos;
      for (int v = 0; v < 12; ++v) {
        l.valores[v] = (s % 997) + d * 0.25 + v * 0.01;
        std::snprintf(buf, sizeof buf, " %.2f", l.valores[v]);
        campos += buf;
      }
      arquivo += "*QT " + l.ticker + " 1 " + dia + campos + "\r\n";
      linhas.push_back(std::move(l));
    }
  }
  sqlite3* db = zun::OpenSqliteFile(path, false);
  Exec(db,
       "INSERT INTO empresa (id, cod, pais) VALUES (1, 'BENCH', 0);"
       "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 2, 0, 0);"
       "INSERT INTO anb (acao, cod, bolsa) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
       "SELECT i + 1 FROM n WHERE i < " +
           std::to_string(series) + ") SELECT 1, 'Q' || i, 1 FROM n;");
  sqlite3_close_v2(db);
  // The floor's copy, taken before anything is queued or imported.
  fs::copy_file(path, dir / "floor" / "ZunInput.db");
  db = zun::OpenSqliteFile(path, false);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo) "
                     "SELECT uid, 5, datetime('now'), 'quotes.txt', ? FROM users WHERE "
                     "name = 'owner'",
                     -1, &st, nullptr);
  sqlite3_bind_blob(st, 1, arquivo.data(), static_cast<int>(arquivo.size()), SQLITE_STATIC);
  if (sqlite3_step(st) != SQLITE_DONE) return 1;
  sqlite3_finalize(st);
  sqlite3_close_v2(db);
  // The copy the SQL Server provider's run imports, queued the same.
  fs::copy_file(path, dir / "tds" / "ZunInput.db");
  const size_t tamanho = arquivo.size();
  arquivo.clear();
  arquivo.shrink_to_fit();

  // The service, once; sampled by perf when it can.
  std::vector<std::string> cmd = {exe,
                                  "-provider:SQLite",
                                  "-user:zunsvc",
                                  "-password:bench-pw",
                                  "-MailGateway:http://127.0.0.1:9/",
                                  "-PathReqGBol:" + dir.string() + "/"};
  const char* perf_env = std::getenv("PERF");
  const bool perf = (perf_env == nullptr || std::string(perf_env) != "0") &&
                    std::system("perf --version >/dev/null 2>&1") == 0;
  if (perf) {
    cmd.insert(cmd.begin(), {"perf", "record", "-q", "-F", "199", "--call-graph", "dwarf,16384",
                             "-o", "perf.data", "--"});
  }
  double wall = 0, cpu = 0;
  long rss_kb = 0;
  const int status = Roda(cmd, dir, dir / "console.txt", &wall, &cpu, &rss_kb);
  db = zun::OpenSqliteFile(path, false);
  sqlite3_prepare_v2(db, "SELECT result, (SELECT count(*) FROM cotacao) FROM import_files", -1, &st,
                     nullptr);
  int resultado = -1, gravadas = 0;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL) {
    resultado = sqlite3_column_int(st, 0);
    gravadas = sqlite3_column_int(st, 1);
  }
  sqlite3_finalize(st);
  sqlite3_close_v2(db);

  // The raw floors on the copy: in autocommit, then (on a fresh copy) the
  // same upserts in one transaction.
  auto roda_piso = [&](const fs::path& arquivo_db, bool agrupado, double* t_busca,
                       double* t_grava) -> double {
    sqlite3* fdb = zun::OpenSqliteFile(arquivo_db.string(), false);
    sqlite3_stmt *busca = nullptr, *grava = nullptr;
    sqlite3_prepare_v2(fdb,
                       "SELECT tipo_de_bgl_destino FROM anb WHERE bolsa = ? AND cod = ? COLLATE "
                       "NOCASE",
                       -1, &busca, nullptr);
    sqlite3_prepare_v2(
        fdb,
        "INSERT INTO cotacao (anb, data, valor1, valor2, valor3, valor4, valor5, valor6, valor7, "
        "valor8, valor9, valor10, valor11, valor12) SELECT id, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ? FROM anb WHERE bolsa = ? AND cod = ? COLLATE NOCASE ON CONFLICT (anb, data) DO "
        "UPDATE SET valor1 = excluded.valor1, valor2 = excluded.valor2, valor3 = "
        "excluded.valor3, valor4 = excluded.valor4, valor5 = excluded.valor5, valor6 = "
        "excluded.valor6, valor7 = excluded.valor7, valor8 = excluded.valor8, valor9 = "
        "excluded.valor9, valor10 = excluded.valor10, valor11 = excluded.valor11, valor12 = "
        "excluded.valor12",
        -1, &grava, nullptr);
    auto procura = [&](const Linha& l) {
      sqlite3_bind_int(busca, 1, 1);
      sqlite3_bind_text(busca, 2, l.ticker.c_str(), -1, SQLITE_STATIC);
      const int tipo = sqlite3_step(busca) == SQLITE_ROW ? sqlite3_column_int(busca, 0) : -1;
      sqlite3_reset(busca);
      return tipo;
    };
    *t_busca = 0;
    *t_grava = 0;
    auto t0 = Clock::now();
    long soma = 0;
    for (const Linha& l : linhas) soma += procura(l);
    *t_busca += Segundos(t0, Clock::now());
    if (agrupado) Exec(fdb, "BEGIN IMMEDIATE");
    for (const Linha& l : linhas) {
      auto a = Clock::now();
      soma += procura(l);
      auto b = Clock::now();
      sqlite3_bind_text(grava, 1, l.data.c_str(), -1, SQLITE_STATIC);
      for (int v = 0; v < 12; ++v) sqlite3_bind_double(grava, 2 + v, l.valores[v]);
      sqlite3_bind_int(grava, 14, 1);
      sqlite3_bind_text(grava, 15, l.ticker.c_str(), -1, SQLITE_STATIC);
      if (sqlite3_step(grava) != SQLITE_DONE) std::exit(1);
      sqlite3_reset(grava);
      *t_busca += Segundos(a, b);
      *t_grava += Segundos(b, Clock::now());
    }
    if (agrupado) Exec(fdb, "COMMIT");
    const double t = Segundos(t0, Clock::now());
    sqlite3_finalize(busca);
    sqlite3_finalize(grava);
    sqlite3_close_v2(fdb);
    if (soma < 0) std::printf("?");
    return t;
  };
  double t_busca = 0, t_grava = 0, tg_busca = 0, tg_grava = 0;
  fs::copy_file(dir / "floor" / "ZunInput.db", dir / "floor" / "Grouped.db");
  const double t_piso = roda_piso(dir / "floor" / "ZunInput.db", false, &t_busca, &t_grava);
  const double t_piso_g = roda_piso(dir / "floor" / "Grouped.db", true, &tg_busca, &tg_grava);

  const double n = static_cast<double>(linhas.size());
  const double lps = wall > 0 ? n / wall : 0, piso = t_piso > 0 ? n / t_piso : 0;
  const double piso_g = t_piso_g > 0 ? n / t_piso_g : 0;
  std::printf(
      "quote import benchmark: %d series on exchange 1, %zu lines of 12 values (%.1f MB),"
      " in %s\n",
      series, linhas.size(), tamanho / 1e6, dir.c_str());
  std::printf("machine: %ld cores, load average before: see /proc/loadavg\n",
              sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("service run: exit status %d, file result %d, quotes stored %d%s\n", status,
              resultado, gravadas, perf ? " (sampled by perf)" : "");
  std::printf(
      "service: %.2f s, %.0f lines/s, %.2f s of processor, peak RSS %.1f MB (goal < %.1f MB)\n",
      wall, lps, cpu, rss_kb / 1024.0, (3.0 * tamanho + 30e6) / 1048576.0);
  std::printf(
      "raw floor (autocommit, prepared): %.2f s, %.0f lines/s (look-ups %.2f s, upserts "
      "%.2f s)\n",
      t_piso, piso, t_busca, t_grava);
  std::printf(
      "raw grouped floor (one transaction, prepared): %.2f s, %.0f lines/s (look-ups %.2f s, "
      "upserts %.2f s)\n",
      t_piso_g, piso_g, tg_busca, tg_grava);
  std::printf(
      "ratio to the autocommit floor: %.2f (goal 2.0); to the grouped floor: %.2f (stretch 0.70)\n",
      piso > 0 ? lps / piso : 0, piso_g > 0 ? lps / piso_g : 0);
  if (perf) {
    const auto parte = Divisao(dir);
    const double tudo = parte.count("all") ? parte.at("all") : 0;
    auto p = [&](const char* c) { return parte.count(c) ? parte.at(c) : 0.0; };
    // Writes are the calls outside the look-ups; the engine is the rest of
    // the record handling.
    const double escrita = std::max(0.0, p("writes") - p("look-ups"));
    std::printf(
        "time split of the service's record handling (%% of samples in ImportNext %.1f%%):"
        " look-ups %.1f%%, writes %.1f%%, log %.1f%%, engine %.1f%%\n",
        tudo, p("look-ups"), escrita, p("log"),
        std::max(0.0, tudo - p("look-ups") - escrita - p("log")));
  }
  // The same file through FreeTDS against the TDS test server on loopback:
  // one uninterrupted run, then (with --kills) on another copy the runs
  // killed at random moments of the first one's length, and the run that
  // ends the file.
  auto roda_tds = [&](const fs::path& sub, double prazo, double* t) {
    const std::string db_path = (dir / sub / "ZunInput.db").string();
    zun::testing::TdsServerProcess tds(db_path, {"--log", (dir / sub / "server.log").string()});
    const std::vector<std::string> tcmd = {
        exe,
        "-provider:SQLOLEDB.1",
        "-sqlserver:localhost," + std::to_string(tds.port()),
        std::string("-OdbcDriver:") + zun::testing::kFreeTdsDriver,
        "-user:zunsvc",
        "-password:bench-pw",
        "-MailGateway:http://127.0.0.1:9/",
        "-PathReqGBol:" + (dir / sub).string() + "/"};
    double c = 0;
    long r = 0;
    const int st = Roda(tcmd, dir / sub, dir / sub / "console.txt", t, &c, &r, prazo);
    if (st == -2) {  // the dead run's lease runs out
      sqlite3* k = zun::OpenSqliteFile(db_path, false);
      Exec(k, "UPDATE import_files SET taken_until = '2001-01-01 00:00:00' WHERE done = 0");
      sqlite3_close_v2(k);
    }
    return st;
  };
  fs::create_directories(dir / "tds-kills");
  fs::copy_file(dir / "tds" / "ZunInput.db", dir / "tds" / "ZunInput.db.orig");
  double tds_wall = 0;
  const int tds_status = roda_tds("tds", 0, &tds_wall);
  const long pedidos = Pedidos(dir / "tds" / "server.log");
  const std::string esperado = Estado(path),
                    obtido = Estado((dir / "tds" / "ZunInput.db").string());
  std::printf("SQL Server provider (FreeTDS, TDS test server on loopback): exit status %d\n",
              tds_status);
  std::printf("tds: %.2f s, %.0f lines/s; %ld requests in all, %.2f round trips per line\n",
              tds_wall, tds_wall > 0 ? n / tds_wall : 0, pedidos, pedidos / n);
  std::printf("embedded, same program: %.2f s, %.0f lines/s\n", wall, lps);
  std::printf("rows over TDS %s the embedded run's\n",
              esperado == obtido ? "equal" : "DIFFER FROM");
  // Kills at moments drawn over the uninterrupted run's length: a run that
  // ends before its moment has recorded the file, whose rows are compared,
  // and the next kills start again on a fresh copy.
  bool curado = true;
  if (mortes > 0) {
    std::mt19937 acaso(semente);
    int mortas = 0, series_de_mortes = 0, curadas = 0, esgotadas = 0;
    bool fresca = true;
    // A file killed on both its tries before its first group committed
    // ends failed (50106), as the queue's rule on tries wants.
    auto compara = [&](int st) {
      const std::string curada = Estado((dir / "tds-kills" / "ZunInput.db").string());
      ++series_de_mortes;
      if (st == 0 && curada == esperado) {
        ++curadas;
      } else if (st == 0 && curada.find("\n0|50106|1|\n") != std::string::npos) {
        ++esgotadas;
      } else {
        curado = false;
        std::ofstream(dir / "tds-kills" / ("rows-" + std::to_string(series_de_mortes) + ".txt"))
            << curada;
      }
    };
    while (mortas < mortes) {
      if (fresca) {
        fs::copy_file(dir / "tds" / "ZunInput.db.orig", dir / "tds-kills" / "ZunInput.db",
                      fs::copy_options::overwrite_existing);
        for (const char* x : {"-wal", "-shm"})
          fs::remove(dir / "tds-kills" / ("ZunInput.db" + std::string(x)));
        fresca = false;
      }
      double t = 0;
      const int st =
          roda_tds("tds-kills", std::uniform_real_distribution<double>(0.05, tds_wall)(acaso), &t);
      if (st == -2) {
        ++mortas;
      } else {
        compara(st);
        fresca = true;
      }
    }
    double t = 0;
    compara(roda_tds("tds-kills", 0, &t));
    std::printf(
        "tds killed %d times at random moments, in %d files each run to its end: %d of "
        "them leave the embedded run's rows, %d failed by the rule on tries (killed on both "
        "tries before a group committed)\n",
        mortas, series_de_mortes, curadas, esgotadas);
  }
  if (esperado != obtido) {
    std::ofstream(dir / "embedded-rows.txt") << esperado;
    std::ofstream(dir / "tds" / "rows.txt") << obtido;
  }
  return status == 0 && resultado == 0 && tds_status == 0 && esperado == obtido && curado ? 0 : 1;
}
