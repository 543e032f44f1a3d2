// The codes of the import engine: the keyword dispatch and the file's end.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

// A line starts with an unknown keyword, or one whose importer is not
// registered.
inline constexpr int32_t kErrKeywordDesconhecida = 3942;
// The code of a record its importer refused without a code of its own
// (the field checks of the small tables, the account plan and the
// corporate actions and news).
inline constexpr int32_t kErrRegistroRecusado = 3943;
// A line longer than the engine takes; the check pass stops the file with it
// before any of the line is copied.
inline constexpr int32_t kErroLinhaLonga = 3944;
// More non-fatal line errors than the import pass allows.
inline constexpr int32_t kErrErrosDemais = 3948;
// The file was not read to its end.
inline constexpr int32_t kErrArquivoNaoAcabou = 3949;
// A -SHLIMITADD, -SHLIMITMOD or -SHLIMITTOTAL value is not a number.
inline constexpr int32_t kErrShLimitInvalido = 4180;
// The file adds or changes more shareholders than -SHLIMIT... allows.
inline constexpr int32_t kErrShLimitExcedido = 4181;
// A line names an unknown country.
inline constexpr int32_t kErrImpPaisDesconhecido = 4182;
// A line carries a field after its last one (the registry records, the
// composition blocks' keyword line).
inline constexpr int32_t kErrCamposDemais = 4183;

}  // namespace zun
