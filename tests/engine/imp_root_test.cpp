#include "engine/imp_root.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#include "../support/test_files.h"
#include "db/global_state.h"
#include "db/id_text_list.h"
#include "foundation/log.h"
#include "foundation/switches.h"

namespace zun {
namespace {

// The frame with its messages collected; a record line increments the
// shareholder counters when it says so ("ADD" / "MOD").
class RootDeTeste : public tImpRoot {
 public:
  // Reads text, written to a scratch file, or the file at path when given.
  RootDeTeste(const std::string& text, bool ci_or_co, const std::string& path = "")
      : tImpRoot(path.empty() ? EscreveArquivo("root.txt", text) : path, ci_or_co) {}
  void Msg(const std::string& text) override { msgs.push_back(text); }

  // Runs both passes, returning each record as pass letter + lnn + text.
  Strings Percorre() {
    Strings seen;
    std::string line;
    while (CanGoOn()) {
      NextLine(false, &line);
      if (!CanGoOn()) break;
      seen.push_back((ToNoCheck ? "C" : "I") + std::to_string(lnn) + ":" + line);
      if (line == "ADD") ++SHAddCount;
      if (line == "MOD") ++SHModCount;
      if (line == "WARN") ErrMsg("warning");
    }
    return seen;
  }

  Strings msgs;
};

class ImpRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/imp_root_test.log");
    SetProgramArgs({"zuninput"});
  }
  void TearDown() override { SetProgramArgs({"zuninput"}); }
};

TEST_F(ImpRootTest, CommentRules) {
  struct Case {
    const char* line;
    bool blank_is_data;
    bool comment;
  } const cases[] = {
      {"   # text", false, true}, {"/ text", false, false}, {"  // text", false, true},
      {"\t# text", false, false}, {"; x", false, true},     {"/", false, false},
      {" /x/", false, false},     {"", false, true},        {"   ", false, true},
      {"", true, false},          {"   ", true, false},     {" # x", true, true},
      {"*QT A", false, false},    {"\t", false, false},
  };
  RootDeTeste root("", true);
  for (const Case& c : cases) {
    EXPECT_EQ(root.IsComment(c.line, c.blank_is_data), c.comment)
        << "[" << c.line << "] blank_is_data:" << c.blank_is_data;
  }
}

TEST_F(ImpRootTest, LineBreaksAndRawBytes) {
  struct Case {
    std::string text;
    Strings lines;
  } const cases[] = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n", {"a"}},
      {"", {}},
      {"\r\r\n", {"", ""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\n\r\nx\r", {"", "", "x"}},
      {std::string("a\0b\nc\0", 6), {std::string("a\0b", 3), std::string("c\0", 2)}},
      {"\xe9\xff\x80\n", {"\xe9\xff\x80"}},
  };
  for (const Case& c : cases) EXPECT_EQ(DivideEmLinhas(c.text), c.lines);
  std::string many;
  for (int i = 0; i < 200; ++i) many += std::to_string(i) + (i % 2 ? "\r\n" : "\n");
  const TLinhasDoArquivo linhas(many);
  ASSERT_EQ(linhas.size(), 200u);
  for (size_t i = 200; i-- > 0;) EXPECT_EQ(linhas[i], std::to_string(i));  // backwards
}

TEST_F(ImpRootTest, ErrorAccountingAndResultCode) {
  RootDeTeste root("", true);
  EXPECT_EQ(root.StatusLine("x"),
            "ImpRoot x Erro:0 ErroNaoFatal:0 ErroNaoFatalCount:0 Acabou:N ToNoCheck:Y lnn:0 "
            "ErrMsgCount:0 FirstErrMsg:<> LastErrMsg:<> LastLine:<>");
  EXPECT_EQ(root.ResultCode(), 3949);  // not finished
  root.lnn = 12;
  root.ErrMsg("first");
  root.ErrMsg("second");
  EXPECT_EQ(root.msgs, (Strings{"line:12 first", "line:12 second"}));
  EXPECT_EQ(root.ErrMsgCount, 2);
  EXPECT_NE(root.StatusLine("s").find(" FirstErrMsg:<first> LastErrMsg:<second>"),
            std::string::npos);
  EXPECT_THROW(RootDeTeste("", true, EscreveArquivo("", "") + "/missing.txt"), std::system_error);

  // Thousands of warnings: each pass emits its first ones and counts the rest.
  std::string warnings;
  for (int i = 0; i < 3 * kMaxMensagensPorPassagem; ++i) warnings += "WARN\n";
  RootDeTeste many(warnings, true);
  many.Percorre();
  EXPECT_EQ(many.msgs.size(), 2u * kMaxMensagensPorPassagem + 3) << "and \"check ok\"";
  EXPECT_EQ(many.msgs[kMaxMensagensPorPassagem],
            "... 2000 more line messages of this pass not logged (at most 1000 a pass)");
  EXPECT_EQ(many.msgs.back(), many.msgs[kMaxMensagensPorPassagem]);
  EXPECT_EQ(many.ErrMsgCount, 6 * kMaxMensagensPorPassagem);

  // A line over the limit stops the check pass at it, named and never whole.
  const std::string limite(kMaxBytesPorLinha, 'x');
  RootDeTeste longa("A\n" + limite + "\n" + limite + "y\nB\n", true);
  EXPECT_EQ(longa.Percorre(), (Strings{"C1:A", "C2:" + limite}));
  EXPECT_EQ(longa.ResultCode(), kErroLinhaLonga);
  EXPECT_EQ(longa.msgs, Strings{"line:3 Error:3944 line too long: 65537 bytes, at most 65536"});
  EXPECT_EQ(longa.LastLine, std::string(1000, 'x') + "...[64537 bytes cut]");
  EXPECT_LT(longa.StatusLine("end").size(), 4000u);
}

TEST_F(ImpRootTest, ShareholderLimits) {
  struct Case {
    const char* arg;  // "" for none
    int32_t mod, add, erro;
    const char* msg;  // "" for none
  } const cases[] = {
      {"", 0, 0, 0, ""},
      {"", 2, 3, 0,
       "Share holders limit erro:0 Mod:2 Add:3 LimMod:- LimAdd:- LimTotal:- no-limits-specified"},
      {"-SHLIMITMOD=1", 1, 0, 0,
       "Share holders limit erro:0 Mod:1 Add:0 LimMod:1 LimAdd:- LimTotal:-"},
      {"/SHLIMITMOD:1.5", 0, 1, 4180,
       "Share holders limit erro:4180 Mod:0 Add:1 LimMod:- LimAdd:- LimTotal:-"},
  };
  for (const Case& c : cases) {
    SetProgramArgs(*c.arg ? Strings{"zuninput", c.arg} : Strings{"zuninput"});
    int32_t erro = 0;
    Strings msgs;
    VerificaLimitesDeAcionistas(&erro, c.mod, c.add,
                                [&msgs](const std::string& t) { msgs.push_back(t); });
    EXPECT_EQ(erro, c.erro) << c.arg << " " << c.msg;
    EXPECT_EQ(msgs, *c.msg ? Strings{c.msg} : Strings{}) << c.arg;
  }
  // The counters start again with each pass, so the check-pass count does
  // not reach the import pass. (An exceeded limit stopping the file before
  // its import pass is in the shareholder importer's table.)
  SetProgramArgs({"zuninput", "/SHLIMITADD:1"});
  RootDeTeste ok("ADD\nB\n", true);
  ok.Percorre();
  EXPECT_EQ(std::make_pair(ok.ResultCode(), ok.SHAddCount), std::make_pair(0, 1));
}

TEST_F(ImpRootTest, CountryFields) {
  RootDeTeste root("", true);
  std::unique_ptr<tIntStgList> antes = std::move(EnumPais);
  int32_t pais = 0, code = 0;
  code = root.StrToPais("1", &pais);
  EXPECT_EQ(code, 4182);  // no country list yet
  EnumPais = std::make_unique<tIntStgList>("EnumPais");
  EnumPais->AdicionaLocal(1, "Brasil", 0);
  EnumPais->AdicionaLocal(79, "Outro", 0);
  struct Case {
    const char* s;
    int32_t pais, code;
  } const cases[] = {
      {"1", 1, 0},     {"79", 79, 0},  {"+1", 1, 0},    {"2", 2, 4182},   {"-1", -1, 4182},
      {"x", -1, 4182}, {"", -1, 4182}, {"-", -1, 4182}, {"1 ", -1, 4182}, {"99999999999", -1, 4182},
  };
  for (const Case& c : cases) {
    code = root.StrToPais(c.s, &pais);
    EXPECT_EQ(pais, c.pais) << c.s;
    EXPECT_EQ(code, c.code) << c.s;
  }
  EnumPais = std::move(antes);
}

}  // namespace
}  // namespace zun
