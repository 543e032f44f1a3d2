// The page's script and style sheet, built into the program from
// src/web/static/.
//
// Thread-safety: constants.
#pragma once

namespace zun::web {

extern const char kZunWebJs[];
extern const char kZunWebCss[];

}  // namespace zun::web
