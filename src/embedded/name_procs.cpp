// The name-normalisation tables of the embedded database: per country, the
// abbreviations of company names (kind 1: a phrase and what replaces it)
// and the words with a fixed spelling (kind 2), handed out as one text by
// "BufPorPaisGet".
#include <string>
#include <vector>

#include "embedded/codes.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"

namespace zun {

namespace {

Recordset Status(int32_t result, int32_t tamanho) {
  Recordset rs({"result", "ConteudoLen"});
  rs.AddRow({Value::Int(result), Value::Int(tamanho)});
  return rs;
}

// A status result set with the text's length, the text ("conteudo": one
// entry a line, "key=value" for kind 1, the word for kind 2, CR LF between
// lines, in key order), and a closing result set with "result" 0. A code
// other than 0 comes in the status alone.
void BufPorPaisGet(ProcContext& c) {
  const Value& pais = c.In("@pais");
  const Value& tipo = c.In("@tipo");
  if (pais.IsNull() ||
      c.Query("SELECT 1 FROM pais WHERE id = ?", {Value::Int(pais.AsInt())}).RecordCount() == 0) {
    c.AddResult(Status(kErrDbBufPorPaisPais, 0));
    return;
  }
  if (tipo.IsNull() || (tipo.AsInt() != 1 && tipo.AsInt() != 2)) {
    c.AddResult(Status(kErrDbBufPorPaisTipo, 0));
    return;
  }
  Recordset rows =
      c.Query("SELECT chave, valor FROM nome_abrev WHERE pais = ? AND tipo = ? ORDER BY chave",
              {Value::Int(pais.AsInt()), Value::Int(tipo.AsInt())});
  if (rows.RecordCount() == 0) {
    c.AddResult(Status(kDbBufPorPaisVazia, 0));
    return;
  }
  std::string texto;
  for (const auto& row : rows.rows()) {
    if (!texto.empty()) texto += "\r\n";
    texto += row[0].AsString();
    if (tipo.AsInt() == 1) texto += "=" + row[1].AsString();
  }
  c.AddResult(Status(0, static_cast<int32_t>(texto.size())));
  Recordset conteudo({"conteudo"});
  conteudo.AddRow({Value::String(texto)});
  c.AddResult(std::move(conteudo));
  Recordset fim({"result"});
  fim.AddRow({Value::Int(0)});
  c.AddResult(std::move(fim));
}

}  // namespace

void RegisterNameProcedures() {
  RegisterProcedure("BufPorPaisGet", {{"@pais", DataType::kInteger}, {"@tipo", DataType::kInteger}},
                    BufPorPaisGet, /*read_only=*/true);
}

}  // namespace zun
