#include "importers/statements/statement_format.h"

#include <memory>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/modules.h"
#include "foundation/relozios.h"
#include "importers/statements/accounts.h"
#include "importers/statements/statement_codes.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

// Milliseconds above which a load writes its timing table.
constexpr uint32_t kCargaLentaMs = 5000;

constexpr char kSqlLinhas[] = "select * from ApresFmtBalItems where [fmtbal]=?";
constexpr char kSqlApaga[] = "delete from ApresFmtBalItems where fmtbal=? and seq=?";
constexpr char kSqlAltera[] =
    "update ApresFmtBalItems set tipo=?, conta=?, sinal=?, indentacao=?, anvert=?, hidden=0, "
    "cafecomleite=0, bloco=?, NaoPodeCalcular=0, NaoPodeDigitar=0, IdentificacaoDeContas=? "
    "where fmtbal=? and seq=?";
constexpr char kSqlInsere[] =
    "insert into ApresFmtBalItems (tipo, conta, sinal, indentacao, anvert, hidden, "
    "cafecomleite, bloco, NaoPodeCalcular, NaoPodeDigitar, IdentificacaoDeContas, fmtbal, seq) "
    "values (?,?,?,?,?,0,0,?,0,0,?,?,?)";

void FazFilho(TFormatoBal* fmt, int32_t filho, int32_t pai) {
  fmt->Linha(filho).Pai = pai;
  fmt->Linha(pai).TemFilhos = true;
}

// The depth of line i; a line already on the walk keeps the value it has,
// so that a cycle of parents ends.
int32_t Profundidade(TFormatoBal* fmt, int32_t i, std::vector<char>* visitada) {
  TLinhaFmtBal& l = fmt->Linha(i);
  if ((*visitada)[static_cast<size_t>(i)]) return l.Profundidade;
  (*visitada)[static_cast<size_t>(i)] = 1;
  l.Profundidade = l.Pai == 0 ? 0 : Profundidade(fmt, l.Pai, visitada) + 1;
  return l.Profundidade;
}

// The values a stored row takes from line l, in the order of the update and
// insert texts: tipo, conta, sinal, indentacao, anvert, bloco,
// IdentificacaoDeContas, fmtbal, seq.
void Preenche(Command& cmd, const TLinhaFmtBal& l, int32_t fmtbal, int32_t seq) {
  const Value v[] = {Value::Int(l.tipo),
                     Value::Int(l.conta),
                     Value::Int(l.sinal),
                     Value::Int(l.indentacao),
                     Value::Int(l.anvert),
                     l.tipo == 1 ? Value::Int(l.bloco) : Value::Null(),
                     Value::Int(l.IdentificacaoDeContas),
                     Value::Int(fmtbal),
                     Value::Int(seq)};
  for (int i = 0; i < 9; ++i) cmd.Params()[i].value = v[i];
  cmd.Execute();
}

// Runs the text sql once per seq of seqs, its parameters set by poe; takes
// no command object when there is nothing to run.
template <typename F>
void RodaPorSeq(const char* sql, const std::vector<int32_t>& seqs, F poe) {
  if (seqs.empty()) return;
  ComComando(
      sql,
      [&](DsRef cmd) {
        for (int32_t seq : seqs) poe(*cmd, seq);
      },
      CommandType::kText);
}

}  // namespace

void DerivaArvoreFmtBal(TFormatoBal* fmt) {
  const int32_t n = fmt->Count();
  for (TLinhaFmtBal& l : fmt->Linhas) {
    l.Pai = 0;
    l.TemFilhos = false;
    l.Oculta = false;
    l.Profundidade = 0;
  }
  for (int32_t i = 1; i <= n; ++i) {
    const TLinhaFmtBal& li = fmt->Linha(i);
    if (!li.EhConta()) continue;
    if (li.sinal == 1) {
      // A total: its parts are the lines before it at its own indentation,
      // back to an earlier total (which becomes a child too).
      for (int32_t j = i - 1; j >= 1; --j) {
        const TLinhaFmtBal& lj = fmt->Linha(j);
        if (!lj.EhConta() || lj.indentacao < li.indentacao) break;
        if (lj.indentacao > li.indentacao) continue;
        if (lj.sinal == 1) {
          FazFilho(fmt, j, i);
          break;
        }
        if (lj.sinal >= 2 && lj.sinal <= 4) FazFilho(fmt, j, i);
      }
    } else {
      // Any other account line: the lines right below it, one level deeper.
      for (int32_t j = i + 1; j <= n; ++j) {
        const TLinhaFmtBal& lj = fmt->Linha(j);
        if (!lj.EhConta() || lj.indentacao <= li.indentacao) break;
        if (lj.indentacao == li.indentacao + 1) FazFilho(fmt, j, i);
      }
    }
    if (CacheContaBal().Get(li.conta, fmt->id).HideNoZunInput) fmt->Linha(i).Oculta = true;
  }
  std::vector<char> visitada(static_cast<size_t>(n) + 1, 0);
  for (int32_t i = 1; i <= n; ++i) Profundidade(fmt, i, &visitada);
}

int32_t CarregaFormatoBal(int32_t fmtbal, TFormatoBal* fmt) {
  TRelozios relogio("MeDaAFB#" + std::to_string(fmtbal));
  fmt->Limpa();
  fmt->id = fmtbal;
  const int32_t code = ChamaComGuarda(
      "ApresFmtBalItemsGet", "CarregaFormatoBal", kFmtBalFalhou, [&](DsRef cmd, int32_t* c) {
        *c = ExecStProcId(cmd, fmtbal, ModoStProc::kExecutaEAbre);
        if (*c != 0) return;
        if (cmd->Active()) {
          for (cmd->Current().First(); !cmd->Current().Eof(); cmd->Current().Next()) {
            TLinhaFmtBal l;
            GetFieldInt(cmd, "fmtbal", &l.fmtbal);
            GetFieldInt(cmd, "seq", &l.seq);
            GetFieldByte(cmd, "tipo", &l.tipo);
            if (l.EhConta()) {
              GetFieldInt(cmd, "conta", &l.conta);
              GetFieldByte(cmd, "sinal", &l.sinal);
              GetFieldInt(cmd, "indentacao", &l.indentacao);
              GetFieldInt(cmd, "anvert", &l.anvert);
              GetFieldInt(cmd, "IdentificacaoDeContas", &l.IdentificacaoDeContas);
            } else if (l.tipo == 1) {
              GetFieldInt(cmd, "bloco", &l.bloco);
            }
            fmt->Linhas.push_back(l);
          }
        }
        DerivaArvoreFmtBal(fmt);
      });
  if (code != 0) fmt->Limpa();
  relogio.Desliga(0);
  if (DbgSpeed() != nullptr || relogio.Tempo(0) > kCargaLentaMs) {
    relogio.Relatorio("MeDaAFB#" + std::to_string(fmtbal));
  } else {
    relogio.JaRelatou();
  }
  return code;
}

int32_t DbApresFormatoBalPut(const TFormatoBal& fmt) {
  int32_t code = 0;
  bool fim = false;
  try {
    Transacao transacao;
    try {
      // The stored lines are read first; each is its own row, so the
      // deletes, changes and inserts that follow touch different rows.
      std::vector<int32_t> apagar, alterar, inserir;
      std::vector<char> escrita(static_cast<size_t>(fmt.Count()) + 1, 0);
      ComComando(
          kSqlLinhas,
          [&](DsRef linhas) {
            linhas->Params()[0].value = Value::Int(fmt.id);
            linhas->Open();
            if (!linhas->Active()) return;
            Recordset& rs = linhas->Current();
            const int c_seq = rs.FieldIndex("seq");
            if (c_seq < 0) throw DatasetError("ApresFmtBalItems: no column seq");
            for (const std::vector<Value>& row : rs.rows()) {
              const int32_t seq = row[static_cast<size_t>(c_seq)].AsInt();
              if (seq < 1 || seq > fmt.Count()) {
                apagar.push_back(seq);
                continue;
              }
              alterar.push_back(seq);
              escrita[static_cast<size_t>(seq)] = 1;
            }
          },
          CommandType::kText);
      for (int32_t seq = 1; seq <= fmt.Count(); ++seq) {
        if (!escrita[static_cast<size_t>(seq)]) inserir.push_back(seq);
      }
      RodaPorSeq(kSqlApaga, apagar, [&](Command& cmd, int32_t seq) {
        cmd.Params()[0].value = Value::Int(fmt.id);
        cmd.Params()[1].value = Value::Int(seq);
        cmd.Execute();
      });
      const auto preenche = [&](Command& cmd, int32_t seq) {
        Preenche(cmd, fmt.Linha(seq), fmt.id, seq);
      };
      RodaPorSeq(kSqlAltera, alterar, preenche);
      RodaPorSeq(kSqlInsere, inserir, preenche);
      fim = true;
    } catch (const std::exception& x) {
      CodigoDaExcecao("DbApresFormatoBalPut", &code, x, kFmtBalFalhou);
    }
    try {
      if (code != 0) Db->RecuperaTransacaoPerdida("DbApresFormatoBalPut");
      transacao.Termina(fim && code == 0);
    } catch (const std::exception& x) {
      CodigoDaExcecao("AFBPut end tran", &code, x, kFmtBalFimDaTransacao);
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao("DbApresFormatoBalPut", &code, x, kFmtBalFalhou);
  }
  return code;
}

}  // namespace zun
