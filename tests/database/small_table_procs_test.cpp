// The small reference table procedures on a real database file, called the
// way the service calls them. Each table runs in order on one database: a
// call's code, then the rows of the test's query (a failing call leaves
// them as they were). The writes that succeed are run end to end by the
// small table importer's tests; the rows here set up the refusals.
#include "database/codes.h"

#include "db_fixture.h"

namespace zun {
namespace {

using namespace proc_args;

class SmallTableProcs : public FreshDatabase {
 protected:
  void Roda(const char* consulta, const std::vector<ChamadaDeProc>& casos) {
    RodaChamadas(*Login("zunsvc", "s3cret"), consulta, casos);
  }
};

TEST_F(SmallTableProcs, CountriesAndCurrenciesKeepTheirCodes) {
  auto pais = [](int32_t id, const char* cod, const char* nome) {
    return Params{{"@id", I(id)}, {"@cod", S(cod)}, {"@nome", S(nome)}};
  };
  auto moeda = [](int32_t id, const char* cod, Value p, const char* nome) {
    return Params{{"@id", I(id)}, {"@cod", S(cod)}, {"@pais", p}, {"@nome", S(nome)}};
  };
  Roda(
      "SELECT p.nome, m.nome, (SELECT count(*) FROM pais) + (SELECT count(*) FROM moeda) "
      "FROM pais p, moeda m WHERE p.id = 13 AND m.id = 1",
      {
          {"PaisPut", pais(13, "pt", "Portugal"), 0, "Portugal|Real (BRL)|112"},
          {"PaisPut", pais(13, "ES", "X"), 50403, "Portugal|Real (BRL)|112"},
          {"PaisPut", pais(13, "PT", ""), 50402, "Portugal|Real (BRL)|112"},
          {"PaisPut", pais(80, "80", "X"), 50401, "Portugal|Real (BRL)|112"},
          {"MoedaPut", moeda(1, "BRL", I(0), ""), 0, "Portugal|Real (BRL)|112"},
          {"MoedaPut", moeda(1, "USD", I(0), "X"), 50405, "Portugal|Real (BRL)|112"},
          {"MoedaPut", moeda(1, "BRL", I(1), "X"), 50406, "Portugal|Real (BRL)|112"},
          {"MoedaPut", moeda(1, "BRL", N, "X"), 50404, "Portugal|Real (BRL)|112"},
          {"MoedaPut", moeda(32, "XYZ", I(9), "X"), 50401, "Portugal|Real (BRL)|112"},
      });
}

TEST_F(SmallTableProcs, ExchangesVotingStatusAndCorporateActionTypesByTheirIds) {
  auto bolsa = [](int32_t id, Value pais, const char* cod, Value iso) {
    return Params{{"@id", I(id)}, {"@pais", pais}, {"@cod", S(cod)}, {"@codiso10383", iso}};
  };
  auto vote = [](int32_t id, Value cod) { return Params{{"@id", I(id)}, {"@cod", cod}}; };
  auto oco = [](int32_t id, Value seq, const char* abrv, const char* nome, Value lb) {
    return Params{{"@id", I(id)},  {"@seq", seq}, {"@abrv", S(abrv)}, {"@nome", S(nome)},
                  {"@loca", I(0)}, {"@lb1", lb},  {"@lb2", lb}};
  };
  Roda(
      "SELECT b.pais || b.cod || b.codiso10383, v.cod, o.seq || o.abrv || o.nome || o.lb1 "
      "FROM bolsa b LEFT JOIN vote_stat v ON v.id = 3 LEFT JOIN oco_tipo o ON o.id = 4 "
      "WHERE b.id >= 4",
      {
          {"BolsaPut", bolsa(4, I(0), "B3", S("BVMF")), 0, "0B3BVMF||"},
          {"BolsaPut", bolsa(4, I(1), "B3X", N), 0, "1B3X||"},
          {"BolsaPut", bolsa(5, I(0), "nyse", S("")), 50407, "1B3X||"},
          {"BolsaPut", bolsa(5, I(80), "LSE", S("")), 50404, "1B3X||"},
          {"BolsaPut", bolsa(-1, I(0), "LSE", S("")), 50401, "1B3X||"},
          {"BolsaPut", bolsa(5, I(0), "", S("")), 50402, "1B3X||"},
          {"VoteStatPut", vote(3, S("PNA")), 0, "1B3X|PNA|"},
          {"VoteStatPut", vote(3, S("pn")), 50407, "1B3X|PNA|"},
          {"VoteStatPut", vote(-1, S("X")), 50401, "1B3X|PNA|"},
          {"VoteStatPut", vote(3, N), 50402, "1B3X|PNA|"},
          {"OcoTipoPut", oco(4, I(4), "BON", "Bonus", S("l")), 0, "1B3X|PNA|4BONBonusl"},
          {"OcoTipoPut", oco(4, N, "BON", "Bonus", N), 0, "1B3X|PNA|0BONBonus"},
          {"OcoTipoPut", oco(5, I(1), "div", "X", N), 50407, "1B3X|PNA|0BONBonus"},
          {"OcoTipoPut", oco(5, I(1), "X", "", N), 50402, "1B3X|PNA|0BONBonus"},
      });
}

TEST_F(SmallTableProcs, AccountSettings) {
  auto conta = [](const char* nome, Value v, int32_t conta) {
    return Params{{nome, v}, {"@IdConta", I(conta)}};
  };
  Roda(
      "SELECT id_conta, hide_no_zuninput, bloco_padrao_na_digitacao, identificacao_de_contas "
      "FROM conta_bal_ajuste",
      {
          {"HideNoZunInputPut", {{"@IdConta", I(12)}}, 0, "12|1|0|0"},
          {"BlocoPadraoNaDigitacaoPut", conta("@Num", I(2), 12), 0, "12|1|2|0"},
          {"IdentificacaoDeContasPut", conta("@Identificacao", I(7), 6000), 0,
           "12|1|2|0;6000|0|0|7"},
          {"BlocoPadraoNaDigitacaoPut", conta("@Num", I(0), 12), 0, "12|1|0|0;6000|0|0|7"},
          {"BlocoPadraoNaDigitacaoPut", conta("@Num", I(9), 12), 50408, "12|1|0|0;6000|0|0|7"},
          {"IdentificacaoDeContasPut", conta("@Identificacao", I(-1), 12), 50409,
           "12|1|0|0;6000|0|0|7"},
          {"HideNoZunInputPut", {{"@IdConta", I(0)}}, 50401, "12|1|0|0;6000|0|0|7"},
          {"BlocoPadraoNaDigitacaoPut", conta("@Num", I(1), 6001), 50401, "12|1|0|0;6000|0|0|7"},
      });
}

TEST_F(SmallTableProcs, ChoiceListEntriesByIdOrDocumentId) {
  auto put = [](int32_t fc, bool novo, Value id, const char* doc, const char* pt, const char* en) {
    return Params{{"@FC", I(fc)},     {"@id_new", Value::Bool(novo)},
                  {"@id_id", id},     {"@id_doc", S(doc)},
                  {"@nomePT", S(pt)}, {"@nomeEN", S(en)},
                  {"@nomeES", S("")}};
  };
  const char* a = "32:1:A:Aberto:Open";
  const char* b = "32:1:A:Aberto:Open;41:3::Talvez:Maybe";
  const char* c = "32:1:A:Aberto:Open;41:3:::Perhaps";
  const char* d = "32:1:A:Aberto:Open;32:3:AB12:Anual:Yearly;41:3:::Perhaps";
  Roda(
      "SELECT group_concat(formatocampo || ':' || id || ':' || id_doc || ':' || nome_pt || ':' "
      "|| nome_en, ';') FROM (SELECT * FROM campo_lista_valores WHERE formatocampo * 100 + id "
      "NOT IN (3202, 4101, 4102) ORDER BY formatocampo, id)",
      {
          {"AddListChoice", put(103, true, N, "", "A", "A"), 50410, a},
          {"AddListChoice", put(41, true, N, "", "Talvez", "Maybe"), 0, b},
          {"AddListChoice", put(41, false, I(9), "", "X", "X"), 50411, b},
          {"AddListChoice", put(41, false, I(0), "", "X", "X"), 50411, b},
          {"AddListChoice", put(41, true, N, "", "", ""), 50413, b},
          {"AddListChoice", put(41, false, I(3), "", "", "Perhaps"), 0, c},
          {"AddListChoice", put(32, false, N, "AB12", "Anual", "Annual"), 0,
           "32:1:A:Aberto:Open;32:3:AB12:Anual:Annual;41:3:::Perhaps"},
          {"AddListChoice", put(32, false, I(0), "AB12", "Anual", "Yearly"), 0, d},
          {"AddListChoice", put(32, true, N, "AB12", "X", "X"), 50412, d},
          {"AddListChoice", put(32, false, I(1), "AB12", "X", "X"), 50412, d},
          {"AddListChoice", put(32, false, I(1), "AB", "Aberta", "Open"), 0,
           "32:1:AB:Aberta:Open;32:3:AB12:Anual:Yearly;41:3:::Perhaps"},
      });
}

}  // namespace
}  // namespace zun
