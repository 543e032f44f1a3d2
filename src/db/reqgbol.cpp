#include "db/reqgbol.h"

#include <cmath>
#include <memory>

#include "foundation/log.h"
#include "notify/mail.h"
#include "notify/repeat_guard.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

// Sets a parameter to v exactly as given (no trimming).
void PoeParam(Command* cmd, const std::string& name, Value v) {
  cmd->Params().ParamByName(name).value = std::move(v);
}

}  // namespace

void PedeReqGBol(int32_t prioridade) {
  if (prioridade < 1) return;
  if (PrioridadeReqGBol == 0 || prioridade < PrioridadeReqGBol) PrioridadeReqGBol = prioridade;
}

int32_t ReqGBol(const std::string& motivo) {
  const int32_t prioridade = PrioridadeReqGBol;
  const int32_t e =
      ChamaComGuarda("ReqGBol", "ReqGBol", kErrChamada, [&](DsRef cmd, int32_t* code) {
        PoeParam(cmd.get(), "@Prioridade", Value::Int(prioridade));
        PoeParam(cmd.get(), "@Motivo", Value::String(motivo));
        *code = ExecStProc(cmd, ModoStProc::kExecuta);
      });
  Loga("ReqGBol Pri:" + std::to_string(prioridade) + " " +
       (e == 0 ? std::string("ok") : "error:" + std::to_string(e)) + " " + motivo);
  if (e != 0) {
    // The same failure run after run is told once an hour.
    NotificaSemRepetir("ReqGBol " + std::to_string(e), "ReqGBol error",
                       {"ReqGBol-Error", std::to_string(e), "Caller", "\"" + motivo + "\""}, "g");
  } else {
    PrioridadeReqGBol = 0;
  }
  return e;
}

int32_t DataLogAdd(int32_t tip, int32_t oid, int32_t aux, double date, const std::string& txt) {
  return ChamaComGuarda("DataLogAdd", "DataLogAdd", kErrChamada, [&](DsRef cmd, int32_t* code) {
    PoeParam(cmd.get(), "@tip", Value::Int(tip));
    PoeParam(cmd.get(), "@oid", Value::Int(oid));
    PoeParam(cmd.get(), "@aux", Value::Int(aux));
    PoeParam(cmd.get(), "@date",
             date == 0 || std::isnan(date) ? Value::Null() : Value::DateTime(date));
    PoeParam(cmd.get(), "@txt", txt.empty() ? Value::Null() : Value::String(txt));
    *code = ExecStProc(cmd, ModoStProc::kExecuta);
  });
}

}  // namespace zun
