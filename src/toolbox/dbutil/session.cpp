#include "toolbox/dbutil/session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <typeinfo>

#include "foundation/exception_trace.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {

std::unique_ptr<TAdoDataBaseComInfoTran> Db;

namespace {

// Precondition checks of the transaction nesting.
#define DBUTIL_ASSERT(cond) \
  ((cond) ? static_cast<void>(0) : throw EAssertionFailed(#cond, __LINE__))

constexpr int kTentativasDeReconexao = 20;
// The savepoint that stands for a nest of BeginTran/EndTran inside a group.
constexpr char kSavepointDoNinho[] = "zninho";
constexpr int kPassoDeEsperaMs = 50;
// Bound of the wait for a connection that stays "connecting", so that a stuck
// open cannot hang the service: 30 seconds in steps of 50 ms.
constexpr int kPassosDeEsperaMax = 600;

TAdoDataBaseComInfoTran& TheDb() {
  if (!Db) throw EDBException(kErrSemDb);
  return *Db;
}

}  // namespace

TAdoDataBaseCustomizado::~TAdoDataBaseCustomizado() { FlushCache(); }

std::string TAdoDataBaseCustomizado::NomeDaClasseDaSessao() const {
  return NomeDoTipo(typeid(*this));
}

std::unique_ptr<Command> TAdoDataBaseCustomizado::TomaDataSet(CommandType kind,
                                                              const std::string& text) {
  if (kind == CommandType::kStoredProc && !ausentes_.empty() &&
      ausentes_.count(Maiusculas(text)) != 0) {
    throw EDBException(kErrProcedimentoAusente, "Procedure <" + text +
                                                    "> is missing in the database (the procedure "
                                                    "check at login found it so)");
  }
  ++ds_acc_;
  for (auto& slot : ds_cache_) {
    if (slot && slot->Type() == kind && slot->Text() == text) return std::move(slot);
  }
  const auto novo = [&] {
    auto cmd = std::make_unique<Command>(this, kind, text);
    cmd->SetCommandTimeout(kDsCommandTimeout);
    return cmd;
  };
  try {
    try {
      return novo();
    } catch (const ProviderError& x) {
      // A description only reads: it goes again on a new link.
      if (x.Kind() != ErrorKind::kConnectionLost || !TentaReconectar("TomaDataSet-" + text)) throw;
      return novo();
    }
  } catch (...) {
    --ds_acc_;  // nothing was lent out
    throw;
  }
}

void TAdoDataBaseCustomizado::DevolveDataSet(std::unique_ptr<Command>* cmd) {
  if (!*cmd) return;
  --ds_acc_;
  (*cmd)->Close();
  for (auto& slot : ds_cache_) {
    if (!slot) {
      slot = std::move(*cmd);
      return;
    }
  }
  if (ds_cache_next_ < 0 || ds_cache_next_ >= kDsCacheSize) ds_cache_next_ = 0;
  ds_cache_[static_cast<size_t>(ds_cache_next_)] = std::move(*cmd);  // frees the old one
  ++ds_cache_next_;
}

void TAdoDataBaseCustomizado::FlushCache() {
  for (auto& slot : ds_cache_) slot.reset();
  if (ds_acc_ != 0) Loga("warning DbUtil.FlushCache DsAcc:" + std::to_string(ds_acc_));
}

void TAdoDataBaseCustomizado::SetOrcamento(double seconds) {
  tem_orcamento_ = true;
  fim_do_orcamento_ = TickCount() + static_cast<uint32_t>(std::max(seconds, 0.0) * 1000.0);
}

double TAdoDataBaseCustomizado::OrcamentoRestante() const {
  if (!tem_orcamento_) return 1e9;
  return static_cast<int32_t>(fim_do_orcamento_ - TickCount()) / 1000.0;
}

void TAdoDataBaseCustomizado::RegistraSomenteLeitura(const std::string& proc) {
  somente_leitura_.insert(Maiusculas(proc));
}

bool TAdoDataBaseCustomizado::SomenteLeitura(const std::string& proc) const {
  return somente_leitura_.count(Maiusculas(proc)) > 0;
}

bool TAdoDataBaseCustomizado::TentaReconectar(const std::string& caller) {
  if (!auto_reconnect_) return false;
  const std::string cls = NomeDaClasseDaSessao();
  bool r = false;
  bool vivo = false;
  // The probe and every open wait at most the connection timeout and never
  // past the budget: a server that accepts the link but never answers must
  // not hold the run beyond it.
  const int timeout_de_conexao = ConnectionTimeout();
  const int timeout_de_comando = CommandTimeout();
  const auto limite = [&]() {
    const double resta = std::ceil(OrcamentoRestante());
    return static_cast<int>(std::clamp<double>(resta, 1.0, timeout_de_conexao));
  };
  try {
    SetCommandTimeout(limite());
    Execute("exec sp_server_info 1");
    vivo = true;
  } catch (const ProviderError& x) {
    // A server that answers with an error of its own is still there; only
    // a lost link is reconnected.
    vivo = x.Kind() != ErrorKind::kConnectionLost;
  } catch (...) {
    // the link is gone: reconnect below
  }
  if (vivo) {
    Loga(cls + ".TentaReconectar detected it is still connected; " + caller);
  } else {
    for (int n = 1; n <= kTentativasDeReconexao && !r; ++n) {
      if (OrcamentoRestante() <= 0) {
        Loga(cls + ".TentaReconectar #" + std::to_string(n) + " run budget spent " + caller);
        break;
      }
      try {
        Loga(cls + ".TentaReconectar #" + std::to_string(n) + " " + caller);
        // No message window: the service runs without a desktop.
        SetConnectionTimeout(limite());
        Close();
        Open();
        for (int passo = 0; State() == ConnectionState::kConnecting && passo < kPassosDeEsperaMax;
             ++passo) {
          std::this_thread::sleep_for(std::chrono::milliseconds(kPassoDeEsperaMs));
        }
        r = Connected();
        if (r && restaura_ && !restaura_(*this)) {
          Loga(cls + ".TentaReconectar #" + std::to_string(n) + " restore failed");
          r = false;
        }
      } catch (const std::exception& x) {
        LogaExcecaoNoLugar(x, cls + ".TentaReconectar #" + std::to_string(n));
        r = false;
      } catch (...) {
        LogaExcecaoNoLugar(std::runtime_error("unknown exception"),
                           cls + ".TentaReconectar #" + std::to_string(n));
        r = false;
      }
    }
  }
  SetConnectionTimeout(timeout_de_conexao);
  SetCommandTimeout(timeout_de_comando);
  if (r && (tran_count_ > 0 || em_grupo_) && !RecuperaTransacaoPerdida(cls + ".TentaReconectar")) {
    r = false;
  }
  Loga(cls + ".TentaReconectar result:" + (r ? "Y" : "N"));
  return r;
}

bool TAdoDataBaseCustomizado::RecuperaTransacaoPerdida(const std::string& caller) {
  if ((tran_count_ == 0 && !em_grupo_) || !Connected() || InTransaction()) return true;
  // The server dropped the open transaction (a lost link, or a failed
  // statement that undid all of it). The nest (or the group) goes on in a
  // new transaction that its end rolls back, so that nothing of it is
  // committed piecemeal.
  Loga(NomeDaClasseDaSessao() + " transaction lost; TranCount:" + std::to_string(tran_count_) +
       (em_grupo_ ? " group" : "") + " " + caller);
  if (tran_count_ > 0) tran_failed_ = true;
  if (em_grupo_) grupo_perdido_ = true;
  try {
    em_grupo_ ? BeginGroupTrans() : BeginTrans();
    return true;
  } catch (const std::exception& x) {
    LogaExcecaoNoLugar(x, caller + " BeginTrans");
    return false;
  }
}

void TAdoDataBaseCustomizado::BeginTran() {
  // A link given up while no transaction was open (the provider could not
  // restore its state) is opened again: nothing of it is lost.
  if (tran_count_ == 0 && !em_grupo_ && !Connected()) TentaReconectar("BeginTran");
  if (tran_count_ == 0) {
    if (em_grupo_) {
      DBUTIL_ASSERT(InTransaction());
      if (!grupo_perdido_) Savepoint(kSavepointDoNinho);
    } else {
      DBUTIL_ASSERT(!InTransaction());
      BeginTrans();  // serializable isolation
      DBUTIL_ASSERT(InTransaction());
    }
    tran_failed_ = false;
  }
  ++tran_count_;
}

void TAdoDataBaseCustomizado::EndTran(bool ok) {
  DBUTIL_ASSERT(tran_count_ >= 1);
  --tran_count_;
  if (!ok) tran_failed_ = true;
  if (tran_count_ != 0) return;
  if (ok && tran_failed_) {
    const std::string msg = "Tran: error 7144: forced rollback!";
    Loga(msg);
    RunError250(msg);
  }
  if (!InTransaction()) {
    // The link went with the transaction and no call repaired the nest (a
    // failure outside ExecStProc, a reconnection that failed): nothing is
    // left to end, and nothing of the nest was committed.
    Loga(NomeDaClasseDaSessao() + " transaction lost; nothing to " + (ok ? "commit" : "roll back") +
         " at its end");
    if (em_grupo_) {
      grupo_perdido_ = true;
      return;
    }
    if (ok) throw EDBException(kErrChamada);
    return;
  }
  if (em_grupo_) {
    // A lost group took the savepoint with it: its end rolls back all.
    if (grupo_perdido_) return;
    if (tran_failed_) RollbackToSavepoint(kSavepointDoNinho);
    ReleaseSavepoint(kSavepointDoNinho);
    return;
  }
  if (tran_failed_) {
    RollbackTrans();
  } else {
    CommitTrans();
  }
  DBUTIL_ASSERT(!InTransaction());
}

bool TAdoDataBaseCustomizado::IniciaGrupo(bool com_marca) {
  if (em_grupo_ || tran_count_ != 0 || !SupportsGroupedCommits()) return false;
  if (!com_marca && GroupsNeedResumeMark()) return false;
  DBUTIL_ASSERT(!InTransaction());
  BeginGroupTrans();
  LongSeries(true);
  em_grupo_ = true;
  grupo_perdido_ = false;
  chamadas_do_grupo_ = 0;
  grupo_desde_ = TickCount();
  return true;
}

double TAdoDataBaseCustomizado::MsDoGrupo() const {
  return static_cast<double>(static_cast<uint32_t>(TickCount() - grupo_desde_));
}

void TAdoDataBaseCustomizado::ConfirmaGrupo(bool continua) {
  DBUTIL_ASSERT(em_grupo_ && !grupo_perdido_ && tran_count_ == 0);
  try {
    CommitTrans();  // a failed commit is rolled back by the provider
    chamadas_do_grupo_ = 0;
    grupo_desde_ = TickCount();
    if (!continua) {
      em_grupo_ = false;
      LongSeries(false);
      return;
    }
    // Between two transactions of the group a process waiting for the
    // write lock takes its turn.
    YieldToWaiters();
    BeginGroupTrans();
  } catch (...) {
    em_grupo_ = false;
    if (!InTransaction()) LongSeries(false);
    throw;
  }
}

void TAdoDataBaseCustomizado::DesfazGrupo() {
  if (!em_grupo_) return;
  em_grupo_ = false;
  grupo_perdido_ = false;
  if (tran_count_ != 0) {
    // A nest left open by an exception goes with the group.
    Loga(NomeDaClasseDaSessao() + " group undone with TranCount:" + std::to_string(tran_count_));
    tran_count_ = 0;
    tran_failed_ = false;
  }
  try {
    if (InTransaction()) RollbackTrans();
  } catch (const std::exception& x) {
    LogaExcecaoNoLugar(x, NomeDaClasseDaSessao() + ".DesfazGrupo");
  }
  if (!InTransaction()) LongSeries(false);
}

std::unique_ptr<Command> TomaDataSet(CommandType kind, const std::string& text) {
  return TheDb().TomaDataSet(kind, text);
}

void DevolveDataSet(std::unique_ptr<Command>* cmd) {
  if (!*cmd) return;
  if (auto* s = dynamic_cast<TAdoDataBaseCustomizado*>((*cmd)->GetConnection())) {
    s->DevolveDataSet(cmd);
    return;
  }
  Connection* conn = (*cmd)->GetConnection();
  Loga("warning TomaDataSet " + (*cmd)->Text() +
       " db:" + (conn != nullptr ? NomeDoTipo(typeid(*conn)) : std::string("nil")));
  cmd->reset();
}

void DbBeginTran() { TheDb().BeginTran(); }
void DbEndTran(bool ok) { TheDb().EndTran(ok); }

Transacao::Transacao(TAdoDataBaseCustomizado& sessao) : sessao_(&sessao) { sessao.BeginTran(); }

Transacao::Transacao() : Transacao(TheDb()) {}

Transacao::~Transacao() {
  if (!Aberta()) return;
  try {
    Termina(false);
  } catch (const std::exception& x) {
    LogaExcecaoNoLugar(x, "Transacao rollback");
  } catch (...) {
    LogaExcecaoNoLugar(std::runtime_error("unknown exception"), "Transacao rollback");
  }
}

void Transacao::Termina(bool ok) {
  DBUTIL_ASSERT(Aberta());
  TAdoDataBaseCustomizado* sessao = sessao_;
  sessao_ = nullptr;
  sessao->EndTran(ok);
}

}  // namespace zun
