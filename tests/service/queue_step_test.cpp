#include "service/queue_step.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../support/scratch.h"
#include "foundation/switches.h"
#include "service/line_errors.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(QueueStep, PriorityCeilingByServerHour) {
  const struct {
    int hour;
    int32_t want;
  } cases[] = {{0, 5}, {2, 5}, {3, 999}, {7, 999}, {8, 5}, {23, 5}};
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
               {"-PathIF:c:", "c:/"},
               {"-PathIF:if\\", "if\\/"},
               {"-PathIF:", ""},
               {"-other", ""}};
  for (const auto& c : cases) {
    SetProgramArgs({"zuninput", c.arg});
    EXPECT_EQ(LePathIF(), c.want) << c.arg;
  }
  SetProgramArgs({"zuninput"});
}

// A resume mark's line messages read back with their codes and line texts
// (the reason follows from the code); a mark of an earlier version holds
// line and message alone; a line of another shape is skipped.
TEST(QueueStep, MarkMessagesReadBackWithTheirCodes) {
  MensagensDoArquivo m;
  m.itens = {{39, "ImpCot NOSUCH3/1 error:4042", 0, "*QT NOSUCH3 1"},
             {49, "Invalid <date>", 4383, ""}};
  const std::string texto = TextoDasMensagens(m) + "7\tan earlier mark's\nnot a message\n1\t2\t3\n";
  std::string lido;
  for (const MensagemDeLinha& x : MensagensDoTexto(texto).itens) {
    lido += std::to_string(x.linha) + "|" + std::to_string(x.codigo) + "|" + x.texto + "|" +
            x.conteudo + ";";
  }
  EXPECT_EQ(lido,
            "39|0|ImpCot NOSUCH3/1 error:4042|*QT NOSUCH3 1;49|4383|Invalid <date>|;"
            "7|0|an earlier mark's|;");
}

TEST(GravaArquivo, BytesUnchangedNoSymlinkFollowedAndCodes) {
  const fs::path dir = ScratchDir("zungrava");
  // An earlier, longer copy is replaced, and the bytes are written unchanged.
  const fs::path f = dir / "17-xy.txt";
  const std::string content("*QT a\r\n\x00\xFF end", 14);
  int32_t erro = 0;
  GravaArquivo(f.string(), "old content that is longer", &erro);
  const mode_t old_mask = ::umask(022);
  GravaArquivo(f.string(), content, &erro);
  ::umask(old_mask);
  EXPECT_EQ(erro, 0);
  EXPECT_EQ(ReadFile(f), content);
  EXPECT_EQ(fs::status(f).permissions() & fs::perms::others_all, fs::perms::none);

  // A symbolic link in the way is replaced, never written through.
  std::ofstream(dir / "target") << "precious";
  fs::create_symlink(dir / "target", dir / "link.txt");
  GravaArquivo((dir / "link.txt").string(), "new", &erro);
  EXPECT_EQ(erro, 0);
  EXPECT_EQ(ReadFile(dir / "target"), "precious");
  EXPECT_FALSE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFile(dir / "link.txt"), "new");

  // An earlier code is kept and nothing is written.
  erro = 77;
  GravaArquivo((dir / "y.txt").string(), "abc", &erro);
  EXPECT_EQ(erro, 77);
  EXPECT_FALSE(fs::exists(dir / "y.txt"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zun
