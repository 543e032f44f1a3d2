#include "service/line_errors.h"

#include <cstdlib>
#include <exception>
#include <memory>

#include "foundation/log.h"
#include "toolbox/dbutil/accessors.h"
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

std::string TextoDeMensagens(const MensagensDeLinha& m) {
  std::string linhas;
  for (const auto& [line, text] : m) {
    std::string t = text;
    for (char& c : t) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    linhas += std::to_string(line) + "\t" + t + "\n";
  }
  return linhas;
}

MensagensDeLinha MensagensDoTexto(const std::string& texto) {
  MensagensDeLinha m;
  for (size_t at = 0; at < texto.size();) {
    size_t end = texto.find('\n', at);
    if (end == std::string::npos) end = texto.size();
    const size_t tab = texto.find('\t', at);
    if (tab < end) {
      m.emplace_back(std::atoi(texto.substr(at, tab - at).c_str()),
                     texto.substr(tab + 1, end - tab - 1));
    }
    at = end + 1;
  }
  return m;
}

int32_t GravaMensagensDaEntrada(int32_t id, int32_t lease, const MensagensDeLinha& m) {
  static bool sem_procedimento = false;
  if (sem_procedimento) return 0;
  const std::string linhas = TextoDeMensagens(m);
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
    sem_procedimento = true;
    Loga(std::string("- ImportFilesErros: line messages are not kept: ") + x.what());
    return 0;
  }
}

}  // namespace zun
