// Feeds arbitrary bytes as an import file through the importer frame and the
// keyword dispatch. The first byte picks the run: bit 0 CIorCO, bit 1 the
// process-wide keyword table instead of the test table, bit 2 a shareholder
// limit switch. The test table has importers of every entry shape, among them
// one that reads the following lines as a block and one that changes the
// shareholder counters, so that the passes, the error accounting and the
// line reader are all reached.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "engine/imp_main.h"
#include "foundation/log.h"
#include "foundation/switches.h"

namespace zun {
namespace {

int32_t Codigo(tParserWrapper& p) {
  const std::string_view f = p.Field(1);
  int32_t n = 0;
  for (char c : f.substr(0, 4)) n = n * 10 + (static_cast<unsigned char>(c) % 10);
  return n;
}

const TTabelaDeKeywords& TabelaDeFuzz() {
  static TTabelaDeKeywords* t = [] {
    using I = TImportador;
    auto* t = new TTabelaDeKeywords({
        {"*A", I::kCotacao, {}},
        {"*B", I::kEvento, {}},
        {"*D", I::kPais, {}},
        {"*E", I::kApresFBal, {}},
        {"*F", I::kShares, {}},
        {"*G", I::kIsin, {}},
    });
    t->Registra(I::kCotacao, [](TImpMain& imp, const TVariantes&, int32_t* code) {
      *code = Codigo(*imp.Parser);
      if (*code % 3 == 1) imp.ErrMsg("own " + std::string(imp.Parser->Field(2)));
      if (*code % 5 == 2) ++imp.SHAddCount;
      if (*code % 7 == 3) ++imp.SHModCount;
      imp.SHAdded->Adiciona(std::string(imp.Parser->Field(2)), *code);
    });
    t->Registra(I::kEvento, [](TImpMain& imp, const TVariantes&, int32_t* code) {
      *code = CodigoDoOk(imp.Parser->Count() % 2 == 0);
    });
    t->Registra(I::kPais, [](TImpMain& imp, const TVariantes&, int32_t* code) {
      *code = CodigoDoOk(imp.ToNoCheck || imp.Parser->Count() != 3);
    });
    t->Registra(I::kApresFBal, [](TImpMain& imp, const TVariantes&, int32_t* code) {
      std::string l;
      while (imp.LinhaDoBloco(true, &l)) {
        if (l == "END") return;
      }
      *code = kErrRegistroRecusado;
    });
    t->Registra(I::kShares, [](TImpMain& imp, const TVariantes&, int32_t* code) {
      *code = Codigo(*imp.Parser);
      const std::string m(imp.Parser->Field(2));
      if (!m.empty()) imp.ErrMsg(m);
    });
    return t;
  }();
  return *t;
}

class ImpDeFuzz : public TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string& text) override { bytes_ += text.size(); }

 private:
  size_t bytes_ = 0;
};

std::string& ArquivoDeFuzz() {
  static std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/zun_imp_main_fuzz." + std::to_string(getpid()) + ".txt";
  }();
  return path;
}

}  // namespace
}  // namespace zun

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zun::SetLogFileName("/dev/null");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zun;
  if (size == 0) return 0;
  const uint8_t modo = data[0];
  const std::string& path = ArquivoDeFuzz();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  SetProgramArgs(modo & 4 ? std::vector<std::string>{"fuzz", "/SHLIMITADD:0"}
                          : std::vector<std::string>{"fuzz"});
  {
    ImpDeFuzz imp(path, (modo & 1) != 0, (modo & 2) ? nullptr : &TabelaDeFuzz());
    // Every call consumes at least one line or ends the file; the bound only
    // turns a regression into a reported hang instead of an endless loop.
    const size_t limite = 2 * (size + 2);
    size_t n = 0;
    while (imp.CanGoOn()) {
      imp.ImportNext();
      if (++n > limite) __builtin_trap();
    }
    const int32_t code = imp.ResultCode();
    if (imp.StatusLine("fuzz").empty()) __builtin_trap();
    if (imp.Acabou && code == 3949) __builtin_trap();  // a finished file never reports 3949
    if (imp.ErroNaoFatalCount > kMaxErrosNaoFatais && imp.Erro == 0) __builtin_trap();
  }
  ReqGBolPendente.clear();  // "*REQGBOL" records of the process-wide table
  return 0;
}
