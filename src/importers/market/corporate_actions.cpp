#include "importers/market/corporate_actions.h"

#include <string>

#include "db/global_state.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/text.h"
#include "importers/market/event_call.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/error_text.h"

namespace zun {

namespace {

// Field i read as an integer that is an id of lista.
bool IdDaLista(tParserWrapper& p, int32_t i, const std::unique_ptr<tIntStgList>& lista,
               int32_t* id) {
  return StrToIntOk(p.Field(i), id) && lista && lista->IndexOfId(*id) >= 0;
}

}  // namespace

void ImportaEvento(TImpMain& imp, const TVariantes&, int32_t* resultado) {
  tParserWrapper& p = *imp.Parser;
  auto falha = [&](const std::string& msg) {
    imp.ErrMsg(msg);
    *resultado = kErrRegistroRecusado;
  };
  const int32_t campos = p.Count();
  std::string ticker;
  int32_t bolsa = 0, tipo = 0, moeda = -1;
  double udex = 0, acoes = NuloFloat(), valor = NuloFloat();
  if (campos < 6) return falha("Invalid # of fields");
  p.Field(1, &ticker);
  if (ticker.empty()) return falha("Empty <ticker>");
  if (!IdDaLista(p, 2, EnumBolsa, &bolsa)) return falha("Invalid <exchange>");
  if (!StrToDateOk(p.Field(3), &udex)) return falha("Invalid <udex>");
  if (EhDataZero(udex)) {
    // "PrvImport" refuses an event without its ex-date; told as it tells it.
    std::string texto;
    TextoDoErro(kPrvSemUdex, &texto);
    return falha("ImpPrv " + ticker + "/" + std::to_string(bolsa) + " " + texto);
  }
  if (!IdDaLista(p, 4, EnumOcoAbrv, &tipo)) return falha("Invalid <type>");
  const bool exclusao = campos == 6 && Maiusculas(std::string(p.Field(5))) == "DELETE";
  if (!exclusao) {
    if (!IdDaLista(p, 5, EnumMoeda, &moeda)) return falha("Invalid <currency>");
    if (tipo == 0) return falha("pvr.tipo=0 not allowed!");
    if (campos != 8) return falha("Invalid # of fields");
    if (!StrToFloatOk(p.Field(6), &acoes)) return falha("Invalid number field (#7)");
    if (!StrToFloatOk(p.Field(7), &valor)) return falha("Invalid number field (#8)");
  }
  if (imp.ToNoCheck) return;
  const std::string quem = ticker + "/" + std::to_string(bolsa);
  *resultado = CodigoDoOk(GravaEvento(
      imp, "PrvImport",
      [&](Command& cmd) {
        SetParamStr(cmd, "@ticker", ticker);
        SetParamInt(cmd, "@bolsa", bolsa);
        SetParamDateTime(cmd, "@udex", udex);
        SetParamInt(cmd, "@seq", 0);
        SetParamInt(cmd, "@tipo", tipo);
        SetParamInt(cmd, "@moeda", moeda);
        SetParamInt(cmd, "@loca", 0);
        SetParamFloat(cmd, "@acoes", acoes);
        SetParamFloat(cmd, "@valor", valor);
        for (const char* a : {"@cotA", "@titA", "@qacA"}) SetParamFloat(cmd, a, 1.0);
        for (const char* b : {"@cotB", "@titB", "@qacB"}) SetParamFloat(cmd, b, 0.0);
      },
      "ImpPrv " + quem + " ", "ImpPrv error ", kPrvSerieDesconhecida));
}

}  // namespace zun
