#include "toolbox/dbutil/st_proc.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <thread>

#include "foundation/log.h"
#include "foundation/momento.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"

namespace zun {
namespace {

// Repeats of one call after reconnects that each succeeded, whatever the
// budget left, so that a link that drops on every call (each failing fast)
// cannot keep the service in this loop.
constexpr int kRepeticoesMax = 3;
// The code a procedure meant when a statement of it failed: its return
// status, when it returned one of its own (SQL Server reserves 0 to -99);
// 0 otherwise.
int32_t CodigoDoProcedimento(Command* cmd, const ProviderError& x) {
  if (x.Kind() != ErrorKind::kConstraint && x.Kind() != ErrorKind::kOther) return 0;
  const Parameter* r = cmd->Params().ReturnValue();
  if (r == nullptr || r->value.IsNull()) return 0;
  try {
    const int32_t v = r->value.AsInt();
    return v >= -99 && v <= 0 ? 0 : v;
  } catch (const std::exception&) {
    return 0;
  }
}

// Repeats of a deadlock victim outside a transaction, and the longest pause
// before each (a random part of it, times the repeat's number), so that the
// two sides of a deadlock do not meet again at once.
constexpr int kRepeticoesDaVitimaMax = 3;
constexpr int kPausaDaVitimaMaxMs = 100;

void PausaDaVitima(int n) {
  static std::minstd_rand sorteio{std::random_device{}()};
  std::uniform_int_distribution<int> ms(kPausaDaVitimaMaxMs / 5, kPausaDaVitimaMaxMs);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms(sorteio) * n));
}

std::string Segundos2(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", s);
  return buf;
}

// One attempt of the call in its mode; returns the status of kLeResult.
int32_t Tenta(Command* cmd, ModoStProc mode) {
  switch (mode) {
    case ModoStProc::kExecuta:
      cmd->Execute();
      return 0;
    case ModoStProc::kLeResult:
      // Result sets left pending by an earlier kExecuta call belong to that
      // call: this one runs the procedure anew.
      cmd->Close();
      cmd->Open();
      return LerResult(cmd, false);
    case ModoStProc::kExecutaEAbre:
      cmd->Execute();
      cmd->Open();
      return 0;
    default:
      throw EDBException(kErrModoDesconhecido);
  }
}

}  // namespace

int32_t ExecStProc(DsRef ref, ModoStProc mode) {
  Command* cmd = ref.get();
  int32_t e = 0;
  Stopwatch sw;
  if (cmd->Type() != CommandType::kStoredProc) {
    e = kErrNaoEhProcedimento;
  } else if (mode == ModoStProc::kLeResult && cmd->Active()) {
    e = kErrComandoAberto;
    Loga("ExStProc erro:" + std::to_string(e) + " " + cmd->Text());
  }
  int repeticoes = 0;
  int vitimas = 0;
  bool retry = false;
  auto* sessao_do_cmd = dynamic_cast<TAdoDataBaseCustomizado*>(cmd->GetConnection());
  if (sessao_do_cmd != nullptr) sessao_do_cmd->AnotaLinkPerdido(false);
  if (e == 0) {
    do {
      retry = false;
      sw.Reset();
      // The status of an earlier call must not pass for this one's.
      if (Parameter* r = cmd->Params().ReturnValue()) r->value = Value();
      try {
        try {
          e = Tenta(cmd, mode);
          const double elapsed = sw.Elapsed();
          if (elapsed > kChamadaLenta) {
            LogStProc("ExecStProc succeeded but took too long: " + Segundos2(elapsed) + "s", cmd);
          }
        } catch (const std::exception&) {
          throw;
        } catch (...) {
          throw std::runtime_error("unknown exception");
        }
      } catch (const std::exception& x) {
        const auto* ole = dynamic_cast<const ProviderError*>(&x);
        auto* sessao = dynamic_cast<TAdoDataBaseCustomizado*>(cmd->GetConnection());
        const int32_t pretendido = ole != nullptr ? CodigoDoProcedimento(cmd, *ole) : 0;
        if (pretendido != 0) {
          // The server answered: the procedure's own code stands.
          e = pretendido;
          Loga("ExecStProc " + cmd->Text() + " error:" + std::to_string(e) + " " + x.what());
        } else if (ole != nullptr && ole->Kind() == ErrorKind::kWrongType) {
          e = kErrTipoErrado;
          Loga("ExecStProc " + cmd->Text() + " CRS:" + std::to_string(static_cast<int>(mode)) +
               " error:" + std::to_string(e) + " " + x.what());
        } else if (ole != nullptr && ole->Kind() == ErrorKind::kDeadlock && sessao != nullptr &&
                   sessao->TranCount() == 0 && !sessao->EmGrupo() &&
                   vitimas < kRepeticoesDaVitimaMax) {
          // The server undid the victim's whole call and the link is fine:
          // it runs again after a pause, without a probe.
          ++vitimas;
          Loga("ExecStProc " + cmd->Text() + " deadlock victim, repeated #" +
               std::to_string(vitimas));
          PausaDaVitima(vitimas);
          retry = true;
        } else {
          LogaExcecaoNoLugar(x, ole != nullptr ? "ExecStProc->TentaReconectar" : "ExecStProc");
          if (sessao != nullptr && ole != nullptr && ole->Kind() == ErrorKind::kConnectionLost)
            sessao->AnotaLinkPerdido(true);
          if (ole != nullptr && repeticoes < kRepeticoesMax) {
            if (auto* s = dynamic_cast<TAdoDataBaseCustomizado*>(cmd->GetConnection())) {
              const bool em_transacao = s->TranCount() > 0 || s->EmGrupo();
              retry = s->TentaReconectar("ExecStProc-" + cmd->Text());
              // Repeated on the new link, the call would commit on its own
              // while the rest of its transaction was lost.
              if (retry && em_transacao) {
                Loga("ExecStProc " + cmd->Text() +
                     " not repeated: the link was lost in a transaction");
                retry = false;
              }
              // A call the server may have run and committed (only its
              // reply was lost) is repeated only when it cannot write.
              if (retry && !ole->NotSent() && !s->SomenteLeitura(cmd->Text())) {
                Loga("ExecStProc " + cmd->Text() +
                     " not repeated: the link was lost after the call was sent; erro:" +
                     std::to_string(kErrResultadoIncerto));
                retry = false;
                e = kErrResultadoIncerto;
              }
            }
          }
          if (retry) {
            ++repeticoes;
          } else {
            if (auto* s = dynamic_cast<TAdoDataBaseCustomizado*>(cmd->GetConnection())) {
              s->RecuperaTransacaoPerdida("ExecStProc-" + cmd->Text());
            }
            CodigoDaExcecao("ExecStProc", &e, x, kErrChamada);
          }
        }
      }
    } while (retry);
    if (auto* s = dynamic_cast<TAdoDataBaseCustomizado*>(cmd->GetConnection())) {
      s->ContaChamadaDoGrupo(cmd->Text());
      // A call that answered, even with its own code, may have ended the
      // group's transaction on the server (a procedure's rollback): the
      // group is then lost, and nothing after it may pass for committed.
      if (s->EmGrupo()) s->RecuperaTransacaoPerdida("ExecStProc-" + cmd->Text());
    }
  }
  if (e == 0 && mode != ModoStProc::kLeResult) {
    try {
      const Parameter* r = cmd->Params().ReturnValue();
      if (r == nullptr) throw DatasetError("Procedure " + cmd->Text() + " has no return value");
      e = r->value.AsInt();
    } catch (const std::exception& x) {
      CodigoDaExcecao("ExecStProc get return/result", &e, x, kErrRetornoIlegivel);
    }
  }
  return e;
}

int32_t ExecStProcId(DsRef cmd, int32_t id, ModoStProc mode) {
  cmd->Params().ParamByName("@id").value = Value::Int(id);
  return ExecStProc(cmd, mode);
}

int32_t LerResult(DsRef ref, bool fechar) {
  Command* cmd = ref.get();
  int32_t e = 0;
  int index = -1;
  try {
    index = cmd->Current().FieldIndex("result");
    if (index < 0) e = kErrSemColunaResult;
  } catch (const DatasetError&) {
    e = kErrSemResultSet;
  }
  if (e == 0) {
    try {
      e = cmd->Current().Field(index).AsInt();
    } catch (const std::exception& x) {
      e = kErrResultNaoNumero;
      Loga("GRAESP " + cmd->Text() + " error:" + std::to_string(e) + " " + NomeDaClasse(x) + " " +
           x.what());
    }
  }
  if (e == 0 && fechar) cmd->NextRecordset();
  return e;
}

void LogStProc(const std::string& msg, DsRef ref) {
  Command* cmd = ref.get();
  Loga("- proc " + cmd->Text() + " ct:" + std::to_string(static_cast<int>(cmd->Type())) + " : " +
       msg);
  const auto& list = cmd->Params().items();
  for (size_t i = 0; i < list.size(); ++i) {
    const Value& v = list[i].value;
    std::string text;
    if (v.IsNull()) {
      text = "NULL";
    } else if (v.type() == DataType::kBinary) {
      text = "Blob:" + std::to_string(v.Bytes().size()) + "bytes";
    } else {
      text = v.AsString();
    }
    Loga("- #" + std::to_string(i) + " " + list[i].name + " : " + text);
  }
}

}  // namespace zun
