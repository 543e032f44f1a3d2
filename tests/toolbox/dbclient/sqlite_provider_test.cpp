// The embedded provider through the client classes: the login against the
// users table of a reference database, a missing file or provider, a file
// replaced under an open connection, Windows-1252 text and SQL texts with
// values.
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "embedded/procedure_catalog.h"
#include "embedded/reference_db.h"
#include "foundation/text_1252.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/errors.h"

namespace zun {
namespace {

int g_calls = 0;

class SqliteProviderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::filesystem::remove_all(Dir());
    std::filesystem::create_directories(Dir());
    InitDatabase(Dir() + "/ref.db");
    AddUser(Dir() + "/ref.db", {"ana", " s3cret ", "", false, 0, 0, 0});
    // Admitted by integrated security only.
    AddUser(Dir() + "/ref.db", {getpwuid(geteuid())->pw_name, "", "", false, 0, 0, 0});
    sqlite3* db = OpenSqliteFile(Dir() + "/ref.db", false);
    sqlite3_exec(db,
                 "CREATE TABLE zc(s TEXT); CREATE TABLE zp(k INTEGER PRIMARY KEY, v REAL, s TEXT)",
                 nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    RegisterProcedure(
        "ZcEcho",
        {{"@s", DataType::kString}, {"@o", DataType::kString, ParamDirection::kInputOutput}},
        [](ProcContext& c) {
          ++g_calls;
          c.Exec("INSERT INTO zc VALUES (?)", {c.In("@s")});
          c.AddResult(c.Query("SELECT s FROM zc WHERE rowid = last_insert_rowid()"));
          c.Out("@o", c.In("@s"));
        });
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(Dir()); }
  static std::string Dir() {
    return std::string(ZUN_TEST_BINARY_DIR) + "/dbclient_db/" + std::to_string(::getpid());
  }
  static std::string Cs(const std::string& login, const std::string& catalog = "ref") {
    return "Provider=SQLite;Initial Catalog=" + catalog + ";Data Directory=" + Dir() + ";" + login;
  }
  // The provider's error message of opening with cs, "" when it opens.
  static std::string OpenError(const std::string& cs) {
    Connection c;
    c.SetConnectionString(cs);
    try {
      c.Open();
    } catch (const ProviderError& e) {
      EXPECT_FALSE(c.Connected());
      return e.what();
    }
    EXPECT_TRUE(c.Connected());
    return "";
  }
  void SetUp() override {
    conn_.SetConnectionString(Cs("User ID=ana;Password= s3cret "));
    conn_.Open();
  }
  Connection conn_;
};

// The login against the users table, a missing or invalid catalog, an
// unknown provider: the whole text of the error, with no password in it.
TEST_F(SqliteProviderTest, OpenErrors) {
  const std::string ana = "User ID=ana;Password= s3cret ", absent = Dir() + "/absent.db";
  const std::pair<std::string, std::string> rows[] = {
      {Cs("User ID=ANA;Password= s3cret "), ""},  // names ignore letter case
      {Cs("User ID=ana;Password=s3cret"), "Login failed for user 'ana'"},  // the blanks count
      {Cs("User ID=nobody;Password= s3cret "), "Login failed for user 'nobody'"},
      {Cs("Integrated Security=SSPI"), ""},  // as the operating-system user
      {Cs("Integrated Security=SSPI;User ID=ana;Password="), "Login failed for user 'ana'"},
      {Cs(ana, "absent"), "Cannot open database \"" + absent + "\": the file does not exist"},
      {Cs("", "../ref"), "Invalid Initial Catalog <../ref>"},
      {"Provider=Nope", "Provider <Nope> is not registered"},
      {Cs(ana, "REF"), ""},  // catalog names ignore letter case, as the login's guard does
  };
  for (const auto& [cs, want] : rows) EXPECT_EQ(OpenError(cs), want) << cs;
  EXPECT_FALSE(std::filesystem::exists(absent)) << "no file is created";
}

// The kind of the ProviderError that `f` raises; fails the test when it
// raises none.
ErrorKind KindOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ProviderError& e) {
    return e.Kind();
  }
  ADD_FAILURE() << "no ProviderError";
  return ErrorKind::kOther;
}

// A file deleted or replaced under an open connection: every call, the
// liveness probe included, fails instead of writing into the old file.
TEST_F(SqliteProviderTest, AFileDeletedOrReplacedFailsEveryCall) {
  const std::string path = Dir() + "/moving.db";
  const std::pair<const char*, std::function<void()>> rows[] = {
      {"deleted", [&] { std::filesystem::remove(path); }},
      {"replaced",
       [&] {
         InitDatabase(path + ".new");
         std::filesystem::rename(path + ".new", path);
       }},
  };
  auto clear = [&] {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  };
  for (const auto& [name, change] : rows) {
    clear();
    InitDatabase(path);
    AddUser(path, {"ana", "pw", "", false, 0, 0, 0});
    Connection c;
    c.SetConnectionString(Cs("User ID=ana;Password=pw", "moving"));
    c.Open();
    EXPECT_NO_THROW(c.Execute("exec sp_server_info 1")) << name;
    change();
    EXPECT_EQ(KindOf([&] { c.Execute("exec sp_server_info 1"); }), ErrorKind::kConnectionLost)
        << name;
    EXPECT_EQ(KindOf([&] { c.Execute("SELECT 1"); }), ErrorKind::kConnectionLost) << name;
    EXPECT_EQ(KindOf([&] { c.BeginTrans(); }), ErrorKind::kConnectionLost) << name;
  }
  clear();
}

TEST_F(SqliteProviderTest, AllBytesOfWindows1252RoundTrip) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  Command cmd(&conn_, CommandType::kStoredProc, "ZcEcho");
  cmd.Params().ParamByName("@s").value = Value::String(all);
  g_calls = 0;
  cmd.Execute();
  cmd.Open();  // the rows of that run: not a second call
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(cmd.Current().Field(0).Bytes(), all);
  EXPECT_EQ(cmd.Params().ParamByName("@o").value.Bytes(), all);
  // The file holds UTF-8: after the 128 ASCII bytes comes the euro sign of
  // byte 80 hex (E2 82 AC); byte FF is C3 BF.
  std::vector<Recordset> rs;
  conn_.Provider().ExecuteSql("SELECT hex(s) FROM zc", 30, &rs);
  rs.at(0).First();
  const std::string hex = rs.at(0).Field(0).AsString();
  EXPECT_EQ(hex.substr(2 * 128, 6), "E282AC");
  EXPECT_TRUE(hex.ends_with("C3BEC3BF"));
  EXPECT_EQ(Utf8ToCp1252("a\xC4\x81"
                         "b\xFF"),
            "a?b?");  // outside 1252, malformed
}

TEST(SqlPlaceholders, CountedOutsideQuotesBracketsAndComments) {
  const std::pair<const char*, int> rows[] = {
      {"SELECT 1", 0},
      {"UPDATE t SET a=? WHERE b=? AND c=?", 3},
      {"SELECT '?', \"?\", [a?b] FROM t WHERE x=?", 1},
      {"SELECT 'it''s ?' WHERE a=? -- and ?\n AND b=? /* ? */", 2},
  };
  for (const auto& [sql, n] : rows) EXPECT_EQ(ContaMarcadores(sql), n) << sql;
}

// Texts with placeholders: values bound by position (NULL, exact doubles,
// text), the changed-row count, a constraint refusal by its kind, and the
// prepared statement kept per text, the least recently used making room
// (internal texts too, within their own bound) but never one in use.
TEST_F(SqliteProviderTest, SqlTextWithParametersReusesItsPreparedStatement) {
  auto& sqlite = dynamic_cast<SqliteConnection&>(conn_.Provider());
  const size_t antes = sqlite.TextosPreparados();
  Command ins(&conn_, CommandType::kText, "INSERT INTO zp(k, v, s) VALUES (?, ?, ?)");
  ASSERT_EQ(ins.Params().Count(), 3);
  const double ultimo_bit = std::nextafter(0.1, 1.0);
  const std::vector<std::vector<Value>> linhas = {
      {Value::Int(1), Value::Double(0.1), Value::String("a\x80")},
      {Value::Int(2), Value::Double(ultimo_bit), Value::Null()},
      {Value::Int(3), Value::Null(), Value::String("c")},
  };
  for (const auto& linha : linhas) {
    for (int i = 0; i < 3; ++i) ins.Params()[i].value = linha[static_cast<size_t>(i)];
    ins.Execute();
    EXPECT_EQ(ins.RowsAffected(), 1);
  }
  EXPECT_EQ(sqlite.TextosPreparados(), antes + 1);  // one statement for three runs
  Command sel(&conn_, CommandType::kText, "SELECT k, v, s FROM zp WHERE k = ?");
  for (const auto& linha : linhas) {
    sel.Params()[0].value = linha[0];
    sel.Open();
    EXPECT_EQ(sel.Current().rows(), std::vector<std::vector<Value>>{linha});
  }
  Command upd(&conn_, CommandType::kText, "UPDATE zp SET v = ? WHERE k > ?");
  upd.Params()[0].value = Value::Double(2.5);
  upd.Params()[1].value = Value::Int(1);
  upd.Execute();
  EXPECT_EQ(upd.RowsAffected(), 2);
  ins.Params()[0].value = Value::Int(1);
  EXPECT_EQ(KindOf([&] { ins.Execute(); }), ErrorKind::kConstraint);
  ins.Params().items().pop_back();
  EXPECT_THROW(ins.Execute(), ProviderError);  // two values for three places
  for (int i = 0; i < 40; ++i) {
    Command c(&conn_, CommandType::kText, "SELECT ? + " + std::to_string(i));
    c.Params()[0].value = Value::Int(1);
    c.Open();
    EXPECT_EQ(c.Current().Field(0).AsInt(), i + 1);
  }
  EXPECT_EQ(sqlite.TextosPreparados(), 32u);
  // The procedures' and control texts are kept within their own bound.
  for (size_t i = 0; i <= SqliteConnection::kInternalStatements; ++i) {
    sqlite.Run("SELECT " + std::to_string(i), {}, nullptr);
  }
  EXPECT_EQ(sqlite.InternalStatements(), SqliteConnection::kInternalStatements);
  // A statement being read from outlives the texts, its own among them,
  // that the reader runs on the same connection.
  Command lei(&conn_, CommandType::kText, "SELECT k FROM zp WHERE k >= ? ORDER BY k");
  lei.Params()[0].value = Value::Int(1);
  std::vector<int64_t> lidos;
  lei.ReadRows([&](const RowView& r) {
    lidos.push_back(r.Int(0));
    for (int i = 0; i < 40; ++i) {
      const std::string mais = i == 0 ? " ORDER BY k" : " + " + std::to_string(i);
      Command c(&conn_, CommandType::kText, "SELECT k FROM zp WHERE k >= ?" + mais);
      c.Params()[0].value = Value::Int(3);
      c.Open();
      EXPECT_EQ(c.Current().RecordCount(), i == 0 ? 1 : 0);
    }
  });
  EXPECT_EQ(lidos, (std::vector<int64_t>{1, 2, 3}));
}

}  // namespace
}  // namespace zun
