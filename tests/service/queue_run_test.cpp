// The login and the queue step in-process, against an embedded database in a
// scratch directory: what the executable's runs cannot show from outside
// (the user context, the pending bulletin text, an injected budget).
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "database/reference_db.h"
#include "db/global_state.h"
#include "db/reqgbol.h"
#include "db/user_context.h"
#include "engine/imp_main.h"
#include "engine/keyword_table.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/switches.h"
#include "scratch.h"
#include "service/importers.h"
#include "service/login.h"
#include "service/queue_step.h"
#include "service/reqgbol_step.h"
#include "toolbox/dbclient/sqlite/procedure_catalog.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/session.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

uint32_t g_tick = 0;
// Six minutes pass between two readings of the clock.
uint32_t SlowTick() { return g_tick += 360000; }
int g_renewals = 0;
int g_calls = 0;
const fs::path kExamples = fs::path(ZUN_TEST_SOURCE_DIR) / "examples";

// Replaces proc (in this process) by one that runs antes first.
void AntesDe(const std::string& proc, std::function<void(ProcContext&)> antes) {
  const auto orig = FindProcedure(proc);
  ASSERT_NE(orig, nullptr) << proc;
  RegisterProcedure(
      proc, std::vector<ProcParam>(orig->signature.begin() + 1, orig->signature.end()),
      [orig, antes](ProcContext& c) {
        antes(c);
        orig->fn(c);
      },
      orig->read_only);
}

class QueueRun : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    dir_ = ScratchDir("zunqrun");
    fs::current_path(dir_);
    NewDatabase();
    SetLogFileName((dir_ / "zuninput.log").string());
    Loga(kMarca);
    SysExitCode = 0;
    RegisterDatabaseProcedures();
  }
  void TearDown() override {
    EncerraZiGlobs(&SysExitCode);
    SetTickSource(nullptr);
    SetProgramArgs({});
    SysExitCode = 0;
    fs::current_path(old_cwd_);
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // Starts the global state with these switches and logs in.
  int32_t Login(std::vector<std::string> extra = {}, const std::string& user = "zunsvc",
                const std::string& password = "s3cret") {
    std::vector<std::string> args = {"zuninput", "-provider:SQLite", "-user:" + user,
                                     "-password:" + password, "-MailGateway:http://127.0.0.1:9/"};
    args.insert(args.end(), extra.begin(), extra.end());
    SetProgramArgs(args);
    IniciaZiGlobs();
    return InitDbConnection("", "", false);
  }

  // A new database with the service's user and ana.lima.
  static void NewDatabase() {
    for (const char* ext : {"", "-wal", "-shm"}) fs::remove(std::string("ZunInput.db") + ext);
    InitDatabase("ZunInput.db");
    AddUser("ZunInput.db", {"zunsvc", "s3cret", "ops@example.com", true, 0, 0, 0});
    AddUser("ZunInput.db", {"ana.lima", "x", "", false, 0, 0, 0});
  }

  // Runs text on its own connection; gives the first column of the last row
  // ("NULL" for a null).
  std::string Texto(const std::string& text) {
    sqlite3* db = nullptr;
    sqlite3_open("ZunInput.db", &db);
    std::string value;
    auto first = [](void* v, int, char** cols, char**) {
      *static_cast<std::string*>(v) = cols[0] ? cols[0] : "NULL";
      return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, text.c_str(), first, &value, nullptr), SQLITE_OK) << text;
    sqlite3_close(db);
    return value;
  }
  // The same as a number; -1 for no row or a null.
  int Sql(const std::string& text) {
    const std::string v = Texto(text);
    return v.empty() || v == "NULL" ? -1 : std::atoi(v.c_str());
  }

  // One queue step; its code, and whether the run goes on in *continua.
  static int32_t Step(int32_t seq = 1, bool* continua = nullptr) {
    int32_t erro = -1;
    bool goes_on = false;
    ImpIFStep(seq, &erro, continua != nullptr ? continua : &goes_on);
    return erro;
  }

  // A child process logs in, arms its kill and takes a step; it must die
  // with status 9. The dead process's lease then runs out.
  void KilledStep(const std::function<void()>& arm) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (Login() != 0) _exit(3);
      arm();
      Step();
      _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
    Sql("UPDATE import_files SET taken_until = '2001-01-01 00:00:00' WHERE done = 0");
  }

  void QuoteSeries() {
    std::istringstream series(ReadFile(kExamples / "quote_series.sql"));
    for (std::string sql; std::getline(series, sql);) Sql(sql);
  }
  // An entry of ana.lima holding content; its id.
  int Enqueue(int priority, const std::string& content = "*OCOLOCA") {
    static const char kHex[] = "0123456789ABCDEF";
    std::string blob;
    for (unsigned char c : content) blob += {kHex[c >> 4], kHex[c & 15]};
    Sql("INSERT INTO import_files (uid, prioridade, mom, filename, conteudo) SELECT uid, " +
        std::to_string(priority) + ", datetime('now'), 'f.txt', X'" + blob +
        "' FROM users WHERE name = 'ana.lima'");
    return Sql("SELECT MAX(id) FROM import_files");
  }
  // The "- sending mail to" log lines of the test, joined.
  static std::string Mails() {
    std::string mails;
    for (const std::string& l : LinhasRecentes()) {
      if (l.ends_with(kMarca)) mails.clear();
      if (l.find("- sending mail to") != std::string::npos) mails += l.substr(l.find("  0 ") + 4);
    }
    return mails;
  }
  static constexpr char kMarca[] = "-- queue run test --";
  int Tries(int id) {
    return Sql("SELECT importtries FROM import_files WHERE id = " + std::to_string(id));
  }

  fs::path old_cwd_;
  fs::path dir_;
};

TEST_F(QueueRun, LoginSwitchesToTheOwnerAndBackAcrossAReconnection) {
  ASSERT_EQ(Login(), 0);
  EXPECT_TRUE(IsLogged(false));
  EXPECT_EQ(UsuarioEmail, "ops@example.com");
  EXPECT_TRUE(UsuarioIsAdmin);

  ASSERT_EQ(ChamaSetuser("ana.lima"), 0);
  EXPECT_EQ(UsuarioNome, "ana.lima");
  EXPECT_EQ(UsuarioEmail, "");
  EXPECT_FALSE(UsuarioIsAdmin);
  Db->Close();  // the link is lost
  int32_t e = -1;
  GetInfoDoUsuario(&e);  // reconnects and repeats the call
  EXPECT_EQ(e, 0);
  EXPECT_EQ(UsuarioNome, "ana.lima") << "the new connection works as the file's owner";
  ASSERT_EQ(ChamaSetuser(""), 0);
  EXPECT_EQ(UsuarioNome, "zunsvc");

  const int id = Enqueue(4);
  bool continua = false;
  EXPECT_EQ(Step(1, &continua), 0);
  EXPECT_TRUE(continua);
  EXPECT_EQ(Tries(id), 1);
  EXPECT_EQ(UsuarioNome, "zunsvc") << "back to the service's own user";
  EXPECT_EQ(ReqGBolPendente, "") << "priority 4 asks for no bulletin";

  // An urgent file's bulletin request is recorded with its outcome: a later
  // failure of the run (or a kill) cannot lose it, and the end of the run
  // does not send it again.
  const int urgent = Enqueue(3);
  Step(2);
  const std::string asked =
      "SELECT COUNT(*) FROM reqgbol WHERE motivo = '[ImpIF id:" + std::to_string(urgent) +
      " IFpri:3 ana.lima]'";
  EXPECT_EQ(Sql(asked), 1);
  EXPECT_EQ(ReqGBolPendente, "");
  Enqueue(3, "*NOSUCHKEYWORD");
  int32_t erro = Step(3);
  EXPECT_EQ(erro, 3942);
  EncerraZiGlobs(&erro);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM reqgbol"), 1);
}

// Only an administrator may run the service; a client floor above this
// client fails the login unless -AdminVersion is given. A failed login
// leaves the session closed.
TEST_F(QueueRun, LoginRefusals) {
  EXPECT_EQ(Login({}, "ana.lima", "x"), kErroLoginNaoAdministrador);
  EXPECT_FALSE(IsLogged(false));
  EncerraZiGlobs(&SysExitCode);
  Sql("UPDATE settings SET value = '21' WHERE name = 'MinClientVersion'");
  EXPECT_NE(Login(), 0);
  EXPECT_FALSE(IsLogged(false)) << "a failed login leaves the session closed";
  EncerraZiGlobs(&SysExitCode);
  EXPECT_EQ(Login({"-AdminVersion"}), 0);
}

TEST_F(QueueRun, AnOutcomeTheQueueRefusesIsNotASuccess) {
  ASSERT_EQ(Login(), 0);
  Enqueue(3);
  RegisterProcedure("ImportFilesResult",
                    {{"@id", DataType::kInteger},
                     {"@res", DataType::kInteger},
                     {"@ApagaConteudo", DataType::kBoolean},
                     {"@lease", DataType::kInteger}},
                    [](ProcContext& c) { c.Return(50101); });
  EXPECT_EQ(Step(), 50101);
  EXPECT_EQ(ReqGBolPendente, "") << "an unrecorded import asks for no bulletin";
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM reqgbol"), 0);
}

// A file that fails before the switch to its owner (the local copy cannot be
// written) on its last try: the mail still goes to the owner.
TEST_F(QueueRun, TheOwnerIsMailedAlsoWhenTheFileFailsBeforeTheSwitch) {
  ASSERT_EQ(Login(), 0);
  Sql("UPDATE users SET email = 'ana@example.com' WHERE name = 'ana.lima'");
  const int id = Enqueue(5);
  Sql("UPDATE import_files SET importtries = 1, mom = '2020-07-03 10:11:12'");
  fs::create_directory(std::to_string(id) + "-analima-20200703-101112.txt");  // in the way
  EXPECT_EQ(Step(), 4081);
  EXPECT_EQ(Mails(), "- sending mail to <ana@example.com>");
  EXPECT_EQ(UsuarioNome, "zunsvc");
}

// A file that kills the process on every try (here: just before its outcome
// is recorded) ends failed after its tries, with the owner's mail, and is
// never offered again.
TEST_F(QueueRun, AFileThatKillsTheProcessEveryTimeEndsFailed) {
  Sql("UPDATE users SET email = 'ana@example.com' WHERE name = 'ana.lima'");
  const int id = Enqueue(5);
  for (int kill = 1; kill <= 2; ++kill) {
    KilledStep([] { AntesDe("ImportFilesResult", [](ProcContext&) { _exit(9); }); });
    EXPECT_EQ(Tries(id), kill);
  }
  ASSERT_EQ(Login(), 0);
  bool continua = false;
  EXPECT_EQ(Step(1, &continua), 0) << "the run goes on";
  EXPECT_TRUE(continua);
  EXPECT_EQ(Sql("SELECT result FROM import_files WHERE taken_until IS NULL AND id = " +
                std::to_string(id)),
            50106);
  EXPECT_EQ(Mails(), "- sending mail to <ana@example.com>");
  Step(2, &continua);
  EXPECT_FALSE(continua) << "never offered again";
}

// A kill at any moment of a file's import leaves each line applied or not
// and the outcome recorded only with the file's last lines. After a clean
// rerun the database holds what an uninterrupted run leaves: each quote and
// its data-log entry once, the bulletin logged once, the entry recorded
// once (its tries aside). A clock that runs six minutes per reading makes
// every record its own group.
TEST_F(QueueRun, AKilledImportLeavesWhatAnUninterruptedRunLeavesAfterTheRerun) {
  const std::string file =
      ReadFile(kExamples / "quotes_bulletin.txt") + ReadFile(kExamples / "quotes_conditional.txt");
  const struct {
    const char* proc;
    int nth;
  } kills[] = {
      {"", 0},                   // uninterrupted: the reference
      {"DataLogAdd", 1},         // the bulletin log step, first work of the import pass
      {"CotacaoImportV3", 12},   // inside a group, earlier groups committed
      {"ImportFilesResult", 1},  // between the last lines and the outcome
      {"ChamaSetuser", 2},       // right after the outcome (the switch back)
  };
  RegistraImportadores();
  std::string reference;
  for (const auto& k : kills) {
    SCOPED_TRACE(k.proc);
    PrioridadeReqGBol = 0;
    NewDatabase();
    QuoteSeries();
    const int id = Enqueue(4, file);
    if (*k.proc != '\0') {
      KilledStep([&k] {
        SetTickSource(&SlowTick);
        AntesDe(k.proc, [n = k.nth](ProcContext&) {
          if (++g_calls == n) _exit(9);  // as a kill would, before the call runs
        });
      });
    }
    ASSERT_EQ(Login(), 0);
    SetTickSource(&SlowTick);
    int32_t erro = 0;
    bool continua = true;
    for (int seq = 1; continua && erro == 0; ++seq) erro = Step(seq, &continua);
    EXPECT_EQ(erro, 0);
    EncerraZiGlobs(&erro);
    SetTickSource(nullptr);
    const std::string state =
        Texto(
            "SELECT group_concat(x, ';') FROM (SELECT anb || ':' || COALESCE(valor1, 'N') || "
            "'/' || COALESCE(valor2, 'N') AS x FROM cotacao ORDER BY anb, data)") +
        " log:" +
        Texto(
            "SELECT group_concat(x, ';') FROM (SELECT tip || ':' || oid || ':' || aux || ':' "
            "|| COALESCE(date, 'N') || ':' || COALESCE(txt, 'N') AS x FROM data_log ORDER BY "
            "tip, oid, aux, date)") +
        " req:" + Texto("SELECT group_concat(prioridade || motivo, ';') FROM reqgbol") + " entry:" +
        Texto(
            "SELECT done || ':' || result || ':' || (taken_until IS NULL) || ':' || "
            "(SELECT COUNT(*) FROM import_files_retoma) FROM import_files WHERE id = " +
            std::to_string(id));
    EXPECT_EQ(Texto("PRAGMA integrity_check"), "ok");
    if (*k.proc == '\0') {
      reference = state;
      EXPECT_NE(reference.find(" req:1DataLogAdd bolsa:1"), std::string::npos) << reference;
    } else {
      EXPECT_EQ(state, reference);
    }
  }
}

// A process whose lease was lost before its outcome commits nothing of its
// last group and records nothing.
TEST_F(QueueRun, ALostLeaseCommitsNothingOfTheLastGroup) {
  QuoteSeries();
  const int id = Enqueue(4, "*QT ZDEM1 1 2024-07-03 1\n*QT ZDEM2 1 2024-07-03 2");
  ASSERT_EQ(Login(), 0);
  RegistraImportadores();
  AntesDe("CotacaoImportV3", [](ProcContext& c) {
    c.Exec("UPDATE import_files SET lease = lease + 1");  // another process took the entry
  });
  EXPECT_EQ(Step(), kErroEntradaTomada);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM cotacao"), 0);
  EXPECT_EQ(Texto("SELECT result FROM import_files WHERE id = " + std::to_string(id)), "NULL");
}

// While one process imports a long file in groups, another on the same
// database waits for the write lock between them and goes on.
TEST_F(QueueRun, AnotherProcessWaitsForTheGroupsAndGoesOn) {
  Sql("INSERT INTO empresa (id, cod, pais) VALUES (1, 'BIG', 0)");
  Sql("INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 2, 0, 0)");
  Sql("INSERT INTO anb (acao, cod, bolsa) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i "
      "+ 1 FROM n WHERE i < 2000) SELECT 1, 'Q' || i, 1 FROM n");
  std::string file;
  for (int d = 1; d <= 9; ++d) {
    for (int i = 1; i <= 2000; ++i) {
      file += "*QT Q" + std::to_string(i) + " 1 2024-06-0" + std::to_string(d) + " 1.5\n";
    }
  }
  const int big = Enqueue(1, file);
  const int small = Enqueue(5);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    RegistraImportadores();
    if (Login() != 0) _exit(3);
    _exit(Step() == 0 ? 0 : 5);
  }
  // Once the long file's groups are being committed:
  while (Sql("SELECT COUNT(*) FROM cotacao") == 0) usleep(1000);
  ASSERT_EQ(Login(), 0);
  bool continua = false;
  EXPECT_EQ(Step(1, &continua), 0);
  EXPECT_TRUE(continua);
  EXPECT_EQ(Sql("SELECT done FROM import_files WHERE id = " + std::to_string(small)), 1);
  EXPECT_EQ(Sql("SELECT done FROM import_files WHERE id = " + std::to_string(big)), 0)
      << "the long file was still being imported";
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM cotacao"), 18000);
}

// The lease is renewed while a long file is imported; when it turns out
// lost (another process took the entry), the import stops and this process
// records no outcome.
TEST_F(QueueRun, TheLeaseIsRenewedAndALostOneStopsTheImport) {
  ASSERT_EQ(Login(), 0);
  const int id = Enqueue(5, "*OCOLOCA\n*OCOLOCA\n*OCOLOCA\n*OCOLOCA");
  g_renewals = 0;
  AntesDe("ImportFilesRenova", [](ProcContext& c) {
    // At the second renewal another process has taken the entry.
    if (++g_renewals == 2) c.Exec("UPDATE import_files SET lease = lease + 1");
  });
  SetTickSource(&SlowTick);
  EXPECT_EQ(Step(), kErroEntradaTomada);
  SetTickSource(nullptr);
  EXPECT_EQ(g_renewals, 2);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM import_files WHERE result IS NULL AND taken_until IS NOT "
                "NULL AND id = " +
                std::to_string(id)),
            1);
}

// Outcomes must not go into a database file that was deleted under the run.
TEST_F(QueueRun, ADeletedDatabaseFailsTheStep) {
  ASSERT_EQ(Login(), 0);
  Enqueue(5);
  fs::remove("ZunInput.db");
  EXPECT_GT(Step(), 0);
}

TEST_F(QueueRun, AnImportersExceptionEndsTheFileWithItsCode) {
  ASSERT_EQ(Login(), 0);
  const int id = Enqueue(3, "*OCOLOCA\n*REQGBOL later");
  // A database failure in the middle of the import pass.
  RegistraImportador(TImportador::kOcoLoca, [](TImpMain& imp, const TVariantes&, int32_t*) {
    if (!imp.ToNoCheck) throw EDBException(3939);
  });
  const int32_t erro = Step();
  RegistraImportador(TImportador::kOcoLoca, ImportaOcoLoca);
  EXPECT_EQ(erro, 3939);
  EXPECT_EQ(ReqGBolPendente, "") << "the record after the failure never ran";
  EXPECT_EQ(Sql("SELECT result FROM import_files WHERE id = " + std::to_string(id)), 3939);
}

}  // namespace
}  // namespace zun
