#include "engine/imp_main.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "../support/test_files.h"
#include "db/global_state.h"
#include "foundation/log.h"
#include "foundation/switches.h"

namespace zun {
namespace {

// What the test importers did: one entry per call, "C" or "I" for the pass,
// then the line number and the record's fields joined by "|". Writes are the
// calls of "*WRITE" in the import pass.
Strings chamadas;
Strings escritas;

std::string Campos(tParserWrapper& p) {
  std::string s;
  for (int32_t i = 1; i < p.Count(); ++i) s += (i > 1 ? "|" : "") + std::string(p.Field(i));
  return s;
}

int32_t CodigoDoCampo1(tParserWrapper& p) { return std::atoi(std::string(p.Field(1)).c_str()); }

// "*OK": records its call. "*FAIL n": answers code n; "*FAIL n import": in
// the import pass only. "*SHARES n text": code n and its own message text.
// "*BLOCK": reads the lines up to "END" as its own. "*WRITE": writes in the
// import pass. "*UNREG": a row without a registered entry. "*THROW check"
// throws in both passes, "*THROW" in the import pass only.
void Ok(TImpMain& imp, const TVariantes& v, int32_t*) {
  chamadas.push_back((imp.ToNoCheck ? "C" : "I") + std::to_string(imp.lnn) + ":" +
                     Campos(*imp.Parser) + " m" + std::to_string(v.Modo));
}
void Fail(TImpMain& imp, const TVariantes&, int32_t* code) {
  if (!imp.ToNoCheck || imp.Parser->Field(2) != "import") *code = CodigoDoCampo1(*imp.Parser);
}
void Shares(TImpMain& imp, const TVariantes&, int32_t* code) {
  *code = CodigoDoCampo1(*imp.Parser);
  imp.ErrMsg(std::string(imp.Parser->Field(2)));
}
// A block without END, or with a line the frame refused, fails.
void Block(TImpMain& imp, const TVariantes&, int32_t* code) {
  *code = kErrRegistroRecusado;
  for (std::string l; *code != 0 && imp.LinhaDoBloco(true, &l);) {
    if (l == "END") *code = 0;
    if (*code != 0) chamadas.push_back("block:" + l);
  }
}
void Write(TImpMain& imp, const TVariantes&, int32_t*) {
  if (!imp.ToNoCheck) escritas.push_back(Campos(*imp.Parser));
}
void Throw(TImpMain& imp, const TVariantes&, int32_t*) {
  if (!imp.ToNoCheck || imp.Parser->Field(1) == "check") throw std::runtime_error("failed");
}

const TTabelaDeKeywords& TabelaDeTeste() {
  static TTabelaDeKeywords* t = [] {
    using I = TImportador;
    auto* t = new TTabelaDeKeywords({
        {"*OK", I::kCotacao, {.Modo = 7}},
        {"*FAIL", I::kApagaCotacao, {}},
        {"*SHARES", I::kShares, {}},
        {"*BLOCK", I::kApresFBal, {}},
        {"*WRITE", I::kPais, {}},
        {"*UNREG", I::kIsin, {}},
        {"*THROW", I::kNoticia, {}},
    });
    const std::pair<TImportador, TEntrada> entradas[] = {
        {I::kCotacao, Ok},      {I::kApagaCotacao, Fail}, {I::kShares, Shares},
        {I::kApresFBal, Block}, {I::kPais, Write},        {I::kNoticia, Throw},
    };
    for (const auto& [importador, entrada] : entradas)
      EXPECT_TRUE(t->Registra(importador, entrada));
    return t;
  }();
  return *t;
}

class ImpDeTeste : public TImpMain {
 public:
  ImpDeTeste(const std::string& text, bool ci_or_co = true)
      : TImpMain(EscreveArquivo("f.txt", text), ci_or_co, &TabelaDeTeste()) {}
  void Msg(const std::string& text) override { msgs.push_back(text); }
  int32_t Roda() {
    while (CanGoOn()) ImportNext();
    return ResultCode();
  }
  Strings msgs;
};

class ImpMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/imp_main_test.log");
    SetProgramArgs({"zuninput"});
    chamadas.clear();
    escritas.clear();
  }
  void TearDown() override { DefineFabricaDeBolCot(nullptr); }
};

TEST_F(ImpMainTest, DispatchesByKeywordInAnyCaseInBothPasses) {
  // Line 5 has an empty first field: skipped, not an error.
  ImpDeTeste imp("# c\n*ok a \"b c\"\r\n\n*Ok\r\"\" ignored\n*WRITE x\n*SHARES 0 skipped");
  EXPECT_EQ(imp.Roda(), 0);
  EXPECT_EQ(std::make_pair(imp.LinhasAplicadas, imp.LinhasPuladas), std::make_pair(3, 1));
  EXPECT_EQ(chamadas, (Strings{"C2:a|b c m7", "C4: m7", "I2:a|b c m7", "I4: m7"}));
  EXPECT_EQ(escritas, (Strings{"x"}));
  EXPECT_EQ(imp.msgs, (Strings{"line:7 skipped", "check ok, starting import", "line:7 skipped"}));
  EXPECT_TRUE(imp.Acabou);
}

TEST_F(ImpMainTest, CheckPassErrorStopsBeforeAnyWrite) {
  struct Case {
    const char* text;
    int32_t code;
    const char* msg;
  } const cases[] = {
      {"*WRITE a\n#\n*FAIL 4321", 4321, "line:3 Error:4321 Invalid line: *FAIL 4321"},
      {"*WRITE a\n*QT X", 3942, "line:2 Error:3942 Invalid line: *QT X"},
      {"*WRITE a\n*UNREG X", 3942, "line:2 Error:3942 Invalid line: *UNREG X"},
      {"\n*SHARES 55 bad\n*WRITE a", 55, "line:2 bad"},
      {"*WRITE a\n*BLOCK\nb\n", 3943, "line:2 Error:3943 Invalid line: *BLOCK"},  // left open
  };
  for (const Case& c : cases) {
    escritas.clear();
    ImpDeTeste imp(c.text);
    EXPECT_EQ(imp.Roda(), c.code) << c.text;
    EXPECT_TRUE(escritas.empty()) << c.text;
    EXPECT_EQ(imp.msgs, (Strings{c.msg})) << c.text;
    EXPECT_TRUE(imp.ToNoCheck) << c.text;
  }
}

// With "-CheckAll" a check without import pass lists every failed line,
// skipping what follows one up to the next keyword line; a file that is
// imported still stops at its first error.
TEST_F(ImpMainTest, CheckAllGoesOnAtTheNextKeywordLine) {
  SetProgramArgs({"zuninput", "-CheckAll"});
  const char kText[] = "*FAIL 11\nstray line\nEND\n*OK a\n*FAIL 12\n*FAIL 13";
  ImpDeTeste check(kText, false);
  EXPECT_EQ(check.Roda(), 11);
  EXPECT_EQ(check.msgs, (Strings{"line:1 Error:11 Invalid line: *FAIL 11",
                                 "line:5 Error:12 Invalid line: *FAIL 12",
                                 "line:6 Error:13 Invalid line: *FAIL 13",
                                 "failed lines: 3; the file's code is the first one's"}));
  EXPECT_EQ(chamadas, (Strings{"C4:a m7"}));
  for (const bool import : {true, false}) {
    if (!import) SetProgramArgs({"zuninput"});
    ImpDeTeste stops(kText, import);
    EXPECT_EQ(stops.Roda(), 11);
    EXPECT_EQ(stops.msgs.size(), 1u) << import;
  }
}

TEST_F(ImpMainTest, ImporterExceptionEndsTheFileInEitherPass) {
  // The exception reaches the caller; no later record runs, and the record
  // flag is down again so that the object's status can still be read.
  const struct {
    const char* text;
    bool check_pass;
    Strings writes;
  } cases[] = {
      {"*WRITE a\n*THROW check\n*WRITE b\n", true, {}},
      {"*WRITE a\n*THROW\n*WRITE b\n", false, {"a"}},
  };
  for (const auto& c : cases) {
    escritas.clear();
    ImpDeTeste imp(c.text);
    EXPECT_THROW(imp.Roda(), std::runtime_error) << c.text;
    EXPECT_EQ(escritas, c.writes) << c.text;
    EXPECT_EQ(imp.ToNoCheck, c.check_pass) << c.text;
    EXPECT_EQ(imp.lnn, 2) << c.text;
    EXPECT_FALSE(imp.RegistroEmCurso) << c.text;
  }
}

TEST_F(ImpMainTest, ImportPassErrorsAreCountedUpToFifty) {
  for (int n : {50, 51}) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "*FAIL " + std::to_string(6000 + i) + " import\n";
    chamadas.clear();
    ImpDeTeste imp(text + "*OK last\n");
    const int32_t code = imp.Roda();
    EXPECT_EQ(imp.ErroNaoFatalCount, n);
    EXPECT_EQ(code, n == 50 ? 6001 : 3948);
    EXPECT_EQ(imp.Acabou, n == 50);
    if (n == 50) {
      EXPECT_EQ(chamadas, (Strings{"C51:last m7", "I51:last m7"}));
      EXPECT_EQ(imp.ErrMsgCount, 0);
    } else {
      EXPECT_EQ(chamadas, (Strings{"C52:last m7"}));  // the rest is not read
      EXPECT_EQ(imp.msgs.back(), "line:51 Error:3948 Invalid line: *FAIL 6051 import");
    }
  }
}

TEST_F(ImpMainTest, BlockImporterReadsItsOwnLines) {
  // Blank lines belong to the block; comment lines are still skipped.
  ImpDeTeste imp("*BLOCK\na b\n\n# skipped\nEND\n*OK z", false);
  EXPECT_EQ(imp.Roda(), 0);
  EXPECT_EQ(chamadas, (Strings{"block:a b", "block:", "C6:z m7"}));
}

TEST_F(ImpMainTest, NulBytesStayInTheirFields) {
  ImpDeTeste imp(std::string("*OK a\0b\n\0*OK\n", 13));
  EXPECT_EQ(imp.Roda(), 3942);
  EXPECT_EQ(chamadas, (Strings{std::string("C1:a\0b m7", 9)}));
}

TEST_F(ImpMainTest, BulletinStepRunsOnceBetweenThePasses) {
  struct Detector : TDetectorDeBoletim {
    explicit Detector(int32_t e) : erro(e) {}
    void LogaBoletins(TImpMain& imp) override {
      chamadas.push_back("bolcot lnn:" + std::to_string(imp.lnn));
      imp.Erro = erro;
    }
    int32_t erro;
  };
  DefineFabricaDeBolCot([] { return std::make_unique<Detector>(4999); });
  ImpDeTeste imp("*WRITE a\n");
  EXPECT_EQ(imp.Roda(), 4999);
  EXPECT_EQ(chamadas, (Strings{"bolcot lnn:0"}));
  EXPECT_TRUE(escritas.empty());
}

TEST_F(ImpMainTest, RegistrationAndLookUp) {
  EXPECT_EQ(TabelaDeTeste().KeywordsSemImportador(), (std::vector<std::string_view>{"*UNREG"}));
  TTabelaDeKeywords t(LinhasDeKeywords());
  EXPECT_TRUE(t.Registra(TImportador::kCotacao, Ok));
  EXPECT_FALSE(t.Registra(TImportador::kCotacao, TEntrada()));
  EXPECT_EQ(t.Procura("*qt"), nullptr);
}

TEST_F(ImpMainTest, OcoLocaAndReqGBolInTheServiceObject) {
  auto roda = [](const std::string& path, bool ci_or_co) {
    tMyImpMain imp(path, ci_or_co);
    while (imp.CanGoOn()) imp.ImportNext();
    return imp.ResultCode();
  };
  const std::string path = EscreveArquivo("r.txt", "*ocoloca 1 2\n*REQGBOL\n*reqgbol x\n");
  ReqGBolPendente.clear();
  EXPECT_EQ(roda(path, true), 0);
  const std::string entrada = "[import \"*REQGBOL\" [tMyImpMain \"" + path + "\"]]";
  EXPECT_EQ(ReqGBolPendente, entrada + entrada);
  // Nothing is asked by a check-only run or by a file that fails.
  ReqGBolPendente.clear();
  EXPECT_EQ(roda(path, false), 0);
  EXPECT_EQ(roda(EscreveArquivo("q.txt", "*REQGBOL\n*QT A B\n"), true), 3942);
  EXPECT_EQ(ReqGBolPendente, "");
}

}  // namespace
}  // namespace zun
