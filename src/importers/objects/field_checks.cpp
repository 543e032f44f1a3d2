#include "importers/objects/field_checks.h"

#include <limits>

#include "db/id_text_list.h"
#include "engine/parsers.h"
#include "foundation/text.h"

namespace zun {

bool IdDaLista(std::string_view s, tIntStgList* lista, int32_t* id) {
  return StrToIntOk(s, id) && lista != nullptr && lista->IndexOfId(*id) >= 0;
}

bool Naics16(int32_t v, int16_t* naics) {
  if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max()) {
    return false;
  }
  *naics = static_cast<int16_t>(v);
  return true;
}

bool FormatosDeBalanco(std::string_view s, tIntStgList* lista, size_t maximo,
                       std::vector<int32_t>* fmts) {
  fmts->clear();
  tParserChrDelim partes('-');
  partes.SetText(s);
  while (!partes.AtEnd()) {
    int32_t fmt = 0;
    if (fmts->size() == maximo) return false;
    const std::string_view parte = partes.NextField();
    if (!IdDaLista(parte, lista, &fmt) && !(StrToIntOk(parte, &fmt) && fmt == 0)) return false;
    fmts->push_back(fmt);
  }
  return !fmts->empty();
}

}  // namespace zun
