// The queue step and the import of one local file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "db/global_state.h"
#include "db/reqgbol.h"
#include "db/user_context.h"
#include "engine/imp_main.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "notify/mail.h"
#include "notify/repeat_guard.h"
#include "service/codes.h"
#include "service/line_errors.h"
#include "service/login.h"
#include "service/procedure_check.h"
#include "service/queue_step.h"
#include "service/run_summary.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/import_queue.h"
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
  // Where an earlier try's import pass stands (its lines before retoma_linha
  // are committed); retoma_linha < 0: nowhere.
  int32_t retoma_linha = -1;
  int32_t retoma_erro = 0;
  int32_t retoma_erros = 0;
  int32_t retoma_gbol = 0;
  std::string retoma_pedido;
  // The records those lines applied and skipped, and the try's line
  // messages up to them (none kept: the check pass's stand).
  int32_t retoma_aplicadas = 0;
  int32_t retoma_puladas = 0;
  std::optional<std::string> retoma_mensagens;
};

// The optional columns of the hand-out's row (a queue without them leaves
// the defaults).
void LeRetomada(Command& cmd, QueueRow* row) {
  Recordset& rs = cmd.Current();
  auto inteiro = [&rs](const char* nome, int32_t dflt) {
    const int i = rs.FieldIndex(nome);
    return i < 0 || rs.Field(i).IsNull() ? dflt : rs.Field(i).AsInt();
  };
  row->retoma_linha = inteiro("retoma_linha", -1);
  row->retoma_erro = inteiro("retoma_erro", 0);
  row->retoma_erros = inteiro("retoma_erros", 0);
  row->retoma_gbol = inteiro("retoma_gbol", 0);
  row->retoma_aplicadas = inteiro("retoma_aplicadas", 0);
  row->retoma_puladas = inteiro("retoma_puladas", 0);
  int i = rs.FieldIndex("retoma_pedido");
  if (i >= 0 && !rs.Field(i).IsNull()) row->retoma_pedido = rs.Field(i).AsString();
  i = rs.FieldIndex("retoma_mensagens");
  if (i >= 0 && !rs.Field(i).IsNull()) row->retoma_mensagens = rs.Field(i).AsString();
}

// Where the import pass stands, in the group's transaction, under the
// entry's lease (which it renews), with the records applied and skipped so
// far and the line messages when there are more than *marcadas (then
// updated; messages are only ever added): 0, or the call's code (50107: the
// lease is lost).
[[nodiscard]] int32_t MarcaRetomada(const QueueRow& row, const TImpMain& imp,
                                    const std::string& pedido, size_t* marcadas) {
  std::unique_ptr<Command> cmd = TomaDataSet(CommandType::kStoredProc, "ImportFilesMarca");
  DevolveAoSair devolve(&cmd);
  SetParamInt(cmd, "@id", row.id);
  SetParamInt(cmd, "@lease", row.lease);
  SetParamInt(cmd, "@linha", imp.lnn);
  SetParamInt(cmd, "@erro", imp.ErroNaoFatal);
  SetParamInt(cmd, "@erros", imp.ErroNaoFatalCount);
  SetParamInt(cmd, "@gbol", PrioridadeReqGBol);
  SetParamStr(cmd, "@pedido", pedido);
  SetParamInt(cmd, "@aplicadas", imp.LinhasAplicadas);
  SetParamInt(cmd, "@puladas", imp.LinhasPuladas);
  if (imp.MensagensDeLinha.size() != *marcadas) {
    SetParamStr(cmd, "@mensagens", TextoDasMensagens(MensagensDe(imp)));
  } else {
    SetParamNull(cmd, "@mensagens");  // unchanged
  }
  const int32_t e = ExecStProc(cmd, ModoStProc::kExecuta);
  if (e == 0) *marcadas = imp.MensagensDeLinha.size();
  return e;
}

// The service's importer object with the queue step's hooks.
class tImpDaFila : public tMyImpMain {
 public:
  tImpDaFila(const std::string& file_name, bool ci_or_co, const TAcompanhamento* a)
      : tMyImpMain(file_name, ci_or_co), a_(a) {}
  void StartImport() override {
    if (a_ == nullptr || !a_->inicio || a_->inicio(*this)) tMyImpMain::StartImport();
  }

 private:
  const TAcompanhamento* a_;
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
    CodigoDaExcecao("ImpIF.email", &e, x, kErroExcecaoNoResultado);
  }
  return email;
}

// Calls a queue procedure on the entry under its lease: "ImportFilesResult"
// when res is given (the outcome), else "ImportFilesRenova" (renews the
// lease). 0 or the call's code. A queue without leases, or without their
// renewal, gets no lease and no renewal.
[[nodiscard]] int32_t ChamaComLease(const QueueRow& row, std::optional<int32_t> res = std::nullopt,
                                    bool apaga_conteudo = false) {
  if (!res && !(FilaDoBanco().lease && FilaDoBanco().renova)) return 0;
  std::unique_ptr<Command> cmd =
      TomaDataSet(CommandType::kStoredProc, res ? "ImportFilesResult" : "ImportFilesRenova");
  DevolveAoSair devolve(&cmd);
  SetParamInt(cmd, "@id", row.id);
  if (FilaDoBanco().lease) SetParamInt(cmd, "@lease", row.lease);
  if (res) {
    SetParamInt(cmd, "@res", *res);
    SetParamBool(cmd, "@ApagaConteudo", apaga_conteudo);
  }
  return ExecStProc(cmd, ModoStProc::kExecuta);
}

// Records a successful file's outcome and its bulletin request (pedido, not
// empty) in one transaction: a later failure, a kill or a stop of the run
// can no longer lose the request of a file recorded as imported, and a file
// whose outcome was refused asks for nothing. A request that cannot be
// recorded does not hold the outcome back: the outcome is recorded alone
// and the request waits in ReqGBolPendente for the end of the run.
[[nodiscard]] int32_t GravaResultadoEPedido(const QueueRow& row, bool apaga_conteudo,
                                            const std::string& pedido) {
  int32_t gravou = 0;
  int32_t pedido_erro = 0;
  {
    Transacao transacao;
    gravou = ChamaComLease(row, 0, apaga_conteudo);
    if (gravou == 0) pedido_erro = ReqGBol(pedido);
    transacao.Termina(gravou == 0 && pedido_erro == 0);
  }
  if (gravou == 0 && pedido_erro != 0) {
    gravou = ChamaComLease(row, 0, apaga_conteudo);
    if (gravou == 0) ReqGBolPendente += pedido;
  }
  return gravou;
}

// Records the outcome and the file's bulletin request (pedido, may be
// empty) in the group's last transaction, with its last lines: all of it
// commits, or, when the outcome is refused (the lease lost), none of it.
// A request that cannot be recorded is undone alone and waits in
// ReqGBolPendente for the end of the run.
[[nodiscard]] int32_t GravaComOGrupo(const QueueRow& row, int32_t res, bool apaga,
                                     const std::string& pedido) {
  int32_t gravou = 0;
  try {
    gravou = ChamaComLease(row, res, apaga);
    if (gravou == 0 && !pedido.empty()) {
      Transacao transacao;
      const int32_t pedido_erro = ReqGBol(pedido);
      transacao.Termina(pedido_erro == 0);
      if (pedido_erro != 0) ReqGBolPendente += pedido;
    }
  } catch (...) {
    Db->DesfazGrupo();
    throw;
  }
  if (Db->GrupoPerdido()) {
    // The server undid the group's last transaction under the outcome (a
    // deadlock victim, a procedure's rollback): its lines and the outcome
    // went with it. The file ends as a lost group, recorded on its own.
    Db->DesfazGrupo();
    LogaConsole("- import group lost: the lines since its last commit are undone");
    const int32_t e = ChamaComLease(row, kErroGrupoPerdido, false);
    return e != 0 ? e : kErroGrupoPerdido;
  }
  if (gravou != 0) {
    Db->DesfazGrupo();
  } else {
    Db->ConfirmaGrupo(false);
  }
  return gravou;
}

// Reads a file whose check pass failed once more, as a check that goes on
// after each failed line, logging and printing nothing, and keeps its line
// messages in MensagensDoUltimoArquivo (those of the first reading stay
// when this one fails).
void RecolheMensagens(const std::string& file_name) {
  struct Mudo {
    Mudo() { LogMudo(true); }
    ~Mudo() { LogMudo(false); }
  } mudo;
  try {
    tImpDaFila imp(file_name, false, nullptr);
    imp.SegueAposErro = true;
    while (imp.CanGoOn()) imp.ImportNext();
    if (!imp.MensagensDeLinha.empty()) MensagensDoUltimoArquivo() = MensagensDe(imp);
  } catch (const std::exception&) {
    // The first reading's messages stand.
  }
}

}  // namespace

void ImpCliImport(const std::string& file_name, bool sh_port_flag, int32_t* line_number,
                  std::string* last_line, std::string* diag, int32_t* erro,
                  const TAcompanhamento* acompanha, bool ci_or_co) {
  LogaConsole("ImpCli import <" +
              (acompanha != nullptr && !acompanha->nome.empty() ? acompanha->nome : file_name) +
              ">");
  MensagensDoUltimoArquivo() = {};
  ContagemDoUltimoArquivo() = {};
  *erro = 0;
  diag->clear();
  *line_number = 0;
  last_line->clear();
  if (file_name.empty()) {
    *diag = "Error: no input file";
    LogaConsole(*diag);
    *erro = kErroSemNomeDeArquivo;
  } else {
    std::unique_ptr<tImpDaFila> imp;
    if (acompanha != nullptr && !acompanha->nome.empty()) {
      // The file is read through another path (an open descriptor's): its
      // start line names it as its user knows it.
      LogMudo(true);
      try {
        imp = std::make_unique<tImpDaFila>(file_name, ci_or_co, acompanha);
      } catch (...) {
        LogMudo(false);
        throw;
      }
      LogMudo(false);
      imp->FileName = acompanha->nome;
      Loga("ImpRoot start " + imp->FileName + " CIorCO:" + YN(ci_or_co));
    } else {
      imp = std::make_unique<tImpDaFila>(file_name, ci_or_co, acompanha);
    }
    imp->ShPortFlag = sh_port_flag;
    int32_t parou = 0;
    try {
      while (imp->CanGoOn()) {
        if (acompanha != nullptr && acompanha->segue && (parou = acompanha->segue(*imp)) != 0) {
          break;
        }
        imp->ImportNext();
      }
    } catch (...) {
      // An importer's exception ends the file; the caller turns it into the
      // file's code. The owner still learns where the file stopped.
      *diag = imp->StatusLine("impcli");
      *last_line = imp->LastLine;
      *line_number = imp->lnn;
      MensagensDoUltimoArquivo() = MensagensDe(*imp);
      throw;
    }
    *erro = parou != 0 ? parou : imp->ResultCode();
    *diag = parou == kErroEntradaTomada ? "stopped: the entry was taken by another process"
            : parou != 0                ? "stopped: error " + std::to_string(parou)
                                        : imp->StatusLine("impcli");
    *last_line = imp->LastLine;
    *line_number = imp->lnn;
    MensagensDoUltimoArquivo() = MensagensDe(*imp);
    ContagemDoUltimoArquivo() = {imp->LinhasAplicadas, imp->LinhasPuladas};
    const bool recolhe = acompanha != nullptr && acompanha->recolhe_tudo && parou == 0 &&
                         *erro != 0 && imp->ToNoCheck;
    imp.reset();
    if (recolhe) RecolheMensagens(file_name);
  }
  LogaConsole("- end import " + (*erro == 0 ? std::string("ok") : "erro:" + std::to_string(*erro)) +
              " " + *diag);
}

namespace {

// What one queue step knows about its entry, from the hand-out to the
// clean-up.
struct PassoDaFila {
  PassoDaFila(int32_t n, int32_t* codigo) : seq(n), erro(*codigo) {}
  const int32_t seq;  // the step's number in this run
  int32_t& erro;      // the step's code so far (the caller's)
  // Where the file's "*REQGBOL" requests begin in ReqGBolPendente.
  size_t pedidos_antes = 0;
  QueueRow row;
  std::string path_if;         // "PathIF": the local copy is kept there; "" otherwise
  std::string local_name;      // the local copy's name; "" until the entry is taken
  bool copia_gravada = false;  // the local copy exists in full
  // The local copy, open and locked while the step uses it (-1: none): the
  // start of another run leaves a locked copy alone.
  int trava = -1;
  // Line messages already in the queue's mark (none written yet: SIZE_MAX,
  // so that the first mark writes them, even none).
  size_t mensagens_marcadas = SIZE_MAX;
  bool user_switched = false;
  bool morto = false;   // handed out to record that its process died
  bool tomada = false;  // the lease was lost: the entry is another process's now
  int32_t line_number = 0;
  std::string last_line;
  std::string diag;

  ~PassoDaFila() {
    if (trava >= 0) ::close(trava);
  }
  bool GuardaCopia() const { return !path_if.empty(); }
  bool TentativasEsgotadas() const { return row.importtries >= kImportMaxTries; }
};

// Asks the queue for the most urgent entry the hour allows.
void PedeEntrada(Command& cmd, PassoDaFila* p) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(MomentoToDateTime(AgoraNoServidor()), &y, &mo, &d, &h, &mi, &s, &ms);
  const int32_t max_pri = MaxPrioridadeDaHora(h);
  LogaConsole("- next MaxIFPri:" + std::to_string(max_pri));
  SetParamInt(cmd, "@MaxPrioridade", max_pri);
  SetParamInt(cmd, "@MaxImportTries", kImportMaxTries);
  p->erro = ExecStProc(cmd, ModoStProc::kLeResult);
  p->morto = p->erro == kErrImportFileProcessDied;
}

// Reads the entry handed out (reporting a queue whose count went below
// zero); 4088 for an entry without an id.
void LeEntrada(Command& cmd, PassoDaFila* p) {
  const int32_t count_menos_um = FieldInt(cmd, "CountMenosUm");
  if (count_menos_um != 0) {
    LogaConsole("ImportFiles CountMenosUm:" + std::to_string(count_menos_um) + " !!!");
    NotificaSemRepetir("CountMenosUm " + std::to_string(count_menos_um), "IF CountMenosUm",
                       {"CountMenosUm", std::to_string(count_menos_um), "SeqOnThisRunOfThisIF",
                        std::to_string(p->seq)},
                       "gr");
  }
  cmd.NextRecordset();
  QueueRow& row = p->row;
  GetFieldInt(cmd, "Uid", &row.uid);
  GetFieldInt(cmd, "Id", &row.id);
  GetFieldInt(cmd, "prioridade", &row.prioridade);
  GetFieldStr(cmd, "Name", &row.name);
  GetFieldDateTime(cmd, "mom", &row.mom);
  GetFieldStr(cmd, "filename", &row.filename);
  GetFieldInt(cmd, "importtries", &row.importtries);
  if (FilaDoBanco().lease) GetFieldInt(cmd, "lease", &row.lease);
  LeRetomada(cmd, &row);
  if (row.id == 0) p->erro = kErroEntradaSemId;
  if (p->morto && row.id != 0) {
    p->diag = "the process importing the file ended before its outcome was recorded";
    LogaConsole("- NextIF: id:" + std::to_string(row.id) + " uid:" + std::to_string(row.uid) +
                " try:" + std::to_string(row.importtries) + " orig:<" + row.filename + "> " +
                p->diag);
  }
}

// Names the local copy and writes the entry's content to it.
void GravaCopiaLocal(Command& cmd, PassoDaFila* p) {
  const QueueRow& row = p->row;
  const std::string mom_str = MomentoStr(DateTimeToMomento(row.mom));
  // The hand-out's number makes the name its own: a later hand-out of the
  // entry (a retry another process took as soon as this one recorded its
  // failure, or after this one's lease ran out) writes and removes its own.
  // A queue without leases numbers no hand-out: the process id stands in,
  // since two live processes never share one and a process takes an entry
  // again only after it removed its earlier copy (a kept one, -PathIF, is
  // replaced).
  p->local_name =
      std::to_string(row.id) + "-" + LimpaNome(row.name) + "-" + LimpaNome(mom_str) +
      (row.lease > 0 ? "-" + std::to_string(row.lease) : "-p" + std::to_string(::getpid())) +
      ".txt";
  LogaConsole("- NextIF: id:" + std::to_string(row.id) + " uid:" + std::to_string(row.uid) +
              " IFpri:" + std::to_string(row.prioridade) + " mom:" + mom_str +
              " try:" + std::to_string(row.importtries) + " orig:<" + row.filename + ">" +
              " local:<" + p->local_name + ">");
  p->path_if = LePathIF();
  LogaConsole("- writing " + p->path_if + p->local_name);
  // The content is written byte for byte: trimming it as text fields are
  // would shift the line numbers of every message.
  const Value& conteudo = cmd.Current().FieldByName("conteudo");
  GravaArquivo(p->path_if + p->local_name, conteudo.IsNull() ? "" : conteudo.AsString(), &p->erro,
               &p->trava);
  p->copia_gravada = p->erro == 0;
}

// The session works as the entry's owner from here on. ChamaSetuser gives
// the switch's code only; when the owner's context could not be read after
// it (the context is left cleared: no name, no rights, statement source 0),
// it is read once more, and a failing read fails the file with its code
// instead of importing it under the empty context.
void TrocaParaODono(PassoDaFila* p) {
  if (p->row.name == UsuarioNome) return;
  p->erro = ChamaSetuser(p->row.name);
  p->user_switched = true;
  if (p->erro == 0 && UsuarioNome.empty()) p->erro = GetInfoDoUsuario();
}

// Asked before each record of the import: commits the group when it is due
// (marking where the pass stands) and renews the lease every
// kRenovaLeaseSegundos. The lease is renewed between records and outside an
// importer's transaction (which would take the renewal with it on a
// rollback); a lease found lost stops the import, so the entry is never
// imported by two processes at the same time. In a group the renewal
// commits with the group's next lines. 0 goes on; else the import stops
// with the code.
[[nodiscard]] int32_t SegueImportando(PassoDaFila& p, Stopwatch* desde_renovacao, TImpMain& imp) {
  if (Db->TranCount() > 0) return 0;
  if (Db->EmGrupo()) {
    // A transaction the server ended under a call that was no procedure's
    // (a SQL text) counts as the group's loss too.
    Db->RecuperaTransacaoPerdida("SegueImportando");
    if (Db->GrupoPerdido()) return kErroGrupoPerdido;
    if (Db->ChamadasDoGrupo() >= kChamadasPorGrupo || Db->MsDoGrupo() >= kMsPorGrupo) {
      // Without the mark the group commits all the same: a try cut short
      // then starts again at the first line, as on SQL Server.
      const int32_t e = FilaDoBanco().marca
                            ? MarcaRetomada(p.row, imp, ReqGBolPendente.substr(p.pedidos_antes),
                                            &p.mensagens_marcadas)
                            : 0;
      if (e == kErrImportFileLeaseLost) {
        LogaConsole("- ImportFilesMarca id:" + std::to_string(p.row.id) +
                    " lease lost: the entry was taken by another process");
        return kErroEntradaTomada;
      }
      if (e != 0) return e;                              // nothing is committed without its mark
      if (Db->GrupoPerdido()) return kErroGrupoPerdido;  // the mark went with it
      Db->ConfirmaGrupo(true);
    }
  }
  if (desde_renovacao->Elapsed() < kRenovaLeaseSegundos) return 0;
  desde_renovacao->Reset();
  const int32_t e = ChamaComLease(p.row);
  if (e == kErrImportFileLeaseLost) {
    LogaConsole("- ImportFilesRenova id:" + std::to_string(p.row.id) +
                " lease lost: the entry was taken by another process");
    return kErroEntradaTomada;
  }
  if (e != 0) Loga("- ImportFilesRenova erro:" + std::to_string(e));
  return 0;
}

// Run when the import pass begins: opens the group (the bulletin log step
// is its first work); a try after one that committed lines goes on after
// them, with the errors, bulletin requests, records applied and skipped and
// line messages those lines gave, and skips the bulletin log step (false).
bool IniciaPassoDeImportacao(PassoDaFila* p, TImpMain& imp) {
  const QueueRow& row = p->row;
  if (!FilaDoBanco().marca && Db->GroupsNeedResumeMark()) {
    static bool avisou = false;
    if (!std::exchange(avisou, true))
      LogaConsole("- the import pass commits call by call: the queue has no ImportFilesMarca");
  }
  if (!Db->IniciaGrupo(FilaDoBanco().marca) || row.retoma_linha < 0) return true;
  LogaConsole("- resuming the import pass at line " + std::to_string(row.retoma_linha + 1) +
              ": the lines before it were committed by an earlier try");
  imp.lnn = row.retoma_linha;
  imp.ErroNaoFatal = row.retoma_erro;
  imp.ErroNaoFatalCount = row.retoma_erros;
  PedeReqGBol(row.retoma_gbol);
  ReqGBolPendente += row.retoma_pedido;
  imp.LinhasAplicadas = row.retoma_aplicadas;
  imp.LinhasPuladas = row.retoma_puladas;
  // The earlier try's messages, from its check pass on, are those of this
  // file; this check pass ran on lines already applied.
  if (row.retoma_mensagens) {
    imp.MensagensDeLinha.clear();
    imp.CodigoDaLinha.clear();
    for (MensagemDeLinha& x : MensagensDoTexto(*row.retoma_mensagens).itens) {
      if (x.codigo != 0) imp.CodigoDaLinha.emplace(x.linha, x.codigo);
      imp.MensagensDeLinha.emplace_back(x.linha, std::move(x.texto));
    }
    p->mensagens_marcadas = imp.MensagensDeLinha.size();
  }
  return false;
}

// Imports the local copy, keeping the lease and the group going.
void ImportaCopia(PassoDaFila* p) {
  Stopwatch desde_renovacao;
  TAcompanhamento acompanha;
  acompanha.segue = [p, &desde_renovacao](TImpMain& imp) {
    return SegueImportando(*p, &desde_renovacao, imp);
  };
  acompanha.recolhe_tudo = true;
  acompanha.inicio = [p](TImpMain& imp) {
    Db->SharedReads(0);
    return IniciaPassoDeImportacao(p, imp);
  };
  // The check pass only reads: its look-ups share a read transaction,
  // renewed as often as a group commits, instead of taking one each.
  struct FimDasLeituras {
    ~FimDasLeituras() {
      if (Db != nullptr) Db->SharedReads(0);
    }
  } fim_das_leituras;
  Db->SharedReads(static_cast<int>(kMsPorGrupo));
  ImpCliImport(p->path_if + p->local_name, false, &p->line_number, &p->last_line, &p->diag,
               &p->erro, &acompanha);
  p->tomada = p->erro == kErroEntradaTomada;
}

// Takes the file's bulletin requests out of ReqGBolPendente: they go with
// its successful outcome, or not at all. An urgent file imported adds its
// own line.
std::string SeparaPedido(const PassoDaFila& p) {
  std::string pedido;
  if (ReqGBolPendente.size() > p.pedidos_antes) {
    if (p.erro == 0) pedido = ReqGBolPendente.substr(p.pedidos_antes);
    ReqGBolPendente.resize(p.pedidos_antes);
  }
  if (p.erro == 0 && p.row.prioridade <= 3 && p.row.id != 0) {
    pedido += "[ImpIF id:" + std::to_string(p.row.id) +
              " IFpri:" + std::to_string(p.row.prioridade) + " " + p.row.name + "]";
  }
  return pedido;
}

// True when the import pass's group is open and can end with the outcome.
// A group that cannot (the lease or its transaction lost, a nest left open
// by an exception) is undone since its last commit.
bool GrupoTerminaComOResultado(PassoDaFila* p) {
  if (Db == nullptr || !Db->EmGrupo()) return false;
  if (!p->tomada && !Db->GrupoPerdido() && Db->TranCount() == 0) return true;
  if (Db->GrupoPerdido() && (p->erro == 0 || p->erro == kErroGrupoPerdido)) {
    p->erro = kErroGrupoPerdido;
    LogaConsole("- import group lost: the lines since its last commit are undone");
  }
  Db->DesfazGrupo();
  return false;
}

// Records the outcome, with the group's last lines (grupo) or with the
// bulletin request (pedido) when there is one. An outcome the queue did not
// take is not a success: the entry would be imported again by a later run.
void RegistraResultado(PassoDaFila* p, bool grupo, const std::string& pedido) {
  // The stored content goes only when the kept copy really exists: a copy
  // that could not be written must not take the file with it.
  const bool apaga =
      p->GuardaCopia() && p->copia_gravada && (p->erro == 0 || p->TentativasEsgotadas());
  const int32_t gravou = grupo            ? GravaComOGrupo(p->row, p->erro, apaga, pedido)
                         : pedido.empty() ? ChamaComLease(p->row, p->erro, apaga)
                                          : GravaResultadoEPedido(p->row, apaga, pedido);
  if (gravou != 0) {
    LogaConsole("- ImportFilesResult erro:" + std::to_string(gravou));
    if (p->erro == 0 || p->morto) p->erro = gravou;
    p->tomada = gravou == kErrImportFileLeaseLost;
  }
}

// The entry's items, shared by the notification and the owner's mail.
std::vector<std::string> ItensDaEntrada(const PassoDaFila& p, const std::string& diag,
                                        const std::string& last_line, int32_t line_number) {
  const QueueRow& row = p.row;
  return {"id",
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
          std::to_string(p.erro),
          "diag",
          diag,
          "lastline",
          last_line,
          "lastlinenumber",
          std::to_string(line_number)};
}

// Why the file ended as it did, in words for its owner (the operators'
// notification keeps the status line): the code's reason and the first
// line message, or what stopped the import.
std::string MotivoParaODono(const PassoDaFila& p) {
  if (p.erro == 0) return "imported";
  std::string motivo = MotivoDoCodigo(p.erro);
  motivo = "code " + std::to_string(p.erro) + ": " +
           (motivo.empty() ? std::string("see the line messages") : motivo);
  const MensagensDoArquivo& m = MensagensDoUltimoArquivo();
  if (!m.itens.empty()) {
    motivo += "; line " + std::to_string(m.itens[0].linha) + ": " + m.itens[0].texto;
  } else if (!p.diag.empty() && p.diag.rfind("ImpRoot ", 0) != 0) {
    motivo += "; " + p.diag;
  }
  return motivo;
}

// Mails the outcome to the entry's owner: a file imported, or one that
// failed its last try.
void MandaEmailAoDono(const PassoDaFila& p) {
  if (p.erro != 0 && !p.TentativasEsgotadas()) return;
  const std::string email = EmailDoDono(p.row.name);
  if (email.empty()) return;
  LogaConsole("- sending mail to <" + email + ">");
  std::vector<std::string> mail = {
      "XTO", email, "SUBJ",
      "ZunInput import " + (p.erro == 0 ? std::string("Ok") : "Error:" + std::to_string(p.erro))};
  // A failed file shows its owner the line that failed, not the one where
  // the reading stopped (a block's END).
  const MensagensDoArquivo& m = MensagensDoUltimoArquivo();
  const bool na_falha = p.erro != 0 && !m.itens.empty() && m.itens[0].linha > 0;
  const std::vector<std::string> entrada =
      ItensDaEntrada(p, MotivoParaODono(p), na_falha ? m.itens[0].conteudo : p.last_line,
                     na_falha ? m.itens[0].linha : p.line_number);
  mail.insert(mail.end(), entrada.begin(), entrada.end());
  // A file imported says how much of it was applied: one whose every line
  // was skipped still succeeds.
  if (p.erro == 0) {
    for (const auto& [nome, n] :
         {std::pair<const char*, int32_t>{"lines-applied", ContagemDoUltimoArquivo().aplicadas},
          {"lines-skipped", ContagemDoUltimoArquivo().puladas}}) {
      mail.push_back(nome);
      mail.push_back(std::to_string(n));
    }
  }
  // Every line message of the try, with its line, code, reason and text.
  const std::vector<std::string> erros = ItensDasMensagens(MensagensDoUltimoArquivo());
  mail.insert(mail.end(), erros.begin(), erros.end());
  const int32_t mail_erro = SendMailItems(mail);
  if (mail_erro != 0) Loga("- mail error:" + std::to_string(mail_erro));
}

// Logs the recorded outcome, counts it in the run's summary, notifies a
// file that failed its last try and mails the owner.
void RelataResultado(const PassoDaFila& p) {
  LogaConsole("- result:" + std::to_string(p.erro) + " IFNumTries:" +
              std::to_string(p.row.importtries) + " tries-exceeded:" + YN(p.TentativasEsgotadas()) +
              " TenhoPathPraGuardar:" + YN(p.GuardaCopia()) +
              " SeqOnThisRunOfThisIF:" + std::to_string(p.seq));
  AnotaArquivoNoResumo(p.erro, ContagemDoUltimoArquivo().aplicadas);
  AnotaEntradaNoResumo(p.row.id, p.row.name);
  if (p.erro != 0 && p.TentativasEsgotadas()) {
    std::vector<std::string> extra =
        ItensDaEntrada(p, Aspas(p.diag), Aspas(p.last_line), p.line_number);
    extra.push_back("SeqOnThisRunOfThisIF");
    extra.push_back(std::to_string(p.seq));
    SendNotification("IF failed, max tries exceeded", extra, "gr");
  }
  MandaEmailAoDono(p);
}

// Removes a local copy that is not kept (its own: the name is the
// hand-out's), then lets it go; switches back from the owner and gives the
// step its final code.
void Limpa(PassoDaFila* p) {
  if (!p->GuardaCopia() && p->copia_gravada) ::unlink((p->path_if + p->local_name).c_str());
  if (p->trava >= 0) ::close(p->trava);
  p->trava = -1;
  if (p->erro == 0 && p->user_switched) {
    p->erro = ChamaSetuser("");
    p->user_switched = false;
  }
  // The failure of a process that died is recorded and reported: this run
  // goes on.
  if (p->morto && p->erro == kErrImportFileProcessDied) p->erro = 0;
  if (p->tomada) p->erro = kErroEntradaTomada;
}

}  // namespace

void ImpIFStep(int32_t seq, int32_t* erro, bool* continua) {
  MensagensDoUltimoArquivo() = {};
  ContagemDoUltimoArquivo() = {};
  *erro = 0;
  *continua = true;
  PassoDaFila p(seq, erro);
  p.pedidos_antes = ReqGBolPendente.size();
  // The hand-out's command is given back once the copy is written, before
  // the import needs the session's commands.
  std::unique_ptr<Command> cmd;
  try {
    cmd = TomaDataSet(CommandType::kStoredProc, "ImportFilesNext");
    PedeEntrada(*cmd, &p);
    if (p.erro == 0 || p.morto) LeEntrada(*cmd, &p);
    if (p.erro == 0) GravaCopiaLocal(*cmd, &p);
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpIF.1", &p.erro, x, kErroExcecaoNaImportacao);
  }
  DevolveDataSet(&cmd);
  // Every code the exception gives is not 0: a failed hand-out imports
  // nothing.
  try {
    if (p.erro == 0) TrocaParaODono(&p);
    if (p.erro == 0) ImportaCopia(&p);
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpIF.1", &p.erro, x, kErroExcecaoNaImportacao);
  }

  try {
    const std::string pedido = SeparaPedido(p);
    const bool grupo = GrupoTerminaComOResultado(&p);
    // An entry taken by another process is that process's to record.
    if (p.row.id != 0 && !p.tomada) RegistraResultado(&p, grupo, pedido);
    // The line messages of this try, kept beside the earlier tries' ones,
    // once the outcome is safe: their failure is only logged.
    if (p.row.id != 0 && !p.tomada && !p.morto) {
      const int32_t e = GravaMensagensDaEntrada(p.row.id, p.row.lease, MensagensDoUltimoArquivo());
      if (e != 0) Loga("- ImportFilesErros erro:" + std::to_string(e));
    }
    if (p.row.id != 0 && !p.tomada) RelataResultado(p);
    Limpa(&p);
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImpIF.2", &p.erro, x, kErroExcecaoNoResultado);
  }
  if (*erro == kImportFilesNothing) {
    LogaConsole("no ImportFiles found to import at this moment");
    *erro = 0;
    *continua = false;
  }
}

}  // namespace zun
