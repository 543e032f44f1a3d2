#include "foundation/exception_trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "../support/log_capture.h"
#include "../support/scratch.h"
#include "foundation/log.h"

namespace zun {

class EMinhaFalha : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace {

// The messages log() writes.
template <typename F>
std::vector<std::string> LinesLoggedBy(F log) {
  LogCapture capture;
  log();
  return capture.Lines();
}

[[gnu::noinline]] void Raise() { throw EMinhaFalha("falhou"); }

TEST(ExceptionTrace, RecordsTheLatestRaise) {
  EsqueceUltimaExcecao();
  std::vector<std::string> lines = LinesLoggedBy([] { LogaExcecao("vazio", "x"); });
  EXPECT_EQ(lines, (std::vector<std::string>{"vazio: x", "<pilha vazia>", "--------"}));

  try {
    Raise();
  } catch (const std::exception&) {
    lines = LinesLoggedBy([] { LogaExcecao("peguei", "y"); });
  }
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1].find("<pilha vazia>"), std::string::npos);
}

TEST(ExceptionTrace, ClassNamesDropTheProgramNamespace) {
  EXPECT_EQ(NomeDaClasse(EMinhaFalha("a")), "EMinhaFalha");
  EXPECT_EQ(NomeDaClasse(std::out_of_range("a")), "std::out_of_range");
}

TEST(ExceptionTraceDeathTest, UncaughtExceptionIsLogged) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("zunexc-" + std::to_string(getpid()) + ".log");
  std::filesystem::remove(log);
  EXPECT_DEATH(
      {
        SetLogFileName(log.string());
        InstalaMyExceptHandler();
        // Leaving a noexcept function with an exception: nothing catches it.
        []() noexcept { Raise(); }();
      },
      "");
  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("Exception Error at "), std::string::npos) << text;
  EXPECT_NE(text.find(" EMinhaFalha falhou"), std::string::npos);
  EXPECT_NE(text.find("exception EMinhaFalha:falhou [Basic.MyExceptHandler]"), std::string::npos);
  std::filesystem::remove(log);
}

}  // namespace
}  // namespace zun
