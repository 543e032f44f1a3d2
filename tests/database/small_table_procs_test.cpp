// The small reference table procedures on a real database file, called the
// way the service calls them. Each table runs in order on one database: a
// call's code, then the state of its rows (a failing call leaves them as
// they were).
#include "database/small_table_procs.h"

#include "db_fixture.h"

namespace zun {
namespace {

using Params = std::vector<std::pair<const char*, Value>>;

Value I(int32_t v) { return Value::Int(v); }
Value S(const char* v) { return Value::String(v); }
const Value N;  // NULL

struct Caso {
  const char* proc;
  Params in;
  int32_t code;
  const char* consulta;
  const char* linhas;  // rows joined by ";", columns by "|"
};

class SmallTableProcs : public FreshDatabase {
 protected:
  void Roda(const std::vector<Caso>& casos) {
    auto s = Login("zunsvc", "s3cret");
    for (const Caso& c : casos) {
      auto cmd = s->TomaDataSet(CommandType::kStoredProc, c.proc);
      for (const auto& [name, v] : c.in) cmd->Params().ParamByName(name).value = v;
      EXPECT_EQ(ExecStProc(cmd, 0), c.code) << c.proc << " " << c.consulta;
      s->DevolveDataSet(&cmd);
      std::vector<Recordset> out;
      s->Provider().ExecuteSql(c.consulta, 30, &out);
      std::string got;
      for (const auto& row : out.at(0).rows()) {
        if (!got.empty()) got += ";";
        for (size_t i = 0; i < row.size(); ++i) got += (i ? "|" : "") + row[i].AsString();
      }
      EXPECT_EQ(got, c.linhas) << c.proc << " " << c.consulta;
    }
  }
};

TEST_F(SmallTableProcs, CountriesKeepTheirCodes) {
  const char* q = "SELECT cod, cod3, nome FROM pais WHERE id = 13";
  Roda({
      {"PaisPut",
       {{"@id", I(13)}, {"@cod", S("PRT")}, {"@nome", S("Portugal (PT)")}},
       0,
       q,
       "PT|PRT|Portugal (PT)"},
      {"PaisPut",
       {{"@id", I(13)}, {"@cod", S("pt")}, {"@nome", S("Portugal")}},
       0,
       q,
       "PT|PRT|Portugal"},
      {"PaisPut",
       {{"@id", I(13)}, {"@cod", S("ES")}, {"@nome", S("X")}},
       50403,
       q,
       "PT|PRT|Portugal"},
      {"PaisPut",
       {{"@id", I(13)}, {"@cod", S(" PT")}, {"@nome", S("X")}},
       50403,
       q,
       "PT|PRT|Portugal"},
      {"PaisPut",
       {{"@id", I(13)}, {"@cod", S("PT")}, {"@nome", S("")}},
       50402,
       q,
       "PT|PRT|Portugal"},
      {"PaisPut", {{"@id", N}, {"@cod", S("PT")}, {"@nome", S("X")}}, 50401, q, "PT|PRT|Portugal"},
      {"PaisPut",
       {{"@id", I(80)}, {"@cod", S("80")}, {"@nome", S("X")}},
       50401,
       "SELECT count(*) FROM pais",
       "80"},
      {"PaisPut",
       {{"@id", I(68)}, {"@cod", S("068")}, {"@nome", S("Atlantis")}},
       0,
       "SELECT cod, nome FROM pais WHERE id = 68",
       "68|Atlantis"},
  });
}

TEST_F(SmallTableProcs, CurrenciesKeepSymbolAndCountry) {
  const char* q = "SELECT cod, pais, nome FROM moeda WHERE id = 1";
  auto put = [](Value id, const char* cod, Value pais, const char* nome) {
    return Params{{"@id", id}, {"@cod", S(cod)}, {"@pais", pais}, {"@nome", S(nome)}};
  };
  Roda({
      {"MoedaPut", put(I(1), "BRL", I(0), "Real brasileiro"), 0, q, "BRL|0|Real brasileiro (BRL)"},
      {"MoedaPut", put(I(1), "brl", I(0), "Real (BRL)"), 0, q, "BRL|0|Real (BRL)"},
      {"MoedaPut", put(I(1), "BRL", I(0), ""), 0, q, "BRL|0|Real (BRL)"},
      {"MoedaPut", put(I(1), "USD", I(0), "X"), 50405, q, "BRL|0|Real (BRL)"},
      {"MoedaPut", put(I(1), "BRL", I(1), "X"), 50406, q, "BRL|0|Real (BRL)"},
      {"MoedaPut", put(I(1), "BRL", I(80), "X"), 50404, q, "BRL|0|Real (BRL)"},
      {"MoedaPut", put(I(1), "BRL", N, "X"), 50404, q, "BRL|0|Real (BRL)"},
      {"MoedaPut", put(I(1), "", I(0), "X"), 50402, q, "BRL|0|Real (BRL)"},
      {"MoedaPut", put(I(32), "XYZ", I(9), "X"), 50401, "SELECT count(*) FROM moeda", "32"},
  });
}

TEST_F(SmallTableProcs, ExchangesVotingStatusAndCorporateActionTypesByTheirIds) {
  auto bolsa = [](int32_t id, Value pais, const char* cod, Value iso) {
    return Params{{"@id", I(id)}, {"@pais", pais}, {"@cod", S(cod)}, {"@codiso10383", iso}};
  };
  auto oco = [](int32_t id, Value seq, const char* abrv, const char* nome, Value lb) {
    return Params{{"@id", I(id)},  {"@seq", seq}, {"@abrv", S(abrv)}, {"@nome", S(nome)},
                  {"@loca", I(0)}, {"@lb1", lb},  {"@lb2", lb}};
  };
  const char* b = "SELECT id, pais, cod, codiso10383 FROM bolsa WHERE id >= 4";
  const char* v = "SELECT id, cod FROM vote_stat WHERE id >= 2";
  const char* o = "SELECT id, seq, abrv, nome, loca, lb1, lb2 FROM oco_tipo WHERE id >= 4";
  Roda({
      {"BolsaPut", bolsa(4, I(0), "B3", S("BVMF")), 0, b, "4|0|B3|BVMF"},
      {"BolsaPut", bolsa(4, I(1), "B3X", N), 0, b, "4|1|B3X|"},
      {"BolsaPut", bolsa(5, I(0), "nyse", S("")), 50407, b, "4|1|B3X|"},
      {"BolsaPut", bolsa(5, I(80), "LSE", S("")), 50404, b, "4|1|B3X|"},
      {"BolsaPut", bolsa(-1, I(0), "LSE", S("")), 50401, b, "4|1|B3X|"},
      {"BolsaPut", bolsa(5, I(0), "", S("")), 50402, b, "4|1|B3X|"},
      {"VoteStatPut", {{"@id", I(3)}, {"@cod", S("PNA")}}, 0, v, "2|UNT;3|PNA"},
      {"VoteStatPut", {{"@id", I(2)}, {"@cod", S("UNIT")}}, 0, v, "2|UNIT;3|PNA"},
      {"VoteStatPut", {{"@id", I(4)}, {"@cod", S("pn")}}, 50407, v, "2|UNIT;3|PNA"},
      {"VoteStatPut", {{"@id", I(-1)}, {"@cod", S("X")}}, 50401, v, "2|UNIT;3|PNA"},
      {"VoteStatPut", {{"@id", I(4)}, {"@cod", N}}, 50402, v, "2|UNIT;3|PNA"},
      {"OcoTipoPut", oco(4, I(4), "BON", "Bonus", S("l")), 0, o, "4|4|BON|Bonus|0|l|l"},
      {"OcoTipoPut", oco(4, N, "BON", "Bonus shares", N), 0, o, "4|0|BON|Bonus shares|0||"},
      {"OcoTipoPut", oco(5, I(1), "div", "X", N), 50407, o, "4|0|BON|Bonus shares|0||"},
      {"OcoTipoPut", oco(5, I(1), "X", "", N), 50402, o, "4|0|BON|Bonus shares|0||"},
      {"OcoTipoPut", oco(-1, I(1), "X", "X", N), 50401, o, "4|0|BON|Bonus shares|0||"},
  });
}

TEST_F(SmallTableProcs, AccountSettings) {
  const char* q =
      "SELECT id_conta, hide_no_zuninput, bloco_padrao_na_digitacao, identificacao_de_contas "
      "FROM conta_bal_ajuste";
  auto bloco = [](Value num, int32_t conta) {
    return Params{{"@Num", num}, {"@IdConta", I(conta)}};
  };
  auto ident = [](Value id, int32_t conta) {
    return Params{{"@Identificacao", id}, {"@IdConta", I(conta)}};
  };
  Roda({
      {"HideNoZunInputPut", {{"@IdConta", I(12)}}, 0, q, "12|1|0|0"},
      {"BlocoPadraoNaDigitacaoPut", bloco(I(2), 12), 0, q, "12|1|2|0"},
      {"IdentificacaoDeContasPut", ident(I(7), 12), 0, q, "12|1|2|7"},
      {"BlocoPadraoNaDigitacaoPut", bloco(I(0), 12), 0, q, "12|1|0|7"},
      {"IdentificacaoDeContasPut", ident(I(3), 6000), 0, q, "12|1|0|7;6000|0|0|3"},
      {"BlocoPadraoNaDigitacaoPut", bloco(I(9), 12), 50408, q, "12|1|0|7;6000|0|0|3"},
      {"BlocoPadraoNaDigitacaoPut", bloco(I(-1), 12), 50408, q, "12|1|0|7;6000|0|0|3"},
      {"IdentificacaoDeContasPut", ident(I(-1), 12), 50409, q, "12|1|0|7;6000|0|0|3"},
      {"IdentificacaoDeContasPut", ident(N, 12), 50409, q, "12|1|0|7;6000|0|0|3"},
      {"HideNoZunInputPut", {{"@IdConta", I(0)}}, 50401, q, "12|1|0|7;6000|0|0|3"},
      {"HideNoZunInputPut", {{"@IdConta", I(6001)}}, 50401, q, "12|1|0|7;6000|0|0|3"},
      {"BlocoPadraoNaDigitacaoPut", bloco(I(1), 6001), 50401, q, "12|1|0|7;6000|0|0|3"},
  });
}

TEST_F(SmallTableProcs, ChoiceListEntriesByIdOrDocumentId) {
  auto put = [](int32_t fc, bool novo, Value id, const char* doc, const char* pt, const char* en,
                const char* es) {
    return Params{{"@FC", I(fc)},     {"@id_new", Value::Bool(novo)},
                  {"@id_id", id},     {"@id_doc", S(doc)},
                  {"@nomePT", S(pt)}, {"@nomeEN", S(en)},
                  {"@nomeES", S(es)}};
  };
  const char* q41 =
      "SELECT id, id_doc, nome_pt, nome_en, nome_es FROM campo_lista_valores "
      "WHERE formatocampo = 41 AND id >= 2";
  const char* q32 =
      "SELECT id, id_doc, nome_pt, nome_en FROM campo_lista_valores "
      "WHERE formatocampo = 32";
  Roda({
      {"AddListChoice", put(103, true, N, "", "A", "A", "A"), 50410,
       "SELECT count(*) FROM campo_lista_valores", "4"},
      {"AddListChoice", put(41, true, N, "", "Talvez", "Maybe", "Quizas"), 0, q41,
       "2||Nao|No|No;3||Talvez|Maybe|Quizas"},
      {"AddListChoice", put(41, false, I(3), "", "", "Perhaps", ""), 0, q41,
       "2||Nao|No|No;3|||Perhaps|"},
      {"AddListChoice", put(41, false, I(9), "", "X", "X", "X"), 50411, q41,
       "2||Nao|No|No;3|||Perhaps|"},
      {"AddListChoice", put(41, false, I(0), "", "X", "X", "X"), 50411, q41,
       "2||Nao|No|No;3|||Perhaps|"},
      {"AddListChoice", put(41, true, N, "", "", "", ""), 50413, q41, "2||Nao|No|No;3|||Perhaps|"},
      {"AddListChoice", put(32, false, I(0), "AB12", "Anual", "Annual", "Anual"), 0, q32,
       "1|A|Aberto|Open;2|F|Fechado|Closed;3|AB12|Anual|Annual"},
      {"AddListChoice", put(32, false, N, "AB12", "Anual", "Yearly", "Anual"), 0, q32,
       "1|A|Aberto|Open;2|F|Fechado|Closed;3|AB12|Anual|Yearly"},
      {"AddListChoice", put(32, true, N, "AB12", "X", "X", "X"), 50412, q32,
       "1|A|Aberto|Open;2|F|Fechado|Closed;3|AB12|Anual|Yearly"},
      {"AddListChoice", put(32, false, I(1), "AB12", "X", "X", "X"), 50412, q32,
       "1|A|Aberto|Open;2|F|Fechado|Closed;3|AB12|Anual|Yearly"},
      {"AddListChoice", put(32, false, I(1), "AB", "Aberta", "Open", "Abierta"), 0, q32,
       "1|AB|Aberta|Open;2|F|Fechado|Closed;3|AB12|Anual|Yearly"},
  });
}

}  // namespace
}  // namespace zun
