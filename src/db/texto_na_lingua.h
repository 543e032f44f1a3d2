// Multilingual texts: the Portuguese, English and Spanish names of one item
// joined by "|" in that order ("Registro|Fund facts|Datos generales").
// TextoNaLingua picks the name in the user's language (UsuarioLingua of
// db/user_context.h); a text without "|" is the same in every language.
//
// Thread-safety: pure functions, except that TextoNaLingua reads the
// process-wide UsuarioLingua (main thread).
#pragma once

#include <string>

namespace zun {

// The n-th "|"-separated field of text (n counts from 1), trimmed. Fields
// beyond the last, and n < 1, give "".
std::string CampoDoTexto(int n, const std::string& text);

// When text contains "|": field UsuarioLingua + 1 of it, trimmed (0
// Portuguese, 1 English, 2 Spanish); otherwise text itself, unchanged.
std::string TextoNaLingua(const std::string& text);

}  // namespace zun
