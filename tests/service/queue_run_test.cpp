// The login and the queue step in-process, against an embedded database in a
// scratch directory: what the executable's runs cannot show from outside
// (the user context, the pending bulletin text, an injected budget).

#include "../support/log_capture.h"
#include "db/reqgbol.h"
#include "db/user_context.h"
#include "embedded/procedure_catalog.h"
#include "engine/imp_main.h"
#include "engine/keyword_table.h"
#include "foundation/momento.h"
#include "queue_db.h"
#include "service/importers.h"
#include "service/line_errors.h"
#include "service/procedure_check.h"
#include "service/queue_step.h"
#include "service/reqgbol_step.h"
#include "service/run_summary.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

uint32_t g_tick = 0;
// Six minutes pass between two readings of the clock.
uint32_t SlowTick() { return g_tick += 360000; }
int g_calls = 0;
const char kDb[] = "ZunInput.db";

// Replaces proc (in this process) by one that runs antes first; with
// read_only in a read transaction (the procedure must not write).
void AntesDe(const std::string& proc, std::function<void(ProcContext&)> antes,
             bool read_only = false) {
  const auto orig = FindProcedure(proc);
  ASSERT_NE(orig, nullptr) << proc;
  RegisterProcedure(
      proc, std::vector<ProcParam>(orig->signature.begin() + 1, orig->signature.end()),
      [orig, antes](ProcContext& c) {
        antes(c);
        orig->fn(c);
      },
      orig->read_only || read_only);
}

// Rows on the test's database as text (see Rows).
std::string Sql(const std::string& text) { return Rows(kDb, text); }

// One queue step; its code, and whether the run goes on in *continua.
int32_t Step(int32_t seq = 1, bool* continua = nullptr) {
  int32_t erro = -1;
  bool goes_on = false;
  ImpIFStep(seq, &erro, continua != nullptr ? continua : &goes_on);
  return erro;
}

// A child process logs in (with login's switches), arms its kill and takes
// a step; it must die: by its own exit with status 9, or killed. The dead
// process's lease then runs out.
void KilledStep(const std::function<void()>& arm, const std::vector<std::string>& login = {}) {
  int status = 0;
  ASSERT_GT(waitpid(Spawn([&] {
                      if (LoginInProcess(login) != 0) return 3;
                      arm();
                      Step();
                      return 4;
                    }),
                    &status, 0),
            0);
  ASSERT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 9 : WTERMSIG(status) == SIGKILL) << status;
  Sql("UPDATE import_files SET taken_until = '2001-01-01 00:00:00' WHERE done = 0");
}

class QueueRun : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    fs::current_path(ScratchDir("zunqrun"));
    NewQueueDatabase(kDb);
    SetLogFileName((fs::current_path() / "zuninput.log").string());
    log_.Mark();
    SysExitCode = 0;
    RegisterDatabaseProcedures();
  }
  void TearDown() override {
    EncerraZiGlobs(&SysExitCode);
    SetTickSource(nullptr);
    SetProgramArgs({});
    SysExitCode = 0;
    const fs::path dir = fs::current_path();
    fs::current_path(old_cwd_);
    if (!HasFailure()) fs::remove_all(dir);
  }

  // An entry of ana.lima holding content; its id.
  static int Enqueue(int priority, const std::string& content = "*OCOLOCA") {
    return zun::Enqueue(kDb, "ana.lima", content, priority);
  }
  // The "- sending mail to" log lines of the test, joined.
  std::string Mails() {
    std::string mails;
    for (const std::string& l : log_.Lines()) {
      if (l.find("- sending mail to") != std::string::npos) mails += l;
    }
    return mails;
  }

  fs::path old_cwd_;
  LogCapture log_;
};

TEST_F(QueueRun, LoginSwitchesToTheOwnerAndBackAcrossAReconnection) {
  ASSERT_EQ(LoginInProcess(), 0);
  ASSERT_EQ(ChamaSetuser("ana.lima"), 0);
  EXPECT_FALSE(UsuarioIsAdmin);
  Db->Close();                           // the link is lost
  const int32_t e = GetInfoDoUsuario();  // reconnects and repeats the call
  EXPECT_EQ(e, 0);
  EXPECT_EQ(UsuarioNome, "ana.lima") << "the new connection works as the file's owner";
  ASSERT_EQ(ChamaSetuser(""), 0);
  EXPECT_EQ(UsuarioNome, "zunsvc");
}

// Only an administrator may run the service; a client floor above this
// client fails the login unless -AdminVersion is given. A failed login
// leaves the session closed.
TEST_F(QueueRun, LoginRefusals) {
  EXPECT_EQ(LoginInProcess({}, "ana.lima", "x"), kErroLoginNaoAdministrador);
  EXPECT_FALSE(IsLogged(false));
  EncerraZiGlobs(&SysExitCode);
  Sql("UPDATE settings SET value = '21' WHERE name = 'MinClientVersion'");
  EXPECT_NE(LoginInProcess(), 0);
  EXPECT_FALSE(IsLogged(false)) << "a failed login leaves the session closed";
  EncerraZiGlobs(&SysExitCode);
  EXPECT_EQ(LoginInProcess({"-AdminVersion"}), 0);
}

// A step that fails on an urgent file: its code, the entry as it is left
// (result, still leased, bulletin requests, quotes written), no bulletin
// asked for, and the owner's mail only on the last try.
TEST_F(QueueRun, AFailedStepRecordsItsCodeOrNothing) {
  const struct {
    const char* name;
    const char* content;
    std::function<void(int id)> arm;
    int32_t code;
    const char* entry;  // result|taken_until IS NULL|reqgbol rows|cotacao rows
    const char* mails = "";
    int calls = 0;  // calls of the armed procedure
  } rows[] = {
      {"the queue refuses the outcome", "*OCOLOCA",
       [](int) {
         RegisterProcedure("ImportFilesResult",
                           {{"@id", DataType::kInteger},
                            {"@res", DataType::kInteger},
                            {"@ApagaConteudo", DataType::kBoolean},
                            {"@lease", DataType::kInteger}},
                           [](ProcContext& c) { c.Return(50101); });
       },
       50101, "|0|0|0;"},
      // A database failure in the middle of the import pass; the line
      // after it never runs.
      {"an importer's exception", "*OCOLOCA\n*REQGBOL later",
       [](int) {
         RegistraImportador(TImportador::kOcoLoca, [](TImpMain& imp, const TVariantes&, int32_t*) {
           if (!imp.ToNoCheck) throw EDBException(3939);
         });
       },
       3939, "3939|1|0|0;"},
      // Another process took the entry: nothing of the last group is
      // committed and no outcome recorded.
      {"the lease lost in a group", "*QT ZDEM1 1 2024-07-03 1\n*QT ZDEM2 1 2024-07-03 2",
       [](int) {
         RunExampleSql(kDb, "quote_series.sql");
         AntesDe("CotacaoImportV3",
                 [](ProcContext& c) { c.Exec("UPDATE import_files SET lease = lease + 1"); });
       },
       kErroEntradaTomada, "|0|0|0;"},
      // The lease is renewed while a long file is imported; at the second
      // renewal another process has taken the entry.
      {"the lease lost at its renewal", "*OCOLOCA\n*OCOLOCA\n*OCOLOCA\n*OCOLOCA",
       [](int) {
         SetTickSource(&SlowTick);
         AntesDe("ImportFilesRenova", [](ProcContext& c) {
           if (++g_calls == 2) c.Exec("UPDATE import_files SET lease = lease + 1");
         });
       },
       kErroEntradaTomada, "|0|0|0;", "", 2},
      // The local copy cannot be written, before the switch to the owner, on
      // the last try: the mail still goes to the owner.
      {"no local copy on the last try", "*OCOLOCA",
       [](int id) {
         Sql("UPDATE import_files SET importtries = 1, mom = '2020-07-03 10:11:12'");
         fs::create_directory(std::to_string(id) + "-analima-20200703-101112-1.txt");
       },
       4081, "4081|1|0|0;", "- sending mail to <ana@example.com>"},
      // The switch to the owner works but the owner's context cannot be
      // read: the file is not imported with an empty context.
      {"the owner's context unread", "*QT ZDEM1 1 2024-07-03 1",
       [](int) {
         RunExampleSql(kDb, "quote_series.sql");
         const auto orig = FindProcedure("GetInfoDoUsuario");
         RegisterProcedure(
             "GetInfoDoUsuario",
             std::vector<ProcParam>(orig->signature.begin() + 1, orig->signature.end()),
             [orig](ProcContext& c) {
               if (c.CurrentUser() != "ana.lima") return orig->fn(c);
               c.Return(50302);
             });
       },
       50302, "50302|1|0|0;"},
      // Outcomes must not go into a database file deleted under the run.
      {"the database deleted", "*OCOLOCA", [](int) { fs::remove(kDb); }, 3939, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    NewQueueDatabase(kDb);
    RegisterDatabaseProcedures();
    RegistraImportadores();
    log_.Mark();
    ASSERT_EQ(LoginInProcess(), 0);
    const int id = Enqueue(3, r.content);
    g_calls = 0;
    r.arm(id);
    EXPECT_EQ(Step(), r.code);
    SetTickSource(nullptr);
    RegistraImportador(TImportador::kOcoLoca, ImportaOcoLoca);
    EXPECT_EQ(g_calls, r.calls);
    EXPECT_EQ(ReqGBolPendente, "");
    if (r.code == 4081) {
      EXPECT_EQ(UsuarioNome, "zunsvc") << "the switch was not made";
    }
    EXPECT_EQ(Mails(), r.mails);
    if (r.entry != nullptr) {
      EXPECT_EQ(Sql("SELECT result, taken_until IS NULL, (SELECT COUNT(*) FROM reqgbol), "
                    "(SELECT COUNT(*) FROM cotacao) FROM import_files WHERE id = " +
                    std::to_string(id)),
                r.entry);
    }
    EncerraZiGlobs(&SysExitCode);
  }
}

// Over TDS, against a queue without this project's additions: the login's
// check names, in one block, what the database lacks or describes with
// other parameters than this process's (checked again where the test
// renamed one and added one the server lacks), and the queue step goes without the
// additions. A procedure found missing fails its caller at once with 3947
// naming it, without asking the server.
TEST_F(QueueRun, TheLoginChecksTheProceduresOverTds) {
  if (std::string(ZUN_DEFAULT_SQLSERVER) != "localhost") GTEST_SKIP() << "not a loopback server";
  testing::TdsServerProcess tds(kDb, {"--plain-queue"});
  const int32_t login = LoginInProcess(OverTds(tds.port()));
  ASSERT_EQ(login, 0) << log_.Text();
  std::vector<ServiceProcedure> usados = ServiceProcedures();
  const auto prv = std::find_if(usados.begin(), usados.end(),
                                [](const ServiceProcedure& p) { return p.name == "PrvImport"; });
  ASSERT_NE(prv, usados.end());
  const std::string primeiro = prv->params[0].name;
  prv->params[0].name = "@renomeado";
  usados.push_back({"ZunAusente", {{"@a", DataType::kInteger}}});
  ConfereProcedimentos(usados);
  for (const std::string& linha : std::vector<std::string>{
           "- procedure check: 6 of ",
           "-   ImportFilesNext has no lease: entries are not fenced between hosts; deploy "
           "deploy/sqlserver/zuninput-queue.sql to enable",
           "-   ImportFilesRenova is missing: no lease renewal",
           "-   ImportFilesErros is missing: line messages are not stored",
           "-   ImportFilesMarca is missing: no resume mark",
           "-   PrvImport takes other parameters: no @renomeado, " + primeiro +
               " is not sent by this service; its calls may fail",
           "-   ZunAusente is missing: a file that needs it fails with 3947"}) {
    EXPECT_NE(log_.Text().find(linha), std::string::npos) << linha << "\n" << log_.Text();
  }
  EXPECT_EQ(ChamaComGuarda("ZunAusente", "ZunAusente", 0, [](DsRef, int32_t*) {}),
            kErrProcedimentoAusente);
  EXPECT_NE(log_.Text().find("Procedure <ZunAusente> is missing in the database"),
            std::string::npos);
  const int id = Enqueue(5, "*OCOLOCA\n*NOSUCH\n");
  EXPECT_EQ(Step(), 3942);
  // No lease numbers the hand-out: the local copy's name takes the process id.
  EXPECT_NE(log_.Text().find("-p" + std::to_string(getpid()) + ".txt>"), std::string::npos);
  EXPECT_EQ(
      Sql("SELECT importtries, result, lease FROM import_files WHERE id = " + std::to_string(id)),
      "1|3942|0;");
}

// A file that kills the process on every try (here: just before its outcome
// is recorded) ends failed after its tries, with the owner's mail.
TEST_F(QueueRun, AFileThatKillsTheProcessEveryTimeEndsFailed) {
  const int id = Enqueue(5);
  for (int kill = 1; kill <= 2; ++kill) {
    KilledStep([] { AntesDe("ImportFilesResult", [](ProcContext&) { _exit(9); }); });
    EXPECT_EQ(Sql("SELECT importtries FROM import_files WHERE id = " + std::to_string(id)),
              std::to_string(kill) + ";");
  }
  ASSERT_EQ(LoginInProcess(), 0);
  bool continua = false;
  EXPECT_EQ(Step(1, &continua), 0) << "the run goes on";
  EXPECT_TRUE(continua);
  EXPECT_EQ(Sql("SELECT result FROM import_files WHERE taken_until IS NULL AND id = " +
                std::to_string(id)),
            "50106;");
  EXPECT_EQ(Mails(), "- sending mail to <ana@example.com>");
}

// A kill at any moment of a file's import, on its first or its last try,
// leaves each line applied or not and the outcome recorded only with the
// file's last lines. After a clean rerun the database holds what an
// uninterrupted run leaves: each quote and its data-log entry once, the
// bulletin logged once, the entry recorded once (its tries aside), the same
// line messages, and the run's summary counts every line applied once. A
// clock that runs six minutes per reading makes every record its own group.
// The same on the embedded provider and over TDS, where the server kills
// the process with the call under way.
TEST_F(QueueRun, AKilledImportLeavesWhatAnUninterruptedRunLeavesAfterTheRerun) {
  const fs::path ex = fs::path(ZUN_TEST_SOURCE_DIR) / "examples";
  const std::string file =
      ReadFile(ex / "quotes_bulletin.txt") + ReadFile(ex / "quotes_conditional.txt");
  const struct {
    const char* proc;
    int nth;
    bool last_try = false;  // the killed hand-out is the entry's last try
    int again = 0;          // the resume is killed too, at this call
  } kills[] = {
      {"", 0},                        // uninterrupted: the reference
      {"DataLogAdd", 1},              // the bulletin log step, first work of the import pass
      {"CotacaoImportV3", 12},        // inside a group, earlier groups committed
      {"ImportFilesResult", 1},       // between the last lines and the outcome
      {"ChamaSetuser", 2},            // right after the outcome (the switch back)
      {"CotacaoImportV3", 28, true},  // after the lines reported in the import pass
      {"ImportFilesResult", 1, true},
      {"CotacaoImportV3", 12, true, 1},  // twice: the resume before its first group
  };
  RegistraImportadores();
  std::string reference;
  int64_t reference_applied = 0;
  // Each kill on the embedded provider, then over TDS.
  for (size_t run = 0; run < 2 * std::size(kills); ++run) {
    const bool tds = run >= std::size(kills);
    const auto& k = kills[run % std::size(kills)];
    SCOPED_TRACE(std::string(k.proc) + (tds ? " over TDS" : ""));
    PrioridadeReqGBol = 0;
    NewQueueDatabase(kDb);
    RunExampleSql(kDb, "quote_series.sql");
    const int id = Enqueue(4, file);
    if (k.last_try) Sql("UPDATE import_files SET importtries = 1");
    for (int n : {k.nth, k.again}) {
      if (n == 0) continue;
      if (tds) {
        testing::TdsServerProcess server(kDb, {"--kill-on", k.proc + ("," + std::to_string(n))});
        KilledStep([] { SetTickSource(&SlowTick); }, OverTds(server.port()));
        continue;
      }
      KilledStep([&k, n] {
        SetTickSource(&SlowTick);
        AntesDe(k.proc, [n](ProcContext&) {
          if (++g_calls == n) _exit(9);  // as a kill would, before the call runs
        });
      });
    }
    std::unique_ptr<testing::TdsServerProcess> server;
    if (tds) server = std::make_unique<testing::TdsServerProcess>(kDb);
    ASSERT_EQ(LoginInProcess(tds ? OverTds(server->port()) : std::vector<std::string>{}), 0);
    SetTickSource(&SlowTick);
    ResumoAtual() = {};
    int32_t erro = 0;
    bool continua = true;
    for (int seq = 1; continua && erro == 0; ++seq) erro = Step(seq, &continua);
    EXPECT_EQ(erro, 0);
    EncerraZiGlobs(&erro);
    SetTickSource(nullptr);
    const std::string state =
        Sql("SELECT group_concat(x, ';') FROM (SELECT anb || ':' || COALESCE(valor1, 'N') || "
            "'/' || COALESCE(valor2, 'N') AS x FROM cotacao ORDER BY anb, data)") +
        " log:" +
        Sql("SELECT group_concat(x, ';') FROM (SELECT tip || ':' || oid || ':' || aux || ':' "
            "|| COALESCE(date, 'N') || ':' || COALESCE(txt, 'N') AS x FROM data_log ORDER BY "
            "tip, oid, aux, date)") +
        " req:" + Sql("SELECT group_concat(prioridade || motivo, ';') FROM reqgbol") +
        " msgs:" + Sql("SELECT group_concat(line || ' ' || msg, ';') FROM import_file_errors") +
        " entry:" +
        Sql("SELECT done || ':' || result || ':' || (taken_until IS NULL) || ':' || "
            "(SELECT COUNT(*) FROM import_files_retoma) FROM import_files WHERE id = " +
            std::to_string(id));
    EXPECT_EQ(Sql("PRAGMA integrity_check"), "ok;");
    if (*k.proc == '\0' && !tds) {
      reference = state;
      reference_applied = ResumoAtual().linhas;
      // The bulletin's request alone: priority 4 asks for none of its own.
      EXPECT_NE(reference.find(" req:1DataLogAdd bolsa:1 tipo:0 data:2024-07-03; msgs:"),
                std::string::npos)
          << reference;
    } else {
      EXPECT_EQ(state, reference);
      // Unless the killed run recorded the file (its summary was lost with it).
      if (ResumoAtual().arquivos > 0) {
        EXPECT_EQ(ResumoAtual().linhas, reference_applied);
      }
    }
  }
}

// While one process imports a long file in groups, another on the same
// database waits for the write lock between them and goes on.
TEST_F(QueueRun, AnotherProcessWaitsForTheGroupsAndGoesOn) {
  Sql("INSERT INTO empresa (id, cod, pais) VALUES (1, 'BIG', 0);"
      "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 2, 0, 0);"
      "INSERT INTO anb (acao, cod, bolsa) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i "
      "+ 1 FROM n WHERE i < 2000) SELECT 1, 'Q' || i, 1 FROM n");
  std::string file;
  for (int d = 1; d <= 9; ++d) {
    for (int i = 1; i <= 2000; ++i) {
      file += "*QT Q" + std::to_string(i) + " 1 2024-06-0" + std::to_string(d) + " 1.5\n";
    }
  }
  const int big = Enqueue(1, file);
  const int small = Enqueue(5);
  const pid_t importer = Spawn([] {
    RegistraImportadores();
    return LoginInProcess() != 0 ? 3 : Step() == 0 ? 0 : 5;
  });
  // Once the long file's groups are being committed:
  while (Sql("SELECT COUNT(*) FROM cotacao") == "0;") usleep(1000);
  ASSERT_EQ(LoginInProcess(), 0);
  bool continua = false;
  EXPECT_EQ(Step(1, &continua), 0);
  EXPECT_TRUE(continua);
  EXPECT_EQ(Sql("SELECT id, done FROM import_files ORDER BY id"),
            std::to_string(big) + "|0;" + std::to_string(small) + "|1;")
      << "the long file was still being imported";
  EXPECT_EQ(ExitStatus(importer), 0);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM cotacao"), "18000;");
}

// Two hand-outs of one entry in two processes: a step that waits between
// writing its copy and reading it while its lease runs out, and a run that
// starts then, takes the entry again and records it. The run's start removes
// only the copy no process holds (the waiting step's is as old), and the
// recording step removes only its own copy: the first step still reads its
// file, and learns only that the entry is no longer its own.
TEST_F(QueueRun, TwoHandOutsInTwoProcessesKeepTheirOwnCopies) {
  Enqueue(5);
  const pid_t first = Spawn([] {
    if (LoginInProcess() != 0) return 3;
    // A read transaction, so that the other run writes meanwhile.
    AntesDe(
        "ChamaSetuser",
        [waited = false](ProcContext&) mutable {
          if (std::exchange(waited, true)) return;
          std::ofstream("waiting");
          while (!fs::exists("go")) usleep(1000);
        },
        true);
    // Its copy read whole: its one record applied (then undone with the group).
    return Step() == kErroEntradaTomada && ContagemDoUltimoArquivo().aplicadas == 1 ? 0 : 4;
  });
  for (int ms = 0; ms < 60000 && !fs::exists("waiting"); ++ms) usleep(1000);
  ASSERT_TRUE(fs::exists("waiting"));
  std::ofstream("9-bob-20200703-101112.txt") << "x";      // a killed older version's
  std::ofstream("9-bob-20200703-101112-p77.txt") << "x";  // a killed run's on a plain queue
  for (const auto& f : fs::directory_iterator(".")) {
    fs::last_write_time(f, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  Sql("UPDATE import_files SET taken_until = '2001-01-01 00:00:00'");
  ASSERT_EQ(LoginInProcess(), 0);
  EXPECT_EQ(ApagaCopiasOrfas(), 2);
  EXPECT_EQ(Step(), 0);
  std::ofstream("go");
  EXPECT_EQ(ExitStatus(first), 0);
  EXPECT_EQ(Sql("SELECT importtries || ':' || done || ':' || lease FROM import_files"), "2:1:2;");
}

}  // namespace
}  // namespace zun
