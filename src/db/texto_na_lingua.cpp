#include "db/texto_na_lingua.h"

#include "db/user_context.h"
#include "foundation/text.h"

namespace zun {

std::string CampoDoTexto(int n, const std::string& text) {
  if (n < 1) return "";
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    size_t bar = text.find('|', start);
    if (bar == std::string::npos) return "";
    start = bar + 1;
  }
  size_t end = text.find('|', start);
  if (end == std::string::npos) end = text.size();
  return Apara(text.substr(start, end - start));
}

std::string TextoNaLingua(const std::string& text) {
  if (text.find('|') == std::string::npos) return text;
  return CampoDoTexto(UsuarioLingua + 1, text);
}

}  // namespace zun
