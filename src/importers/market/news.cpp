#include "importers/market/news.h"

#include <string>

#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "importers/market/event_call.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {

void ImportaNoticia(TImpMain& imp, const TVariantes&, int32_t* resultado) {
  tParserWrapper& p = *imp.Parser;
  // Every failure of the block is the record's: told on its "*NW" line.
  auto falha = [&](const std::string& msg) {
    imp.ErrMsgDoRegistro(msg);
    *resultado = kErrRegistroRecusado;
  };
  std::string cod;
  int32_t pais = 0, code = 0, seq = -1;
  double data = 0;
  if (p.Count() != 5) return falha("Invalid # of fields");
  p.Field(1, &cod);
  if (cod.empty()) return falha("Empty <company>");
  code = imp.StrToPais(std::string(p.Field(2)), &pais);
  if (code != 0) return falha("Invalid <country>");
  if (!StrToDateOk(p.Field(3), &data) || data == 0) return falha("Invalid <pub_date>");
  const std::string_view campo_seq = p.Field(4);
  if (campo_seq != "-" && !campo_seq.empty() && (!StrToIntOk(campo_seq, &seq) || seq < 0)) {
    return falha("Invalid <seq>");
  }
  // The text; the header's fields are gone from Parser from here on.
  std::string texto;
  for (bool primeira = true;; primeira = false) {
    std::string linha;
    if (!imp.LinhaDoBloco(true, &linha)) {
      // A line the frame refused has its message and stops the file.
      if (imp.Erro != 0) {
        *resultado = kErrRegistroRecusado;
        return;
      }
      return falha("reached EOF");
    }
    if (linha == "END") break;
    if (!primeira) texto += "\r\n";
    texto += linha;
  }
  if (texto.empty()) {
    // "NwsImport" refuses an empty text; told as it tells it.
    std::string erro;
    TextoDoErro(kNwsTextoVazio, &erro);
    return falha("ImpNws " + cod + "/" + std::to_string(pais) + " : " + erro);
  }
  if (imp.ToNoCheck) return;
  *resultado = CodigoDoOk(GravaEvento(
      imp, "NwsImport",
      [&](Command& cmd) {
        SetParamStr(cmd, "@cod", cod);
        SetParamInt(cmd, "@pais", pais);
        SetParamDateTime(cmd, "@date", data);
        SetParamInt(cmd, "@seq", seq);
        SetParamNull(cmd, "@dra");
        // The text goes as read: its leading blanks and blank lines are
        // part of it (the string setter would trim them).
        cmd.Params().ParamByName("@txt").value = Value::String(texto);
      },
      "ImpNws " + cod + "/" + std::to_string(pais) + " : ", "b: ImpNws error ",
      kNwsEmpDesconhecida));
}

}  // namespace zun
