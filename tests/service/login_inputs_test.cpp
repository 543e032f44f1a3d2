#include "service/login_inputs.h"

#include <gtest/gtest.h>

#include "foundation/switches.h"
#include "toolbox/dbclient/provider.h"

namespace zun {
namespace {

struct Outcome {
  int32_t code;
  DadosDeLogin d;
  std::string msg;
  int asked = 0;
};

Outcome Login(std::vector<std::string> args, const PedidoDeLogin& ask = nullptr) {
  args.insert(args.begin(), "zuninput");
  SetProgramArgs(args);
  Outcome o;
  PedidoDeLogin counting = [&](std::string* u, std::string* p) {
    ++o.asked;
    return ask ? ask(u, p) : false;
  };
  o.code = LeDadosDeLogin("", "", counting, &o.d, &o.msg);
  SetProgramArgs({"zuninput"});
  return o;
}

TEST(LoginInputs, UserAndPasswordFromSwitches) {
  const struct {
    std::vector<std::string> args;
    const char* user;
    const char* password;
  } cases[] = {
      {{"/USER=abc", "-password:x"}, "abc", "x"},
      {{"-user:'abc'", "-password:\"a b \""}, "abc", "a b "},
  };
  for (const auto& c : cases) {
    Outcome o = Login(c.args);
    EXPECT_EQ(o.code, 0) << c.args[0];
    EXPECT_EQ(o.d.user, c.user);
    EXPECT_EQ(o.d.password, c.password);
    EXPECT_EQ(o.asked, 0);
  }
}

TEST(LoginInputs, MissingUserOrPasswordAsksAndCancelGives4272) {
  EXPECT_EQ(Login({"-user", "-password:x"}).code, 4272);
  EXPECT_EQ(Login({"-user:abc"}).asked, 1);
  Outcome o = Login({"-user:abc"}, [](std::string* u, std::string* p) {
    EXPECT_EQ(*u, "abc");  // the prompt starts from what is known
    *p = "typed";
    return true;
  });
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.d.password, "typed");
  // Integrated security asks for nothing, so an unattended run can use it.
  o = Login({"-IntegratedSecurity", "-password:x"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.asked, 0);
  EXPECT_EQ(ConnectionString(MontaStringDeConexao(o.d)).Get("Integrated Security"), "SSPI");
}

TEST(LoginInputs, TargetGuardBeforeAnyConnection) {
  const std::string server = ServidorPadrao();
  const struct {
    std::vector<std::string> args;
    int32_t code;
    std::string msg;
  } cases[] = {
      {{"-user:a", "-password:b"}, 0, ""},
      {{"-user:a", "-password:b", "-database:zuninput", "-sqlserver:" + server}, 0, ""},
      {{"-user:a", "-password:b", "-database:Other"}, 4218, "s@d:<Other@" + server + ">"},
      {{"-user:a", "-password:b", "-sqlserver:prod.example"}, 4218, "s@d:<ZunInput@prod.example>"},
      {{"-user:a", "-password:b", "-sqlserver:" + server + ",14330"}, 0, ""},
      {{"-user:a", "-password:b", "-sqlserver:" + server + "\\INST"}, 0, ""},
      {{"-user:a", "-password:b", "-sqlserver:prod.example,1433"},
       4218,
       "s@d:<ZunInput@prod.example,1433>"},
      {{"-user:a", "-password:b", "-sqlserver:"}, 4217, ""},
      {{"-user:a", "-password:b", "-database="}, 4217, ""},
      {{"-user:a", "-password:b", "-provider"}, 4217, ""},
  };
  for (const auto& c : cases) {
    Outcome o = Login(c.args);
    EXPECT_EQ(o.code, c.code) << c.args.back();
    EXPECT_EQ(o.msg, c.msg);
  }
  EXPECT_EQ(Login({"-user:a", "-password:b"}).d.provider, "SQLOLEDB.1");
  EXPECT_EQ(Login({"-user:a", "-password:b", "-provider:SQLite"}).d.provider, "SQLite");
}

TEST(LoginInputs, ConnectionStringForUserAndIntegratedSecurity) {
  DadosDeLogin d{"zunsvc", "secret", "localhost", "ZunInput", "SQLite"};
  EXPECT_EQ(MontaStringDeConexao(d),
            "Provider=SQLite;Data Source=localhost;Initial Catalog=ZunInput;"
            "Application Name=ZunInput;User ID=zunsvc;Password=secret");
  d.user.clear();
  EXPECT_EQ(MontaStringDeConexao(d),
            "Provider=SQLite;Data Source=localhost;Initial Catalog=ZunInput;"
            "Application Name=ZunInput;Integrated Security=SSPI;Persist Security Info=False");
  const DadosDeLogin odbc = Login({"-user:a", "-password:b",
                                   "-OdbcDriver:ODBC Driver 18 for SQL Server", "-OdbcDsn:zun;x"})
                                .d;
  const ConnectionString cs(MontaStringDeConexao(odbc));
  EXPECT_EQ(cs.Get("Odbc Driver"), "ODBC Driver 18 for SQL Server");
  EXPECT_EQ(cs.Get("Odbc DSN"), "zun;x");
  EXPECT_FALSE(cs.Has("Use Encryption for Data"));
  const ConnectionString clear(
      MontaStringDeConexao(Login({"-user:a", "-password:b", "-OdbcNoEncryption"}).d));
  EXPECT_EQ(clear.Get("Use Encryption for Data"), "False");
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
