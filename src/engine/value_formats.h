// Field value formats: the one way every importer reads integers, numbers,
// dates and booleans out of text fields, and how "no value" is held.
//
// Each conversion answers whether the text was valid and, when it was, stores
// the value; the caller turns a false answer into its own error. The readings
// never depend on the locale. "No value" is the null number (a NaN, see
// NuloFloat / EhNuloFloat in toolbox/dbutil/accessors.h) and the zero date
// (day number 0); the parameter setters send both to the database as NULL.
//
// Thread-safety: all functions are pure and safe from any thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/text.h"
#include "toolbox/dbutil/accessors.h"

namespace zun {

// The zero date: no date.
inline constexpr double kDataZero = 0.0;

// True for the zero date.
inline bool EhDataZero(double dt) { return dt == kDataZero; }

// Integer reading: StrToIntOk, kept with the foundation's text helpers
// (foundation/text.h) so that every layer reads integer texts alike.

// Number reading with "." as the decimal point whatever the locale. Leading
// and trailing blanks are removed; an empty text or "-" gives the null number
// and true. Otherwise: optional sign, digits with an optional "." and
// fraction digits, optional exponent ("E"/"e", optional sign, digits); the
// whole text must be used. A value beyond the double range is invalid, one
// below it reads as 0. On false *v is the null number. v must not be null.
bool StrToFloatOk(std::string_view s, double* v);

// Date reading: an empty text or "-" gives the zero date and true. Otherwise
// exactly 10 characters "yyyy-mm-dd" or "yyyy.mm.dd" (both separators the
// same), the three parts read with StrToIntOk, forming a real Gregorian
// calendar date in years 1 to 9999; the value is that day's number (day 0 =
// 1899-12-30) without time of day. On false *v is the zero date. v must not
// be null.
bool StrToDateOk(std::string_view s, double* v);

// Boolean reading: a text StrToIntOk reads as 0 or 1 gives false or true; else
// a text of 1 to 3 characters starting with "Y" or "N" (any case) gives true
// or false. Anything else is invalid and gives false with *v false. v must
// not be null.
bool StrToBoolOk(std::string_view s, bool* v);

}  // namespace zun
