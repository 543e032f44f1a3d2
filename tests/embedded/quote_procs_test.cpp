// The quote procedures on a real database file, called the way the service
// calls them. Each table runs in order on one database: a call's code, then
// the rows of the test's query.
#include "embedded/quote_procs.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "../support/db_fixture.h"

namespace zun {
namespace {

using namespace proc_args;

Value D(double day) { return Value::DateTime(day); }
constexpr double kDia = 45000;

// A quote of "PETR4" on exchange 1 for day dia: values from v (NULL after
// them), keep flags k, then the extra parameters.
Params Cotacao(double dia, std::vector<Value> v, std::vector<int> k = {}, Params extra = {}) {
  Params p = {{"@ticker", Value::String("petr4")}, {"@bolsa", I(1)}, {"@date", D(dia)}};
  static const std::vector<std::string> nomes = [] {
    std::vector<std::string> n;
    for (int i = 1; i <= 12; ++i)
      n.insert(n.end(), {"@valor" + std::to_string(i), "@keepvlr" + std::to_string(i)});
    return n;
  }();
  for (int i = 1; i <= 12; ++i) {
    p.push_back({nomes[2 * i - 2].c_str(), i <= static_cast<int>(v.size()) ? v[i - 1] : N});
    p.push_back({nomes[2 * i - 1].c_str(), Value::Bool(std::count(k.begin(), k.end(), i) > 0)});
  }
  // Every parameter is set: a command object keeps the values of its last call.
  for (const char* b : {"@NoOverwrite", "@NaoLogar"}) p.push_back({b, Value::Bool(false)});
  for (const char* i : {"@IfOperador", "@IfValorTermo1"}) p.push_back({i, Value::Int(0)});
  p.push_back({"@IfTermo2", Value::Double(0)});
  for (auto& e : extra) {
    for (auto& q : p) {
      if (std::string(q.first) == e.first) q.second = e.second;
    }
  }
  return p;
}

Params Condicao(int32_t op, int32_t termo1, Value termo2) {
  return {{"@IfOperador", I(op)}, {"@IfValorTermo1", I(termo1)}, {"@IfTermo2", termo2}};
}

class QuoteProcs : public ProcDb {
 protected:
  // A quote written with in (or another procedure of the service's
  // session called); its code.
  int32_t Chama(const Params& in, const char* proc = "CotacaoImportV3") {
    return ChamaProc(*Sessao(), proc, in);
  }
  TAdoDataBaseComInfoTran* Sessao() {
    if (!s_) s_ = Login("zunsvc", "s3cret");
    return s_.get();
  }
  std::unique_ptr<TAdoDataBaseComInfoTran> s_;
};

// Values 1 to 3 of every quote, and the quote entries of the data log.
const char kValores[] =
    "SELECT group_concat(COALESCE(valor1, 'N') || '/' || COALESCE(valor2, 'N') || '/' || "
    "COALESCE(valor3, 'N'), ',') || '|' || (SELECT count(*) FROM data_log WHERE tip = 41) "
    "FROM cotacao";

// The quote tables of the importer tests run the writes, the kept values,
// the unlogged quotes and the codes of what changes nothing.
TEST_F(QuoteProcs, RefusalsNoOverwriteAndKeepWithoutAStoredQuote) {
  const char* q = "CotacaoImportV3";
  Roda(kValores, {
                     {q, Cotacao(0, {F(1)}, {}, {{"@date", N}}), kErrCotacaoSemData},
                     {q, Cotacao(kDia, {F(10), F(20)}), 0, "10.0/20.0/N|1"},
                     {q, Cotacao(kDia, {F(13), F(5), F(7)}, {}, {{"@NoOverwrite", B(true)}}), 0,
                      "10.0/20.0/7.0|2"},
                     {q, Cotacao(kDia + 1, {N, F(1)}, {1}), 0, "10.0/20.0/7.0,N/1.0/N|3"},
                 });
}

// The stored quote has value 1 = 12 and value 2 NULL; each operator is
// tried against 12, 13 and 11 on value 1 and against 12 on value 2. A
// condition that holds writes the quote (a new value 3 each time).
TEST_F(QuoteProcs, ConditionOperators) {
  ASSERT_EQ(Chama(Cotacao(kDia, {F(12)})), 0);
  const struct {
    const char* op;
    int32_t num;
    bool igual, menor, maior, nulo;  // 12 vs 12, 12 vs 13, 12 vs 11, NULL vs 12
  } ops[] = {
      {"###", 1, true, true, true, false},  {"=*", 2, true, false, false, true},
      {"<>*", 3, false, true, true, true},  {"<*", 4, false, true, false, true},
      {">*", 5, false, false, true, true},  {"**", 6, true, true, true, true},
      {"!!", 7, false, false, false, true}, {"=", 8, true, false, false, false},
      {"<>", 9, false, true, true, false},  {"<", 10, false, true, false, false},
      {">", 11, false, false, true, false},
  };
  double v3 = 0;
  for (const auto& o : ops) {
    const struct {
      int32_t termo1;
      double termo2;
      bool vale;
    } tentativas[] = {{1, 12, o.igual}, {1, 13, o.menor}, {1, 11, o.maior}, {2, 12, o.nulo}};
    for (const auto& t : tentativas) {
      v3 += 1;
      EXPECT_EQ(Chama(Cotacao(kDia, {F(12), N, F(v3)}, {}, Condicao(o.num, t.termo1, F(t.termo2)))),
                t.vale ? 0 : kCotacaoCondicaoFalsa)
          << o.op << " term1:" << t.termo1 << " term2:" << t.termo2;
    }
  }
  // A missing second term satisfies only what does not compare.
  EXPECT_EQ(Chama(Cotacao(kDia, {F(12), N, F(99)}, {}, Condicao(8, 1, N))), kCotacaoCondicaoFalsa);
  // Without a stored quote the first term is NULL.
  EXPECT_EQ(Chama(Cotacao(kDia + 5, {F(1)}, {}, Condicao(8, 1, F(1)))), kCotacaoCondicaoFalsa);
  EXPECT_EQ(Chama(Cotacao(kDia + 5, {F(1)}, {}, Condicao(7, 1, F(1)))), 0);
  for (const auto& [op, termo1] : {std::pair{12, 1}, {-1, 1}, {1, 0}, {1, 13}}) {
    EXPECT_EQ(Chama(Cotacao(kDia, {F(1)}, {}, Condicao(op, termo1, F(1)))),
              kErrCotacaoCondicaoInvalida)
        << op << " " << termo1;
  }
}

// The series look-up keeps its answers inside a transaction: the next one
// sees every change of the series, whoever made it, and no rolled-back one.
TEST_F(QuoteProcs, SeriesLookUpSeesEveryChange) {
  double v = 0;  // a new value each time
  auto cota = [&](const char* ticker) {
    Params p = Cotacao(kDia, {F(++v)});
    p[0].second = Value::String(ticker);
    return Chama(p);
  };
  auto sql = [&](const char* t) { Sessao()->Provider().ExecuteSql(t, 30, nullptr); };
  const int32_t nenhuma = kErrCotacaoSerieDesconhecida;
  ASSERT_TRUE(Sessao()->IniciaGrupo());
  EXPECT_EQ(cota("VALE3"), nenhuma);
  EXPECT_EQ(cota("PETR4"), 0);
  sql("INSERT INTO anb (id, acao, cod, bolsa) VALUES (2, 1, 'VALE3', 1)");
  EXPECT_EQ(cota("vale3"), 0) << "added";
  sql("UPDATE anb SET cod = 'PETR3' WHERE id = 1");
  EXPECT_EQ(cota("PETR4"), nenhuma) << "changed";
  sql("DELETE FROM cotacao WHERE anb = 2; DELETE FROM anb WHERE id = 2");
  EXPECT_EQ(cota("VALE3"), nenhuma) << "deleted";
  s_->BeginTran();  // a savepoint of the group
  sql("UPDATE anb SET cod = 'PETR4' WHERE id = 1");
  EXPECT_EQ(cota("PETR4"), 0);
  s_->EndTran(false);
  EXPECT_EQ(cota("PETR4"), nenhuma) << "rolled back";
  s_->ConfirmaGrupo(false);
  const Params petr3 = {{"@cod", Value::String("PETR3")}, {"@bolsa", I(1)}};
  EXPECT_EQ(Chama(petr3, "GetTipoDeBGLDaAnb"), 0);
  Sql("UPDATE anb SET cod = 'PETR4' WHERE id = 1");  // another connection
  sql("DELETE FROM data_log");                       // then a commit of its own without a look-up
  EXPECT_EQ(Chama(petr3, "GetTipoDeBGLDaAnb"), kErrDbTickerNaoRegistrado)
      << "committed by another connection";
}

TEST_F(QuoteProcs, BulletinEntriesOfTheDataLog) {
  auto entrada = [](int32_t tip, int32_t oid, int32_t aux, Value date) {
    return Params{{"@tip", I(tip)}, {"@oid", I(oid)}, {"@aux", I(aux)}, {"@date", std::move(date)}};
  };
  // The entries, and the bulletin requests they made.
  Roda(
      "SELECT (SELECT count(*) FROM data_log), (SELECT group_concat(prioridade || ' ' || motivo) "
      "FROM reqgbol)",
      {
          {"DataLogAdd", entrada(42, 99, 0, D(kDia)), kErrBoletimBolsaDesconhecida},
          {"DataLogAdd", entrada(42, 1, 12, D(kDia)), kErrBoletimTipoInvalido},
          {"DataLogAdd", entrada(42, 1, -1, D(kDia)), kErrBoletimTipoInvalido},
          {"DataLogAdd", entrada(42, 1, 0, N), kErrBoletimSemData},
          {"DataLogAdd", entrada(42, 1, 11, D(kDia)), 0,
           "1|1 DataLogAdd bolsa:1 tipo:11 data:2023-03-15"},
          {"DataLogAdd", entrada(7, 99, 12, N), 0,
           "2|1 DataLogAdd bolsa:1 tipo:11 data:2023-03-15"},
      });
}

}  // namespace
}  // namespace zun
