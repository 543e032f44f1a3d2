#include "db/type_names.h"

#include <iterator>

namespace zun {

namespace {

constexpr const char* kComposicoes[] = {
    "ShareHolders", "Fund Portfolio", "", "Credit Receivables", "", "", "", ""};

}  // namespace

const char* NomeDoTipoDeComposicao(int tipo) {
  return tipo >= 0 && static_cast<size_t>(tipo) < std::size(kComposicoes) ? kComposicoes[tipo] : "";
}

}  // namespace zun
