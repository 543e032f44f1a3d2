// The names of the composition kinds, as they appear in the messages of the
// composition importer.
//
// Thread-safety: constant data and a pure function.
#pragma once

namespace zun {

// Composition kinds 0..7: 0 "ShareHolders", 1 "Fund Portfolio",
// 3 "Credit Receivables"; "" for the others and outside.
const char* NomeDoTipoDeComposicao(int tipo);

}  // namespace zun
