// The queue step and the import of one local file.
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "database/import_files.h"
#include "db/global_state.h"
#include "db/reqgbol.h"
#include "db/user_context.h"
#include "engine/imp_main.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "notify/mail.h"
#include "service/login.h"
#include "service/queue_step.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

std::string YN(bool b) { return b ? "Y" : "N"; }

// Trimmed and in double quotes unless it already starts and ends with one.
std::string Aspas(const std::string& s) {
  const std::string t = Apara(s);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t;
  return "\"" + t + "\"";
}

// The queue time as date and time text, as the machine shows it.
std::string DataHora(double dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(dt, &y, &mo, &d, &h, &mi, &s, &ms);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

struct QueueRow {
  int32_t uid = 0;
  int32_t id = 0;
  int32_t prioridade = 0;
  std::string name;
  double mom = 0;
  std::string filename;
  int32_t importtries = 0;
  int32_t lease = 0;  // the hand-out's number: renews the entry, records its outcome
};

// The e-mail text of the entry's owner: the session's when it works as the
// owner (the import switched to it), else read by switching to the owner
// and back (a file that failed before the switch). "" when it cannot be
// read: a mail to the session's own user would go to the wrong person.
std::string EmailDoDono(const std::string& dono) {
  if (UsuarioNome == dono) return UsuarioEmail;
  std::string email;
  try {
    const int32_t e = ChamaSetuser(dono);
    if (e == 0) {
      email = UsuarioEmail;
      const int32_t volta = ChamaSetuser("");
      if (volta != 0) Loga("- ChamaSetuser back erro:" + std::to_string(volta));
    } else {
      Loga("- owner's e-mail unknown: ChamaSetuser " + dono + " erro:" + std::to_string(e));
    }
  } catch (const std::exception& x) {
    int32_t e = 0;
    CodigoDaExcecao("ImpIF.email", &e, x, 4085);
  }
  return email;
}

// Calls a queue procedure on the entry under its lease: "ImportFilesResult"
// when res is given (the outcome), else "ImportFilesRenova" (renews the
// lease). 0 or the call's code.
int32_t ChamaComLease(const QueueRow& row, std::optional<int32_t> res = std::nullopt,
                      bool apaga_conteudo = false) {
  std::unique_ptr<Command> cmd =
      TomaDataSet(CommandType::kStoredProc, res ? "ImportFilesResult" : "ImportFilesRenova");
  DevolveAoSair devolve(&cmd);
  SetParamInt(cmd, "@id", row.id);
  SetParamInt(cmd, "@lease", row.lease);
  if (res) {
    SetParamInt(cmd, "@res", *res);
    SetParamBool(cmd, "@ApagaConteudo", apaga_conteudo);
  }
  return ExecStProc(cmd, 0);
}

// Records a successful file's outcome and its bulletin request (pedido, not
// empty) in one transaction: a later failure, a kill or a stop of the run
// can no longer lose the request of a file recorded as imported, and a file
// whose outcome was refused asks for nothing. A request that cannot be
// recorded does not hold the outcome back: the outcome is recorded alone
// and the request waits in ReqGBolPendente for the end of the run.
int32_t GravaResultadoEPedido(const QueueRow& row, bool apaga_conteudo, const std::string& pedido) {
  DbBeginTran();
  int32_t gravou = 0;
  int32_t pedido_erro = 0;
  try {
    gravou = ChamaComLease(row, 0, apaga_conteudo);
    if (gravou == 0) pedido_erro = ReqGBol(pedido);
  } catch (...) {
    DbEndTran(false);
    throw;
  }
  DbEndTran(gravou == 0 && pedido_erro == 0);
  if (gravou == 0 && pedido_erro != 0) {
    gravou = ChamaComLease(row, 0, apaga_conteudo);
    if (gravou == 0) ReqGBolPendente += pedido;
  }
  return gravou;
}

}  // namespace

void ImpCliImport(const std::string& file_name, bool sh_port_flag, int32_t* line_number,
                  std::string* last_line, std::string* diag, int32_t* erro,
                  const std::function<bool()>& segue, bool ci_or_co) {
  LogaConsole("ImpCli import <" + file_name + ">");
  *erro = 0;
  diag->clear();
  *line_number = 0;
  last_line->clear();
  if (file_name.empty()) {
    *diag = "Error: no input file";
    LogaConsole(*diag);
    *erro = 3774;
  } else {
    auto imp = std::make_unique<tMyImpMain>(file_name, ci_or_co);
    imp->ShPortFlag = sh_port_flag;
    bool parou = false;
    try {
      while (imp->CanGoOn() && !(parou = segue && !segue())) imp->ImportNext();
    } catch (...) {
      // An importer's exception ends the file; the caller turns it into the
      // file's code. The owner still learns where the file stopped.
      *diag = imp->StatusLine("impcli");
      *last_line = imp->LastLine;
      *line_number = imp->lnn;
      throw;
    }
    *erro = parou ? kErroEntradaTomada : imp->ResultCode();
    *diag = parou ? "stopped: the entry was taken by another process" : imp->StatusLine("impcli");
    *last_line = imp->LastLine;
    *line_number = imp->lnn;
  }
  LogaConsole("- end import " + (*erro == 0 ? std::string("ok") : "erro:" + std::to_string(*erro)) +
              " " + *diag);
}

void ImpIFStep(int32_t seq, int32_t* erro, bool* continua) {
  *erro = 0;
  *continua = true;
  // What the file's "*REQGBOL" records add to the bulletin requests.
  const size_t pedidos_antes = ReqGBolPendente.size();
  QueueRow row;
  std::string local_name;
  std::string path_if;
  bool tenho_path = false;
  bool copia_gravada = false;  // the local copy exists in full
  bool user_switched = false;
  int32_t line_number = 0;
  std::string last_line;
  std::string diag;
  bool morto = false;   // handed out to record that its process died
  bool tomada = false;  // the lease was lost: the entry is another process's now
  std::unique_ptr<Command> cmd;
  try {
    cmd = TomaDataSet(CommandType::kStoredProc, "ImportFilesNext");
    if (!cmd) *erro = 4084;
    if (*erro == 0) {
      int y, mo, d, h, mi, s, ms;
      DecodeDateTime(MomentoToDateTime(AgoraNoServidor()), &y, &mo, &d, &h, &mi, &s, &ms);
      const int32_t max_pri = MaxPrioridadeDaHora(h);
      LogaConsole("- next MaxIFPri:" + std::to_string(max_pri));
      SetParamInt(cmd, "@MaxPrioridade", max_pri);
      SetParamInt(cmd, "@MaxImportTries", kImportMaxTries);
      *erro = ExecStProc(cmd, 1);
      morto = *erro == kEntradaDeProcessoMorto;
    }
    if (*erro == 0 || morto) {
      const int32_t count_menos_um = FieldInt(cmd, "CountMenosUm");
      if (count_menos_um != 0) {
        LogaConsole("ImportFiles CountMenosUm:" + std::to_string(count_menos_um) + " !!!");
        SendNotification("IF CountMenosUm",
                         {"CountMenosUm", std::to_string(count_menos_um), "SeqOnThisRunOfThisIF",
                          std::to_string(seq)},
                         "gr");
      }
      cmd->NextRecordset();
      GetFieldInt(cmd, "Uid", &row.uid);
      GetFieldInt(cmd, "Id", &row.id);
      GetFieldInt(cmd, "prioridade", &row.prioridade);
      GetFieldStr(cmd, "Name", &row.name);
      GetFieldDateTime(cmd, "mom", &row.mom);
      GetFieldStr(cmd, "filename", &row.filename);
      GetFieldInt(cmd, "importtries", &row.importtries);
      GetFieldInt(cmd, "lease", &row.lease);
      if (row.id == 0) *erro = 4088;
    }
    if (morto && row.id != 0) {
      diag = "the process importing the file ended before its outcome was recorded";
      LogaConsole("- NextIF: id:" + std::to_string(row.id) + " uid:" + std::to_string(row.uid) +
                  " try:" + std::to_string(row.importtries) + " orig:<" + row.filename + "> " +
                  diag);
    }
    if (*erro == 0) {
      const std::string mom_str = MomentoStr(DateTimeToMomento(row.mom));
      local_name =
          std::to_string(row.id) + "-" + LimpaNome(row.name) + "-" + LimpaNome(mom_str) + ".txt";
      LogaConsole("- NextIF: id:" + std::to_string(row.id) + " uid:" + std::to_string(row.uid) +
                  " IFpri:" + std::to_string(row.prioridade) + " mom:" + mom_str +
                  " try:" + std::to_string(row.importtries) + " orig:<" + row.filename + ">" +
                  " local:<" + local_name + ">");
      path_if = LePathIF();
      tenho_path = !path_if.empty();
      LogaConsole("- writing " + path_if + local_name);
      // The content is written byte for byte: trimming it as text fields
      // are would shift the line numbers of every message.
      const Value& conteudo = cmd->Current().FieldByName("conteudo");
      GravaArquivo(path_if + local_name, conteudo.IsNull() ? "" : conteudo.AsString(), erro);
      copia_gravada = *erro == 0;
    }
    DevolveDataSet(&cmd);
    if (*erro == 0 && row.name != UsuarioNome) {
      *erro = ChamaSetuser(row.name);
      user_switched = true;
    }
    if (*erro == 0) {
      // The lease is renewed while the file is imported, between records and
      // outside an importer's transaction (which would take the renewal
      // with it on a rollback); a lease found lost stops the import, so the
      // entry is never imported by two processes at the same time.
      Stopwatch desde_renovacao;
      auto segue = [&] {
        if (desde_renovacao.Elapsed() < kRenovaLeaseSegundos || Db->TranCount() > 0) return true;
        desde_renovacao.Reset();
        const int32_t e = ChamaComLease(row);
        if (e == kLeasePerdido) {
          LogaConsole("- ImportFilesRenova id:" + std::to_string(row.id) +
                      " lease lost: the entry was taken by another process");
          return false;
        }
        if (e != 0) Loga("- ImportFilesRenova erro:" + std::to_string(e));
        return true;
      };
      ImpCliImport(path_if + local_name, false, &line_number, &last_line, &diag, erro, segue);
      tomada = *erro == kErroEntradaTomada;
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpIF.1", erro, x, 4086);
  }
  DevolveDataSet(&cmd);

  try {
    // The file's bulletin requests go with its successful outcome, or not
    // at all.
    std::string pedido;
    if (ReqGBolPendente.size() > pedidos_antes) {
      if (*erro == 0) pedido = ReqGBolPendente.substr(pedidos_antes);
      ReqGBolPendente.resize(pedidos_antes);
    }
    if (*erro == 0 && row.prioridade <= 3 && row.id != 0) {
      pedido += "[ImpIF id:" + std::to_string(row.id) + " IFpri:" + std::to_string(row.prioridade) +
                " " + row.name + "]";
    }
    // An entry taken by another process is that process's to record.
    if (row.id != 0 && !tomada) {
      const bool tries_exceeded = row.importtries >= kImportMaxTries;
      // The stored content goes only when the kept copy really exists: a
      // copy that could not be written must not take the file with it.
      const bool apaga = tenho_path && copia_gravada && (*erro == 0 || tries_exceeded);
      const int32_t gravou = pedido.empty() ? ChamaComLease(row, *erro, apaga)
                                            : GravaResultadoEPedido(row, apaga, pedido);
      // An outcome the queue did not take is not a success: the entry would
      // be imported again by a later run.
      if (gravou != 0) {
        LogaConsole("- ImportFilesResult erro:" + std::to_string(gravou));
        if (*erro == 0 || morto) *erro = gravou;
        tomada = gravou == kLeasePerdido;
      }
    }
    if (row.id != 0 && !tomada) {
      const bool tries_exceeded = row.importtries >= kImportMaxTries;
      LogaConsole(
          "- result:" + std::to_string(*erro) + " IFNumTries:" + std::to_string(row.importtries) +
          " tries-exceeded:" + YN(tries_exceeded) + " TenhoPathPraGuardar:" + YN(tenho_path) +
          " SeqOnThisRunOfThisIF:" + std::to_string(seq));
      // The entry's items, shared by the notification and the owner's mail.
      auto itens = [&](const std::string& diag_item, const std::string& last_line_item) {
        return std::vector<std::string>{"id",
                                        std::to_string(row.id),
                                        "file",
                                        row.filename,
                                        "user",
                                        row.name,
                                        "sent",
                                        DataHora(row.mom) + " (GMT)",
                                        "IFpriority",
                                        std::to_string(row.prioridade),
                                        "try",
                                        std::to_string(row.importtries),
                                        "result-error",
                                        std::to_string(*erro),
                                        "diag",
                                        diag_item,
                                        "lastline",
                                        last_line_item,
                                        "lastlinenumber",
                                        std::to_string(line_number)};
      };
      if (*erro != 0 && tries_exceeded) {
        std::vector<std::string> extra = itens(Aspas(diag), Aspas(last_line));
        extra.push_back("SeqOnThisRunOfThisIF");
        extra.push_back(std::to_string(seq));
        SendNotification("IF failed, max tries exceeded", extra, "gr");
      }
      const std::string email =
          *erro == 0 || tries_exceeded ? EmailDoDono(row.name) : std::string();
      if (!email.empty()) {
        LogaConsole("- sending mail to <" + email + ">");
        std::vector<std::string> mail = {
            "XTO", email, "SUBJ",
            "ZunInput import " +
                (*erro == 0 ? std::string("Ok") : "Error:" + std::to_string(*erro))};
        const std::vector<std::string> entrada = itens(diag, last_line);
        mail.insert(mail.end(), entrada.begin(), entrada.end());
        const int32_t mail_erro = SendMailItems(mail);
        if (mail_erro != 0) Loga("- mail error:" + std::to_string(mail_erro));
      }
    }
    if (!tenho_path && !local_name.empty()) ::unlink((path_if + local_name).c_str());
    if (*erro == 0 && user_switched) {
      *erro = ChamaSetuser("");
      user_switched = false;
    }
    // The failure of a process that died is recorded and reported: this run
    // goes on.
    if (morto && *erro == kEntradaDeProcessoMorto) *erro = 0;
    if (tomada) *erro = kErroEntradaTomada;
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpIF.2", erro, x, 4085);
  }
  DevolveDataSet(&cmd);
  if (*erro == 4072) {
    LogaConsole("no ImportFiles found to import at this moment");
    *erro = 0;
    *continua = false;
  }
}

}  // namespace zun
