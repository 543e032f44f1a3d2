// Field checks shared by the company, asset and series records: an integer
// field that names an entry of an id-text list, an industry code field and
// the statement formats of a company.
//
// Thread-safety: pure functions over their arguments; the lists belong to
// the main thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zun {

class tIntStgList;

// True when s is an integer (StrToIntOk) that is an id of lista (*id set);
// false for a null lista.
bool IdDaLista(std::string_view s, tIntStgList* lista, int32_t* id);

// An industry code as the table keeps it (16 bits); false outside that
// range, where no code is valid.
bool Naics16(int32_t v, int16_t* naics);

// The statement formats of s: integers joined by "-" ("3-5"), each 0 (no
// format) or an id of lista, at most maximo of them (*fmts gets them in
// order). False for an empty piece, a piece that is neither, or too many
// pieces.
bool FormatosDeBalanco(std::string_view s, tIntStgList* lista, size_t maximo,
                       std::vector<int32_t>* fmts);

}  // namespace zun
