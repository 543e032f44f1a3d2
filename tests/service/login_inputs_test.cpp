#include "service/login_inputs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "../support/scratch.h"
#include "foundation/switches.h"
#include "toolbox/dbclient/provider.h"

namespace zun {
namespace {

// The login's inputs from the switches (the prompt gives typed, or is
// cancelled when typed is null): the code, the guard's message, the password,
// the connection string's keys ("key=value|...", an empty value: the key is
// absent), how often the prompt was shown, with the user known so far, and
// the target as the start of the run names it. A data source is guarded by
// the server odbc.ini gives it.
TEST(LoginInputs, FromSwitchesThePromptAndTheTargetGuard) {
  const std::string server = ServidorPadrao();
  const std::filesystem::path dir = ScratchDir("zun-odbcini");
  std::ofstream(dir / "odbc.ini") << "[here]\nDriver = FreeTDS\nServer = " << server
                                  << "\nPort = 1500\n[there]\nDriver = FreeTDS\nServer = "
                                     "prod.example\n[alias]\nDriver = FreeTDS\nServername = Prod\n"
                                     "[far]\nServername = far\n[lost]\nServername = gone\n";
  // A data source's Servername names a section of freetds.conf.
  std::ofstream(dir / "freetds.conf") << "[global]\n\tport = 1700\n[prod]\nhost = " << server
                                      << "\nca file = /x.pem\n[FAR]\nhost = prod.example\n";
  setenv("FREETDSCONF", (dir / "freetds.conf").c_str(), 1);
  setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  // Most rows log in as a with password b: ab() puts those switches first.
  const auto ab = [](std::vector<std::string> more) {
    more.insert(more.begin(), {"-user:a", "-password:b"});
    return more;
  };
  const struct {
    std::vector<std::string> args;
    int32_t code;
    std::string msg = "";
    const char* password = "b";
    const char* keys = "";
    const char* typed = nullptr;
    int asked = 0;
    std::string alvo = "";
  } rows[] = {
      {{"-user", "-password:x"}, 4272, "", "", "", nullptr, 1},
      {{"-user:abc"}, 4272, "", "", "", nullptr, 1},
      {{"-user:abc"}, 0, "", "typed", "", "typed", 1},
      // Integrated security asks for nothing, so an unattended run can use it.
      {{"-IntegratedSecurity", "-password:x"}, 0, "", "", "Integrated Security=SSPI"},
      {ab({}), 0, "", "b", "Provider=SQLOLEDB.1|Use Encryption for Data=", nullptr, 0,
       "config:<none> provider:SQLOLEDB.1 server:" + server +
           " port:1433 database:ZunInput driver:FreeTDS"},
      {ab({"-provider:SQLite"}), 0, "", "b", "Provider=SQLite"},
      {ab({"-OdbcDriver:D18"}), 0, "", "b", "Odbc Driver=D18", 0, 0, "driver:D18"},
      {ab({"-OdbcDsn:here", "-OdbcNoEncryption", "-sqlserver:prod.example"}), 0, "", "b",
       "Odbc DSN=here|Use Encryption for Data=False", nullptr, 0,
       "dsn:here server:" + server +
           " port:1500 (odbc.ini) database:ZunInput driver:FreeTDS "
           "(odbc.ini)"},
      {ab({"-OdbcDsn:there"}), 4218, "s@d:<ZunInput@prod.example>"},
      {ab({"-OdbcDsn:alias"}), 0, "", "b", "Odbc DSN=alias", nullptr, 0,
       "dsn:alias server:" + server + " port:1700 (freetds.conf [Prod])"},
      {ab({"-OdbcDsn:far"}), 4218, "s@d:<ZunInput@prod.example,1700>"},
      {ab({"-OdbcDsn:lost"}), 4218,
       "data source <lost> names the freetds.conf Servername <gone>, which no freetds.conf holds "
       "with a host"},
      {ab({"-OdbcDsn:gone"}), 4218, "data source <gone> is not in odbc.ini"},
      // The embedded database has no data source: the switch is not its.
      {ab({"-OdbcDsn:gone", "-provider:SQLite"}), 0},
      {ab({"-database:zuninput", "-sqlserver:" + server}), 0},
      {ab({"-database:Other"}), 4218, "s@d:<Other@" + server + ">"},
      {ab({"-sqlserver:" + server + ",14330"}), 0},
      {ab({"-sqlserver:" + server + "\\INST"}), 0},
      {ab({"-sqlserver:prod.example,1433"}), 4218, "s@d:<ZunInput@prod.example,1433>"},
      {ab({"-sqlserver:"}), 4217},
      {ab({"-database="}), 4217},
      {ab({"-provider"}), 4217},
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
    EXPECT_NE(DescreveAlvo(d).find(r.alvo), std::string::npos) << DescreveAlvo(d);
    if (code != 0) continue;
    EXPECT_EQ(d.password, r.password) << args.back();
    const ConnectionString cs(MontaStringDeConexao(d));
    std::istringstream keys(r.keys);
    for (std::string key, value; std::getline(keys, key, '=') && std::getline(keys, value, '|');) {
      EXPECT_EQ(cs.Has(key) ? cs.Get(key) : "", value) << key;
    }
  }
  SetProgramArgs({"zuninput"});
  for (const char* v : {"ODBCINI", "ODBCSYSINI", "FREETDSCONF"}) unsetenv(v);
  std::filesystem::remove_all(dir);
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
