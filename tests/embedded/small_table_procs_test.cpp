// The small reference table procedures on a real database file: the
// refusals the small table importer's check pass never lets through (its
// writes are run by the small table importer's table, and the choice list's
// unknown type and entry by the db layer's reference procedure test). Each
// table runs in order on one database: a call's code, then the rows of the
// test's query (a failing call leaves them as they were).
#include "embedded/codes.h"

#include "../support/db_fixture.h"

namespace zun {
namespace {

using namespace proc_args;

using SmallTableProcs = ProcDb;

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
          {"PaisPut", pais(13, "ES", "X"), 50403},
          {"PaisPut", pais(13, "PT", ""), 50402},
          {"PaisPut", pais(80, "80", "X"), 50401},
          {"MoedaPut", moeda(1, "USD", I(0), "X"), 50405},
          {"MoedaPut", moeda(1, "BRL", I(1), "X"), 50406},
          {"MoedaPut", moeda(1, "BRL", N, "X"), 50404},
          {"MoedaPut", moeda(32, "XYZ", I(9), "X"), 50401},
      });
}

// A corporate action type without a sequence number gets 0.
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
      "SELECT (SELECT count(*) FROM bolsa), (SELECT group_concat(cod) FROM vote_stat), "
      "(SELECT group_concat(seq || abrv || nome || lb1) FROM oco_tipo WHERE id >= 4)",
      {
          {"BolsaPut", bolsa(5, I(0), "nyse", S("")), 50407},
          {"BolsaPut", bolsa(5, I(80), "LSE", S("")), 50404},
          {"BolsaPut", bolsa(-1, I(0), "LSE", S("")), 50401},
          {"BolsaPut", bolsa(5, I(0), "", S("")), 50402},
          {"VoteStatPut", vote(3, S("pn")), 50407},
          {"VoteStatPut", vote(-1, S("X")), 50401},
          {"VoteStatPut", vote(3, N), 50402},
          {"OcoTipoPut", oco(4, N, "BON", "Bonus", N), 0, "4|ON,PN,UNT|0BONBonus"},
          {"OcoTipoPut", oco(5, I(1), "div", "X", N), 50407},
          {"OcoTipoPut", oco(5, I(1), "X", "", N), 50402},
      });
}

// Block 0 (none) and account 6000 are the edges the settings take.
TEST_F(SmallTableProcs, AccountSettings) {
  auto conta = [](const char* nome, Value v, int32_t conta) {
    return Params{{nome, v}, {"@IdConta", I(conta)}};
  };
  Roda(
      "SELECT id_conta, hide_no_zuninput, bloco_padrao_na_digitacao, identificacao_de_contas "
      "FROM conta_bal_ajuste",
      {
          {"BlocoPadraoNaDigitacaoPut", conta("@Num", I(0), 12), 0, "12|0|0|0"},
          {"IdentificacaoDeContasPut", conta("@Identificacao", I(7), 6000), 0,
           "12|0|0|0;6000|0|0|7"},
          {"BlocoPadraoNaDigitacaoPut", conta("@Num", I(9), 12), 50408},
          {"IdentificacaoDeContasPut", conta("@Identificacao", I(-1), 12), 50409},
          {"HideNoZunInputPut", {{"@IdConta", I(0)}}, 50401},
          {"BlocoPadraoNaDigitacaoPut", conta("@Num", I(1), 6001), 50401},
      });
}

// An entry found by its document may change its document.
TEST_F(SmallTableProcs, ChoiceListEntriesByIdOrDocumentId) {
  auto put = [](int32_t fc, bool novo, Value id, const char* doc, const char* pt, const char* en) {
    return Params{{"@FC", I(fc)},     {"@id_new", Value::Bool(novo)},
                  {"@id_id", id},     {"@id_doc", S(doc)},
                  {"@nomePT", S(pt)}, {"@nomeEN", S(en)},
                  {"@nomeES", S("")}};
  };
  Roda(
      "SELECT group_concat(formatocampo || ':' || id || ':' || id_doc || ':' || nome_pt || ':' "
      "|| nome_en, ';') FROM (SELECT * FROM campo_lista_valores WHERE formatocampo * 100 + id "
      "NOT IN (3202, 4101, 4102) ORDER BY formatocampo, id)",
      {
          {"AddListChoice", put(41, false, I(0), "", "X", "X"), 50411},
          {"AddListChoice", put(41, true, N, "", "", ""), 50413},
          {"AddListChoice", put(32, false, N, "AB12", "Anual", "Annual"), 0,
           "32:1:A:Aberto:Open;32:3:AB12:Anual:Annual"},
          {"AddListChoice", put(32, true, N, "AB12", "X", "X"), 50412},
          {"AddListChoice", put(32, false, I(1), "AB12", "X", "X"), 50412},
          {"AddListChoice", put(32, false, I(1), "AB", "Aberta", "Open"), 0,
           "32:1:AB:Aberta:Open;32:3:AB12:Anual:Annual"},
      });
}

}  // namespace
}  // namespace zun
