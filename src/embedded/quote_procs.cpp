// The quote procedures of the embedded database: one row per series and day
// ("cotacao") with twelve values, each of which may be NULL. A write names
// its series by code and exchange, may keep stored values ("@keepvlr"),
// may refuse to overwrite ("@NoOverwrite"), may depend on a condition on a
// stored value ("@IfOperador"), and adds one data-log entry per quote
// written unless the quote belongs to a bulletin logged as a whole
// ("@NaoLogar").
#include "embedded/quote_procs.h"

#include <array>
#include <string>
#include <vector>

#include "embedded/proc_inputs.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"

namespace zun {

namespace {

constexpr int kValores = 12;

// The series of "@ticker" on "@bolsa"; 0 when none.
int32_t Serie(ProcContext& c) {
  const Value& cod = c.In("@ticker");
  const std::vector<Value> serie =
      SerieDaBolsa(c, InInt(c, "@bolsa"), cod.IsNull() ? std::string() : cod.AsString());
  return serie.empty() ? 0 : serie[0].AsInt();
}

// The condition of operator op on the stored value termo1 (NULL when the
// series has no quote that day or that value is not stored) and termo2.
bool CondicaoVale(int32_t op, const Value& termo1, const Value& termo2) {
  switch (op) {
    case kOpTemValor:
      return !termo1.IsNull();
    case kOpSempre:
      return true;
    case kOpNulo:
      return termo1.IsNull();
    default:
      break;
  }
  const bool ou_nulo = op >= kOpIgualOuNulo && op <= kOpMaiorOuNulo;
  if (termo1.IsNull()) return ou_nulo;
  if (termo2.IsNull()) return false;
  const double a = termo1.AsDouble(), b = termo2.AsDouble();
  switch (op) {
    case kOpIgualOuNulo:
    case kOpIgual:
      return a == b;
    case kOpDiferenteOuNulo:
    case kOpDiferente:
      return a != b;
    case kOpMenorOuNulo:
    case kOpMenor:
      return a < b;
    default:  // kOpMaiorOuNulo, kOpMaior
      return a > b;
  }
}

void AdicionaDataLog(ProcContext& c, int32_t tip, int32_t oid, int32_t aux, const Value& date) {
  c.Exec(
      "INSERT INTO data_log (tip, oid, aux, date, txt, user_name, mom) "
      "VALUES (?, ?, ?, ?, NULL, ?, datetime('now'))",
      {Value::Int(tip), Value::Int(oid), Value::Int(aux), date, Value::String(c.CurrentUser())});
}

// The names of the twelve values and of their keep flags.
struct NomesDoValor {
  std::string valor, keep;
};
const std::array<NomesDoValor, kValores>& NomesDosValores() {
  static const std::array<NomesDoValor, kValores> nomes = [] {
    std::array<NomesDoValor, kValores> n;
    for (int i = 0; i < kValores; ++i) {
      n[i] = {"@valor" + std::to_string(i + 1), "@keepvlr" + std::to_string(i + 1)};
    }
    return n;
  }();
  return nomes;
}

// The write of a quote, in one statement: a new quote is inserted (kept
// values NULL); a stored one is updated only when a value that is not kept
// changes. A value is kept when its "@keepvlr" flag is set
// or, with "@NoOverwrite", when it is stored. Parameters: ?1 the series, ?2
// the day, ?3..?14 the values, ?15 the keep flags (bit i-1 for value i),
// ?16 "@NoOverwrite".
const std::string& EscritaDaCotacao() {
  static const std::string sql = [] {
    std::string colunas, valores, sets, muda;
    for (int i = 1; i <= kValores; ++i) {
      const std::string v = "valor" + std::to_string(i);
      const std::string mantem =
          "((?15 >> " + std::to_string(i - 1) + ") & 1 OR (?16 AND " + v + " IS NOT NULL))";
      colunas += ", " + v;
      valores += ", ?" + std::to_string(2 + i);
      sets += std::string(i > 1 ? ", " : "") + v + " = CASE WHEN " + mantem + " THEN " + v +
              " ELSE excluded." + v + " END";
      muda += std::string(i > 1 ? " OR " : "") + "(NOT " + mantem + " AND excluded." + v +
              " IS NOT " + v + ")";
    }
    return "INSERT INTO cotacao (anb, data" + colunas + ") VALUES (?1, ?2" + valores +
           ") ON CONFLICT (anb, data) DO UPDATE SET " + sets + " WHERE " + muda;
  }();
  return sql;
}

void CotacaoImportV3(ProcContext& c) {
  // The inputs are read in the order of the signature: each name is then
  // found at the first compare.
  const int32_t anb = Serie(c);
  const Value& date = c.In("@date");
  const std::array<NomesDoValor, kValores>& nomes = NomesDosValores();
  std::array<const Value*, kValores> valor;
  std::array<bool, kValores> keep;
  for (int i = 0; i < kValores; ++i) {
    valor[i] = &c.In(nomes[i].valor);
    const Value& k = c.In(nomes[i].keep);
    keep[i] = !k.IsNull() && k.AsBool();
  }
  const bool no_overwrite = InBool(c, "@NoOverwrite");
  const bool nao_logar = InBool(c, "@NaoLogar");
  const int32_t op = InInt(c, "@IfOperador");
  const int32_t termo1 = InInt(c, "@IfValorTermo1");
  const Value& termo2 = c.In("@IfTermo2");
  if (anb == 0) return c.Return(kErrCotacaoSerieDesconhecida);
  if (date.IsNull()) return c.Return(kErrCotacaoSemData);
  if (op < kOpSemCondicao || op > kOpMaior) return c.Return(kErrCotacaoCondicaoInvalida);
  if (op != kOpSemCondicao && (termo1 < 1 || termo1 > kValores)) {
    return c.Return(kErrCotacaoCondicaoInvalida);
  }
  if (op != kOpSemCondicao) {
    // The condition looks at one stored value first (NULL without a quote).
    Recordset rs = c.Query(
        "SELECT valor" + std::to_string(termo1) + " FROM cotacao WHERE anb = ? AND data = ?",
        {Value::Int(anb), date});
    Value guardado;
    if (rs.RecordCount() > 0) {
      rs.First();
      guardado = rs.Field(0);
    }
    if (!CondicaoVale(op, guardado, termo2)) return c.Return(kCotacaoCondicaoFalsa);
  }
  std::vector<Value> binds = {Value::Int(anb), date};
  binds.reserve(4 + kValores);
  int32_t mantidos = 0;
  for (int i = 0; i < kValores; ++i) {
    const Value& v = *valor[i];
    binds.push_back(keep[i] || v.IsNull() ? Value::Null() : Value::Double(v.AsDouble()));
    if (keep[i]) mantidos |= 1 << i;
  }
  binds.push_back(Value::Int(mantidos));
  binds.push_back(Value::Bool(no_overwrite));
  const bool escreveu = c.Exec(EscritaDaCotacao(), binds) > 0;
  if (!escreveu) return c.Return(no_overwrite ? kCotacaoNadaMudou : kCotacaoIgual);
  if (!nao_logar) AdicionaDataLog(c, kDataLogCotacao, anb, 0, date);
}

void CotacaoImportDelRange(ProcContext& c) {
  const int32_t anb = Serie(c);
  if (anb == 0) return c.Return(kErrCotacaoSerieDesconhecida);
  const Value& de = c.In("@datefrom");
  const Value& ate = c.In("@dateto");
  if (de.IsNull() && ate.IsNull()) return c.Return(kErrCotacaoIntervaloAberto);
  if (!de.IsNull() && !ate.IsNull() && de.AsDateTime() > ate.AsDateTime()) {
    return c.Return(kErrCotacaoIntervaloInvertido);
  }
  // An open end reaches the first or the last quote.
  const int n = c.Exec(
      "DELETE FROM cotacao WHERE anb = ? AND (? IS NULL OR data >= ?) AND (? IS NULL OR data <= ?)",
      {Value::Int(anb), de, de, ate, ate});
  if (n == 0) return c.Return(kCotacaoNadaMudou);
  AdicionaDataLog(c, kDataLogCotacoesApagadas, anb, n, de);
}

ProcParam P(std::string name, DataType type) { return {std::move(name), type}; }

}  // namespace

int32_t EntradaDeBoletim(ProcContext& c) {
  const Value& bolsa = c.In("@oid");
  const Value& tipo = c.In("@aux");
  const Value& date = c.In("@date");
  if (c.Query("SELECT 1 FROM bolsa WHERE id = ?", {bolsa}).RecordCount() == 0) {
    return kErrBoletimBolsaDesconhecida;
  }
  if (tipo.AsInt() < 0 || tipo.AsInt() > 11) return kErrBoletimTipoInvalido;
  if (date.IsNull()) return kErrBoletimSemData;
  // A new bulletin is to be generated: the usual request, handed out by
  // "GetReqGBol" at the end of the service's run.
  c.Exec(
      "INSERT INTO reqgbol (prioridade, motivo, user_name, mom) VALUES (1, 'DataLogAdd bolsa:' || "
      "? || ' tipo:' || ? || ' data:' || substr(?, 1, 10), ?, datetime('now'))",
      {bolsa, tipo, date, Value::String(c.CurrentUser())});
  return 0;
}

void RegisterQuoteProcedures() {
  const DataType I = DataType::kInteger, F = DataType::kDouble, B = DataType::kBoolean;
  std::vector<ProcParam> sig = {P("@ticker", DataType::kString), P("@bolsa", I),
                                P("@date", DataType::kDateTime)};
  for (int i = 1; i <= kValores; ++i) {
    sig.push_back(P("@valor" + std::to_string(i), F));
    sig.push_back(P("@keepvlr" + std::to_string(i), B));
  }
  for (ProcParam p : {P("@NoOverwrite", B), P("@NaoLogar", B), P("@IfOperador", I),
                      P("@IfValorTermo1", I), P("@IfTermo2", F)}) {
    sig.push_back(std::move(p));
  }
  RegisterProcedure("CotacaoImportV3", std::move(sig), CotacaoImportV3);
  RegisterProcedure("CotacaoImportDelRange",
                    {P("@ticker", DataType::kString), P("@bolsa", I),
                     P("@datefrom", DataType::kDateTime), P("@dateto", DataType::kDateTime)},
                    CotacaoImportDelRange);
}

}  // namespace zun
