// The queue procedures on a real database file (processes racing for the
// queue: the service's end-to-end test).
#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include "../support/db_fixture.h"
#include "embedded/plain_queue.h"
#include "embedded/procedure_catalog.h"
#include "foundation/momento.h"

namespace zun {
namespace {

class ImportQueue : public FreshDatabase {
 protected:
  // Queues an entry directly (content NULL when has_content is false);
  // returns its id, the next in a fresh table.
  int32_t Put(int64_t uid, int prioridade, const std::string& mom, const std::string& content = "x",
              int tries = 0, bool has_content = true) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string blob = "X'";
    for (unsigned char c : content) blob += {kHex[c >> 4], kHex[c & 15]};
    Sql("INSERT INTO import_files (uid, prioridade, mom, filename, importtries, conteudo) "
        "VALUES (" +
        std::to_string(uid) + ", " + std::to_string(prioridade) + ", '" + mom + "', 'f.txt', " +
        std::to_string(tries) + ", " + (has_content ? blob + "'" : "NULL") + ")");
    return ++puts_;
  }
  void SetUp() override {
    FreshDatabase::SetUp();
    s_ = Login("zunsvc", "s3cret");
  }
  // The entry's lease runs out, as when its process stopped renewing it.
  void Expire(int32_t id) {
    Sql("UPDATE import_files SET taken_until = '2001-01-01 00:00:00' WHERE id = " +
        std::to_string(id));
  }
  std::unique_ptr<TAdoDataBaseComInfoTran> s_;
  int32_t puts_ = 0;
};

// The most urgent entry comes first, its row carrying its bytes unchanged;
// an inconsistent entry (done without success) is counted.
TEST_F(ImportQueue, HandsOutTheMostUrgentEligibleEntryFirst) {
  const std::string content("*QT PETR4 1 2020-07-03\r\n\xe9\x00\x81 end\n", 33);
  const int32_t late = Put(user_uid_, 2, "2020-07-03 10:00:00");
  const int32_t tie_a = Put(user_uid_, 2, "2020-07-03 09:00:00");
  const int32_t tie_b = Put(admin_uid_, 2, "2020-07-03 09:00:00");
  const int32_t urgent = Put(user_uid_, 1, "2020-07-04 10:11:12", content);
  const int32_t at_ceiling = Put(user_uid_, 5, "2020-01-01 00:00:00");
  Put(user_uid_, 6, "2020-01-01 00:00:00");                    // above the ceiling
  Put(user_uid_, 0, "2020-01-01 00:00:00", "x", /*tries=*/1);  // tries used up
  Put(user_uid_, 0, "2020-01-01 00:00:00", "", 0, false);      // content deleted
  const int32_t done = Put(user_uid_, 0, "2020-01-01 00:00:00");
  Sql("UPDATE import_files SET done = 1, result = 0 WHERE id = " + std::to_string(done));
  Sql("INSERT INTO import_files (uid, mom, done, result) VALUES (2, '2020-01-01', 1, 4081)");
  const Next n = TakeNext(*s_, 5, 1);
  ASSERT_EQ(n.e, 0);
  EXPECT_EQ(std::tie(n.count_menos_um, n.id, n.uid, n.prioridade, n.importtries),
            std::make_tuple(1, urgent, user_uid_, 1, 1));
  EXPECT_EQ(std::tie(n.name, n.mom, n.filename, n.conteudo),
            std::make_tuple("Jo\xe3o.Silva", EncodeDateTime(2020, 7, 4, 10, 11, 12, 0), "f.txt",
                            content));
  // One try each, so that every entry is handed out once.
  std::vector<int32_t> order;
  for (Next m; (m = TakeNext(*s_, 5, 1)).e == 0;) order.push_back(m.id);
  EXPECT_EQ(order, (std::vector<int32_t>{tie_a, tie_b, late, at_ceiling}));
  EXPECT_EQ(TakeNext(*s_, 5, 1).e, kImportFilesNothing);
  // A higher ceiling reaches the entry above 5 only.
  EXPECT_EQ(TakeNext(*s_, 999, 1).e, 0);
  EXPECT_EQ(TakeNext(*s_, 999, 1).e, kImportFilesNothing);
}

// A renewed lease keeps the entry; once it ran out and another process took
// the entry, the first one can neither renew it nor record an outcome.
TEST_F(ImportQueue, OnlyTheLatestLeaseRenewsAndRecords) {
  const int32_t id = Put(user_uid_, 1, "2020-07-03 10:11:12");
  // A database made before the table's later columns: the hand-out adds them.
  Sql("DROP TABLE import_files_retoma");
  Sql("CREATE TABLE import_files_retoma (id INTEGER PRIMARY KEY, lease INTEGER NOT NULL, "
      "linha INTEGER, erro INTEGER, erros INTEGER, gbol INTEGER, pedido TEXT)");
  const Next first = TakeNext(*s_, 5, 3);
  EXPECT_EQ(LinhasComoTexto(*s_,
                            "SELECT id, lease, desde, aplicadas, puladas, mensagens FROM "
                            "import_files_retoma"),
            std::to_string(id) + "|" + std::to_string(first.lease) + "||||");
  Expire(id);
  EXPECT_EQ(Renova(*s_, id, first.lease), 0);
  EXPECT_EQ(TakeNext(*s_, 5, 3).e, kImportFilesNothing) << "the renewed lease holds";
  Expire(id);
  auto other = Login("zunsvc", "s3cret");
  const Next second = TakeNext(*other, 5, 3);
  EXPECT_EQ(std::tie(second.id, second.importtries), std::make_tuple(id, 2));
  EXPECT_EQ(Renova(*s_, id, first.lease), kErrImportFileLeaseLost);
  EXPECT_EQ(Result(*s_, id, Value::Int(0), false, first.lease), kErrImportFileLeaseLost);
  // Line messages per try, only under the lease; a table made before the
  // try's columns gets them.
  Sql("DROP TABLE import_file_errors");
  Sql("CREATE TABLE import_file_errors (id INTEGER NOT NULL, line INTEGER NOT NULL, msg TEXT)");
  const auto erros = [&](TAdoDataBaseComInfoTran& s, int32_t lease, const std::string& linhas) {
    return ChamaProc(s, "ImportFilesErros",
                     {{"@id", Value::Int(id)},
                      {"@lease", Value::Int(lease)},
                      {"@linhas", Value::String(linhas)}});
  };
  EXPECT_EQ(erros(*s_, first.lease, "3\told\n"), kErrImportFileLeaseLost);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(erros(*other, second.lease, "2\t3942\twhy\tbad\t*X\n"), 0);
  Sql("UPDATE import_file_errors SET importtry = 1");
  EXPECT_EQ(erros(*other, second.lease, "5\tnote\n"), 0);
  EXPECT_EQ(LinhasComoTexto(*s_,
                            "SELECT importtry, line, code, reason, msg, linetext FROM "
                            "import_file_errors ORDER BY importtry"),
            "1|2|3942|why|bad|*X;2|5|0||note|");
  EXPECT_EQ(Result(*other, id, Value::Int(3948), false, second.lease), 0);
  EXPECT_EQ(Renova(*other, id, second.lease), kErrImportFileLeaseLost) << "the outcome ends it";
  EXPECT_EQ(LinhasComoTexto(*s_, "SELECT COUNT(*) FROM import_files_retoma"), "0");
}

// A process that died on the entry's last try: once the lease ran out, an
// entry whose import pass committed lines since that hand-out is resumed
// (no try counted, whatever its tries and priority), and so is it after one
// death without such progress; after two in a row it is handed out for the
// record (no try counted), and only until the failure is recorded.
TEST_F(ImportQueue, AnEntryWhoseProcessDiedOnItsLastTryIsResumedOrHandedOutForTheRecord) {
  const int32_t id = Put(user_uid_, 9, "2020-07-03 10:11:12", "x", /*tries=*/1);
  ASSERT_EQ(TakeNext(*s_, 999, 2).importtries, 2);  // the process dies after a group
  Sql("UPDATE import_files_retoma SET linha = 40");
  EXPECT_EQ(TakeNext(*s_, 5, 2).e, kImportFilesNothing) << "its lease still runs";
  Expire(id);
  const Next resumed = TakeNext(*s_, 5, 2);
  EXPECT_EQ(std::tie(resumed.e, resumed.id, resumed.importtries), std::make_tuple(0, id, 2));
  Expire(id);  // it dies before its next group: resumed once more...
  EXPECT_EQ(TakeNext(*s_, 5, 2).e, 0);
  Expire(id);  // ...but not after a second such death in a row
  const Next dead = TakeNext(*s_, 5, 2);
  EXPECT_EQ(std::tie(dead.e, dead.id, dead.importtries),
            std::make_tuple(kErrImportFileProcessDied, id, 2));
  EXPECT_EQ(TakeNext(*s_, 5, 2).e, kImportFilesNothing) << "the record is under way";
  EXPECT_EQ(Result(*s_, id, Value::Int(kErrImportFileProcessDied), false, dead.lease), 0);
  EXPECT_EQ(TakeNext(*s_, 999, 2).e, kImportFilesNothing);
}

// A login that is not an administrator is handed nothing, and no try is
// counted; an outcome needs a known entry, a result and no earlier success;
// an entry whose owner vanished fails until its tries are used.
TEST_F(ImportQueue, RefusalsOfTheHandOutAndOfTheOutcome) {
  const int32_t id = Put(user_uid_, 1, "2020-07-03 10:11:12");
  EXPECT_EQ(TakeNext(*Login("Jo\xe3o.Silva", "pw"), 5, 2).e, kErrImportFilesNotAdmin);
  const Next n = TakeNext(*s_, 5, 2);
  EXPECT_EQ(std::tie(n.e, n.id, n.importtries), std::make_tuple(0, id, 1));
  EXPECT_EQ(Result(*s_, id + 100, Value::Int(0), false), kErrImportFileUnknownId);
  EXPECT_EQ(Result(*s_, id, Value::Null(), false), kErrImportFileNoResult);
  EXPECT_EQ(Result(*s_, id, Value::Int(0), false), 0);
  EXPECT_EQ(Result(*s_, id, Value::Int(3948), false), kErrImportFileAlreadyDone);
  // Imported: never handed out again, whatever the budget.
  EXPECT_EQ(TakeNext(*s_, 999, 9).e, kImportFilesNothing);
  Put(999, 1, "2020-07-03 10:11:12");  // the raw connection does not check the key
  EXPECT_EQ(TakeNext(*s_, 5, 2).e, kErrImportFileOwnerUnknown);
  EXPECT_EQ(TakeNext(*s_, 5, 2).e, kErrImportFileOwnerUnknown);
  EXPECT_EQ(TakeNext(*s_, 5, 2).e, kImportFilesNothing);
}

// A signature as "@name type in|out; ...", the return value left out.
std::string Assinatura(const std::vector<ProcParam>& params) {
  static const char* kTipos[] = {"?",        "integer", "bigint", "double",
                                 "datetime", "boolean", "string", "binary"};
  std::string sig;
  for (const ProcParam& p : params) {
    if (p.direction == ParamDirection::kReturnValue) continue;
    const bool saida =
        p.direction == ParamDirection::kOutput || p.direction == ParamDirection::kInputOutput;
    sig += p.name + " " + kTipos[static_cast<int>(p.type)] + (saida ? " out; " : " in; ");
  }
  return sig;
}

// Every procedure this project adds to a customer's queue has its T-SQL
// with the embedded twin's parameters (names, directions, types), and the
// script defines no procedure without a twin.
TEST(DeployScript, RendersEveryAddedProcedureWithItsParameters) {
  RegisterDatabaseProcedures();
  const auto tipo = [](const std::string& t) -> std::string {
    static const std::map<std::string, std::string> kTipos = {
        {"int", "integer"},      {"bigint", "bigint"},      {"bit", "boolean"},
        {"float", "double"},     {"nvarchar", "string"},    {"varchar", "string"},
        {"varbinary", "binary"}, {"datetime2", "datetime"}, {"datetime", "datetime"}};
    const auto it = kTipos.find(t);
    return it == kTipos.end() ? "?" + t : it->second;
  };
  std::map<std::string, std::string> tsql;
  const std::string script =
      ReadFile(std::filesystem::path(ZUN_TEST_SOURCE_DIR) / "deploy/sqlserver/zuninput-queue.sql");
  const std::regex proc(R"(CREATE OR ALTER PROCEDURE dbo\.(\w+)\n([\s\S]*?)\nAS\n)");
  const std::regex param(R"(^\s*(@\w+)\s+([a-z0-9]+)[^\n]*?(\bOUTPUT)?,?$)");
  for (std::sregex_iterator m(script.begin(), script.end(), proc), end; m != end; ++m) {
    std::istringstream lines((*m)[2].str());
    std::string& sig = tsql[(*m)[1].str()];
    for (std::string l; std::getline(lines, l);) {
      std::smatch p;
      sig += std::regex_match(l, p, param)
                 ? p[1].str() + " " + tipo(p[2].str()) + (p[3].matched ? " out; " : " in; ")
                 : "unread <" + l + ">; ";
    }
  }
  std::map<std::string, std::string> embutidos;
  for (const std::string& nome : ProcedimentosAcrescentados()) {
    const auto e = FindProcedure(nome);
    ASSERT_NE(e, nullptr) << nome;
    embutidos[nome] = Assinatura(e->signature);
  }
  EXPECT_EQ(tsql, embutidos);
}

// The embedded catalog takes each procedure the service calls with the
// parameters the service sends and reads, in their order, and has no other
// but the tools' own.
TEST(ServiceProcedures, TheCatalogTakesWhatTheServiceSends) {
  RegisterDatabaseProcedures();
  std::vector<std::string> servico, catalogo;
  for (const ServiceProcedure& p : ServiceProcedures()) {
    servico.push_back(p.name + ": " + Assinatura(p.params));
  }
  const std::vector<std::string>& ferramentas = ProcedimentosDasFerramentas();
  for (const std::string& nome : ProcedureNames()) {
    if (std::find(ferramentas.begin(), ferramentas.end(), nome) != ferramentas.end()) continue;
    catalogo.push_back(nome + ": " + Assinatura(FindProcedure(nome)->signature));
  }
  EXPECT_EQ(servico, catalogo);
}

}  // namespace
}  // namespace zun
