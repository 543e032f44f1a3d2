// The share-base procedures of the embedded database: the numbers of
// shares of each class of a company for one date and source
// ("base_acionaria"), read as a whole, written one class at a time and
// deleted as a whole. Writes check the company, the class, the source and
// the statuses, and the caller's right to sources other than the local one;
// a refused call keeps nothing.
#include <cmath>
#include <string>
#include <vector>

#include "embedded/codes.h"
#include "embedded/proc_inputs.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"

namespace zun {

namespace {

// Data-log entries of share-base writes (tip; oid the company, aux the
// class or the source, date the base's day).
constexpr int32_t kTipBacGravada = 120;
constexpr int32_t kTipBacApagada = 121;

// Slot parameters in slot order: value, status, and their columns.
struct Slot {
  const char* valor;
  const char* status;
  const char* col_valor;
  const char* col_status;
};
constexpr Slot kSlots[] = {
    {"@Total", "@StatTot", "total", "stat_tot"},
    {"@EmTesouraria", "@StatEm", "em_tesouraria", "stat_em"},
    {"@ExTesouraria", "@StatEx", "ex_tesouraria", "stat_ex"},
};

bool Existe(ProcContext& c, const char* sql, int32_t id) {
  return c.Query(sql, {Value::Int(id)}).RecordCount() > 0;
}

Recordset Status(int32_t result) {
  Recordset rs({"result"});
  rs.AddRow({Value::Int(result)});
  return rs;
}

// The day of "@Data" (its time cut), NULL when not given.
Value Dia(const ProcContext& c) {
  const Value& v = c.In("@Data");
  return v.IsNull() ? v : Value::DateTime(std::floor(v.AsDateTime()));
}

// The checks shared by the writes: the company, the source and the date,
// and the right to a source other than 0 (an administrator, or a user
// whose statement source is not the local one).
int32_t ChecaBase(ProcContext& c) {
  if (!Existe(c, "SELECT 1 FROM empresa WHERE id = ?", InInt(c, "@IdEmp", 0))) {
    return kErrDbBaseEmpDesconhecida;
  }
  const int32_t source = InInt(c, "@Source", -1);
  if (source < 0 || source > 7) return kErrDbBaseSourceInvalido;
  if (c.In("@Data").IsNull()) return kErrDbBaseSemData;
  if (source != 0) {
    Recordset u =
        c.Query("SELECT 1 FROM users WHERE name = ? AND (is_admin = 1 OR source_do_bal <> 0)",
                {Value::String(c.CurrentUser())});
    if (u.RecordCount() == 0) return kErrDbBaseSemDireitoSource;
  }
  return 0;
}

void DataLog(ProcContext& c, int32_t tip, int32_t oid, int32_t aux) {
  c.Exec(
      "INSERT INTO data_log (tip, oid, aux, date, txt, user_name, mom) "
      "VALUES (?, ?, ?, ?, NULL, ?, datetime('now'))",
      {Value::Int(tip), Value::Int(oid), Value::Int(aux), Dia(c), Value::String(c.CurrentUser())});
}

// Status "result", the rows of the company and source (of "@Data" only
// when given) by date and class, then status "result" again.
void GetBaseAcDaEmp(ProcContext& c) {
  const int32_t emp = InInt(c, "@IdEmp", 0);
  const int32_t source = InInt(c, "@Source", -1);
  if (!Existe(c, "SELECT 1 FROM empresa WHERE id = ?", emp)) {
    return c.AddResult(Status(kErrDbBaseEmpDesconhecida));
  }
  if (source < 0 || source > 7) return c.AddResult(Status(kErrDbBaseSourceInvalido));
  const Value dia = Dia(c);
  c.AddResult(Status(0));
  c.AddResult(
      c.Query("SELECT id_emp AS IdEmp, data AS Data, source AS Source, id_class AS IdClass, "
              "total AS Total, em_tesouraria AS EmTesouraria, ex_tesouraria AS ExTesouraria, "
              "stat_tot AS StatTot, stat_em AS StatEm, stat_ex AS StatEx FROM base_acionaria "
              "WHERE id_emp = ? AND source = ? AND (? IS NULL OR data = ?) ORDER BY data, id_class",
              {Value::Int(emp), Value::Int(source), dia, dia}));
  c.AddResult(Status(0));
}

// Writes one class of a base; with "@DelOutrasClasses" the base's other
// classes are deleted first.
void PutBaseAcionaria(ProcContext& c) {
  if (const int32_t e = ChecaBase(c)) return c.Return(e);
  const int32_t id_class = InInt(c, "@IdClass", -1);
  if (!Existe(c, "SELECT 1 FROM classe WHERE id = ?", id_class)) {
    return c.Return(kErrDbBaseClasseDesconhecida);
  }
  std::vector<Value> binds = {Value::Int(InInt(c, "@IdEmp", 0)), Dia(c),
                              Value::Int(InInt(c, "@Source", 0)), Value::Int(id_class)};
  for (const Slot& s : kSlots) {
    const int32_t status = InInt(c, s.status, 0);
    if (status < 0 || status > 255) return c.Return(kErrDbBaseStatusInvalido);
    const Value& v = c.In(s.valor);
    binds.push_back(Value::Double(v.IsNull() ? 0 : v.AsDouble()));
    binds.push_back(Value::Int(status));
  }
  const Value& del = c.In("@DelOutrasClasses");
  if (!del.IsNull() && del.AsBool()) {
    c.Exec(
        "DELETE FROM base_acionaria WHERE id_emp = ? AND data = ? AND source = ? AND id_class <> ?",
        {binds[0], binds[1], binds[2], binds[3]});
  }
  c.Exec(
      "INSERT OR REPLACE INTO base_acionaria (id_emp, data, source, id_class, total, stat_tot, "
      "em_tesouraria, stat_em, ex_tesouraria, stat_ex) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      binds);
  const Value& sem_log = c.In("@MigracaoNaoMandaLog");
  if (sem_log.IsNull() || !sem_log.AsBool()) {
    DataLog(c, kTipBacGravada, InInt(c, "@IdEmp", 0), id_class);
  }
}

void DelBaseAcionaria(ProcContext& c) {
  if (const int32_t e = ChecaBase(c)) return c.Return(e);
  const int n =
      c.Exec("DELETE FROM base_acionaria WHERE id_emp = ? AND data = ? AND source = ?",
             {Value::Int(InInt(c, "@IdEmp", 0)), Dia(c), Value::Int(InInt(c, "@Source", 0))});
  if (n > 0) DataLog(c, kTipBacApagada, InInt(c, "@IdEmp", 0), InInt(c, "@Source", 0));
}

}  // namespace

void RegisterShareBaseProcedures() {
  const DataType I = DataType::kInteger;
  const DataType B = DataType::kBoolean;
  const DataType T = DataType::kDateTime;
  const DataType F = DataType::kDouble;
  RegisterProcedure("GetBaseAcDaEmp", {{"@IdEmp", I}, {"@Source", I}, {"@Data", T}}, GetBaseAcDaEmp,
                    /*read_only=*/true);
  std::vector<ProcParam> put = {{"@IdEmp", I}, {"@Data", T}, {"@Source", I}, {"@IdClass", I}};
  for (const Slot& s : kSlots) {
    put.push_back({s.valor, F});
    put.push_back({s.status, I});
  }
  put.push_back({"@DelOutrasClasses", B});
  put.push_back({"@MigracaoNaoMandaLog", B});
  RegisterProcedure("PutBaseAcionaria", put, PutBaseAcionaria);
  RegisterProcedure("DelBaseAcionaria", {{"@IdEmp", I}, {"@Data", T}, {"@Source", I}},
                    DelBaseAcionaria);
}

}  // namespace zun
