// Typed access to the parameters and result columns of a command object.
//
// Setters write parameter values by name, with NULL for the null number and
// the zero date; getters read output parameters and the current row's
// columns with this system's NULL rules (empty text, NaN, zero date). Names
// are parameter names with "@" or column names; an unknown name raises the
// client's DatasetError, which callers do not guard against.
//
// Thread-safety: none; a command object belongs to one caller at a time.
#pragma once

#include <cstdint>
#include <string>

#include "toolbox/dbutil/ds_ref.h"

namespace zun {

// True for the bit pattern of the null number: the exponent bits and the top
// fraction bit all set (the sign is ignored).
bool EhNuloFloat(double v);

// The null number, the quiet NaN whose upper word is 0xFFF80000.
double NuloFloat();

void SetParamInt(DsRef cmd, const std::string& name, int32_t v);
// The text without leading and trailing blanks (and control characters).
void SetParamStr(DsRef cmd, const std::string& name, const std::string& v);
void SetParamBool(DsRef cmd, const std::string& name, bool v);
// The null number is sent as NULL.
void SetParamFloat(DsRef cmd, const std::string& name, double v);
// The zero date and the null number are sent as NULL.
void SetParamDateTime(DsRef cmd, const std::string& name, double v);
void SetParamNull(DsRef cmd, const std::string& name);

// Parameter getters follow the rules of a variant: a NULL parameter read as
// a number or a boolean raises DatasetError.
// Integer value of a parameter. Raises DatasetError for NULL and for a value
// that is not an integer.
void GetParamInt(DsRef cmd, const std::string& name, int32_t* v);
int32_t ParamInt(DsRef cmd, const std::string& name);
// Raises EDBException 4017 when the value lies outside 0..255.
void GetParamByte(DsRef cmd, const std::string& name, uint8_t* v);
// Raises EDBException 25035, after logging name + ".out of range detected.
// hi:" + max + " vi:" + value, when the value lies outside 0..255 or above
// max.
void GetParamByteMax(DsRef cmd, const std::string& name, int32_t max, uint8_t* v);
// NULL gives ""; otherwise the text trimmed.
void GetParamStr(DsRef cmd, const std::string& name, std::string* v);
// Booleans as they are, numbers true when not 0.
void GetParamBool(DsRef cmd, const std::string& name, bool* v);
// NULL gives the zero date.
void GetParamDateTime(DsRef cmd, const std::string& name, double* v);

// Column getters read the current row of the open result set; no open
// result set or no current row raises DatasetError. They follow the rules
// of a client-side field: a NULL column reads as 0 or false unless a rule
// below says otherwise.
// Integer value.
void GetFieldInt(DsRef cmd, const std::string& column, int32_t* v);
int32_t FieldInt(DsRef cmd, const std::string& column);
// NULL gives ""; otherwise the text trimmed.
void GetFieldStr(DsRef cmd, const std::string& column, std::string* v);
// NULL gives the null number.
void GetFieldFloat(DsRef cmd, const std::string& column, double* v);
// NULL gives the zero date.
void GetFieldDateTime(DsRef cmd, const std::string& column, double* v);
// Read as a boolean; a column the client cannot read so is read as an
// integer, true when not 0. NULL gives false.
void GetFieldBool(DsRef cmd, const std::string& column, bool* v);
// Raises EDBException 4016 when the value lies outside 0..255.
void GetFieldByte(DsRef cmd, const std::string& column, uint8_t* v);

}  // namespace zun
