// Quote bulletin requests and the database's data log.
//
// While importing, the quote bulletin detector asks for a bulletin
// generation with PedeReqGBol; the most urgent (smallest) priority asked for
// is kept in PrioridadeReqGBol until ReqGBol sends it with "ReqGBol" (at
// shutdown). DataLogAdd writes one entry of the database's data log.
//
// Thread-safety: none; main thread only. Both calls use the session Db.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

// 0: no request pending; otherwise the smallest priority asked for since the
// last successful ReqGBol.
inline int32_t PrioridadeReqGBol = 0;

// Asks for a bulletin generation. Priorities below 1 are ignored; otherwise
// the priority becomes the pending one when none is pending or it is smaller
// (1 is the usual request).
void PedeReqGBol(int32_t prioridade);

// Calls "ReqGBol" ("@Prioridade" = PrioridadeReqGBol, "@Motivo" = motivo
// unchanged), logs "ReqGBol Pri:" + priority + " ok" (or " error:" + code)
// + " " + motivo; on failure sends the notification "ReqGBol error" to "g",
// on success clears PrioridadeReqGBol. Returns 0 or the error code (3718
// when Db does not exist). Never raises.
[[nodiscard]] int32_t ReqGBol(const std::string& motivo);

// Calls "DataLogAdd" with "@tip", "@oid", "@aux", "@date" (NULL when date
// is 0 or the null number, else the date-time, a day number) and "@txt"
// (NULL when txt is empty, else unchanged). Returns 0 or the error code.
// Never raises.
[[nodiscard]] int32_t DataLogAdd(int32_t tip, int32_t oid, int32_t aux, double date,
                                 const std::string& txt);

}  // namespace zun
