// The event procedures of the embedded database: corporate actions of a
// series ("PrvImport", table provento) and news of a company ("NwsImport",
// table noticia). Unknown references are refused with a code of their own
// and a refused call keeps nothing. Two outcomes the import tolerates have
// the codes the program knows: a record about a series or company this
// database does not hold (3758, 3752), and a call with nothing to do
// (8604).
#include <string>
#include <vector>

#include "embedded/codes.h"
#include "embedded/proc_inputs.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"
#include "foundation/text.h"

namespace zun {

namespace {

// A moeda of -1 asks for the deletion of the event.
constexpr int32_t kMoedaDaExclusao = -1;

// The text of a code parameter without outer blanks.
std::string Codigo(const ProcContext& c, const char* name) {
  return AparaBrancos(c.In(name).AsString());
}

bool Existe(ProcContext& c, const char* sql, const std::vector<Value>& binds) {
  return c.Query(sql, binds).RecordCount() > 0;
}

// The id of the first row of sql, 0 when it has none.
int32_t IdDe(ProcContext& c, const char* sql, const std::vector<Value>& binds) {
  Recordset rs = c.Query(sql, binds);
  if (rs.RecordCount() == 0) return 0;
  rs.First();
  return rs.Field(0).AsInt();
}

// A factor as stored: the value sent, or dflt for NULL.
Value Fator(const ProcContext& c, const char* name, double dflt) {
  const Value& v = c.In(name);
  return v.IsNull() ? Value::Double(dflt) : v;
}

// Records, replaces or (moeda -1) deletes the corporate action of series
// (@ticker, @bolsa) with ex-date @udex, type @tipo and number @seq.
void PrvImport(ProcContext& c) {
  const int32_t bolsa = InInt(c, "@bolsa", -1);
  const Value udex = c.In("@udex");
  const int32_t tipo = InInt(c, "@tipo", -1);
  const int32_t seq = InInt(c, "@seq", -1);
  const int32_t moeda = InInt(c, "@moeda", -2);
  const bool exclusao = moeda == kMoedaDaExclusao;
  if (!Existe(c, "SELECT 1 FROM bolsa WHERE id = ?", {Value::Int(bolsa)})) {
    return c.Return(kErrDbPrvBolsaDesconhecida);
  }
  if (udex.IsNull()) return c.Return(kErrDbPrvUdexNula);
  if (!Existe(c, "SELECT 1 FROM oco_tipo WHERE id = ?", {Value::Int(tipo)})) {
    return c.Return(kErrDbPrvTipoDesconhecido);
  }
  if (seq < 0) return c.Return(kErrDbPrvSeqInvalida);
  if (!exclusao && !Existe(c, "SELECT 1 FROM moeda WHERE id = ?", {Value::Int(moeda)})) {
    return c.Return(kErrDbPrvMoedaDesconhecida);
  }
  if (!exclusao && tipo == 0) return c.Return(kErrDbPrvTipoZero);
  const int32_t anb = IdDe(c, "SELECT id FROM anb WHERE bolsa = ? AND cod = ? COLLATE NOCASE",
                           {Value::Int(bolsa), Value::String(Codigo(c, "@ticker"))});
  if (anb == 0) return c.Return(kDbPrvSerieDesconhecida);
  const std::vector<Value> chave = {Value::Int(anb), udex, Value::Int(tipo), Value::Int(seq)};
  if (exclusao) {
    const int n =
        c.Exec("DELETE FROM provento WHERE anb = ? AND udex = ? AND tipo = ? AND seq = ?", chave);
    if (n == 0) c.Return(kDbEventoNadaAFazer);
    return;
  }
  std::vector<Value> binds = chave;
  for (const Value& v :
       {Value::Int(moeda), Value::Int(InInt(c, "@loca", 0)), c.In("@acoes"), c.In("@valor"),
        Fator(c, "@cotA", 1), Fator(c, "@cotB", 0), Fator(c, "@titA", 1), Fator(c, "@titB", 0),
        Fator(c, "@qacA", 1), Fator(c, "@qacB", 0)}) {
    binds.push_back(v);
  }
  c.Exec(
      "INSERT OR REPLACE INTO provento (anb, udex, tipo, seq, moeda, loca, acoes, valor, cot_a, "
      "cot_b, tit_a, tit_b, qac_a, qac_b) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      binds);
}

// Stores the news text @txt of company (@cod, @pais) published on @date
// as number @seq; -1 appends it with the next free number unless the same
// text is already stored for that company and date.
void NwsImport(ProcContext& c) {
  const int32_t pais = InInt(c, "@pais", -1);
  const Value date = c.In("@date");
  int32_t seq = InInt(c, "@seq", -2);
  const Value txt = Value::String(c.In("@txt").AsString());
  if (!Existe(c, "SELECT 1 FROM pais WHERE id = ?", {Value::Int(pais)})) {
    return c.Return(kErrDbNwsPaisDesconhecido);
  }
  if (date.IsNull()) return c.Return(kErrDbNwsDataNula);
  if (seq < -1) return c.Return(kErrDbNwsSeqInvalida);
  if (txt.Bytes().empty()) return c.Return(kErrDbNwsTextoVazio);
  const int32_t emp = IdDe(c, "SELECT id FROM empresa WHERE pais = ? AND cod = ? COLLATE NOCASE",
                           {Value::Int(pais), Value::String(Codigo(c, "@cod"))});
  if (emp == 0) return c.Return(kDbNwsEmpDesconhecida);
  if (seq == -1) {
    if (Existe(c, "SELECT 1 FROM noticia WHERE emp = ? AND date = ? AND txt = ?",
               {Value::Int(emp), date, txt})) {
      return c.Return(kDbEventoNadaAFazer);
    }
    seq = IdDe(c, "SELECT COALESCE(MAX(seq) + 1, 0) FROM noticia WHERE emp = ? AND date = ?",
               {Value::Int(emp), date});
  }
  c.Exec("INSERT OR REPLACE INTO noticia (emp, date, seq, dra, txt) VALUES (?, ?, ?, ?, ?)",
         {Value::Int(emp), date, Value::Int(seq), c.In("@dra"), txt});
}

ProcParam P(const char* name, DataType type) { return {name, type, ParamDirection::kInput}; }

}  // namespace

void RegisterEventProcedures() {
  const DataType I = DataType::kInteger;
  const DataType F = DataType::kDouble;
  const DataType D = DataType::kDateTime;
  const DataType S = DataType::kString;
  RegisterProcedure("PrvImport",
                    {P("@ticker", S), P("@bolsa", I), P("@udex", D), P("@seq", I), P("@tipo", I),
                     P("@moeda", I), P("@loca", I), P("@acoes", F), P("@valor", F), P("@cotA", F),
                     P("@cotB", F), P("@titA", F), P("@titB", F), P("@qacA", F), P("@qacB", F)},
                    PrvImport);
  RegisterProcedure(
      "NwsImport",
      {P("@cod", S), P("@pais", I), P("@date", D), P("@seq", I), P("@dra", D), P("@txt", S)},
      NwsImport);
}

}  // namespace zun
