#include "service/line_errors.h"

#include <exception>
#include <memory>

#include "foundation/log.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

MensagensDeLinha& MensagensDoUltimoArquivo() {
  static MensagensDeLinha m;
  return m;
}

ContagemDeLinhas& ContagemDoUltimoArquivo() {
  static ContagemDeLinhas c;
  return c;
}

std::string TextoDasMensagens(const MensagensDeLinha& m) {
  // A mail is one GET request: its length stays within what gateways take.
  constexpr size_t kMaxNaMensagem = 50;
  std::string s;
  for (size_t i = 0; i < m.size() && i < kMaxNaMensagem; ++i) {
    s += (s.empty() ? "line " : "\nline ") + std::to_string(m[i].first) + ": " +
         m[i].second.substr(0, 300);
  }
  if (m.size() > kMaxNaMensagem) {
    s += "\n... " + std::to_string(m.size() - kMaxNaMensagem) + " more (zuninput-db errors)";
  }
  return s;
}

int32_t GravaMensagensDaEntrada(int32_t id, int32_t lease, const MensagensDeLinha& m) {
  static bool sem_procedimento = false;
  if (sem_procedimento) return 0;
  std::string linhas;
  for (const auto& [line, text] : m) {
    std::string t = text;
    for (char& c : t) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    linhas += std::to_string(line) + "\t" + t + "\n";
  }
  try {
    std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "ImportFilesErros");
    if (!cmd) {
      sem_procedimento = true;
      Loga("- ImportFilesErros: the database has no such procedure; line messages are not kept");
      return 0;
    }
    DevolveAoSair devolve(&cmd);
    SetParamInt(cmd, "@id", id);
    SetParamInt(cmd, "@lease", lease);
    SetParamStr(cmd, "@linhas", linhas);
    return ExecStProc(cmd, 0);
  } catch (const std::exception& x) {
    // A lost link fails this file's messages only; a database that cannot
    // describe the procedure keeps none for the rest of the run.
    const auto* p = dynamic_cast<const ProviderError*>(&x);
    if (p != nullptr && p->Kind() == ErrorKind::kConnectionLost) {
      Loga(std::string("- ImportFilesErros: the link was lost: ") + x.what());
      return kErrChamada;
    }
    sem_procedimento = true;
    Loga(std::string("- ImportFilesErros: line messages are not kept: ") + x.what());
    return 0;
  }
}

}  // namespace zun
