#include "service/procedure_check.h"

#include <algorithm>
#include <set>
#include <vector>

#include "foundation/log.h"
#include "foundation/text.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/service_procedures.h"
#include "toolbox/dbutil/session.h"

namespace zun {
namespace {

RecursosDaFila fila_do_banco;

bool Saida(ParamDirection d) {
  return d == ParamDirection::kOutput || d == ParamDirection::kInputOutput;
}

// How the server's description differs from what the service uses: "" when
// it does not.
std::string Diferencas(const std::vector<ProcParam>& usados, const Parameters& descritos) {
  std::string d;
  const auto junta = [&d](const std::string& s) { d += (d.empty() ? "" : ", ") + s; };
  for (const ProcParam& u : usados) {
    const Parameter* p = descritos.Find(u.name);
    if (p == nullptr) {
      junta("no " + u.name);
    } else if (Saida(u.direction) && !Saida(p->direction)) {
      junta(u.name + " is not an output");
    }
  }
  for (const Parameter& p : descritos.items()) {
    if (p.direction == ParamDirection::kReturnValue) continue;
    const bool usado = std::any_of(usados.begin(), usados.end(), [&p](const ProcParam& u) {
      return Maiusculas(u.name) == Maiusculas(p.name);
    });
    if (!usado) junta(p.name + " is not sent by this service");
  }
  return d;
}

// What the service goes without when proc is missing (or, for
// "ImportFilesResult", has no "@lease").
std::string OQueDegrada(const std::string& proc) {
  const std::string deploy = std::string("; deploy ") + kScriptDaFila + " to enable";
  if (proc == "ImportFilesResult") {
    return "ImportFilesNext has no lease: entries are not fenced between hosts" + deploy;
  }
  if (proc == "ImportFilesRenova") {
    return "ImportFilesRenova is missing: no lease renewal while a file is imported" + deploy;
  }
  if (proc == "ImportFilesErros") {
    return "ImportFilesErros is missing: line messages are not stored with their entry" + deploy;
  }
  if (proc == "ImportFilesMarca") {
    return "ImportFilesMarca is missing: no resume mark, an import pass cut short starts again "
           "at its first line" +
           deploy;
  }
  return proc + " is missing: a file that needs it fails with " +
         std::to_string(kErrProcedimentoAusente);
}

}  // namespace

const RecursosDaFila& FilaDoBanco() { return fila_do_banco; }

int ConfereProcedimentos(const std::vector<ServiceProcedure>& usados) {
  std::vector<std::string> linhas;
  std::set<std::string> ausentes;
  RecursosDaFila fila;
  int descritos = 0;
  for (const ServiceProcedure& usado : usados) {
    const std::string& nome = usado.name;
    Parameters descrito;
    try {
      descrito = Db->Provider().DescribeProcedure(nome);
    } catch (const ProviderError& x) {
      if (x.Kind() != ErrorKind::kOther) {
        LogaConsole("- procedure check stopped at " + nome + ": " + x.what());
        return static_cast<int>(linhas.size());
      }
      ausentes.insert(Maiusculas(nome));
      linhas.push_back(OQueDegrada(nome));
      continue;
    } catch (const std::exception& x) {
      LogaConsole("- procedure check stopped at " + nome + ": " + x.what());
      return static_cast<int>(linhas.size());
    }
    ++descritos;
    std::string d = Diferencas(usado.params, descrito);
    if (nome == "ImportFilesResult" && descrito.Find("@lease") == nullptr) {
      fila.lease = false;
      linhas.push_back(OQueDegrada(nome));
      // The service sends "@lease" only where the queue has leases.
      std::vector<ProcParam> sem_lease = usado.params;
      std::erase_if(sem_lease, [](const ProcParam& p) { return p.name == "@lease"; });
      d = Diferencas(sem_lease, descrito);
    }
    if (!d.empty())
      linhas.push_back(nome + " takes other parameters: " + d + "; its calls may fail");
  }
  fila.renova = ausentes.count("IMPORTFILESRENOVA") == 0;
  fila.erros = ausentes.count("IMPORTFILESERROS") == 0;
  fila.marca = ausentes.count("IMPORTFILESMARCA") == 0;
  fila_do_banco = fila;
  const int todos = descritos + static_cast<int>(ausentes.size());
  Db->DefineProcedimentosAusentes(std::move(ausentes));
  if (linhas.empty()) {
    Loga("- procedure check: " + std::to_string(todos) + " procedures as this service calls them");
  } else {
    LogaConsole("- procedure check: " + std::to_string(linhas.size()) + " of " +
                std::to_string(todos) +
                " procedures are missing or take other parameters than this service sends:");
    for (const std::string& l : linhas) LogaConsole("-   " + l);
  }
  return static_cast<int>(linhas.size());
}

}  // namespace zun
