#include "service/queue_step.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/switches.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(QueueStep, PriorityCeilingByServerHour) {
  const struct {
    int hour;
    int32_t want;
  } cases[] = {{0, 5}, {2, 5}, {3, 999}, {5, 999}, {7, 999}, {8, 5}, {23, 5}};
  for (const auto& c : cases) EXPECT_EQ(MaxPrioridadeDaHora(c.hour), c.want) << c.hour;
}

TEST(QueueStep, LimpaNomeKeepsOnlySafeCharacters) {
  const struct {
    const char* in;
    const char* want;
  } cases[] = {{"x.y", "xy"},
               {"2020/07/03-10:11:12", "20200703-101112"},
               {"../../etc/passwd", "etcpasswd"},
               {"a_b-C9", "a_b-C9"},
               {"Jo\xE3o Silva", "JooSilva"},
               {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(LimpaNome(c.in), c.want) << c.in;
}

TEST(QueueStep, PathIFForms) {
  const struct {
    const char* arg;
    const char* want;
  } cases[] = {{"-PathIF:/data/if", "/data/if/"},
               {"-PathIF:/data/if/", "/data/if/"},
               {"-PathIF:  rel  ", "rel/"},
               {"-PathIF:c:", "c:"},
               {"-PathIF:", ""},
               {"-other", ""}};
  for (const auto& c : cases) {
    SetProgramArgs({"zuninput", c.arg});
    EXPECT_EQ(LePathIF(), c.want) << c.arg;
  }
  SetProgramArgs({"zuninput"});
}

class GravaArquivoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zungrava-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  fs::path dir_;
};

TEST_F(GravaArquivoTest, WritesBytesUnchangedAndReplacesAnEarlierCopy) {
  const fs::path f = dir_ / "17-xy.txt";
  std::string content("*QT a\r\n\x00\xFF end", 14);
  int32_t erro = 0;
  GravaArquivo(f.string(), "old content that is longer", &erro);
  GravaArquivo(f.string(), content, &erro);
  EXPECT_EQ(erro, 0);
  EXPECT_EQ(Read(f), content);
}

TEST_F(GravaArquivoTest, NeverWritesThroughASymbolicLink) {
  const fs::path target = dir_ / "target";
  std::ofstream(target) << "precious";
  fs::create_symlink(target, dir_ / "link.txt");
  int32_t erro = 0;
  GravaArquivo((dir_ / "link.txt").string(), "new", &erro);
  EXPECT_EQ(erro, 0);
  EXPECT_EQ(Read(target), "precious");
  EXPECT_FALSE(fs::is_symlink(dir_ / "link.txt"));
  EXPECT_EQ(Read(dir_ / "link.txt"), "new");
}

TEST_F(GravaArquivoTest, CreateFailureGives4081AndKeepsAnEarlierCode) {
  int32_t erro = 0;
  GravaArquivo((dir_ / "missing" / "x.txt").string(), "abc", &erro);
  EXPECT_EQ(erro, 4081);
  erro = 77;
  GravaArquivo((dir_ / "y.txt").string(), "abc", &erro);
  EXPECT_EQ(erro, 77);
  EXPECT_FALSE(fs::exists(dir_ / "y.txt"));
}

}  // namespace
}  // namespace zun
