#include "importers/statements/statement_store.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "foundation/exception_trace.h"
#include "foundation/log.h"
#include "importers/statements/statement_codes.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

// The stored cells of a statement and the statements that change them, each
// prepared once by the provider and reused row after row.
constexpr char kSqlLinhas[] =
    "select conta, De3Meses, valor, CalcOuRx from BalancoUmaConta where [balanco]=?";
constexpr char kSqlApaga[] =
    "delete from BalancoUmaConta where balanco=? and conta=? and De3Meses=?";
constexpr char kSqlAltera[] =
    "update BalancoUmaConta set valor=?, CalcOuRx=0 where balanco=? and conta=? and De3Meses=?";
constexpr char kSqlInsere[] =
    "insert into BalancoUmaConta (balanco, conta, De3Meses, valor, CalcOuRx) values (?,?,?,?,0)";

bool ParamNulo(DsRef cmd, const char* nome) {
  return cmd->Params().ParamByName(nome).value.IsNull();
}

int32_t IntOuZero(DsRef cmd, const char* nome) {
  return ParamNulo(cmd, nome) ? 0 : ParamInt(cmd, nome);
}

bool BoolOuFalso(DsRef cmd, const char* nome) {
  bool v = false;
  if (!ParamNulo(cmd, nome)) GetParamBool(cmd, nome, &v);
  return v;
}

uint8_t ByteOuZero(DsRef cmd, const char* nome, int32_t max) {
  uint8_t v = 0;
  if (!ParamNulo(cmd, nome)) GetParamByteMax(cmd, nome, max, &v);
  return v;
}

double DataOuZero(DsRef cmd, const char* nome) {
  double v = 0;
  GetParamDateTime(cmd, nome, &v);
  return v;
}

void LeCabecalho(DsRef cmd, TBalanco* bal) {
  bal->id = IntOuZero(cmd, "@id");
  bal->empresa = IntOuZero(cmd, "@empresa");
  bal->dataref = DataOuZero(cmd, "@dataref");
  bal->consolidado = ByteOuZero(cmd, "@consolidado", 1);
  bal->sourcedobal = ByteOuZero(cmd, "@sourcedobal", 7);
  bal->meses = IntOuZero(cmd, "@meses");
  bal->datamoeda = DataOuZero(cmd, "@datamoeda");
  bal->moeda = IntOuZero(cmd, "@moeda");
  bal->datadivulgacao = DataOuZero(cmd, "@datadivulgacao");
  bal->DataUltAlteracao = DataOuZero(cmd, "@DataUltAlteracao");
  bal->corrmon = IntOuZero(cmd, "@corrmon");
  bal->Incompleto = BoolOuFalso(cmd, "@Incompleto");
  bal->ChecagemFalhou = IntOuZero(cmd, "@ChecagemFalhou");
  bal->AceitarFalhaNaChecagem = BoolOuFalso(cmd, "@AceitarFalhaNaChecagem");
  bal->TipoDocumento = ByteOuZero(cmd, "@TipoDocumento", 1);
}

void LeCelulas(DsRef cmd, TBalanco* bal) {
  if (!cmd->Active()) return;
  for (cmd->Current().First(); !cmd->Current().Eof(); cmd->Current().Next()) {
    const int32_t conta = FieldInt(cmd, "conta");
    int32_t periodo = 0;
    GetFieldInt(cmd, "De3Meses", &periodo);
    TCelulaBal& c = bal->Celula(periodo, conta);
    double valor = 0;
    GetFieldFloat(cmd, "valor", &valor);
    if (!EhNuloFloat(valor)) c.valor = valor;
    GetFieldBool(cmd, "CalcOuRx", &c.CalcOuRx);
  }
}

// Calls a statement's no-log procedure; its result does not matter.
void MarcaNaoLoga(const char* proc, int32_t id) {
  static_cast<void>(ChamaComGuarda(proc, proc, kErrChamada, [id](DsRef cmd, int32_t* code) {
    *code = ExecStProcId(cmd, id, ModoStProc::kExecuta);
  }));
}

// Runs the text once per row, in as few requests as the provider can (one
// per 1000 rows over ODBC): up to 2 x 6,000 cells a statement.
void RodaLinhas(const char* sql, const std::vector<std::vector<Value>>& linhas) {
  if (linhas.empty()) return;
  ComComando(
      sql, [&](DsRef cmd) { cmd->ExecuteRows(linhas); }, CommandType::kText);
}

// One attempt of DbBalPut inside the open transaction: steps 2 to 9.
// Returns whether it reached its commit point; sets *code on a failure that
// is not an exception, *marcado to the id when the statement was marked not
// to log and *desmarcado once the mark is taken off again.
bool Tentativa(TBalanco* bal, bool novo_bd, int* passo, int32_t* code, int32_t* marcado,
               bool* desmarcado) {
  ++*passo;  // 2: the header
  const bool cabecalho = ComComando("BalHeadPutV2", [&](DsRef cmd) {
    SetParamInt(cmd, "@id", bal->id);
    SetParamInt(cmd, "@empresa", bal->empresa);
    SetParamDateTime(cmd, "@DataRef", bal->dataref);
    SetParamInt(cmd, "@Consolidado", bal->consolidado != 0 ? 1 : 0);
    SetParamInt(cmd, "@SourceDoBal", bal->sourcedobal);
    SetParamInt(cmd, "@Meses", bal->meses);
    SetParamInt(cmd, "@Moeda", bal->moeda);
    SetParamDateTime(cmd, "@DataMoeda", bal->datamoeda);
    SetParamDateTime(cmd, "@DataDivulgacao", bal->datadivulgacao);
    SetParamInt(cmd, "@CorrMon", bal->corrmon);
    SetParamBool(cmd, "@Incompleto", bal->Incompleto);
    SetParamInt(cmd, "@ChecagemFalhou", bal->ChecagemFalhou);
    SetParamBool(cmd, "@AceitarFalhaNaChecagem", bal->AceitarFalhaNaChecagem);
    SetParamInt(cmd, "@BalEntrouComoNovoBD", novo_bd ? 1 : 0);
    SetParamInt(cmd, "@TipoDocumento", bal->TipoDocumento);
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
    if (*code != 0) return false;
    ++*passo;  // 3: the id
    if (bal->id == 0) bal->id = IntOuZero(cmd, "@id");
    if (bal->id == 0) {
      *code = kBalSemId;
      return false;
    }
    ++*passo;  // 4: the no-log mark
    if (BoolOuFalso(cmd, "@InsertOuUpdate")) *marcado = bal->id;
    return true;
  });
  if (!cabecalho) return false;
  const int32_t id = bal->id;
  if (*marcado != 0) MarcaNaoLoga("BalancoNaoLogaContasAdd", id);

  ++*passo;  // 5: the stored rows, read in place in their own types
  std::vector<bool> escrita;
  std::vector<std::vector<Value>> apagar, alterar, inserir;
  ComComando(
      kSqlLinhas,
      [&](DsRef linhas) {
        linhas->Params()[0].value = Value::Int(id);

        ++*passo;  // 6: one written-mark per cell
        escrita.assign(kPeriodosBal * (kMaxContaBal + 1), false);

        ++*passo;  // 7: each stored row against its cell; the changes are
        // sent after the read, which must not see its own table change under it.
        linhas->ReadRows([&](const RowView& row) {
          if (row.Count() < 4) throw DatasetError("BalancoUmaConta: a column is missing");
          const auto conta = static_cast<int32_t>(row.Int(0));
          const auto periodo = static_cast<int32_t>(row.Int(1));
          const bool na_grade =
              periodo >= 0 && periodo < kPeriodosBal && conta >= 1 && conta <= kMaxContaBal;
          // A row the record cannot hold, or whose cell is null, goes.
          if (!na_grade || bal->Nulo(periodo, conta)) {
            apagar.push_back({Value::Int(id), Value::Int(conta), Value::Int(periodo)});
            return;
          }
          const double valor = bal->Valor(periodo, conta);
          if (row.IsNull(2) || row.Double(2) != valor || (!row.IsNull(3) && row.Int(3) != 0)) {
            alterar.push_back(
                {Value::Double(valor), Value::Int(id), Value::Int(conta), Value::Int(periodo)});
          }
          escrita[static_cast<size_t>(periodo * (kMaxContaBal + 1) + conta)] = true;
        });
      },
      CommandType::kText);
  // Each row is its own cell: deleting before changing keeps the order's
  // result.
  RodaLinhas(kSqlApaga, apagar);
  RodaLinhas(kSqlAltera, alterar);

  ++*passo;  // 8: the cells not stored yet
  for (int periodo = 0; periodo < kPeriodosBal; ++periodo) {
    for (int conta = 1; conta <= kMaxContaBal; ++conta) {
      if (escrita[static_cast<size_t>(periodo * (kMaxContaBal + 1) + conta)]) continue;
      if (bal->Nulo(periodo, conta)) continue;
      inserir.push_back({Value::Int(id), Value::Int(conta), Value::Int(periodo),
                         Value::Double(bal->Valor(periodo, conta))});
    }
  }
  RodaLinhas(kSqlInsere, inserir);

  ++*passo;  // 9: every change was sent
  if (*marcado != 0) {
    // The mark goes with the cells, in their transaction: a failure here is
    // a failure of the write, so the statement is never stored still marked.
    ComComando("BalancoNaoLogaContasDel", [id](DsRef cmd) {
      SetParamInt(cmd, "@id", id);
      cmd->Execute();
    });
    *desmarcado = true;
  }
  return true;
}

}  // namespace

int32_t BalGetPelaDataCons(int32_t empresa, double dataref, bool consolidado,
                           int32_t tipo_documento, int32_t source, TBalanco* bal) {
  bal->Limpa();
  return ChamaComGuarda("BalGetPelaDataCons", "BalUtil.ContasBalFieldGet", kBalLeitura,
                        [&](DsRef cmd, int32_t* code) {
                          SetParamInt(cmd, "@Empresa", empresa);
                          SetParamDateTime(cmd, "@DataRef", dataref);
                          SetParamInt(cmd, "@Consolidado", consolidado ? 1 : 0);
                          SetParamInt(cmd, "@TipoDocumento", tipo_documento);
                          SetParamInt(cmd, "@SourceDoBal", source);
                          *code = ExecStProc(cmd, ModoStProc::kExecutaEAbre);
                          if (*code != 0) return;
                          try {
                            LeCabecalho(cmd, bal);
                          } catch (const std::exception& x) {
                            bal->Limpa();
                            CodigoDaExcecao("BalUtil.HeadBalParamGet", code, x, kBalLeCabecalho);
                            return;
                          }
                          LeCelulas(cmd, bal);
                        });
}

int32_t DbBalPut(TBalanco* bal, bool entrou_como_novo_bd) {
  const int32_t id_inicial = bal->id;
  int32_t code = 0;
  int32_t marcado = 0;  // the statement marked not to log, 0 for none
  for (int tentativa = 1;; ++tentativa) {
    int passo = 0;
    bool commit = false;
    bool desmarcado = false;  // the mark was taken off inside this attempt
    bool repete = false;
    std::exception_ptr relanca;
    const auto lugar = [&passo] { return "DbBalPut(passo:" + std::to_string(passo) + ")"; };
    // A lost link: reconnect, and repeat the write while attempts are left.
    const auto link_perdido = [&](const ProviderError& x) {
      Loga("exception " + NomeDaClasse(x) + ":" + x.what() + " " + lugar() + "->TentaReconectar");
      // Reconnecting first lets the session reopen the transaction nest
      // that the lost link took with it, so that ending it below works.
      const bool reconectou = Db != nullptr && Db->TentaReconectar("DbBalPut");
      if (reconectou && code == 0 && tentativa < kTentativasDeDbBalPut) {
        repete = true;
      } else {
        relanca = std::current_exception();
      }
    };
    try {
      ++passo;  // 1
      Transacao transacao;
      try {
        commit = Tentativa(bal, entrou_como_novo_bd, &passo, &code, &marcado, &desmarcado);
      } catch (const ProviderError& x) {
        const std::string prefixo = "exception " + NomeDaClasse(x) + ":" + x.what() + " " + lugar();
        if (x.Kind() == ErrorKind::kConstraint) {
          // The database refused the data: the same write would fail again.
          if (code == 0) code = kBalRecusado;
          Loga(prefixo + "->error:" + std::to_string(code));
        } else {
          link_perdido(x);
        }
      } catch (const std::exception& x) {
        CodigoDaExcecao("DbBalPut Passo:" + std::to_string(passo), &code, x, kBalGravacao);
      }
      if (!commit && code == 0 && !repete && !relanca) code = kBalSemCommit;
      try {
        // A server that dropped the transaction after a failure: the nest
        // goes on in a new one, rolled back here.
        if (!commit) Db->RecuperaTransacaoPerdida("DbBalPut");
        transacao.Termina(commit);
      } catch (const std::exception& x) {
        commit = false;
        CodigoDaExcecao(lugar() + " end tran", &code, x, kBalFimDaTransacao);
      }
    } catch (const ProviderError& x) {
      // The transaction could not even begin: a lost link is repeated like
      // one inside the attempt; any other failure gives its code.
      if (x.Kind() == ErrorKind::kConnectionLost) {
        link_perdido(x);
      } else {
        CodigoDaExcecao("DbBalPut Passo:" + std::to_string(passo), &code, x, kBalGravacao);
      }
    } catch (const std::exception& x) {
      // The transaction could not even begin.
      CodigoDaExcecao("DbBalPut Passo:" + std::to_string(passo), &code, x, kBalGravacao);
    }
    // A statement that was not stored keeps the id it came with: a new one
    // taken by a rolled-back header would name nothing.
    if (!commit) bal->id = id_inicial;
    if (repete) continue;
    // A write that committed took the mark off itself; any other still
    // takes it off here.
    if (marcado != 0 && !(commit && desmarcado)) MarcaNaoLoga("BalancoNaoLogaContasDel", marcado);
    if (relanca) std::rethrow_exception(relanca);
    return code;
  }
}

}  // namespace zun
