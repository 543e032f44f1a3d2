// The SQL Server provider through FreeTDS's real ODBC driver against the TDS
// test server (tests/testbeds): procedure calls with outputs, SQL texts with
// values, transactions, the server's faults as the provider sees them, and a
// dropped link that the session connects again.
// The service end to end over the same path: tests/service/e2e_test.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "../../support/scratch.h"
#include "../../testbeds/tds_server_process.h"
#include "embedded/reference_db.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/connection.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

// The kind and native code of the ProviderError f raises.
std::pair<ErrorKind, int> Failure(const std::function<void()>& f) {
  try {
    f();
  } catch (const ProviderError& e) {
    return {e.Kind(), e.NativeCode()};
  }
  ADD_FAILURE() << "no ProviderError";
  return {ErrorKind::kOther, -1};
}

class TdsWire : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ScratchDir("zuntds");
    db_ = (dir_ / "ZunInput.db").string();
    InitDatabase(db_);
    AddUser(db_, {"zunsvc", "s3cret", "", true, 0, 0, 0});
  }
  void TearDown() override {
    c_.Close();
    server_.reset();
    if (!HasFailure()) fs::remove_all(dir_);
  }
  // Starts the server with options and connects to it: over TLS as the
  // provider requires by default, or asking for the login only without tls.
  void Connect(const std::vector<std::string>& options = {}, bool tls = true) {
    server_.reset();
    std::vector<std::string> all = {"--log", (dir_ / "server.log").string()};
    all.insert(all.end(), options.begin(), options.end());
    server_ = std::make_unique<testing::TdsServerProcess>(db_, all);
    c_.SetConnectionString("Provider=SQLOLEDB.1;Data Source=127.0.0.1," +
                           std::to_string(server_->port()) +
                           ";Initial Catalog=ZunInput;User ID=zunsvc;Password=s3cret;Odbc Driver=" +
                           testing::kFreeTdsDriver + (tls ? "" : ";Use Encryption for Data=False"));
    c_.Open();
  }
  std::string ServerLog() { return ReadFile(dir_ / "server.log"); }
  // Whether the server's log shows text, waiting a little for the line of
  // a connection that has just ended.
  bool LogShows(const std::string& text) {
    for (int i = 0; i < 250 && ServerLog().find(text) == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ServerLog().find(text) != std::string::npos;
  }
  // A session that reconnects, on the server Connect started.
  std::unique_ptr<TAdoDataBaseComInfoTran> Session() {
    auto s = std::make_unique<TAdoDataBaseComInfoTran>();
    s->SetConnectionString(c_.GetConnectionString());
    s->SetAutoReconnect(true);
    s->Open();
    return s;
  }
  // The first column of the first row text gives.
  Value First(const std::string& text) {
    Command q(&c_, CommandType::kText, text);
    q.Open();
    return q.Current().Field(0);
  }

  fs::path dir_;
  std::string db_;
  Connection c_;
  std::unique_ptr<testing::TdsServerProcess> server_;
};

// A procedure's outputs and return value, a SQL text with values run twice
// on one prepared statement, parameter arrays, and values of every type.
TEST_F(TdsWire, CallsTextsAndTransactions) {
  Connect();
  Command info(&c_, CommandType::kStoredProc, "GetInfoDoUsuario");
  info.Execute();
  EXPECT_EQ(info.Params().ReturnValue()->value.AsInt(), 0);
  EXPECT_EQ(info.Params().ParamByName("@name").value.AsString(), "zunsvc");
  EXPECT_TRUE(info.Params().ParamByName("@IsAdmin").value.AsBool());

  const std::string name = "x\xE9 '}; y";  // Windows-1252 text both ways
  Command ins(&c_, CommandType::kText,
              "INSERT INTO moeda (id, cod, pais, nome) VALUES (?, 'X', 0, COALESCE(?, '-'))");
  for (int id : {901, 902}) {
    ins.Params()[0].value = Value::Int(id);
    ins.Params()[1].value = Value::String(name);
    ins.Execute();
    EXPECT_EQ(ins.RowsAffected(), 1);
  }
  Command q(&c_, CommandType::kText, "SELECT count(*), max(nome) FROM moeda WHERE id > 900");
  q.Open();
  EXPECT_EQ(q.Current().Field(0).AsInt(), 2);
  EXPECT_EQ(q.Current().Field(1).AsString(), name);

  // Rows go as parameter arrays of up to 1000 a request, each value in its
  // place; the statement then serves single rows again.
  std::vector<std::vector<Value>> lines;
  int chars = 0;
  for (int id = 1000; id < 2500; ++id) {
    const int n = id % 7 ? id % 5 : -1;  // -1: NULL, stored as "-"
    lines.push_back({Value::Int(id), n < 0 ? Value() : Value::String(std::string(n, 'x'))});
    chars += n < 0 ? 1 : n;
  }
  ins.ExecuteRows(lines);
  EXPECT_EQ(ins.RowsAffected(), 1500);
  ins.Params()[0].value = Value::Int(2500);
  ins.Execute();
  Command sum(&c_, CommandType::kText,
              "SELECT count(*), sum(length(nome)) FROM moeda WHERE id >= 1000");
  sum.Open();
  EXPECT_EQ(sum.Current().Field(0).AsInt(), 1501);
  EXPECT_EQ(sum.Current().Field(1).AsInt(), chars + 8);

  // Types no procedure of the database takes, as SQL Server declares them
  // (bigint, datetime, varbinary(max), decimal(18,4), money, date,
  // datetime2(7), time(7), varchar(50), nvarchar(max)), and NULLs, both ways;
  // text over 4,000 characters goes in chunks; a time reads as on 1900-01-01.
  Command eco(&c_, CommandType::kStoredProc, "zun_eco");
  const std::string longer = std::string(5000, 'a') + "\xE9";
  const Value rows[][10] = {
      {Value::BigInt(int64_t{1} << 40), Value::DateTime(45000.5 + 0.25 / 86400),
       Value::Binary(std::string("\0\xFF", 2) + longer), Value::Double(1234.5678),
       Value::Double(-12.3456), Value::DateTime(45000), Value::DateTime(45000.75 + 0.125 / 86400),
       Value::DateTime(2.75), Value::String("x\xE9 y"), Value::String(longer)},
      {}};
  for (const auto& row : rows) {
    for (int i = 0; i < 10; ++i) eco.Params()[i + 1].value = row[i];
    eco.Execute();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(eco.Params()[i + 1].value, row[i]) << i;
  }
  EXPECT_EQ(Failure([&] { Command(&c_, CommandType::kStoredProc, "zun_nenhuma"); }).first,
            ErrorKind::kOther);
}

// Calls the session repeats after a lost link: a look-up, not a call whose
// reply alone was lost; a procedure described after an earlier request
// lost the link is described and called on a new link; a deadlock victim
// outside a transaction (no probe, no new link). The server's requests per
// connection tell.
TEST_F(TdsWire, CallsTheSessionRepeats) {
  const struct {
    std::vector<std::string> options;
    bool look_up;       // registered as read-only
    bool found_closed;  // an earlier request lost the link
    int32_t result;
    const char* requests;  // in the server's log
  } rows[] = {
      {{"--drop-at", "2"}, true, false, 0, "requests=2\n"},  // the call, after its description
      {{"--drop-after", "1"}, false, false, kErrResultadoIncerto, "requests=2\n"},
      {{"--drop-at", "1"}, false, true, 0, "requests=1\n"},
      {{"--deadlock-at", "1"}, false, false, 0, "requests=3\n"},  // description, victim, repeat
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.options[0] + (r.look_up ? " look-up" : "") + (r.found_closed ? " closed" : ""));
    Connect(r.options);
    auto s = Session();
    if (r.look_up) s->RegistraSomenteLeitura("getinfodousuario");
    if (r.found_closed) {
      EXPECT_THROW(s->Execute("SELECT 1"), ProviderError);
    }
    auto cmd = s->TomaDataSet(CommandType::kStoredProc, "GetInfoDoUsuario");
    EXPECT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), r.result);
    EXPECT_EQ(cmd->Params().ParamByName("@name").value.AsString(), r.result ? "" : "zunsvc");
    s->DevolveDataSet(&cmd);
    s.reset();
    c_.Close();
    EXPECT_TRUE(LogShows(r.requests)) << ServerLog();
  }
}

// A reply lost after the call ran and committed: a hand-out of the queue
// is not repeated, which would take a second entry.
TEST_F(TdsWire, AReplyLostAfterTheCallCommitted) {
  Connect({"--drop-after", "2"});
  c_.Execute(
      "INSERT INTO import_files (uid, mom, conteudo) VALUES (1, '2020-01-01', 'a'), "
      "(1, '2020-01-02', 'b')");
  auto s = Session();
  auto next = s->TomaDataSet(CommandType::kStoredProc, "ImportFilesNext");
  next->Params().ParamByName("@MaxPrioridade").value = Value::Int(999);
  next->Params().ParamByName("@MaxImportTries").value = Value::Int(2);
  EXPECT_EQ(ExecStProc(next, ModoStProc::kLeResult), kErrResultadoIncerto);
  s->DevolveDataSet(&next);
  c_.Close();
  c_.Open();
  EXPECT_EQ(First("SELECT count(*) FROM import_files WHERE importtries = 1").AsInt(), 1);
}

// What the session and the driver ask of the server itself, and failures
// as SQL Server reports them, each leaving the link and the transaction as
// SQL Server does: statement errors end neither.
TEST_F(TdsWire, TextsAnsweredAsSqlServer) {
  Connect();
  const struct {
    const char* text;
    int value;  // bound to the text's one parameter, 0: none
    int native;
    ErrorKind kind;
    const char* first = "";  // the first column of the first row, when native is 0
  } rows[] = {
      {"exec sp_server_info 1", 0, 0, ErrorKind::kOther, "1"},
      {"SELECT @@TRANCOUNT", 0, 0, ErrorKind::kOther, "1"},
      {"SELEC 1", 0, 102, ErrorKind::kOther},
      {"DELETE FROM WHERE id = 1", 0, 156, ErrorKind::kOther},
      {"SELECT x FROM zun_nenhuma", 0, 208, ErrorKind::kOther},
      {"exec zun_nenhuma", 0, 2812, ErrorKind::kOther},
      {"exec GetInfoDoUsuario", 0, 201, ErrorKind::kOther},
      // A party that does not exist, as a batch and with a value.
      {"INSERT INTO acionista_nome (id, nome) VALUES (999999, 'x')", 0, 547,
       ErrorKind::kConstraint},
      {"INSERT INTO acionista_nome (id, nome) VALUES (?, 'x')", 999999, 547,
       ErrorKind::kConstraint},
      {"INSERT INTO moeda (id, cod, pais, nome) VALUES (1, 'X', 0, 'x')", 0, 2627,
       ErrorKind::kConstraint},
  };
  c_.BeginTrans();
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    Command cmd(&c_, CommandType::kText, r.text);
    if (r.value != 0) cmd.Params()[0].value = Value::Int(r.value);
    if (r.native != 0) {
      EXPECT_EQ(Failure([&] { cmd.Execute(); }), std::make_pair(r.kind, r.native));
    } else {
      cmd.Open();
      EXPECT_EQ(cmd.Current().Field(0).AsString(), r.first);
    }
    EXPECT_TRUE(c_.InTransaction());
  }
  // A procedure's refused write ends the statement, not the procedure: its
  // return status and outputs follow the error (zun_parte: the test server's).
  Command parte(&c_, CommandType::kStoredProc, "zun_parte");
  parte.Params()[1].value = Value::Int(999999);
  EXPECT_EQ(Failure([&] { parte.Execute(); }), std::make_pair(ErrorKind::kConstraint, 547));
  EXPECT_EQ(parte.Params().ReturnValue()->value, Value::Int(-6));  // severity 16
  EXPECT_EQ(First("SELECT @@TRANCOUNT").AsInt(), 1);
}

// Each fault switch of the server as the provider sees it, inside the
// session's transaction and outside, the transaction the server then holds
// (@@TRANCOUNT), and whether the connection serves the next call.
TEST_F(TdsWire, FaultsByKind) {
  const struct {
    std::vector<std::string> options;
    bool in_tran;
    ErrorKind kind;
    int native;
    int trancount;  // -1: the link is gone
  } rows[] = {
      // FreeTDS cannot turn autocommit back on without a transaction to
      // commit: the link is given up.
      {{"--deadlock-at", "1"}, true, ErrorKind::kDeadlock, 1205, -1},
      {{"--deadlock-at", "1"}, false, ErrorKind::kDeadlock, 1205, 0},
      {{"--stall-call", "1"}, true, ErrorKind::kTimeout, 0, 1},
      {{"--stall-call", "1"}, false, ErrorKind::kTimeout, 0, 0},
      // A procedure's own BEGIN TRAN outlives its cancel (XACT_ABORT OFF):
      // the provider rolls it back, so later calls do not run inside it.
      {{"--stall-call", "1", "--opens-tran", "GetInfoDoUsuario"}, false, ErrorKind::kTimeout, 0, 0},
      // Inside the session's transaction it cannot be undone alone: both are
      // rolled back, never left at @@TRANCOUNT 2.
      {{"--stall-call", "1", "--opens-tran", "GetInfoDoUsuario"}, true, ErrorKind::kTimeout, 0, 0},
      {{"--drop-at", "4"}, true, ErrorKind::kConnectionLost, 20017, -1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.options[0] + (r.in_tran ? " in a transaction" : "") +
                 (r.options.size() > 2 ? " opening its own" : ""));
    Connect(r.options);
    Command cmd(&c_, CommandType::kStoredProc, "GetInfoDoUsuario");
    cmd.SetCommandTimeout(2);
    if (r.in_tran) c_.BeginTrans();
    EXPECT_EQ(Failure([&] { cmd.Execute(); }), std::make_pair(r.kind, r.native));
    EXPECT_EQ(c_.Connected(), r.trancount >= 0);
    // The deadlock victim's transaction is gone; a timeout leaves it open.
    EXPECT_EQ(c_.InTransaction(), r.in_tran && r.kind == ErrorKind::kTimeout && r.trancount > 0);
    if (r.trancount >= 0) {
      EXPECT_EQ(First("SELECT @@TRANCOUNT").AsInt(), r.trancount);
      cmd.Execute();
      EXPECT_EQ(cmd.Params().ParamByName("@name").value.AsString(), "zunsvc");
    }
    c_.Close();
  }
  // A deadlock victim inside a parameter array keeps its kind: the
  // transaction, with the array's earlier rows, is gone.
  Connect({"--deadlock-at", "2"});
  Command ins(&c_, CommandType::kText,
              "INSERT INTO moeda (id, cod, pais, nome) VALUES (?, 'X', 0, 'x')");
  c_.BeginTrans();
  EXPECT_EQ(Failure([&] {
              ins.ExecuteRows({{Value::Int(901)}, {Value::Int(902)}});
            }),
            std::make_pair(ErrorKind::kDeadlock, 1205));
  EXPECT_FALSE(c_.InTransaction());
}

// After the server ended the session's transaction behind the driver's
// back (a deadlock victim; a ROLLBACK or COMMIT the session's commit or
// rollback then finds gone: 3902, 3903) the next transaction still begins
// on the server: its rollback undoes its rows.
TEST_F(TdsWire, TheNextTransactionBeginsAfterTheServerEndedOne) {
  const struct {
    std::vector<std::string> options;
    const char* text;  // nullptr: a call, the deadlock victim
    bool commit;
    int native;
  } rows[] = {{{"--deadlock-at", "1"}, nullptr, false, 0},
              {{}, "ROLLBACK", true, 3902},
              {{}, "COMMIT TRAN", false, 3903}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text ? r.text : "deadlock");
    Connect(r.options);
    auto s = Session();
    s->BeginTran();
    if (r.text) {
      s->Execute(r.text);
      EXPECT_EQ(Failure([&] { s->EndTran(r.commit); }).second, r.native);
    } else {
      auto cmd = s->TomaDataSet(CommandType::kStoredProc, "GetInfoDoUsuario");
      EXPECT_EQ(ExecStProc(cmd, ModoStProc::kExecuta), kErrChamada);
      s->DevolveDataSet(&cmd);
      EXPECT_NO_THROW(s->EndTran(false));
    }
    s->BeginTran();
    s->Execute("INSERT INTO moeda (id, cod, pais, nome) VALUES (901, 'X', 0, 'x')");
    EXPECT_NO_THROW(s->EndTran(false));
    EXPECT_EQ(First("SELECT count(*) FROM moeda WHERE id = 901").AsInt(), 0);
  }
}

// TLS as SQL Server negotiates it, by the server's setting and the
// provider's choice; a server without TLS never receives the password.
TEST_F(TdsWire, EncryptionAsNegotiated) {
  const struct {
    std::vector<std::string> options;
    bool tls;  // Encryption=require, else (-OdbcNoEncryption) request
    const char* login;
  } rows[] = {
      {{}, true, "answer=1\nlogin7 user=zunsvc ok tls=full"},
      {{}, false, "answer=0\nlogin7 user=zunsvc ok tls=login"},
      {{"--encryption", "required"}, false, "answer=3\nlogin7 user=zunsvc ok tls=full"},
      {{"--encryption", "not-supported"}, false, "answer=2\nlogin7 user=zunsvc ok tls=none"},
      {{"--encryption", "not-supported"}, true, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE((r.options.empty() ? std::string("off") : r.options[1]) +
                 (r.tls ? " require" : " request"));
    fs::remove(dir_ / "server.log");
    if (r.login != nullptr) {
      Connect(r.options, r.tls);
      Command(&c_, CommandType::kStoredProc, "GetInfoDoUsuario").Execute();
      EXPECT_NE(ServerLog().find(r.login), std::string::npos) << ServerLog();
    } else {
      EXPECT_THROW(Connect(r.options, r.tls), ProviderError);
      EXPECT_EQ(ServerLog().find("login7"), std::string::npos) << ServerLog();
    }
    c_.Close();
  }
}

// A FreeTDS data source whose freetds.conf section names a CA file checks
// the server's certificate: its own CA logs in, another is refused.
TEST_F(TdsWire, ACaFileValidatesTheServer) {
  const std::string right = (dir_ / "cert.pem").string(), wrong = (dir_ / "other.pem").string();
  Connect({"--cert", wrong, "--key", (dir_ / "other.key").string()});
  Connect({"--cert", right, "--key", (dir_ / "key.pem").string()});
  c_.Close();
  setenv("ODBCSYSINI", dir_.c_str(), 1);
  setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
  setenv("FREETDSCONF", (dir_ / "freetds.conf").c_str(), 1);
  std::ofstream(dir_ / "odbc.ini") << "[zunca]\nDriver=" << testing::kFreeTdsDriver
                                   << "\nServername=zuntls\nDatabase=ZunInput\n";
  c_.SetConnectionString("Provider=SQLOLEDB.1;Odbc DSN=zunca;User ID=zunsvc;Password=s3cret");
  for (const std::string& ca : {right, wrong}) {
    SCOPED_TRACE(ca);
    const size_t from = ServerLog().size();
    std::ofstream(dir_ / "freetds.conf")
        << "[zuntls]\nhost=127.0.0.1\nport=" << server_->port()
        << "\ntds version=7.4\nencryption=require\nca file=" << ca << "\n";
    if (ca == right) {
      c_.Open();
      EXPECT_NE(ServerLog().find("login7 user=zunsvc ok tls=full", from), std::string::npos);
    } else {
      EXPECT_THROW(c_.Open(), ProviderError);
      EXPECT_EQ(ServerLog().find("login7", from), std::string::npos) << ServerLog();
      EXPECT_NE(ServerLog().find("prelogin", from), std::string::npos) << ServerLog();
    }
    c_.Close();
  }
  for (const char* v : {"ODBCSYSINI", "ODBCINI", "FREETDSCONF"}) unsetenv(v);
}

// tedious, a TDS client independent of FreeTDS (npm, tests/wire): a batch,
// sp_executesql and procedure calls with SQL Server's types, a server cursor
// and an undeclared variable refused (16937, 137), over TLS that trusts the server's certificate
// and then validates it with its CA.
TEST_F(TdsWire, TediousAsASecondClient) {
  if (std::system("command -v node >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "node is not installed: the second TDS client (tedious) cannot run";
  const std::string ca = (dir_ / "cert.pem").string();
  Connect({"--cert", ca, "--key", (dir_ / "key.pem").string()});
  for (const std::string& trust : {std::string("trust"), ca}) {
    SCOPED_TRACE(trust);
    const std::string cmd = "node '" ZUN_TEST_SOURCE_DIR "/tests/wire/tedious_client.js' " +
                            std::to_string(server_->port()) + " '" + trust + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << out;
    EXPECT_NE(out.find("ok sp_cursorclose refused"), std::string::npos) << out;  // all ran
  }
}

}  // namespace
}  // namespace zun
