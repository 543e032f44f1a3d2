// Reading and writing statements: the row-by-row comparison (untouched,
// rewritten, deleted, added rows), computed cells stored as reported, the
// no-log marks, a constraint refusal and a lost link.
#include "importers/statements/statement_store.h"

#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "../../support/plan_fixture.h"
#include "foundation/momento.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"
#include "toolbox/dbutil/accessors.h"

namespace zun {
namespace {

struct Celula {
  int periodo, conta;
  double valor;
  bool calc;
};

TBalanco Balanco(const std::vector<Celula>& celulas) {
  TBalanco b;
  b.empresa = 1;
  b.dataref = EncodeDateTime(2024, 12, 31, 0, 0, 0, 0);
  b.consolidado = 1;
  b.meses = 12;
  b.datamoeda = b.dataref;
  for (const Celula& c : celulas) b.SetValor(c.periodo, c.conta, c.valor, c.calc);
  return b;
}

// The embedded provider with a link that breaks at the n-th cell insert
// (and at each of the next g_link.seguidas ones), or at the n-th begin of
// a transaction: the connection closes (its transaction is gone) and every
// call fails as a lost link until the session reopens it.
struct {
  int insercao, seguidas, inicio, cabecalhos, desmarque;
} g_link;

class LinkQueCai : public SqliteConnection {
 public:
  int ExecuteSqlParams(const std::string& sql, const std::vector<Value>& binds, int timeout,
                       std::vector<Recordset>* out) override {
    if (sql.starts_with("insert into BalancoUmaConta") &&
        (--g_link.insercao == 0 || g_link.seguidas-- > 0)) {
      Cai();
    }
    return SqliteConnection::ExecuteSqlParams(sql, binds, timeout, out);
  }
  void BeginTransaction() override {
    if (--g_link.inicio == 0) Cai();
    SqliteConnection::BeginTransaction();
  }
  void Cai() {
    Close();
    throw ProviderError(ErrorKind::kConnectionLost, "General network error");
  }
  void CallProcedure(const std::string& name, Parameters* params, int timeout,
                     std::vector<Recordset>* out) override {
    if (name == "BalHeadPutV2") ++g_link.cabecalhos;
    if (name == "BalancoNaoLogaContasDel" && --g_link.desmarque == 0) Cai();
    SqliteConnection::CallProcedure(name, params, timeout, out);
  }
};

class StatementStore : public PlanoDeContasDb {
 protected:
  // Db on the provider above, breaking at the n-th cell insert and at the
  // d-th removal of the no-log mark (0: never).
  void UsaLinkQueCai(int n, int d = 0) {
    RegisterProvider("LinkQueCai", [] { return std::make_unique<LinkQueCai>(); });
    std::string cs = Db->GetConnectionString();
    const size_t p = cs.find("Provider=SQLite");
    if (p != std::string::npos) cs.replace(p, 15, "Provider=LinkQueCai");
    Db->SetConnectionString(cs);
    Db->Open();
    Db->SetAutoReconnect(true);
    g_link = {.insercao = n, .seguidas = 0, .inicio = 0, .cabecalhos = 0, .desmarque = d};
  }
  void TearDown() override {
    PlanoDeContasDb::TearDown();
    UnregisterProvider("LinkQueCai");
  }
  void SetUp() override {
    PlanoDeContasDb::SetUp();
    // Every statement that touches a stored cell leaves a trace.
    Sql("CREATE TEMP TABLE toques (op TEXT, conta INTEGER, periodo INTEGER)");
    for (const char* op : {"i INSERT NEW", "u UPDATE NEW", "d DELETE OLD"}) {
      const std::string o(op);
      const std::string linha = o.substr(o.size() - 3);
      Sql("CREATE TEMP TRIGGER t" + o.substr(0, 1) + " AFTER " + o.substr(2, o.size() - 6) +
          " ON BalancoUmaConta BEGIN INSERT INTO toques VALUES ('" + o.substr(0, 1) + "', " +
          linha + ".conta, " + linha + ".De3Meses); END");
    }
  }
};

// Each row stores a first record, then a second one over it, and checks
// the statements the second write ran and the rows it left.
TEST_F(StatementStore, SecondWriteChangesOnlyWhatDiffers) {
  const double v = 0.1;
  const double v_ultimo_bit = std::nextafter(0.1, 1.0);
  struct Caso {
    const char* nome;
    std::vector<Celula> primeiro, segundo;
    const char* toques;  // op|conta|periodo of the second write
    const char* linhas;  // conta|De3Meses|CalcOuRx of the stored rows
  } casos[] = {
      {"all null deletes every row", {{0, 1, 5, false}, {1, 2, 6, false}}, {}, "d|1|0;d|2|1", ""},
      {"equal value untouched", {{0, 1, v, false}}, {{0, 1, v, false}}, "", "1|0|0"},
      {"last bit rewritten", {{0, 1, v, false}}, {{0, 1, v_ultimo_bit, false}}, "u|1|0", "1|0|0"},
      {"computed stored as reported",
       {},
       {{0, 7, 3, true}, {1, 7, 4, false}},
       "i|7|0;i|7|1",
       "7|0|0;7|1|0"},
      {"period counts", {{0, 3, 1, false}}, {{1, 3, 1, false}}, "d|3|0;i|3|1", "3|1|0"},
  };
  for (const Caso& c : casos) {
    Sql("DELETE FROM balanco");
    TBalanco b = Balanco(c.primeiro);
    ASSERT_EQ(DbBalPut(&b, false), 0) << c.nome;
    Sql("DELETE FROM toques");
    TBalanco b2 = Balanco(c.segundo);
    EXPECT_EQ(DbBalPut(&b2, false), 0) << c.nome;
    EXPECT_EQ(b2.id, b.id) << c.nome;
    EXPECT_EQ(Linhas("SELECT op, conta, periodo FROM toques ORDER BY rowid"), c.toques) << c.nome;
    EXPECT_EQ(Linhas("SELECT conta, De3Meses, CalcOuRx FROM BalancoUmaConta ORDER BY De3Meses, "
                     "conta"),
              c.linhas)
        << c.nome;
  }
}

// A stored cell marked computed is read as such and rewritten as reported.
TEST_F(StatementStore, ReadsBackHeaderAndCells) {
  TBalanco b = Balanco({{0, 10, 1.5, false}, {1, 11, -2, false}});
  b.sourcedobal = 3;
  b.ChecagemFalhou = 2;
  b.Incompleto = true;
  ASSERT_EQ(DbBalPut(&b, true), 0);
  Sql("UPDATE BalancoUmaConta SET CalcOuRx = 1 WHERE conta = 11");
  TBalanco lido;
  ASSERT_EQ(BalGetPelaDataCons(1, b.dataref, true, 0, 3, &lido), 0);
  EXPECT_EQ(BalGetPelaDataCons(1, b.dataref, true, 0, 0, &lido), 3585);  // another source
  EXPECT_EQ(lido.id, 0);  // the failed read left it cleared
  ASSERT_EQ(BalGetPelaDataCons(1, b.dataref, true, 0, 3, &lido), 0);
  EXPECT_EQ(std::tie(lido.id, lido.sourcedobal, lido.ChecagemFalhou, lido.Incompleto, lido.meses,
                     lido.datamoeda),
            std::tie(b.id, b.sourcedobal, b.ChecagemFalhou, b.Incompleto, b.meses, b.datamoeda));
  EXPECT_EQ(std::make_tuple(lido.Valor(0, 10), lido.Valor(1, 11), lido.Celula(0, 10).CalcOuRx,
                            lido.Celula(1, 11).CalcOuRx, lido.Nulo(0, 11)),
            std::make_tuple(1.5, -2.0, false, true, true));
  ASSERT_EQ(DbBalPut(&lido, false), 0);
  EXPECT_EQ(Linhas("SELECT conta, CalcOuRx FROM BalancoUmaConta ORDER BY conta"), "10|0;11|0");
}

// A new statement's cells are written unlogged; later changes are logged;
// the mark is gone after each write.
TEST_F(StatementStore, NoLogMarkOnlyWhileANewStatementIsWritten) {
  TBalanco b = Balanco({{0, 1, 1, false}, {0, 2, 2, false}});
  ASSERT_EQ(DbBalPut(&b, false), 0);
  EXPECT_EQ(Linhas("SELECT count(*) FROM balanco_conta_log"), "0");
  b.SetValor(0, 1, 10);
  b.SetValor(0, 2, NuloFloat());
  ASSERT_EQ(DbBalPut(&b, false), 0);
  EXPECT_EQ(Linhas("SELECT conta, valor_antigo, valor_novo FROM balanco_conta_log ORDER BY conta"),
            "1|1|10;2|2|");
  EXPECT_EQ(Linhas("SELECT nao_loga_contas FROM balanco"), "0");
}

// An account outside the plan: the database refuses the cell, the write
// gives 4463 once (the header is not sent again) and keeps nothing.
TEST_F(StatementStore, ConstraintErrorIsNotRepeated) {
  UsaLinkQueCai(0);
  TBalanco b = Balanco({{0, 1, 1, false}, {0, kContasDoPlano + 1, 2, false}});
  EXPECT_EQ(DbBalPut(&b, false), 4463);
  EXPECT_EQ(b.id, 0);
  EXPECT_EQ(g_link.cabecalhos, 1);
  EXPECT_EQ(Linhas("SELECT (SELECT count(*) FROM balanco), count(*) FROM BalancoUmaConta"), "0|0");
  EXPECT_EQ(Db->TranCount(), 0);
}

// The link lost while writing the cells, while taking the no-log mark off
// or at the begin: the whole write is repeated and the statement is stored
// unmarked.
TEST_F(StatementStore, LostLinkRepeatsTheWholeWrite) {
  const struct {
    int insercao, desmarque, inicio, cabecalhos;
  } kCasos[] = {{2, 0, 0, 2}, {0, 1, 0, 2}, {0, 0, 1, 1}};
  for (const auto& k : kCasos) {
    SCOPED_TRACE(std::to_string(k.insercao) + "/" + std::to_string(k.desmarque));
    Sql("DELETE FROM balanco");
    UsaLinkQueCai(k.insercao, k.desmarque);
    g_link.inicio = k.inicio;
    TBalanco b = Balanco({{0, 1, 1, false}, {0, 2, 2, false}, {1, 3, 3, false}});
    EXPECT_EQ(DbBalPut(&b, false), 0);
    EXPECT_EQ(g_link.cabecalhos, k.cabecalhos);
    EXPECT_NE(b.id, 0);
    EXPECT_EQ(Linhas("SELECT balanco = " + std::to_string(b.id) +
                     ", conta, De3Meses, valor FROM BalancoUmaConta ORDER BY conta"),
              "1|1|0|1;1|2|0|2;1|3|1|3");
    EXPECT_EQ(Linhas("SELECT count(*), max(nao_loga_contas), (SELECT count(*) FROM "
                     "balanco_conta_log) FROM balanco"),
              "1|0|0");
    EXPECT_EQ(Db->TranCount(), 0);
  }
  // A link that keeps breaking: a few attempts, then the error.
  UsaLinkQueCai(0);
  g_link.seguidas = 10;
  TBalanco b = Balanco({{0, 4, 4, false}});
  EXPECT_THROW((void)DbBalPut(&b, false), ProviderError);
  EXPECT_EQ(g_link.cabecalhos, 3);
  EXPECT_EQ(Db->TranCount(), 0);
}

}  // namespace
}  // namespace zun
