#include "service/login_inputs.h"

#include <gtest/gtest.h>

#include <sstream>

#include "foundation/switches.h"
#include "toolbox/dbclient/provider.h"

namespace zun {
namespace {

// The login's inputs from the switches (the prompt gives typed, or is
// cancelled when typed is null): the code, the guard's message, the password,
// the connection string's keys ("key=value|...", an empty value: the key is
// absent) and how often the prompt was shown, with the user known so far.
TEST(LoginInputs, FromSwitchesThePromptAndTheTargetGuard) {
  const std::string server = ServidorPadrao();
  const struct {
    std::vector<std::string> args;
    int32_t code;
    std::string msg = "";
    const char* password = "b";
    const char* keys = "";
    const char* typed = nullptr;
    int asked = 0;
  } rows[] = {
      {{"-user", "-password:x"}, 4272, "", "", "", nullptr, 1},
      {{"-user:abc"}, 4272, "", "", "", nullptr, 1},
      {{"-user:abc"}, 0, "", "typed", "", "typed", 1},
      // Integrated security asks for nothing, so an unattended run can use it.
      {{"-IntegratedSecurity", "-password:x"}, 0, "", "", "Integrated Security=SSPI"},
      {{"-user:a", "-password:b"}, 0, "", "b", "Provider=SQLOLEDB.1|Use Encryption for Data="},
      {{"-user:a", "-password:b", "-provider:SQLite"}, 0, "", "b", "Provider=SQLite"},
      {{"-user:a", "-password:b", "-OdbcDriver:ODBC Driver 18 for SQL Server", "-OdbcDsn:zun;x",
        "-OdbcNoEncryption"},
       0,
       "",
       "b",
       "Odbc Driver=ODBC Driver 18 for SQL Server|Odbc DSN=zun;x|Use Encryption for Data=False"},
      {{"-user:a", "-password:b", "-database:zuninput", "-sqlserver:" + server}, 0},
      {{"-user:a", "-password:b", "-database:Other"}, 4218, "s@d:<Other@" + server + ">"},
      {{"-user:a", "-password:b", "-sqlserver:prod.example"}, 4218, "s@d:<ZunInput@prod.example>"},
      {{"-user:a", "-password:b", "-sqlserver:" + server + ",14330"}, 0},
      {{"-user:a", "-password:b", "-sqlserver:" + server + "\\INST"}, 0},
      {{"-user:a", "-password:b", "-sqlserver:prod.example,1433"},
       4218,
       "s@d:<ZunInput@prod.example,1433>"},
      {{"-user:a", "-password:b", "-sqlserver:"}, 4217},
      {{"-user:a", "-password:b", "-database="}, 4217},
      {{"-user:a", "-password:b", "-provider"}, 4217},
  };
  for (const auto& r : rows) {
    std::vector<std::string> args = r.args;
    args.insert(args.begin(), "zuninput");
    SetProgramArgs(args);
    int asked = 0;
    DadosDeLogin d;
    std::string msg;
    const int32_t code = LeDadosDeLogin(
        "", "",
        [&](std::string* u, std::string* p) {
          ++asked;
          EXPECT_EQ(*u, r.args[0].starts_with("-user:") ? "abc" : "");  // what is known
          if (r.typed != nullptr) *p = r.typed;
          return r.typed != nullptr;
        },
        &d, &msg);
    EXPECT_EQ(code, r.code) << args.back();
    EXPECT_EQ(msg, r.msg) << args.back();
    EXPECT_EQ(asked, r.asked) << args.back();
    if (code != 0) continue;
    EXPECT_EQ(d.password, r.password) << args.back();
    const ConnectionString cs(MontaStringDeConexao(d));
    std::istringstream keys(r.keys);
    for (std::string key, value; std::getline(keys, key, '=') && std::getline(keys, value, '|');) {
      EXPECT_EQ(cs.Has(key) ? cs.Get(key) : "", value) << key;
    }
  }
  SetProgramArgs({"zuninput"});
}

TEST(LoginInputs, ValuesCannotAddKeysToTheConnectionString) {
  const struct {
    std::string user, password;
  } rows[] = {
      {"zunsvc", "x;Initial Catalog=Other"},
      {"a;Data Directory=/tmp", "p"},
      {"zunsvc", "\"quoted\" ;x"},
      {"zunsvc", " padded "},
      {"zunsvc", "'single"},
  };
  for (const auto& r : rows) {
    const DadosDeLogin d{r.user, r.password, "localhost", "ZunInput", "SQLite"};
    const ConnectionString cs(MontaStringDeConexao(d));
    EXPECT_EQ(cs.Get("Initial Catalog"), "ZunInput") << r.password;
    EXPECT_FALSE(cs.Has("Data Directory")) << r.user;
    EXPECT_EQ(cs.Get("User ID"), r.user);
    EXPECT_EQ(cs.Get("Password"), r.password);
  }
}

}  // namespace
}  // namespace zun
