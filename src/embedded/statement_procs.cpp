// The statement procedures of the reference database: the account plan and
// its blocks, statement formats and their lines, and statements.
//
// Accounts are read with their entry settings (conta_bal_ajuste) and their
// names joined as multilingual texts ("Portuguese|English|Spanish"). A
// statement is written header first ("BalHeadPutV2", which inserts a new
// statement or updates the one with the same key or id); its cells are
// plain rows of BalancoUmaConta that the program writes itself, logged in
// balanco_conta_log unless the statement is marked not to log.
#include "embedded/codes.h"

#include <string>
#include <vector>

#include "embedded/proc_inputs.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"

namespace zun {

namespace {

constexpr const char* kCaracs[] = {"periodizavel",
                                   "periodizcalc",
                                   "emmoeda",
                                   "03",
                                   "04",
                                   "afetadaporlote",
                                   "doresumo",
                                   "ehporacao",
                                   "hidenaesctreco",
                                   "oferecepribal",
                                   "10",
                                   "11",
                                   "12",
                                   "13",
                                   "14",
                                   "15"};

std::string Texto(const ProcContext& c, const char* name) { return c.In(name).AsString(); }

bool Existe(ProcContext& c, const std::string& sql, const std::vector<Value>& binds) {
  return c.Query(sql, binds).RecordCount() > 0;
}

// The columns of an account as the program reads them.
std::string SelectDeConta() {
  std::string sql =
      "SELECT c.id, c.nome_extenso_por || '|' || c.nome_extenso_ing || '|' || c.nome_extenso_esp "
      "AS Nome_Extenso, c.nome_compacto_por || '|' || c.nome_compacto_ing || '|' || "
      "c.nome_compacto_esp AS Nome_Compacto, c.bloco AS Bloco, c.ordemnobloco AS OrdemNoBloco, "
      "c.decimais AS Decimais, c.formatacao AS Formatacao";
  for (const char* k : kCaracs) sql += std::string(", c.carac_") + k;
  sql +=
      ", c.comocalcular, c.comocalcular_num AS comocalcular_Num, "
      "COALESCE(a.hide_no_zuninput, 0) AS HideNoZunInput, "
      "COALESCE(a.bloco_padrao_na_digitacao, 0) AS BlocoPadraoNaDigitacao "
      "FROM conta_bal c LEFT JOIN conta_bal_ajuste a ON a.id_conta = c.id";
  return sql;
}

bool FormatoExiste(ProcContext& c, int32_t id) {
  return Existe(c, "SELECT 1 FROM fmt_bal WHERE id = ?", {Value::Int(id)});
}

void ContaBalGet(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  if (id < 1 || id > 6000) return c.Return(kErrContaBalForaDaFaixa);
  Recordset rs = c.Query(SelectDeConta() + " WHERE c.id = ?", {Value::Int(id)});
  if (rs.RecordCount() == 0) return c.Return(kErrContaBalDesconhecida);
  c.AddResult(std::move(rs));
}

void ContaBalDoFBalGet(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  if (!FormatoExiste(c, id)) return c.Return(kErrFormatoBalDesconhecido);
  c.AddResult(c.Query(SelectDeConta() +
                          " WHERE c.id IN (SELECT conta FROM ApresFmtBalItems WHERE fmtbal = ? "
                          "AND tipo IN (0, 3)) ORDER BY c.id",
                      {Value::Int(id)}));
}

void ContaBalPut(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  if (id < 1 || id > 6000) return c.Return(kErrContaBalForaDaFaixa);
  static const char* const kNomes[] = {"@nome_extenso_Por",  "@nome_extenso_Ing",
                                       "@nome_extenso_Esp",  "@nome_compacto_Por",
                                       "@nome_compacto_Ing", "@nome_compacto_Esp"};
  std::vector<Value> v = {Value::Int(id)};
  for (const char* n : kNomes) {
    if (Texto(c, n).empty()) return c.Return(kErrBalTextoVazio);
    v.push_back(Value::String(Texto(c, n)));
  }
  const int32_t bloco = InInt(c, "@bloco");
  if (!Existe(c, "SELECT 1 FROM bloco_conta_bal WHERE id = ?", {Value::Int(bloco)})) {
    return c.Return(kErrContaBalBlocoDesconhecido);
  }
  for (const char* n : {"@bloco", "@ordemnobloco", "@decimais", "@formatacao"}) {
    v.push_back(Value::Int(InInt(c, n)));
  }
  std::string cols =
      "id, nome_extenso_por, nome_extenso_ing, nome_extenso_esp, nome_compacto_por, "
      "nome_compacto_ing, nome_compacto_esp, bloco, ordemnobloco, decimais, formatacao";
  for (const char* k : kCaracs) {
    cols += std::string(", carac_") + k;
    v.push_back(Value::Int(InBool(c, (std::string("@carac_") + k).c_str()) ? 1 : 0));
  }
  cols += ", comocalcular, comocalcular_num";
  v.push_back(Value::Int(InInt(c, "@comocalcular")));
  v.push_back(Value::Int(InInt(c, "@comocalcular_num")));
  std::string marcas;
  for (size_t i = 0; i < v.size(); ++i) marcas += i == 0 ? "?" : ", ?";
  // An update in place: statements and formats refer to the account.
  std::string sets;
  for (size_t i = 0, j = 0; i <= cols.size(); ++i) {
    if (i < cols.size() && cols[i] != ',') continue;
    const std::string col = cols.substr(j, i - j);
    j = i + 2;
    if (col == "id") continue;
    sets += (sets.empty() ? "" : ", ") + col + " = excluded." + col;
  }
  c.Exec("INSERT INTO conta_bal (" + cols + ") VALUES (" + marcas +
             ") ON CONFLICT (id) DO UPDATE SET " + sets,
         v);
  if (InBool(c, "@ComCamposExtraZun")) {
    c.Exec(
        "INSERT INTO conta_bal_ajuste (id_conta, hide_no_zuninput, bloco_padrao_na_digitacao) "
        "VALUES (?, ?, ?) ON CONFLICT (id_conta) DO UPDATE SET hide_no_zuninput = "
        "excluded.hide_no_zuninput, bloco_padrao_na_digitacao = excluded.bloco_padrao_na_digitacao",
        {Value::Int(id), Value::Int(InBool(c, "@HideNoZunInput") ? 1 : 0),
         Value::Int(InInt(c, "@BlocoPadraoNaDigitacao"))});
  }
}

void ContaBalDel(ProcContext& c) {
  const Value id = Value::Int(InInt(c, "@id"));
  if (!Existe(c, "SELECT 1 FROM conta_bal WHERE id = ?", {id})) {
    return c.Return(kErrContaBalDesconhecida);
  }
  if (Existe(c, "SELECT 1 FROM BalancoUmaConta WHERE conta = ?", {id})) {
    return c.Return(kErrContaBalComValores);
  }
  if (Existe(c, "SELECT 1 FROM ApresFmtBalItems WHERE conta = ? AND tipo IN (0, 3)", {id})) {
    return c.Return(kErrContaBalNoFormato);
  }
  c.Exec("DELETE FROM conta_bal WHERE id = ?", {id});
}

void BlocoContaBalPut(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  if (id < 1) return c.Return(kErrBlocoContaBalInvalido);
  const std::string nome =
      Texto(c, "@nomePor") + "|" + Texto(c, "@nomeIng") + "|" + Texto(c, "@nomeEsp");
  c.Exec(
      "INSERT INTO bloco_conta_bal (id, nome) VALUES (?, ?) ON CONFLICT (id) DO UPDATE SET "
      "nome = excluded.nome",
      {Value::Int(id), Value::String(nome)});
}

void FormatoBalPut(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  // 0 is a company's "no format": no format may take it.
  if (id < 1) return c.Return(kErrFormatoBalInvalido);
  const int32_t pais = InInt(c, "@pais");
  if (!Existe(c, "SELECT 1 FROM pais WHERE id = ?", {Value::Int(pais)})) {
    return c.Return(kErrFormatoBalPaisDesconhecido);
  }
  const std::string nome = Texto(c, "@nome");
  if (nome.empty()) return c.Return(kErrBalTextoVazio);
  c.Exec(
      "INSERT INTO fmt_bal (id, nome, pais) VALUES (?, ?, ?) ON CONFLICT (id) DO UPDATE SET "
      "nome = excluded.nome, pais = excluded.pais",
      {Value::Int(id), Value::String(nome), Value::Int(pais)});
}

void ApresFmtBalItemsGet(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  if (!FormatoExiste(c, id)) return c.Return(kErrFormatoBalDesconhecido);
  // An account line without an identification code of its own takes the
  // account's ("IdentificacaoDeContasPut"): lines written from import files
  // always carry 0, so that is where an import sets it.
  c.AddResult(
      c.Query("SELECT i.fmtbal, i.seq, i.tipo, i.conta, i.sinal, i.indentacao, i.anvert, i.hidden, "
              "i.cafecomleite, i.bloco, i.NaoPodeCalcular, i.NaoPodeDigitar, "
              "CASE WHEN i.IdentificacaoDeContas <> 0 OR i.tipo NOT IN (0, 3) "
              "THEN i.IdentificacaoDeContas ELSE coalesce(a.identificacao_de_contas, 0) END "
              "AS IdentificacaoDeContas FROM ApresFmtBalItems i LEFT JOIN conta_bal_ajuste a "
              "ON a.id_conta = i.conta WHERE i.fmtbal = ? ORDER BY i.seq",
              {Value::Int(id)}));
}

// The header columns in the order of the outputs of "BalGetPelaDataCons".
void BalGetPelaDataCons(ProcContext& c) {
  Recordset rs = c.Query(
      "SELECT id, empresa, dataref, consolidado, sourcedobal, meses, datamoeda, moeda, "
      "datadivulgacao, dataultalteracao, corrmon, incompleto, checagemfalhou, "
      "aceitarfalhanachecagem, tipodocumento FROM balanco WHERE empresa = ? AND dataref = ? AND "
      "consolidado = ? AND tipodocumento = ? AND sourcedobal = ?",
      {Value::Int(InInt(c, "@Empresa")), c.In("@DataRef"), Value::Int(InBool(c, "@Consolidado")),
       Value::Int(InInt(c, "@TipoDocumento")), Value::Int(InInt(c, "@SourceDoBal"))});
  if (rs.RecordCount() == 0) return c.Return(kErrBalNaoEncontrado);
  rs.First();
  static const char* const kSaidas[] = {"@id",
                                        "@empresa",
                                        "@dataref",
                                        "@consolidado",
                                        "@sourcedobal",
                                        "@meses",
                                        "@datamoeda",
                                        "@moeda",
                                        "@datadivulgacao",
                                        "@DataUltAlteracao",
                                        "@corrmon",
                                        "@Incompleto",
                                        "@ChecagemFalhou",
                                        "@AceitarFalhaNaChecagem",
                                        "@TipoDocumento"};
  for (int i = 0; i < 15; ++i) c.Out(kSaidas[i], rs.Field(i));
  c.AddResult(
      c.Query("SELECT conta, valor, CalcOuRx, De3Meses FROM BalancoUmaConta "
              "WHERE balanco = ? ORDER BY De3Meses, conta",
              {rs.Field(0)}));
}

void BalHeadPutV2(ProcContext& c) {
  const int32_t empresa = InInt(c, "@empresa");
  if (!Existe(c, "SELECT 1 FROM empresa WHERE id = ?", {Value::Int(empresa)})) {
    return c.Return(kErrBalEmpresaDesconhecida);
  }
  if (c.In("@DataRef").IsNull()) return c.Return(kErrBalSemDataRef);
  const int32_t consolidado = InInt(c, "@Consolidado"), source = InInt(c, "@SourceDoBal"),
                tipodoc = InInt(c, "@TipoDocumento"), checagem = InInt(c, "@ChecagemFalhou");
  if (consolidado < 0 || consolidado > 1 || source < 0 || source > 7 || tipodoc < 0 ||
      tipodoc > 1 || checagem < 0 || checagem > 2) {
    return c.Return(kErrBalCabecalhoForaDaFaixa);
  }
  const std::vector<Value> chave = {Value::Int(empresa), c.In("@DataRef"), Value::Int(consolidado),
                                    Value::Int(tipodoc), Value::Int(source)};
  Recordset mesma = c.Query(
      "SELECT id FROM balanco WHERE empresa = ? AND dataref = ? AND consolidado = ? AND "
      "tipodocumento = ? AND sourcedobal = ?",
      chave);
  int32_t id = InInt(c, "@id");
  int32_t dono_da_chave = 0;
  if (mesma.RecordCount() > 0) {
    mesma.First();
    dono_da_chave = mesma.Field(0).AsInt();
  }
  if (id != 0) {
    if (!Existe(c, "SELECT 1 FROM balanco WHERE id = ?", {Value::Int(id)})) {
      return c.Return(kErrBalDesconhecido);
    }
    if (dono_da_chave != 0 && dono_da_chave != id) return c.Return(kErrBalChaveRepetida);
  } else {
    id = dono_da_chave;
  }
  std::vector<Value> v = chave;
  for (const char* n : {"@Meses", "@Moeda"}) v.push_back(Value::Int(InInt(c, n)));
  v.push_back(c.In("@DataMoeda"));
  v.push_back(c.In("@DataDivulgacao"));
  v.push_back(Value::Int(InInt(c, "@CorrMon")));
  v.push_back(Value::Int(InBool(c, "@Incompleto") ? 1 : 0));
  v.push_back(Value::Int(checagem));
  v.push_back(Value::Int(InBool(c, "@AceitarFalhaNaChecagem") ? 1 : 0));
  v.push_back(Value::Int(InInt(c, "@BalEntrouComoNovoBD") != 0 ? 1 : 0));
  const bool novo = id == 0;
  if (novo) {
    c.Exec(
        "INSERT INTO balanco (empresa, dataref, consolidado, tipodocumento, sourcedobal, meses, "
        "moeda, datamoeda, datadivulgacao, corrmon, incompleto, checagemfalhou, "
        "aceitarfalhanachecagem, balentroucomonovobd, dataultalteracao) VALUES "
        "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, datetime('now', 'localtime'))",
        v);
    id = static_cast<int32_t>(c.LastInsertId());
  } else {
    v.push_back(Value::Int(id));
    c.Exec(
        "UPDATE balanco SET empresa = ?, dataref = ?, consolidado = ?, tipodocumento = ?, "
        "sourcedobal = ?, meses = ?, moeda = ?, datamoeda = ?, datadivulgacao = ?, corrmon = ?, "
        "incompleto = ?, checagemfalhou = ?, aceitarfalhanachecagem = ?, balentroucomonovobd = ?, "
        "dataultalteracao = datetime('now', 'localtime') WHERE id = ?",
        v);
  }
  c.Out("@id", Value::Int(id));
  c.Out("@InsertOuUpdate", Value::Bool(novo));
}

void MarcaNaoLoga(ProcContext& c, int marca) {
  if (c.Exec("UPDATE balanco SET nao_loga_contas = ? WHERE id = ?",
             {Value::Int(marca), Value::Int(InInt(c, "@id"))}) == 0) {
    c.Return(kErrBalDesconhecido);
  }
}

}  // namespace

void RegisterStatementProcedures() {
  constexpr DataType I = DataType::kInteger;
  constexpr DataType S = DataType::kString;
  constexpr DataType B = DataType::kBoolean;
  constexpr DataType D = DataType::kDateTime;
  constexpr ParamDirection O = ParamDirection::kOutput;
  constexpr ParamDirection IO = ParamDirection::kInputOutput;
  RegisterProcedure("ContaBalGet", {{"@id", I}}, ContaBalGet, true);
  RegisterProcedure("ContaBalDoFBalGet", {{"@id", I}}, ContaBalDoFBalGet, true);
  std::vector<ProcParam> put = {{"@id", I},
                                {"@nome_extenso_Por", S},
                                {"@nome_extenso_Ing", S},
                                {"@nome_extenso_Esp", S},
                                {"@nome_compacto_Por", S},
                                {"@nome_compacto_Ing", S},
                                {"@nome_compacto_Esp", S},
                                {"@bloco", I},
                                {"@ordemnobloco", I},
                                {"@decimais", I},
                                {"@formatacao", I}};
  for (const char* k : kCaracs) put.push_back({std::string("@carac_") + k, B});
  for (const char* n : {"@comocalcular", "@comocalcular_num"}) put.push_back({n, I});
  put.push_back({"@HideNoZunInput", B});
  put.push_back({"@BlocoPadraoNaDigitacao", I});
  put.push_back({"@ComCamposExtraZun", B});
  RegisterProcedure("ContaBalPut", put, ContaBalPut);
  RegisterProcedure("ContaBalDel", {{"@id", I}}, ContaBalDel);
  RegisterProcedure("BlocoContaBalPut",
                    {{"@id", I}, {"@nomePor", S}, {"@nomeIng", S}, {"@nomeEsp", S}},
                    BlocoContaBalPut);
  RegisterProcedure("FormatoBalPut", {{"@id", I}, {"@pais", I}, {"@nome", S}}, FormatoBalPut);
  RegisterProcedure("ApresFmtBalItemsGet", {{"@id", I}}, ApresFmtBalItemsGet, true);
  RegisterProcedure("BalGetPelaDataCons",
                    {{"@Empresa", I, IO},
                     {"@DataRef", D, IO},
                     {"@Consolidado", I, IO},
                     {"@TipoDocumento", I, IO},
                     {"@SourceDoBal", I, IO},
                     {"@id", I, O},
                     {"@meses", I, O},
                     {"@datamoeda", D, O},
                     {"@moeda", I, O},
                     {"@datadivulgacao", D, O},
                     {"@DataUltAlteracao", D, O},
                     {"@corrmon", I, O},
                     {"@Incompleto", B, O},
                     {"@ChecagemFalhou", I, O},
                     {"@AceitarFalhaNaChecagem", B, O}},
                    BalGetPelaDataCons, true);
  RegisterProcedure("BalHeadPutV2",
                    {{"@id", I, IO},
                     {"@empresa", I},
                     {"@DataRef", D},
                     {"@Consolidado", I},
                     {"@SourceDoBal", I},
                     {"@Meses", I},
                     {"@Moeda", I},
                     {"@DataMoeda", D},
                     {"@DataDivulgacao", D},
                     {"@CorrMon", I},
                     {"@Incompleto", B},
                     {"@ChecagemFalhou", I},
                     {"@AceitarFalhaNaChecagem", B},
                     {"@BalEntrouComoNovoBD", I},
                     {"@TipoDocumento", I},
                     {"@InsertOuUpdate", B, O}},
                    BalHeadPutV2);
  RegisterProcedure("BalancoNaoLogaContasAdd", {{"@id", I}},
                    [](ProcContext& c) { MarcaNaoLoga(c, 1); });
  RegisterProcedure("BalancoNaoLogaContasDel", {{"@id", I}},
                    [](ProcContext& c) { MarcaNaoLoga(c, 0); });
}

}  // namespace zun
