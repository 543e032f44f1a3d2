// The indicator procedures of the embedded database: the definitions, the
// values of the registry objects by date (series, assets, companies) and
// the registration formats. The list procedures answer the way the program
// opens them in mode 1: a status result set, the rows, then a final status.
#include <string>
#include <utility>
#include <vector>

#include "embedded/codes.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"

namespace zun {

namespace {

// One kind of registry object: the table of its objects and the parameter
// that carries the object's id.
struct Objeto {
  int32_t eaa;
  const char* tabela;
  const char* param;
  const char* put;
  const char* get;
};

constexpr Objeto kObjetos[] = {
    {0, "anb", "@anb", "PutValorDoIndicadorDoAnbNaData", "GetIndicadorDoAnbNaData"},
    {1, "ativo", "@atv", "PutValorDoIndicadorDoAtvNaData", "GetIndicadorDoAtvNaData"},
    {2, "empresa", "@emp", "PutValorDoIndicadorDaEmpNaData", "GetIndicadorDaEmpNaData"},
};

Recordset Status(int32_t result) {
  Recordset rs({"result"});
  rs.AddRow({Value::Int(result)});
  return rs;
}

// A list in the mode 1 shape: status 0, the rows, the final status 0.
void Lista(ProcContext& c, const std::string& sql) {
  Recordset rows = c.Query(sql);
  c.AddResult(Status(0));
  c.AddResult(std::move(rows));
  c.AddResult(Status(0));
}

// The start date as the key of valor_indicador: '' for none.
Value ChaveDaData(const Value& data) {
  if (data.IsNull()) return Value::String("");
  return Value::String(Value::DateTime(data.AsDateTime()).AsString());
}

// 0 when the object of o and the indicator exist, else the code.
int32_t ConfereObjeto(ProcContext& c, const Objeto& o) {
  const Value& id = c.In(o.param);
  if (id.IsNull()) return kErrDbValorObjetoNulo;
  if (c.Query(std::string("SELECT 1 FROM ") + o.tabela + " WHERE id = ?", {id}).RecordCount() ==
      0) {
    return kErrDbValorObjetoDesconhecido;
  }
  const Value& ind = c.In("@idindica");
  if (ind.IsNull() ||
      c.Query("SELECT 1 FROM def_indicador WHERE id = ?", {ind}).RecordCount() == 0) {
    return kErrDbValorIndicadorDesconhecido;
  }
  return 0;
}

// Writes the value of "@idindica" for the object from "@datainivigencia"
// on, replacing one of the same start date.
void PutValor(ProcContext& c, const Objeto& o) {
  const int32_t e = ConfereObjeto(c, o);
  if (e != 0) return c.Return(e);
  c.Exec(
      "INSERT OR REPLACE INTO valor_indicador "
      "(eaa, id_eaa, idindica, data_ini, valornum, valordt, valorst) VALUES (?, ?, ?, ?, ?, ?, ?)",
      {Value::Int(o.eaa), c.In(o.param), c.In("@idindica"), ChaveDaData(c.In("@datainivigencia")),
       c.In("@valornum"), c.In("@valordt"), c.In("@valorst")});
}

// The value of "@idindica" valid at "@dataVigencia": a status, one row
// (valorst, valornum, valordt; NULLs when none holds), the final status.
void GetValor(ProcContext& c, const Objeto& o) {
  int32_t e = ConfereObjeto(c, o);
  if (e == 0 && c.In("@dataVigencia").IsNull()) e = kErrDbValorDataNula;
  if (e != 0) {
    c.AddResult(Status(e));
    return;
  }
  Recordset rs = c.Query(
      "SELECT v.valorst, v.valornum, v.valordt FROM (SELECT 1) LEFT JOIN ("
      "SELECT valorst, valornum, valordt FROM valor_indicador WHERE eaa = ? AND id_eaa = ? "
      "AND idindica = ? AND data_ini <= ? ORDER BY data_ini DESC LIMIT 1) v",
      {Value::Int(o.eaa), c.In(o.param), c.In("@idindica"), ChaveDaData(c.In("@dataVigencia"))});
  c.AddResult(Status(0));
  c.AddResult(std::move(rs));
  c.AddResult(Status(0));
}

ProcParam P(const char* name, DataType type = DataType::kInteger) {
  return {name, type, ParamDirection::kInput};
}

}  // namespace

void RegisterIndicatorProcedures() {
  RegisterProcedure(
      "GetTodosDefIndicador", {},
      [](ProcContext& c) {
        Lista(c,
              "SELECT id AS Id, fc AS FC, nome_pt, nome_en, nome_es FROM def_indicador "
              "ORDER BY id");
      },
      /*read_only=*/true);
  RegisterProcedure(
      "FormatoDeCadastroList", {},
      [](ProcContext& c) {
        Lista(c,
              "SELECT id AS Id, pais AS Pais, ordem AS Ordem, titulo_pt AS TituloPT, "
              "titulo_en AS TituloEN, titulo_es AS TituloES FROM formato_cadastro ORDER BY "
              "ordem, id");
      },
      /*read_only=*/true);
  RegisterProcedure(
      "RegraDeFormatoDeCadastroList", {},
      [](ProcContext& c) {
        Lista(c,
              "SELECT tipoobj AS TipoObj, pais AS Pais, idfdc AS IdFDC "
              "FROM regra_formato_cadastro ORDER BY tipoobj, pais");
      },
      /*read_only=*/true);
  RegisterProcedure(
      "LinhaDeFormatoList", {},
      [](ProcContext& c) {
        Lista(c,
              "SELECT idfdc AS IdFDC, idlinha AS IdLinha, eaa AS EAA, "
              "tipo_linha AS TipoLinhaFormato, p1 AS P1, str_pt AS StrPT, str_en AS StrEN, "
              "str_es AS StrES, visivel_no_zun AS VisivelNoZun FROM linha_formato "
              "ORDER BY idfdc, idlinha");
      },
      /*read_only=*/true);
  for (const Objeto& o : kObjetos) {
    RegisterProcedure(o.put,
                      {P(o.param), P("@idindica"), P("@datainivigencia", DataType::kDateTime),
                       P("@valornum", DataType::kDouble), P("@valordt", DataType::kDateTime),
                       P("@valorst", DataType::kString)},
                      [&o](ProcContext& c) { PutValor(c, o); });
    RegisterProcedure(
        o.get, {P(o.param), P("@idindica"), P("@dataVigencia", DataType::kDateTime)},
        [&o](ProcContext& c) { GetValor(c, o); }, /*read_only=*/true);
  }
}

}  // namespace zun
