#include "service/line_errors.h"

#include <cstdlib>
#include <exception>
#include <map>
#include <memory>

#include "engine/imp_main.h"
#include "foundation/log.h"
#include "foundation/tab_fields.h"
#include "foundation/text.h"
#include "service/codes.h"
#include "service/procedure_check.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

// A message's text within one field: no line breaks or tabs, cut to n.
std::string Campo(const std::string& s, size_t n) {
  std::string t = s.size() > n ? CortaTexto(s, n) : s;
  for (char& c : t) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return t;
}

}  // namespace

MensagensDoArquivo& MensagensDoUltimoArquivo() {
  static MensagensDoArquivo m;
  return m;
}

ContagemDeLinhas& ContagemDoUltimoArquivo() {
  static ContagemDeLinhas c;
  return c;
}

MensagensDoArquivo MensagensDe(const TImpMain& imp) {
  MensagensDoArquivo m;
  for (const auto& [linha, texto] : imp.MensagensDeLinha) {
    if (m.itens.size() == kMaxMensagensGuardadas) break;
    MensagemDeLinha x;
    x.linha = linha;
    x.texto = Campo(texto, 300);
    const auto c = imp.CodigoDaLinha.find(linha);
    if (c != imp.CodigoDaLinha.end()) x.codigo = c->second;
    if (linha >= 1 && static_cast<size_t>(linha) <= imp.Lines.size()) {
      x.conteudo = Campo(std::string(imp.Lines[static_cast<size_t>(linha - 1)]), 300);
    }
    m.itens.push_back(std::move(x));
  }
  // Only a full list leaves messages out (a message both passes issued is
  // kept once but counted twice).
  if (imp.MensagensDeLinha.size() >= kMaxMensagensDeLinha) {
    m.nao_guardadas = std::max<int32_t>(0, imp.ErrMsgCount - static_cast<int32_t>(m.itens.size()));
  }
  return m;
}

std::vector<std::string> ItensDasMensagens(const MensagensDoArquivo& m) {
  if (m.itens.empty()) return {};
  // A mail is one GET request: every item keeps at most 1000 bytes and the
  // whole query about 7 KB, so the lines are short and spread over items.
  constexpr size_t kPorItem = 1000;
  std::vector<std::string> itens = {"errors-count", std::to_string(m.Total())};
  std::map<int32_t, std::string> motivos;
  std::string bloco;
  int n = 1;
  auto fecha = [&] {
    if (bloco.empty()) return;
    itens.push_back(n == 1 ? std::string("errors") : "errors-" + std::to_string(n));
    itens.push_back(bloco);
    bloco.clear();
    ++n;
  };
  for (size_t i = 0; i < m.itens.size() && i < kMaxMensagensNoEmail; ++i) {
    const MensagemDeLinha& x = m.itens[i];
    std::string l = "line " + std::to_string(x.linha) + ": " + Campo(x.texto, 100);
    if (x.codigo != 0) {
      l += " [code " + std::to_string(x.codigo) + "]";
      motivos.emplace(x.codigo, MotivoDoCodigo(x.codigo));
    }
    if (!x.conteudo.empty()) l += " <" + Campo(x.conteudo, 60) + ">";
    if (!bloco.empty() && bloco.size() + 1 + l.size() > kPorItem) fecha();
    bloco += (bloco.empty() ? "" : "\n") + l;
  }
  if (m.Total() > static_cast<int32_t>(kMaxMensagensNoEmail)) {
    const std::string mais = "... " + std::to_string(m.Total() - kMaxMensagensNoEmail) +
                             " more (zuninput-db errors, or a check with -CheckAll)";
    if (bloco.size() + 1 + mais.size() > kPorItem) fecha();
    bloco += (bloco.empty() ? "" : "\n") + mais;
  }
  fecha();
  std::string texto;
  for (const auto& [codigo, motivo] : motivos) {
    texto += (texto.empty() ? "" : "\n") + std::to_string(codigo) + ": " +
             (motivo.empty() ? "the line's message says why" : motivo);
  }
  if (!texto.empty()) {
    itens.push_back("reasons");
    itens.push_back(texto);
  }
  return itens;
}

std::string TextoDasMensagens(const MensagensDoArquivo& m) {
  std::string linhas;
  for (const MensagemDeLinha& x : m.itens) {
    linhas += std::to_string(x.linha) + "\t" + std::to_string(x.codigo) + "\t" +
              (x.codigo != 0 ? Campo(MotivoDoCodigo(x.codigo), 300) : "") + "\t" +
              Campo(x.texto, 300) + "\t" + Campo(x.conteudo, 300) + "\n";
  }
  return linhas;
}

MensagensDoArquivo MensagensDoTexto(const std::string& texto) {
  MensagensDoArquivo m;
  ParaCadaLinhaDeCampos(texto, [&m](std::vector<std::string>& campos) {
    if (campos.size() == 2) campos = {campos[0], "0", "", campos[1], ""};
    if (campos.size() != 5) return true;
    MensagemDeLinha x;
    x.linha = std::atoi(campos[0].c_str());
    x.codigo = std::atoi(campos[1].c_str());
    x.texto = std::move(campos[3]);
    x.conteudo = std::move(campos[4]);
    m.itens.push_back(std::move(x));
    return true;
  });
  return m;
}

int32_t GravaMensagensDaEntrada(int32_t id, int32_t lease, const MensagensDoArquivo& m) {
  static bool sem_procedimento = false;
  if (sem_procedimento || !FilaDoBanco().erros) return 0;
  std::string linhas = TextoDasMensagens(m);
  if (m.nao_guardadas > 0) {
    linhas += "0\t0\t\t" + std::to_string(m.nao_guardadas) + " more line messages not kept\t\n";
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
    if (FilaDoBanco().lease) SetParamInt(cmd, "@lease", lease);
    SetParamStr(cmd, "@linhas", linhas);
    return ExecStProc(cmd, ModoStProc::kExecuta);
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
