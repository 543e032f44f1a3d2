#include "engine/imp_main.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "foundation/log.h"
#include "foundation/switches.h"
#include "test_files.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

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

int32_t CodigoDoCampo1(tParserWrapper& p) {
  const std::string f(p.Field(1));
  return f.empty() ? 0 : std::stoi(f);
}

// "*OK": records its call. "*FAIL n": answers code n. "*FAILIMPORT n": n in
// the import pass only. "*NOTOK": not ok without a code. "*PCODE n": code n
// from a parser-shaped entry. "*SHARES n text": code and message text. "*BLOCK":
// reads the lines up to "END" as its own. "*WRITE": writes in the import
// pass. "*UNREG": a row without a registered entry.
const std::vector<TLinhaDeKeyword> kLinhas = {
    {"*OK", TImportador::kCotacao, TRecebe::kObjeto, TResposta::kCodigo, {.Modo = 7}},
    {"*FAIL", TImportador::kApagaCotacao, TRecebe::kObjeto, TResposta::kCodigo, {}},
    {"*FAILIMPORT", TImportador::kBolCot, TRecebe::kObjeto, TResposta::kCodigo, {}},
    {"*NOTOK", TImportador::kEvento, TRecebe::kObjeto, TResposta::kOk, {}},
    {"*PCODE", TImportador::kCBal, TRecebe::kParser, TResposta::kCodigo, {}},
    {"*SHARES", TImportador::kShares, TRecebe::kParser, TResposta::kCodigoEMensagem, {}},
    {"*BLOCK", TImportador::kApresFBal, TRecebe::kParserELinhas, TResposta::kOk, {}},
    {"*WRITE", TImportador::kPais, TRecebe::kParser, TResposta::kOk, {}},
    {"*UNREG", TImportador::kIsin, TRecebe::kObjeto, TResposta::kCodigo, {}},
    {"*THROW", TImportador::kNoticia, TRecebe::kObjeto, TResposta::kCodigo, {}},
};

const TTabelaDeKeywords& TabelaDeTeste() {
  static TTabelaDeKeywords* t = [] {
    auto* t = new TTabelaDeKeywords(kLinhas);
    bool ok = true;
    ok &=
        t->Registra(TImportador::kCotacao,
                    TImportaObjetoCodigo([](TImpMain& imp, const TVariantes& v, int32_t*) {
                      chamadas.push_back((imp.ToNoCheck ? "C" : "I") + std::to_string(imp.lnn) +
                                         ":" + Campos(*imp.Parser) + " m" + std::to_string(v.Modo));
                    }));
    ok &= t->Registra(TImportador::kApagaCotacao,
                      TImportaObjetoCodigo([](TImpMain& imp, const TVariantes&, int32_t* code) {
                        *code = CodigoDoCampo1(*imp.Parser);
                      }));
    ok &= t->Registra(TImportador::kBolCot,
                      TImportaObjetoCodigo([](TImpMain& imp, const TVariantes&, int32_t* code) {
                        if (!imp.ToNoCheck) *code = CodigoDoCampo1(*imp.Parser);
                      }));
    ok &=
        t->Registra(TImportador::kEvento,
                    TImportaObjetoOk([](TImpMain&, const TVariantes&, bool* ok) { *ok = false; }));
    ok &= t->Registra(TImportador::kCBal,
                      TImportaParserCodigo([](tParserWrapper& p, bool, const TVariantes&,
                                              int32_t* code) { *code = CodigoDoCampo1(p); }));
    ok &= t->Registra(TImportador::kShares,
                      TImportaParserCodigoMensagem([](tParserWrapper& p, bool, const TVariantes&,
                                                      int32_t* code, std::string* m) {
                        *code = CodigoDoCampo1(p);
                        p.Field(2, m);
                      }));
    ok &= t->Registra(TImportador::kApresFBal,
                      TImportaParserLinhasOk([](tParserWrapper&, bool, tImpRoot& linhas, bool* ok) {
                        // Reads up to "END"; the end of the lines shows as ""
                        // with AtEnd, and a block without END is not ok.
                        *ok = false;
                        for (std::string l;;) {
                          linhas.NextLine(true, &l);
                          if (l == "END") {
                            *ok = true;
                            break;
                          }
                          if (l.empty() && linhas.AtEnd()) break;
                          chamadas.push_back("block:" + l);
                        }
                      }));
    ok &= t->Registra(TImportador::kPais, TImportaParserOk([](tParserWrapper& p, bool to_no_check,
                                                              const TVariantes&, bool*) {
                        if (!to_no_check) escritas.push_back(Campos(p));
                      }));
    ok &= t->Registra(TImportador::kNoticia,
                      TImportaObjetoCodigo([](TImpMain& imp, const TVariantes&, int32_t*) {
                        // "*THROW check" throws in both passes, "*THROW" only in the import.
                        if (imp.ToNoCheck && imp.Parser->Field(1) != "check") return;
                        throw std::runtime_error("importer failed");
                      }));
    EXPECT_TRUE(ok);
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
  ImpDeTeste imp("# c\n*ok a \"b c\"\r\n\n*Ok\r\"\" ignored\n*WRITE x");
  EXPECT_EQ(imp.Roda(), 0);
  EXPECT_EQ(chamadas, (Strings{"C2:a|b c m7", "C4: m7", "I2:a|b c m7", "I4: m7"}));
  EXPECT_EQ(escritas, (Strings{"x"}));
  EXPECT_EQ(imp.msgs, (Strings{"check ok, starting import"}));
  EXPECT_TRUE(imp.Acabou);
}

TEST_F(ImpMainTest, CommentsOnlyFile) {
  ImpDeTeste imp("# a\n\n   ; b\n  // c\n");
  EXPECT_EQ(imp.Roda(), 0);
  EXPECT_EQ(imp.lnn, 4);
  EXPECT_EQ(imp.msgs, (Strings{"check ok, starting import"}));
}

TEST_F(ImpMainTest, CheckPassErrorStopsBeforeAnyWrite) {
  struct Case {
    const char* text;
    int32_t code;
    const char* msg;
  } const cases[] = {
      {"*WRITE a\n#\n*FAIL 4321", 4321, "line:3 Error:4321 Invalid line: *FAIL 4321"},
      {"*WRITE a\n*NOTOK", 3943, "line:2 Error:3943 Invalid line: *NOTOK"},
      {"*WRITE a\n*QT X", 3942, "line:2 Error:3942 Invalid line: *QT X"},
      {"*WRITE a\n*UNREG X", 3942, "line:2 Error:3942 Invalid line: *UNREG X"},
      {"*WRITE a\n\t# tab", 3942, "line:2 Error:3942 Invalid line: \t# tab"},
      {"*WRITE a\n/ x", 3942, "line:2 Error:3942 Invalid line: / x"},
      {"*PCODE 12\n*WRITE a", 12, "line:1 Error:12 Invalid line: *PCODE 12"},
      {"\n*SHARES 55 bad\n*WRITE a", 55, "line:2 bad"},
  };
  for (const Case& c : cases) {
    escritas.clear();
    ImpDeTeste imp(c.text);
    EXPECT_EQ(imp.Roda(), c.code) << c.text;
    EXPECT_TRUE(escritas.empty()) << c.text;
    EXPECT_EQ(imp.msgs, (Strings{c.msg})) << c.text;
    EXPECT_TRUE(imp.ToNoCheck);
  }
}

TEST_F(ImpMainTest, ImportPassErrorsAreCountedUpToFifty) {
  for (int n : {50, 51}) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "*FAILIMPORT " + std::to_string(6000 + i) + "\n";
    text += "*OK last\n";
    chamadas.clear();
    ImpDeTeste imp(text);
    const int32_t code = imp.Roda();
    EXPECT_EQ(imp.ErroNaoFatalCount, n);
    if (n == 50) {
      EXPECT_EQ(code, 6001);
      EXPECT_TRUE(imp.Acabou);
      EXPECT_EQ(chamadas, (Strings{"C51:last m7", "I51:last m7"}));
      EXPECT_EQ(imp.ErrMsgCount, 0);
    } else {
      EXPECT_EQ(code, 3948);
      EXPECT_FALSE(imp.Acabou);
      EXPECT_EQ(chamadas, (Strings{"C52:last m7"}));  // the rest is not read
      EXPECT_EQ(imp.msgs.back(), "line:51 Error:3948 Invalid line: *FAILIMPORT 6051");
    }
  }
}

TEST_F(ImpMainTest, BlockImporterReadsItsOwnLines) {
  // Blank lines belong to the block; comment lines are still skipped.
  ImpDeTeste imp("*BLOCK\na b\n\n# skipped\nEND\n*OK z", false);
  EXPECT_EQ(imp.Roda(), 0);
  EXPECT_EQ(chamadas, (Strings{"block:a b", "block:", "C6:z m7"}));
}

TEST_F(ImpMainTest, BlockLeftOpenAtTheEndFailsTheCheckPassAndWritesNothing) {
  ImpDeTeste imp("*WRITE x\n*BLOCK\na\n");
  EXPECT_EQ(imp.Roda(), 3943);
  EXPECT_TRUE(escritas.empty());
  EXPECT_EQ(chamadas, (Strings{"block:a"}));
  EXPECT_TRUE(imp.ToNoCheck) << "the import pass never started";
}

TEST_F(ImpMainTest, ThrowingImporterIsItsRecordsError) {
  ImpDeTeste check("*THROW check\n*WRITE x\n");
  EXPECT_EQ(check.Roda(), 3943);
  EXPECT_TRUE(escritas.empty());
  // In the import pass it is counted and the file goes on.
  ImpDeTeste import("*WRITE a\n*THROW\n*WRITE b\n");
  EXPECT_EQ(import.Roda(), 3943);
  EXPECT_EQ(escritas, (Strings{"a", "b"}));
}

TEST_F(ImpMainTest, NulBytesAndHugeLines) {
  const std::string huge(1 << 20, 'y');
  std::string text = std::string("*OK a\0b\n", 8) + std::string("\0*OK\n", 5);
  ImpDeTeste imp(text);
  EXPECT_EQ(imp.Roda(), 3942);
  EXPECT_EQ(chamadas, (Strings{std::string("C1:a\0b m7", 9)}));

  chamadas.clear();
  std::string many = "*OK";
  for (int i = 0; i < (1 << 19); ++i) many += " z";
  ImpDeTeste big(many + "\n" + huge);
  EXPECT_EQ(big.Roda(), 3942);
  ASSERT_EQ(chamadas.size(), 1u);
  EXPECT_EQ(chamadas[0].size(), 3 + (1u << 20) - 1 + 3);
  ASSERT_EQ(big.msgs.size(), 1u);
  EXPECT_EQ(big.msgs[0], "line:2 Error:3942 Invalid line: " + huge.substr(0, 1000) + "...");
  EXPECT_EQ(big.LastLine, huge);
  EXPECT_LT(big.StatusLine("s").size(), 3 * 1000u + 300u);
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
  for (int32_t erro : {0, 4999}) {
    chamadas.clear();
    escritas.clear();
    DefineFabricaDeBolCot([erro] { return std::make_unique<Detector>(erro); });
    ImpDeTeste imp("*WRITE a\n");
    EXPECT_EQ(imp.Roda(), erro);
    EXPECT_EQ(chamadas, (Strings{"bolcot lnn:0"}));
    EXPECT_EQ(escritas.size(), erro == 0 ? 1u : 0u);
  }
  DefineFabricaDeBolCot(nullptr);
  ImpDeTeste sem("*WRITE a\n");
  EXPECT_FALSE(sem.BolCot);
  EXPECT_EQ(sem.Roda(), 0);
}

TEST_F(ImpMainTest, ProductionTableRows) {
  const auto& linhas = LinhasDeKeywords();
  std::set<std::string_view> vistos;
  for (const TLinhaDeKeyword& l : linhas) {
    EXPECT_TRUE(vistos.insert(l.Keyword).second) << l.Keyword;
    EXPECT_EQ(l.Keyword[0], '*');
    EXPECT_TRUE(std::none_of(l.Keyword.begin(), l.Keyword.end(), ::islower)) << l.Keyword;
    EXPECT_NE(FormaDaEntrada(l.Recebe, l.Resposta), 0u) << l.Keyword;
  }
  TTabelaDeKeywords t(linhas);
  auto codigo = TImportaObjetoCodigo([](TImpMain&, const TVariantes&, int32_t*) {});
  EXPECT_TRUE(t.Registra(TImportador::kCotacao, codigo));
  EXPECT_FALSE(t.Registra(TImportador::kCBal, codigo));    // rows give it the parser
  EXPECT_FALSE(t.Registra(TImportador::kEvento, codigo));  // rows want an ok flag
  EXPECT_FALSE(t.Registra(TImportador::kCotacao, TImportaObjetoCodigo()));
  EXPECT_EQ(t.EntradaDe(TImportador::kCBal).index(), 0u);
  EXPECT_EQ(t.Procura("*QTIF")->Variantes.Modo, 2);
  EXPECT_EQ(t.Procura("*qt"), nullptr);
}

TEST_F(ImpMainTest, OcoLocaAndReqGBolInTheServiceObject) {
  ReqGBolPendente.clear();
  const std::string path = EscreveArquivo("r.txt", "*ocoloca 1 2\n*REQGBOL\n*reqgbol x\n");
  {
    tMyImpMain imp(path, true);
    while (imp.CanGoOn()) imp.ImportNext();
    EXPECT_EQ(imp.ResultCode(), 0);
  }
  const std::string entrada = "[import \"*REQGBOL\" [tMyImpMain \"" + path + "\"]]";
  EXPECT_EQ(ReqGBolPendente, entrada + entrada);

  ReqGBolPendente.clear();
  {
    tMyImpMain so_check(path, false);
    while (so_check.CanGoOn()) so_check.ImportNext();
    EXPECT_EQ(so_check.ResultCode(), 0);
    tMyImpMain falha(EscreveArquivo("q.txt", "*REQGBOL\n*QT A B\n"), true);
    while (falha.CanGoOn()) falha.ImportNext();
    EXPECT_EQ(falha.ResultCode(), 3942);
  }
  EXPECT_EQ(ReqGBolPendente, "");
}

}  // namespace
}  // namespace zun
