// The database session: a connection with a cache of 8 command objects,
// reconnection after a lost link, and transactions nested by counting.
//
// Callers take a command object with TomaDataSet, set its parameters, call
// ExecStProc and give it back with DevolveDataSet, also on error paths. Given
// back objects are closed and kept, so that the parameter list of a stored
// procedure is fetched from the server only once; when all 8 slots are full
// the slots are reused round-robin. The one process-wide session is Db.
//
// Thread-safety: none. The session, its cache and its counters belong to the
// program's single working thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/connection.h"
#include "toolbox/dbutil/ds_ref.h"

namespace zun {

class TAdoDataBaseCustomizado : public Connection {
 public:
  static constexpr int kDsCacheSize = 8;
  // Seconds a command object of this session may run.
  static constexpr int kDsCommandTimeout = 130;

  TAdoDataBaseCustomizado() = default;
  // Frees the cached command objects (FlushCache), then closes.
  ~TAdoDataBaseCustomizado() override;

  // A command object for kind and text: the first cached one with the same
  // kind and exactly the same text (its slot is emptied; its parameter list
  // and last values are kept), else a new one with a 130-second timeout
  // whose parameter list (stored procedures) is fetched from the server.
  // The caller owns it until DevolveDataSet. A description that finds the
  // link lost is tried once more after TentaReconectar connected again.
  // Raises what the client raises when the procedure cannot be described,
  // and EDBException kErrProcedimentoAusente (naming it) for a procedure
  // marked missing, without asking the server (the count of lent objects
  // is then left unchanged).
  std::unique_ptr<Command> TomaDataSet(CommandType kind, const std::string& text);

  // The stored procedures the database lacks (letter case ignored), as the
  // check at login found them; replaces the earlier list.
  void DefineProcedimentosAusentes(std::set<std::string> nomes_em_maiusculas) {
    ausentes_ = std::move(nomes_em_maiusculas);
  }

  // Takes back a command object of this session: closes it and keeps it in
  // the first empty slot, or, when all are full, in slot DsCacheNext (whose
  // object is freed), advancing DsCacheNext. *cmd is empty afterwards.
  // Precondition: *cmd was lent by this session.
  void DevolveDataSet(std::unique_ptr<Command>* cmd);

  // Frees every cached command object; logs a warning when objects are
  // still lent out.
  void FlushCache();

  // After a provider error: probes the link with "exec sp_server_info 1"
  // (waiting at most the connection timeout) and, when the probe fails as a
  // lost link (ErrorKind::kConnectionLost, or a failure that is no provider
  // error), closes and reopens the connection up to 20 times, never past the
  // budget (SetOrcamento): each open waits at most what is left of it. True
  // when the connection had been lost and is open again. Never raises. Does nothing (false) unless
  // AutoReconnect is set. A transaction nest open when the link was lost is marked failed and goes
  // on in a new transaction, which its outermost EndTran rolls back.
  virtual bool TentaReconectar(const std::string& caller);

  // When a nest or a group is open but the connection is no longer in a
  // transaction (the server ended it after a failure), marks the nest
  // failed (and the group lost) and opens a new transaction for the rest of
  // it, which the outermost EndTran (or the group's end) rolls back. False
  // when that transaction cannot be opened. Never raises.
  bool RecuperaTransacaoPerdida(const std::string& caller);

  // Grouped commits. On a provider that supports them (the embedded one),
  // a long series of procedure calls (the import pass of a file) runs in
  // one open transaction, the group, that the caller commits every so many
  // calls or milliseconds (ConfirmaGrupo) and at the end. Each call keeps its
  // own outcome inside the group: a failed call undoes only itself. A nest
  // of BeginTran/EndTran opened inside the group is a savepoint of it: its
  // rollback undoes the nest only, and its commit waits for the group's.
  //
  // Opens a group: false (nothing opened) when the provider commits every
  // call on its own, when it groups only with a resume mark
  // (GroupsNeedResumeMark) and com_marca is false, or when a group or nest
  // is already open. Raises what the provider raises when the transaction
  // cannot begin.
  bool IniciaGrupo(bool com_marca = true);
  bool EmGrupo() const { return em_grupo_; }
  // Whether the group's transaction was lost (a lost link, a statement that
  // undid it): what the group did since its last commit is gone, and what
  // runs now goes to a transaction that ends rolled back.
  bool GrupoPerdido() const { return grupo_perdido_; }
  // Calls run (ExecStProc) that may write (look-ups do not count: those
  // the provider saw read only, LastCallWasLookup, and those registered
  // with RegistraSomenteLeitura) and milliseconds passed (TickCount) since
  // the group's last commit.
  int32_t ChamadasDoGrupo() const { return chamadas_do_grupo_; }
  double MsDoGrupo() const;
  // Counts the call of proc just run.
  void ContaChamadaDoGrupo(const std::string& proc) {
    if (em_grupo_ && !Provider().LastCallWasLookup() && !SomenteLeitura(proc)) ++chamadas_do_grupo_;
  }
  // Commits the group's work so far; with continua, gives a process waiting
  // for the write lock its turn and opens the group's next transaction,
  // else ends the group. Preconditions: a group is open, not lost, and no
  // nest is open inside it. Raises what the provider raises (the group is
  // then ended, its last transaction rolled back).
  void ConfirmaGrupo(bool continua);
  // Rolls back the group's work since its last commit and ends the group.
  // Never raises.
  void DesfazGrupo();

  int32_t TranCount() const { return tran_count_; }
  bool TranFailed() const { return tran_failed_; }
  int32_t DsAcc() const { return ds_acc_; }

  // Bounds the reconnections from now on by the run's budget: no attempt
  // starts once seconds have passed. Without it only the 20 attempts and
  // their connection timeouts bound them.
  void SetOrcamento(double seconds);
  // Seconds left of the budget; a large number when none was set.
  double OrcamentoRestante() const;

  // Procedures that only read (look-ups): after a lost link ExecStProc
  // repeats them even when the server may have run them. Names are
  // compared without regard to letter case.
  void RegistraSomenteLeitura(const std::string& proc);
  bool SomenteLeitura(const std::string& proc) const;

  // Whether the last ExecStProc on this session lost the link (whether or
  // not the session connected again): a database failure, not the
  // procedure's answer.
  bool LinkPerdidoNaChamada() const { return link_perdido_; }
  void AnotaLinkPerdido(bool perdido) { link_perdido_ = perdido; }

  bool AutoReconnect() const { return auto_reconnect_; }
  void SetAutoReconnect(bool on) { auto_reconnect_ = on; }
  // Runs after every successful reopen of TentaReconectar, before the call
  // is repeated: it restores what the new connection lost (the database
  // user the program had switched to). A false answer, or an exception,
  // counts as a failed reconnection. Empty: nothing to restore.
  using Restauracao = std::function<bool(TAdoDataBaseCustomizado&)>;
  void SetRestauraAposReconectar(Restauracao f) { restaura_ = std::move(f); }
  const std::string& ReconnectCaption() const { return reconnect_caption_; }
  void SetReconnectCaption(const std::string& caption) { reconnect_caption_ = caption; }

  // The class name that log lines show for this session.
  std::string NomeDaClasseDaSessao() const;

 protected:
  // Opens a transaction at serializable isolation when none is open (in a
  // group: a savepoint); in every case one level deeper. A connection found
  // closed at the outermost level is reconnected first (TentaReconectar). Raises
  // EAssertionFailed when the connection is already in a transaction that
  // this session did not open.
  void BeginTran();
  // Closes one level; ok false marks the whole nest failed. The outermost
  // level commits (in a group: releases its savepoint), or rolls back when
  // any level failed (in a group: to its savepoint); an outermost ok after
  // a failed inner level stops the program (RunError250, forced rollback).
  // When the connection is no longer in a transaction at the outermost
  // level (the link was lost and nothing opened a new one), nothing is
  // ended: a rollback is done already, a commit raises EDBException 3939
  // (in a group: the group counts as lost). Raises EAssertionFailed when no
  // level is open.
  void EndTran(bool ok);

 private:
  friend class Transacao;

  int32_t tran_count_ = 0;
  bool tran_failed_ = false;
  bool em_grupo_ = false;
  bool grupo_perdido_ = false;
  int32_t chamadas_do_grupo_ = 0;
  uint32_t grupo_desde_ = 0;  // TickCount at the group's last commit
  int32_t ds_acc_ = 0;
  int32_t ds_cache_next_ = 0;
  std::array<std::unique_ptr<Command>, kDsCacheSize> ds_cache_;
  bool auto_reconnect_ = false;
  bool tem_orcamento_ = false;
  uint32_t fim_do_orcamento_ = 0;  // TickCount at which the budget ends
  std::string reconnect_caption_;
  Restauracao restaura_;
  std::set<std::string> ausentes_;         // upper-cased names
  std::set<std::string> somente_leitura_;  // upper-cased names
  bool link_perdido_ = false;
};

// The session class of the program, with the nested transactions public.
class TAdoDataBaseComInfoTran : public TAdoDataBaseCustomizado {
 public:
  using TAdoDataBaseCustomizado::BeginTran;
  using TAdoDataBaseCustomizado::EndTran;
};

// The one session of the program; created at start-up with AutoReconnect
// and the caption "ZunInput", freed at shutdown.
extern std::unique_ptr<TAdoDataBaseComInfoTran> Db;

// TomaDataSet on Db. Raises EDBException 3718 when Db does not exist.
std::unique_ptr<Command> TomaDataSet(CommandType kind, const std::string& text);

// Gives a command object back to its session (nothing when *cmd is empty).
// An object whose connection is not a TAdoDataBaseCustomizado is logged as
// "warning TomaDataSet " + text + " db:" + class name, and freed. *cmd is
// empty afterwards.
void DevolveDataSet(std::unique_ptr<Command>* cmd);
inline void DevolveDataSet(std::unique_ptr<Command>& cmd) { DevolveDataSet(&cmd); }

// Gives a lent command object back when it goes out of scope, so that the
// error paths (an exception while its parameters are set or read) give it
// back too.
class DevolveAoSair {
 public:
  explicit DevolveAoSair(std::unique_ptr<Command>* cmd) : cmd_(cmd) {}
  ~DevolveAoSair() { DevolveDataSet(cmd_); }
  DevolveAoSair(const DevolveAoSair&) = delete;
  DevolveAoSair& operator=(const DevolveAoSair&) = delete;

 private:
  std::unique_ptr<Command>* cmd_;
};

// BeginTran and EndTran on Db. Raise EDBException 3718 when Db does not exist.
void DbBeginTran();
void DbEndTran(bool ok);

// One level of a session's transaction nest, held by a scope: constructing
// it opens the level (BeginTran: a transaction, a deeper level of an open
// nest, or a savepoint of an open group), Termina(ok) closes it (EndTran),
// and a level still open when the scope ends (an exception, an early return)
// is closed as failed, so that the nest's outermost level rolls back.
//
//   Transacao t;                 // on Db
//   const int32_t e = Grava();   // an exception rolls back
//   t.Termina(e == 0);           // commits when e is 0
//
// Thread-safety: none; the session's thread only.
class Transacao {
 public:
  // Opens a level on sessao. Raises what BeginTran raises (nothing is then
  // open).
  explicit Transacao(TAdoDataBaseCustomizado& sessao);
  // Opens a level on Db. Raises EDBException 3718 when Db does not exist.
  Transacao();
  // Closes a level still open as failed. Never raises: what the rollback
  // raises is logged and dropped.
  ~Transacao();
  Transacao(const Transacao&) = delete;
  Transacao& operator=(const Transacao&) = delete;

  // Closes the level: EndTran(ok). The level is closed even when this
  // raises (what EndTran raises). Precondition: Aberta().
  void Termina(bool ok);
  bool Aberta() const { return sessao_ != nullptr; }

 private:
  TAdoDataBaseCustomizado* sessao_;
};

}  // namespace zun
