// A temporary directory for database files, sessions logged in to them the
// way the service logs in, and the queue procedures read the way the queue
// step reads them, and the rows of a query as one text. FreshDatabase adds a
// reference database with an administrator and a plain user.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "embedded/reference_db.h"
#include "foundation/log.h"
#include "scratch.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/server_version.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

// The rows text leaves on db: "|" between columns, ";" after each row,
// null_text for a null.
inline std::string Rows(sqlite3* db, const std::string& text, const char* null_text = "") {
  std::pair<std::string, const char*> got{"", null_text};
  auto row = [](void* out, int n, char** cols, char**) {
    auto& [rows, null] = *static_cast<std::pair<std::string, const char*>*>(out);
    for (int i = 0; i < n; ++i) rows += (i ? "|" : "") + std::string(cols[i] ? cols[i] : null);
    rows += ";";
    return 0;
  };
  EXPECT_EQ(sqlite3_exec(db, text.c_str(), row, &got, nullptr), SQLITE_OK) << text;
  return got.first;
}

// A connection to the database file at path, closed with the pointer.
inline std::unique_ptr<sqlite3, int (*)(sqlite3*)> Open(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_busy_timeout(db, 10000);  // a service process may hold the write lock
  return {db, sqlite3_close};
}

// The same on the database file at path.
inline std::string Rows(const std::string& path, const std::string& text) {
  return Rows(Open(path).get(), text);
}

class DbDir : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/database_test.log");
    RegisterDatabaseProcedures();
    dir_ = ScratchDir("zun-dbtest");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path() const { return dir_ + "/" + catalog_ + ".db"; }

  // A session logged in as user, with the server generation detected.
  std::unique_ptr<TAdoDataBaseComInfoTran> Login(const std::string& user, const std::string& pw) {
    auto s = std::make_unique<TAdoDataBaseComInfoTran>();
    s->SetConnectionString("Provider=SQLite;Initial Catalog=" + catalog_ +
                           ";Data Directory=" + dir_ + ";User ID=" + user + ";Password=" + pw);
    s->Open();
    DetectaVersaoDoServidor(s.get());
    return s;
  }

  // Runs SQL on the file directly, as an operator would.
  void Sql(const std::string& text) { Rows(Path(), text); }

  std::string dir_, catalog_ = "ZunInput";
};

class FreshDatabase : public DbDir {
 protected:
  void SetUp() override {
    DbDir::SetUp();
    InitDatabase(Path());
    admin_uid_ = AddUser(Path(), {"zunsvc", "s3cret", "ops@example.com", true, 0, 0, 0});
    user_uid_ = AddUser(Path(), {"Jo\xe3o.Silva", "pw", "joao@example.com", false, 6, 1, 3});
  }
  int64_t admin_uid_ = 0, user_uid_ = 0;
};

// Company PETR of country 0 with one asset and its series PETR4 on
// exchange 1, and a corporate action type 0: what the procedure and
// importer tests name (statements separated by ";").
inline constexpr char kEmpresaESerieDeTeste[] =
    "INSERT INTO empresa (id, cod, pais) VALUES (1, 'PETR', 0);"
    "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 2, 0, 0);"
    "INSERT INTO anb (id, acao, cod, bolsa) VALUES (1, 1, 'PETR4', 1);"
    "INSERT INTO oco_tipo (id, abrv, nome) VALUES (0, 'NIL', 'None')";

// The parameters of a stored-procedure call in a table, and shorthands for
// their values.
namespace proc_args {
using Params = std::vector<std::pair<const char*, Value>>;
inline Value I(int32_t v) { return Value::Int(v); }
inline Value F(double v) { return Value::Double(v); }
inline Value S(const char* v) { return Value::String(v); }
inline Value B(bool v) { return Value::Bool(v); }
inline const Value N;  // NULL
}  // namespace proc_args

// Calls proc on s in mode 0 with the parameters in; its code.
inline int32_t ChamaProc(TAdoDataBaseComInfoTran& s, const char* proc,
                         const proc_args::Params& in) {
  auto cmd = s.TomaDataSet(CommandType::kStoredProc, proc);
  for (const auto& [name, v] : in) cmd->Params().ParamByName(name).value = v;
  const int32_t e = ExecStProc(cmd, ModoStProc::kExecuta);
  s.DevolveDataSet(&cmd);
  return e;
}

// One ImportFilesNext row; the fields are read only when a row follows (e
// is 0 or kErrImportFileProcessDied).
struct Next {
  int32_t e = -1, count_menos_um = -1, uid = 0, id = 0, prioridade = 0, importtries = 0, lease = 0;
  double mom = 0;
  std::string name, filename, conteudo;
};

inline Next TakeNext(TAdoDataBaseComInfoTran& s, int32_t max_pri, int32_t max_tries) {
  Next n;
  auto cmd = s.TomaDataSet(CommandType::kStoredProc, "ImportFilesNext");
  SetParamInt(cmd, "@MaxPrioridade", max_pri);
  SetParamInt(cmd, "@MaxImportTries", max_tries);
  n.e = ExecStProc(cmd, ModoStProc::kLeResult);
  if (n.e == 0 || n.e == kErrImportFileProcessDied) {
    n.count_menos_um = FieldInt(cmd, "CountMenosUm");
    cmd->NextRecordset();
    GetFieldInt(cmd, "Uid", &n.uid);
    GetFieldInt(cmd, "Id", &n.id);
    GetFieldInt(cmd, "prioridade", &n.prioridade);
    GetFieldStr(cmd, "Name", &n.name);
    GetFieldDateTime(cmd, "mom", &n.mom);
    GetFieldStr(cmd, "filename", &n.filename);
    GetFieldInt(cmd, "importtries", &n.importtries);
    n.conteudo = cmd->Current().FieldByName("conteudo").AsString();
    GetFieldInt(cmd, "lease", &n.lease);
  }
  s.DevolveDataSet(&cmd);
  return n;
}

// "ImportFilesResult"; lease 0 leaves "@lease" NULL (not checked).
inline int32_t Result(TAdoDataBaseComInfoTran& s, int32_t id, const Value& res, bool apaga,
                      int32_t lease = 0) {
  return ChamaProc(s, "ImportFilesResult",
                   {{"@id", Value::Int(id)},
                    {"@res", res},
                    {"@ApagaConteudo", Value::Bool(apaga)},
                    {"@lease", lease == 0 ? Value::Null() : Value::Int(lease)}});
}

inline int32_t Renova(TAdoDataBaseComInfoTran& s, int32_t id, int32_t lease) {
  return ChamaProc(s, "ImportFilesRenova",
                   {{"@id", Value::Int(id)}, {"@lease", Value::Int(lease)}});
}

// The rows of a query on conn: columns joined by "|", rows by ";".
inline std::string LinhasComoTexto(Connection& conn, const std::string& sql) {
  std::vector<Recordset> out;
  conn.Provider().ExecuteSql(sql, 30, &out);
  std::string got;
  for (const auto& row : out.at(0).rows()) {
    if (!got.empty()) got += ";";
    for (size_t i = 0; i < row.size(); ++i) got += (i ? "|" : "") + row[i].AsString();
  }
  return got;
}

// One stored-procedure call of a table-driven test: its parameters, the code
// it must return and the rows of the test's query afterwards ("|" between
// columns, ";" between rows; nullptr: unchanged by the call).
struct ChamadaDeProc {
  const char* proc;
  proc_args::Params in;
  int32_t code;
  const char* linhas = nullptr;
};

// Makes each call in order on s in mode 0 and compares its code and the
// rows of consulta.
inline void RodaChamadas(TAdoDataBaseComInfoTran& s, const std::string& consulta,
                         const std::vector<ChamadaDeProc>& chamadas) {
  std::string linhas = LinhasComoTexto(s, consulta);
  for (const ChamadaDeProc& c : chamadas) {
    EXPECT_EQ(ChamaProc(s, c.proc, c.in), c.code) << c.proc << " " << linhas;
    if (c.linhas != nullptr) linhas = c.linhas;
    EXPECT_EQ(LinhasComoTexto(s, consulta), linhas) << c.proc;
  }
}

// The procedure tests' database: FreshDatabase holding kEmpresaESerieDeTeste.
class ProcDb : public FreshDatabase {
 protected:
  void SetUp() override {
    FreshDatabase::SetUp();
    Sql(kEmpresaESerieDeTeste);
  }
  // RodaChamadas on a session of the administrator, or of the plain user.
  void Roda(const std::string& consulta, const std::vector<ChamadaDeProc>& chamadas,
            bool admin = true) {
    RodaChamadas(*(admin ? Login("zunsvc", "s3cret") : Login("Jo\xe3o.Silva", "pw")), consulta,
                 chamadas);
  }
};

}  // namespace zun
