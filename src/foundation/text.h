// Small text helpers shared by every layer: ASCII upper case for keys and
// names compared without regard to case, trimming of blanks, integer texts
// and the Windows-1252 letters, digits and letter case.
//
// Thread-safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zun {

// s with the ASCII letters a..z in upper case; other bytes unchanged (names
// and keys compare the same under any locale).
std::string Maiusculas(std::string_view s);

// s without leading and trailing blanks (code 32 only; tabs stay).
std::string AparaBrancos(const std::string& s);

// s without leading and trailing blanks and control characters (every byte
// up to code 32).
std::string Apara(std::string_view s);

// s itself when it has at most max bytes; else its first max bytes followed
// by the marker "...[N bytes cut]", N being the number of bytes left out.
// Texts from outside (a line of an import file, a database message) go
// through it before they reach a log line or a mail.
std::string CortaTexto(std::string_view s, size_t max);

// Integer reading: leading blanks, then an optional "+" or "-" and either
// decimal digits or a hexadecimal number introduced by "$", "x", "X", "0x" or
// "0X". Decimal values must lie in the signed 32-bit range; hexadecimal ones
// may use all 32 bits ("$FFFFFFFF" is -1). The whole text must be used: an
// empty text, a trailing blank or any other character is invalid. On false
// *v is 0. v must not be null.
bool StrToIntOk(std::string_view s, int32_t* v);

// The upper-case form of a Windows-1252 byte: a..z, the accented small
// letters 0xE0..0xFE (but 0xF7, the division sign), and the four small
// letters whose capitals lie elsewhere in the code page (0x9A, 0x9C, 0x9E,
// 0xFF). Every other byte is its own upper case.
unsigned char MaiusculaCp1252(unsigned char c);

// The lower-case form of a Windows-1252 byte, the inverse of
// MaiusculaCp1252: A..Z, the accented capitals 0xC0..0xDE (but 0xD7, the
// multiplication sign), and the four capitals whose small letters lie
// elsewhere (0x8A, 0x8C, 0x8E, 0x9F). Every other byte is its own lower case.
unsigned char MinusculaCp1252(unsigned char c);

// s with every byte in its MinusculaCp1252 form.
std::string MinusculasCp1252(std::string s);

// Whether a Windows-1252 byte is a letter or a digit: the ASCII letters and
// digits, every letter that changes case (accented ones included), the
// letters without a case partner in the code page (0x83 f with hook, 0x88
// modifier circumflex, 0xAA and 0xBA ordinal indicators, 0xB5 micro sign,
// 0xDF sharp s) and the superscript digits 0xB2, 0xB3 and 0xB9. The
// vulgar fractions and the five undefined bytes are neither.
bool LetraOuDigitoCp1252(unsigned char c);

// Compares two Windows-1252 texts byte by byte after MaiusculaCp1252, the
// shorter first when one is the start of the other: < 0, 0 or > 0.
int ComparaSemCaixa(std::string_view a, std::string_view b);

}  // namespace zun
