// The installation's configuration file: its values, their override by a
// switch, and the files it refuses.
#include "service/config_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../support/scratch.h"
#include "foundation/switches.h"
#include "service/login_inputs.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(ConfigFile, ValuesOverridesAndRefusals) {
  const fs::path dir = ScratchDir("zun-conf");
  const fs::path file = dir / "zuninput.conf";
  const char kGood[] =
      "# the installation\nsqlserver = db1.example.com\n Database=Zun2\n"
      "MailGateway = \"http://mail.example/\"\n; old\nprovider = SQLite\n"
      "ContinueAfterFailedFile = yes\nOdbcNoEncryption = no\n";
  const std::string kHuge = "#" + std::string(kMaxBytesDaConfiguracao, 'x') + "\nuser = a\n";
  const struct {
    const char* content;  // nullptr: no file
    fs::perms mode;
    int32_t code;
    const char* why;
  } rows[] = {
      {nullptr, fs::perms::none, 0, ""},
      {kGood, fs::perms(0644), 0, ""},
      {kGood, fs::perms(0664), 4274, "may be written by group or others (mode 0664)"},
      {kGood, fs::perms(0646), 4274, "(mode 0646)"},
      {"sqlserver db1\n", fs::perms(0600), 4274, "line 1: not \"key = value\""},
      {"password = x\n", fs::perms(0600), 4274, "line 1: unknown setting <password>"},
      {"OdbcNoEncryption = maybe\n", fs::perms(0600), 4274,
       "line 1: <OdbcNoEncryption> must be yes or no"},
      {"user = a\n#\nUSER = b\n", fs::perms(0600), 4274,
       "line 3: <USER> set again (first on line 1)"},
      {kHuge.c_str(), fs::perms(0600), 4274, "is larger than 65536 bytes"},
  };
  for (const auto& r : rows) {
    fs::remove(file);
    if (r.content != nullptr) {
      std::ofstream(file) << r.content;
      fs::permissions(file, r.mode);
    }
    std::string why;
    EXPECT_EQ(CarregaConfiguracao(file.string()), r.code) << r.why;
    EXPECT_EQ(ErroDaConfiguracao(&why), r.code);
    EXPECT_NE(why.find(r.why), std::string::npos) << why;
    const bool good = r.content != nullptr && r.code == 0;
    EXPECT_EQ(std::string(ServidorPadrao()), good ? "db1.example.com" : "localhost");
    EXPECT_EQ(std::string(DatabasePadrao()), good ? "Zun2" : "ZunInput");
  }
  // A directory in its place cannot be read as the file; a link to a
  // missing file is no missing file, nor is a missing file "-Config" named.
  EXPECT_EQ(ArquivoDaConfiguracao(), file.string());
  EXPECT_EQ(CarregaConfiguracao((dir / "gone").string()), 0);
  EXPECT_EQ(ArquivoDaConfiguracao(), "none");
  EXPECT_EQ(CarregaConfiguracao((dir / "gone").string(), true), 4274);
  EXPECT_EQ(CarregaConfiguracao(dir.string()), 4274);
  fs::create_symlink(dir / "gone", dir / "link");
  EXPECT_EQ(CarregaConfiguracao((dir / "link").string()), 4274);

  // A value of the file, and the same setting given as a switch.
  std::ofstream(file) << kGood;
  fs::permissions(file, fs::perms(0644));
  ASSERT_EQ(CarregaConfiguracao(file.string()), 0);
  std::string v;
  SetProgramArgs(ArgsComConfiguracao({"zuninput", "-user:a"}));
  EXPECT_TRUE(LeSwitch("MailGateway", &v));
  EXPECT_EQ(v, "http://mail.example/");
  // On-or-off keys: "no" is off, and the command line's "no" wins over "yes".
  EXPECT_TRUE(SwitchLigado("ContinueAfterFailedFile"));
  EXPECT_FALSE(SwitchLigado("OdbcNoEncryption"));
  SetProgramArgs(ArgsComConfiguracao({"zuninput", "-ContinueAfterFailedFile:no"}));
  EXPECT_FALSE(SwitchLigado("ContinueAfterFailedFile"));
  SetProgramArgs(ArgsComConfiguracao({"zuninput", "-MAILGATEWAY=http://x/", "-provider:ODBC"}));
  EXPECT_TRUE(LeSwitch("MailGateway", &v));
  EXPECT_EQ(v, "http://x/");
  EXPECT_TRUE(LeSwitch("provider", &v));
  EXPECT_EQ(v, "ODBC");
  EXPECT_FALSE(LeSwitch("sqlserver", &v)) << "the guard's pair is no switch";

  // The guard takes its pair from the file: the server named there passes,
  // the build's default no longer does; a refused file fails the login.
  const auto login = [](const std::vector<std::string>& args) {
    SetProgramArgs(args);
    DadosDeLogin d;
    std::string msg;
    return LeDadosDeLogin("u", "p", nullptr, &d, &msg);
  };
  EXPECT_EQ(login({"zuninput", "-sqlserver:DB1.example.com", "-database:zun2"}), 0);
  EXPECT_EQ(login({"zuninput"}), 0);
  EXPECT_EQ(login({"zuninput", "-sqlserver:localhost", "-database:ZunInput"}), 4218);
  fs::permissions(file, fs::perms(0666));
  (void)CarregaConfiguracao(file.string());  // refused: the login says so
  EXPECT_EQ(login({"zuninput"}), 4274);
  (void)CarregaConfiguracao((dir / "none").string());  // empties the configuration
  SetProgramArgs({"zuninput"});
  fs::remove_all(dir);
}

// The example the documentation shows is the one installed, and the
// service takes it as it stands.
TEST(ConfigFile, TheDocumentedExampleIsTheInstalledOne) {
  const fs::path root = ZUN_TEST_SOURCE_DIR;
  const std::string docs = ReadFile(root / "docs/operations.md");
  const std::string anchor = "zuninput.conf.example`:\n\n```\n";
  const size_t at = docs.find(anchor);
  ASSERT_NE(at, std::string::npos);
  const size_t from = at + anchor.size();
  EXPECT_EQ(docs.substr(from, docs.find("```\n", from) - from),
            ReadFile(root / "deploy/zuninput.conf"));
  EXPECT_EQ(CarregaConfiguracao((root / "deploy/zuninput.conf").string()), 0);
  (void)CarregaConfiguracao((root / "none").string());  // empties the configuration
}

}  // namespace
}  // namespace zun
