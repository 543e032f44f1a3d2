// The SQL Server provider over loopback: procedure calls and SQL texts with a
// value through FreeTDS's ODBC driver against the TDS test server, against
// the same calls on the embedded provider in-process, as calls per second in
// one run; and the round trips each costs, from the server's request count
// per connection.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../tests/testbeds/tds_server_process.h"
#include "embedded/reference_db.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/connection.h"

namespace fs = std::filesystem;
using namespace zun;

namespace {

constexpr int kCalls = 2000;

void Call(Connection* c) {
  Command cmd(c, CommandType::kStoredProc, "GetInfoDoUsuario");
  cmd.Execute();
}

void Text(Connection* c, int i) {
  Command cmd(c, CommandType::kText, "SELECT nome FROM moeda WHERE id = ?");
  cmd.Params()[0].value = Value::Int(i % 10);
  cmd.Open();
}

// Calls per second of n runs of f.
double Rate(const std::function<void(int)>& f, int n) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) f(i);
  return n / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The requests of the server's last ended connection.
int LastRequests(const fs::path& log) {
  std::ifstream f(log);
  int n = -1;
  for (std::string line; std::getline(f, line);) {
    const size_t at = line.find(" requests=");
    if (at != std::string::npos) n = std::stoi(line.substr(at + 10));
  }
  return n;
}

}  // namespace

int main() {
  RegisterDatabaseProcedures();
  const fs::path dir = fs::temp_directory_path() / ("zun-tds-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string db = (dir / "ZunInput.db").string();
  InitDatabase(db);
  AddUser(db, {"zunsvc", "s3cret", "", true, 0, 0, 0});
  const fs::path log = dir / "server.log";
  double tds_call, tds_text, emb_call, emb_text;
  double trips_call, trips_text;
  double cells_row = 0, cells_array = 0;
  {
    testing::TdsServerProcess server(db, {"--log", log.string()});
    const std::string cs = "Provider=SQLOLEDB.1;Data Source=127.0.0.1," +
                           std::to_string(server.port()) +
                           ";Initial Catalog=ZunInput;User ID=zunsvc;Password=s3cret;Odbc Driver=" +
                           testing::kFreeTdsDriver;
    Connection c;
    c.SetConnectionString(cs);
    // Round trips: a connection with one call and one text, against one
    // with kCalls more of each (describing and preparing happen once).
    auto requests = [&](int n, bool text) {
      c.Open();
      for (int i = 0; i <= n; ++i) text ? Text(&c, i) : Call(&c);
      c.Close();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return LastRequests(log);
    };
    trips_call = (requests(100, false) - requests(0, false)) / 100.0;
    trips_text = (requests(100, true) - requests(0, true)) / 100.0;
    c.Open();
    tds_call = Rate([&](int) { Call(&c); }, kCalls);
    tds_text = Rate([&](int i) { Text(&c, i); }, kCalls);
    // A statement's cells as the statement store writes them: one request
    // per row, against parameter arrays.
    c.Execute("CREATE TABLE celulas (balanco int, conta int, De3Meses int, valor float, c int)");
    const char* insere =
        "insert into celulas (balanco, conta, De3Meses, valor, c) values (?,?,?,?,0)";
    std::vector<std::vector<Value>> linhas;
    for (int i = 0; i < kCalls; ++i)
      linhas.push_back({Value::Int(1), Value::Int(i), Value::Int(0), Value::Double(i * 1.5)});
    Command cmd(&c, CommandType::kText, insere);
    cells_row = Rate(
        [&](int i) {
          for (int k = 0; k < 4; ++k) cmd.Params()[k].value = linhas[static_cast<size_t>(i)][k];
          cmd.Execute();
        },
        kCalls);
    const auto start = std::chrono::steady_clock::now();
    cmd.ExecuteRows(linhas);
    cells_array =
        kCalls / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  Connection e;
  e.SetConnectionString("Provider=SQLite;Initial Catalog=ZunInput;Data Directory=" + dir.string() +
                        ";User ID=zunsvc;Password=s3cret");
  e.Open();
  emb_call = Rate([&](int) { Call(&e); }, kCalls);
  emb_text = Rate([&](int i) { Text(&e, i); }, kCalls);
  e.Close();
  fs::remove_all(dir);
  std::printf(
      "SQL Server provider over loopback (FreeTDS, TDS test server) vs embedded in-process\n");
  std::printf(
      "  procedure GetInfoDoUsuario: %8.0f calls/s vs %8.0f calls/s (ratio %.1f), %.2f round trips "
      "per call\n",
      tds_call, emb_call, emb_call / tds_call, trips_call);
  std::printf(
      "  SQL text with a value:      %8.0f calls/s vs %8.0f calls/s (ratio %.1f), %.2f round trips "
      "per text\n",
      tds_text, emb_text, emb_text / tds_text, trips_text);
  std::printf(
      "  statement cells over TDS:   %8.0f rows/s one request a row, %8.0f rows/s in parameter "
      "arrays (ratio %.1f); a statement of 2 x 6,000 cells: %.2f vs %.2f statements/s\n",
      cells_row, cells_array, cells_array / cells_row, cells_row / 12000, cells_array / 12000);
  return 0;
}
