// The small reference table procedures of the reference database: writes of
// countries, currencies, exchanges, voting status, corporate action types,
// the account settings and the choice-list entries of the field types.
//
// Countries and currencies are fixed sets: the program checks their codes,
// symbols and countries against its own tables at login, so these
// procedures change names only and refuse anything that would break that
// check. The other tables are written by id (inserted or updated).
#include "embedded/codes.h"

#include <string>
#include <vector>

#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"
#include "foundation/text.h"

namespace zun {

namespace {

// Account numbers of the statements.
constexpr int32_t kPrimeiraConta = 1;
constexpr int32_t kUltimaConta = 6000;

// An integer input; false when NULL.
bool Inteiro(ProcContext& c, const char* nome, int32_t* v) {
  const Value& x = c.In(nome);
  if (x.IsNull()) return false;
  *v = x.AsInt();
  return true;
}

// A text input; NULL gives "".
std::string Texto(ProcContext& c, const char* nome) { return c.In(nome).AsString(); }

bool TemLinha(ProcContext& c, const std::string& sql, const std::vector<Value>& binds) {
  return c.Query(sql, binds).RecordCount() > 0;
}

// Whether another row of tabela than id has codigo in coluna (letter case
// ignored).
bool CodigoDeOutro(ProcContext& c, const char* tabela, const char* coluna,
                   const std::string& codigo, int32_t id) {
  return TemLinha(c,
                  std::string("SELECT 1 FROM ") + tabela + " WHERE upper(" + coluna +
                      ") = upper(?) AND id <> ?",
                  {Value::String(codigo), Value::Int(id)});
}

bool PaisExiste(ProcContext& c, int32_t pais) {
  return TemLinha(c, "SELECT 1 FROM pais WHERE id = ?", {Value::Int(pais)});
}

// The last word of a currency name, words split at blanks and parentheses:
// the program takes it for the currency's symbol.
std::string UltimaPalavra(const std::string& s) {
  const size_t fim = s.find_last_not_of(" ()");
  if (fim == std::string::npos) return "";
  const size_t antes = s.find_last_of(" ()", fim);
  const size_t ini = antes == std::string::npos ? 0 : antes + 1;
  return s.substr(ini, fim - ini + 1);
}

// The field types whose values come from a choice list.
bool TemListaDeValores(int32_t fc) {
  return fc == 32 || (fc >= 41 && fc <= 102) || (fc >= 104 && fc <= 141) ||
         (fc >= 146 && fc <= 245);
}

// Updates the name of a country; the code must be the country's own.
void PaisPut(ProcContext& c) {
  int32_t id = 0;
  Recordset rs;
  if (Inteiro(c, "@id", &id)) {
    rs = c.Query("SELECT cod, cod3 FROM pais WHERE id = ?", {Value::Int(id)});
  }
  if (rs.RecordCount() == 0) return c.Return(kErrSmallTableIdInvalido);
  const std::string cod = Maiusculas(Texto(c, "@cod"));
  const std::string nome = Texto(c, "@nome");
  if (cod.empty() || nome.empty()) return c.Return(kErrSmallTableTextoVazio);
  rs.First();
  if (cod != Maiusculas(rs.Field(0).AsString()) && cod != Maiusculas(rs.Field(1).AsString())) {
    return c.Return(kErrPaisCodigoDiferente);
  }
  c.Exec("UPDATE pais SET nome = ? WHERE id = ?", {Value::String(nome), Value::Int(id)});
}

// Updates the name of a currency; the symbol and the country must be the
// currency's own. An empty name keeps the stored one; a name that does not
// end in the symbol gets it appended in parentheses.
void MoedaPut(ProcContext& c) {
  int32_t id = 0;
  Recordset rs;
  if (Inteiro(c, "@id", &id)) {
    rs = c.Query("SELECT cod, pais FROM moeda WHERE id = ?", {Value::Int(id)});
  }
  if (rs.RecordCount() == 0) return c.Return(kErrSmallTableIdInvalido);
  const std::string cod = Texto(c, "@cod");
  if (cod.empty()) return c.Return(kErrSmallTableTextoVazio);
  int32_t pais = 0;
  if (!Inteiro(c, "@pais", &pais) || !PaisExiste(c, pais)) return c.Return(kErrPaisDesconhecido);
  rs.First();
  const std::string simbolo = rs.Field(0).AsString();
  if (Maiusculas(cod) != Maiusculas(simbolo)) return c.Return(kErrMoedaSimboloDiferente);
  if (pais != rs.Field(1).AsInt()) return c.Return(kErrMoedaPaisDiferente);
  std::string nome = Texto(c, "@nome");
  if (nome.empty()) return;
  if (UltimaPalavra(nome) != simbolo) nome += " (" + simbolo + ")";
  c.Exec("UPDATE moeda SET nome = ? WHERE id = ?", {Value::String(nome), Value::Int(id)});
}

void BolsaPut(ProcContext& c) {
  int32_t id = 0;
  if (!Inteiro(c, "@id", &id) || id < 0) return c.Return(kErrSmallTableIdInvalido);
  const std::string cod = Texto(c, "@cod");
  if (cod.empty()) return c.Return(kErrSmallTableTextoVazio);
  int32_t pais = 0;
  if (!Inteiro(c, "@pais", &pais) || !PaisExiste(c, pais)) return c.Return(kErrPaisDesconhecido);
  if (CodigoDeOutro(c, "bolsa", "cod", cod, id)) return c.Return(kErrSmallTableCodigoRepetido);
  c.Exec(
      "INSERT INTO bolsa (id, pais, cod, codiso10383) VALUES (?, ?, ?, ?) ON CONFLICT (id) DO "
      "UPDATE SET pais = excluded.pais, cod = excluded.cod, codiso10383 = excluded.codiso10383",
      {Value::Int(id), Value::Int(pais), Value::String(cod),
       Value::String(Texto(c, "@codiso10383"))});
}

void VoteStatPut(ProcContext& c) {
  int32_t id = 0;
  if (!Inteiro(c, "@id", &id) || id < 0) return c.Return(kErrSmallTableIdInvalido);
  const std::string cod = Texto(c, "@cod");
  if (cod.empty()) return c.Return(kErrSmallTableTextoVazio);
  if (CodigoDeOutro(c, "vote_stat", "cod", cod, id)) return c.Return(kErrSmallTableCodigoRepetido);
  c.Exec(
      "INSERT INTO vote_stat (id, cod) VALUES (?, ?) ON CONFLICT (id) DO UPDATE SET cod = "
      "excluded.cod",
      {Value::Int(id), Value::String(cod)});
}

void OcoTipoPut(ProcContext& c) {
  int32_t id = 0;
  if (!Inteiro(c, "@id", &id) || id < 0) return c.Return(kErrSmallTableIdInvalido);
  const std::string abrv = Texto(c, "@abrv");
  const std::string nome = Texto(c, "@nome");
  if (abrv.empty() || nome.empty()) return c.Return(kErrSmallTableTextoVazio);
  if (CodigoDeOutro(c, "oco_tipo", "abrv", abrv, id)) {
    return c.Return(kErrSmallTableCodigoRepetido);
  }
  int32_t seq = 0, loca = 0;
  Inteiro(c, "@seq", &seq);
  Inteiro(c, "@loca", &loca);
  c.Exec(
      "INSERT INTO oco_tipo (id, seq, abrv, nome, loca, lb1, lb2) VALUES (?, ?, ?, ?, ?, ?, ?) "
      "ON CONFLICT (id) DO UPDATE SET seq = excluded.seq, abrv = excluded.abrv, "
      "nome = excluded.nome, loca = excluded.loca, lb1 = excluded.lb1, lb2 = excluded.lb2",
      {Value::Int(id), Value::Int(seq), Value::String(abrv), Value::String(nome), Value::Int(loca),
       Value::String(Texto(c, "@lb1")), Value::String(Texto(c, "@lb2"))});
}

// Sets one column of an account's settings, adding the account's row when
// it has none; 50401 for an invalid account.
void PoeAjusteDaConta(ProcContext& c, const char* coluna, int32_t valor) {
  int32_t conta = 0;
  if (!Inteiro(c, "@IdConta", &conta) || conta < kPrimeiraConta || conta > kUltimaConta) {
    return c.Return(kErrSmallTableIdInvalido);
  }
  c.Exec(std::string("INSERT INTO conta_bal_ajuste (id_conta, ") + coluna +
             ") VALUES (?, ?) ON CONFLICT (id_conta) DO UPDATE SET " + coluna + " = excluded." +
             coluna,
         {Value::Int(conta), Value::Int(valor)});
}

void HideNoZunInputPut(ProcContext& c) { PoeAjusteDaConta(c, "hide_no_zuninput", 1); }

void BlocoPadraoNaDigitacaoPut(ProcContext& c) {
  int32_t num = 0;
  const bool ok =
      Inteiro(c, "@Num", &num) && num >= 0 &&
      (num == 0 || TemLinha(c, "SELECT 1 FROM bloco_conta_bal WHERE id = ?", {Value::Int(num)}));
  if (!ok) return c.Return(kErrBlocoDesconhecido);
  PoeAjusteDaConta(c, "bloco_padrao_na_digitacao", num);
}

void IdentificacaoDeContasPut(ProcContext& c) {
  int32_t identificacao = 0;
  if (!Inteiro(c, "@Identificacao", &identificacao) || identificacao < 0) {
    return c.Return(kErrIdentificacaoInvalida);
  }
  PoeAjusteDaConta(c, "identificacao_de_contas", identificacao);
}

// Adds or changes an entry of the choice list of "@FC":
// - "@id_new": a new entry with the next free id; a document id already in
//   the list is refused;
// - else "@id_id" of 1 or more: that entry's names (and document id, when
//   one is given) change;
// - else "@id_doc": the entry with that document id changes, or a new one
//   with the next free id gets it.
void AddListChoice(ProcContext& c) {
  int32_t fc = 0;
  if (!Inteiro(c, "@FC", &fc) || !TemListaDeValores(fc)) {
    return c.Return(kErrTipoSemListaDeValores);
  }
  const std::string pt = Texto(c, "@nomePT"), en = Texto(c, "@nomeEN"), es = Texto(c, "@nomeES");
  if (pt.empty() && en.empty() && es.empty()) return c.Return(kErrEscolhaSemNome);
  const std::string doc = Texto(c, "@id_doc");
  const bool novo = !c.In("@id_new").IsNull() && c.In("@id_new").AsBool();
  int32_t id = 0;
  if (!novo) Inteiro(c, "@id_id", &id);

  // The entry that holds doc, 0 for none.
  int32_t dono_do_doc = 0;
  if (!doc.empty()) {
    Recordset rs =
        c.Query("SELECT id FROM campo_lista_valores WHERE formatocampo = ? AND id_doc = ?",
                {Value::Int(fc), Value::String(doc)});
    if (rs.RecordCount() > 0) {
      rs.First();
      dono_do_doc = rs.Field(0).AsInt();
    }
  }
  if (!novo && id < 1) id = dono_do_doc;
  if (!novo && id < 1 && doc.empty()) return c.Return(kErrEscolhaDesconhecida);
  if (dono_do_doc != 0 && (novo || dono_do_doc != id)) return c.Return(kErrDocumentoRepetido);

  const bool existe = id >= 1 && TemLinha(c,
                                          "SELECT 1 FROM campo_lista_valores WHERE "
                                          "formatocampo = ? AND id = ?",
                                          {Value::Int(fc), Value::Int(id)});
  if (existe) {
    c.Exec(
        "UPDATE campo_lista_valores SET nome_pt = ?, nome_en = ?, nome_es = ?, "
        "id_doc = CASE WHEN ? = '' THEN id_doc ELSE ? END WHERE formatocampo = ? AND id = ?",
        {Value::String(pt), Value::String(en), Value::String(es), Value::String(doc),
         Value::String(doc), Value::Int(fc), Value::Int(id)});
    return;
  }
  if (id >= 1) return c.Return(kErrEscolhaDesconhecida);
  c.Exec(
      "INSERT INTO campo_lista_valores (formatocampo, id, id_doc, nome_pt, nome_en, nome_es) "
      "SELECT ?1, COALESCE(MAX(id), 0) + 1, ?2, ?3, ?4, ?5 FROM campo_lista_valores "
      "WHERE formatocampo = ?1",
      {Value::Int(fc), Value::String(doc), Value::String(pt), Value::String(en),
       Value::String(es)});
}

}  // namespace

void RegisterSmallTableProcedures() {
  constexpr DataType I = DataType::kInteger;
  constexpr DataType S = DataType::kString;
  RegisterProcedure("PaisPut", {{"@id", I}, {"@cod", S}, {"@nome", S}}, PaisPut);
  RegisterProcedure("MoedaPut", {{"@id", I}, {"@cod", S}, {"@pais", I}, {"@nome", S}}, MoedaPut);
  RegisterProcedure("BolsaPut", {{"@id", I}, {"@pais", I}, {"@cod", S}, {"@codiso10383", S}},
                    BolsaPut);
  RegisterProcedure("VoteStatPut", {{"@id", I}, {"@cod", S}}, VoteStatPut);
  RegisterProcedure("HideNoZunInputPut", {{"@IdConta", I}}, HideNoZunInputPut);
  RegisterProcedure("BlocoPadraoNaDigitacaoPut", {{"@Num", I}, {"@IdConta", I}},
                    BlocoPadraoNaDigitacaoPut);
  RegisterProcedure("IdentificacaoDeContasPut", {{"@Identificacao", I}, {"@IdConta", I}},
                    IdentificacaoDeContasPut);
  RegisterProcedure(
      "OcoTipoPut",
      {{"@id", I}, {"@seq", I}, {"@abrv", S}, {"@nome", S}, {"@loca", I}, {"@lb1", S}, {"@lb2", S}},
      OcoTipoPut);
  RegisterProcedure("AddListChoice",
                    {{"@FC", I},
                     {"@id_new", DataType::kBoolean},
                     {"@id_id", I},
                     {"@id_doc", S},
                     {"@nomePT", S},
                     {"@nomeEN", S},
                     {"@nomeES", S}},
                    AddListChoice);
}

}  // namespace zun
