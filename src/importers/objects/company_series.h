// Importers of the company and series records, which create an object when
// it does not exist yet and set some of its indicators after writing it:
// the company ("*OBJEMP", and "*OBJEMPABREV", which normalises the names)
// and the series ("*OBJSERIE").
//
// Each record is one line; field counts include the keyword (field 0). A
// data field given as "-" (or absent) is not given: an existing object
// keeps its stored value, and a new object is created only when every
// field that counts is given (else the record's code for an incomplete
// object, in the import pass). Fields are checked in order in both passes,
// the first failing check ending the record; writes happen only in the
// import pass (ToNoCheck false).
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>

#include "engine/keyword_table.h"

namespace zun {

// Codes of the company records.
inline constexpr int32_t kErrObjEmpNumCampos = 7126;
inline constexpr int32_t kErrObjEmpCodigo = 7127;
inline constexpr int32_t kErrObjEmpPais = 7128;
inline constexpr int32_t kErrObjEmpIncompleta = 7130;
inline constexpr int32_t kErrObjEmpZeroOuUm = 7131;
inline constexpr int32_t kErrObjEmpMoeda = 7132;
inline constexpr int32_t kErrObjEmpNaics = 7133;
inline constexpr int32_t kErrObjEmpFmtBal = 7134;

// Codes of the series record.
inline constexpr int32_t kErrObjSerieNumCampos = 15260;
inline constexpr int32_t kErrObjSerieCancelado = 15261;
inline constexpr int32_t kErrObjSerieTipoDeBGL = 15262;
inline constexpr int32_t kErrObjSerieMoeda = 15263;
inline constexpr int32_t kErrObjSerieNumero = 15264;
inline constexpr int32_t kErrObjSerieTrazDadosDaEmp = 15265;
inline constexpr int32_t kErrObjSerieNaoAparecerNoZun = 15266;
inline constexpr int32_t kErrObjSerieCalendario = 15267;
inline constexpr int32_t kErrObjSerieDisableCopy = 15268;
inline constexpr int32_t kErrObjSerieFormatoDeCadastro = 15269;
inline constexpr int32_t kErrObjSerieTipoDeContrato = 15270;
inline constexpr int32_t kErrObjSerieMapaColonia = 15271;
inline constexpr int32_t kErrObjSerieOverride = 15272;
inline constexpr int32_t kErrObjSerieAtivoParcial = 15273;
inline constexpr int32_t kErrObjSerieIncompleta = 15274;

// Lengths a company's name and text are cut to.
inline constexpr size_t kMaxNomeEmp = 50;
inline constexpr size_t kMaxTextoEmp = 1000;
// A company keeps at most this many statement formats.
inline constexpr size_t kMaxFmtBal = 4;

// Indicators the records set after writing their object.
inline constexpr int32_t kIndicaTextoEmp = 58;
inline constexpr int32_t kIndicaNomeSerie = 1;
inline constexpr int32_t kIndicaTextoSerie = 48;
inline constexpr int32_t kIndicaNumeroSerie = 46;

// "*OBJEMP" / "*OBJEMPABREV" company code, country id, then optionally:
// name, 0 or 1 (checked only), local statement currency (EnumMoeda),
// statement formats ("3-5": up to kMaxFmtBal ids of EnumFmtBal, stored
// from the first entry on, the others kept), industry code, company text
// (indicator kIndicaTextoEmp), two fields only counted, tax registration
// number. 3 to 12 fields. With v.Abreviado the name and the text are
// normalised for the company's country (NormalizaNome) and the name is cut
// to kMaxNomeEmp characters; the text is trimmed and cut to kMaxTextoEmp
// characters in both forms. A new company needs fields 3 to 10.
void ImportaObjEmp(TImpMain& imp, const TVariantes& v, int32_t* code);

// "*OBJSERIE" ticker, exchange id, then optionally: company code, country
// id and class code (all three or none: the asset the series belongs to),
// cancelled, destination kind (0..11), series text (indicator
// kIndicaTextoSerie), quote currency, number (indicator
// kIndicaNumeroSerie), name (indicator kIndicaNomeSerie), brings company
// data, hidden, calendar id, copy disabled, registration format, contract
// type (-1 or a known one), colony map, quote field group override. 3 to
// 20 fields; a new series needs fields 3 to 19 and a known exchange (4177).
// The check pass also refuses a change the user lacks the right for, as
// the series procedures would (50526 .. 50529).
void ImportaObjSerie(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
