// Windows-1252 <-> UTF-8 and UTF-16. The client side of the program holds
// Windows-1252 bytes; the embedded database file holds UTF-8, the ODBC
// provider talks UTF-16 to its driver. The five bytes that
// Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D hex) map to the control
// characters of the same number, so every byte string round-trips.
//
// Thread-safety: pure functions.
#pragma once

#include <string>

namespace zun {

std::string Cp1252ToUtf8(const std::string& s);

// Characters outside Windows-1252 (and malformed UTF-8 bytes) become "?".
std::string Utf8ToCp1252(const std::string& s);

std::u16string Cp1252ToUtf16(const std::string& s);

// Characters outside Windows-1252 (surrogate pairs included) become "?".
std::string Utf16ToCp1252(const std::u16string& s);

}  // namespace zun
