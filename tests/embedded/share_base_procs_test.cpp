// The share-base procedures on a real database file: the refusals the
// share-base importer's check pass never lets through (its writes, reads and
// refused source are run by the share-base importer's tables). Each call's
// code, then the stored classes (a refused call leaves them as they were),
// and the status and rows of the read.
#include "../support/db_fixture.h"

namespace zun {
namespace {

using namespace proc_args;

class ShareBaseProcs : public ProcDb {
 protected:
  void SetUp() override {
    ProcDb::SetUp();
    AddUser(Path(), {"local", "pw", "", false, 0, 0, 0});
  }
};

// Put of class c of company emp, source src, day d, with a total.
Params Put(int32_t emp, Value d, int32_t src, int32_t c, double total, int32_t stat,
           bool del_outras) {
  return {{"@IdEmp", I(emp)},
          {"@Data", d},
          {"@Source", I(src)},
          {"@IdClass", I(c)},
          {"@Total", Value::Double(total)},
          {"@StatTot", I(stat)},
          {"@EmTesouraria", N},
          {"@StatEm", I(0)},
          {"@ExTesouraria", Value::Double(5)},
          {"@StatEx", I(2)},
          {"@DelOutrasClasses", Value::Bool(del_outras)},
          {"@MigracaoNaoMandaLog", Value::Bool(false)}};
}

TEST_F(ShareBaseProcs, WritesChecksAndRights) {
  const char* consulta =
      "SELECT group_concat(source || ':' || date(data) || ':' || id_class || ':' || total || '/' "
      "|| stat_tot || ':' || em_tesouraria || ':' || ex_tesouraria, ' ') FROM base_acionaria";
  const Value d = Value::DateTime(45382);  // 2024-03-31
  const Params del = {{"@IdEmp", I(1)}, {"@Data", d}, {"@Source", I(1)}};
  RodaChamadas(
      *Login("zunsvc", "s3cret"), consulta,
      {
          {"PutBaseAcionaria", Put(1, d, 0, 3, 410, 2, true), 0, "0:2024-03-31:3:410.0/2:0.0:5.0"},
          {"PutBaseAcionaria", Put(2, d, 0, 3, 1, 2, true), 51201},
          {"PutBaseAcionaria", Put(1, d, 8, 3, 1, 2, true), 51202},
          {"PutBaseAcionaria", Put(1, N, 0, 3, 1, 2, true), 51203},
          {"PutBaseAcionaria", Put(1, d, 0, 99, 1, 2, true), 51204},
          {"PutBaseAcionaria", Put(1, d, 0, 3, 1, 256, true), 51205},
          {"PutBaseAcionaria", Put(1, d, 1, 3, 7, 2, true), 0,
           "0:2024-03-31:3:410.0/2:0.0:5.0 1:2024-03-31:3:7.0/2:0.0:5.0"},
      });
  // A user of the local statement source writes source 0 only.
  RodaChamadas(*Login("local", "pw"), consulta,
               {
                   {"DelBaseAcionaria", del, 51206},
                   {"DelBaseAcionaria",
                    {{"@IdEmp", I(1)}, {"@Data", d}, {"@Source", I(0)}},
                    0,
                    "1:2024-03-31:3:7.0/2:0.0:5.0"},
               });
  auto s = Login("zunsvc", "s3cret");
  EXPECT_EQ(LinhasComoTexto(*s, "SELECT group_concat(tip, ' ') FROM data_log"), "120 120 121");
  const struct {
    int32_t emp, source, status, linhas;
  } leituras[] = {{1, 1, 0, 1}, {1, 0, 0, 0}, {2, 0, 51201, -1}, {1, 9, 51202, -1}};
  for (const auto& l : leituras) {
    auto cmd = s->TomaDataSet(CommandType::kStoredProc, "GetBaseAcDaEmp");
    SetParamInt(cmd, "@IdEmp", l.emp);
    SetParamInt(cmd, "@Source", l.source);
    SetParamNull(cmd, "@Data");
    EXPECT_EQ(ExecStProc(cmd, ModoStProc::kLeResult), l.status) << l.emp << "/" << l.source;
    if (l.status == 0) {
      ASSERT_TRUE(cmd->NextRecordset());
      EXPECT_EQ(cmd->Current().RecordCount(), l.linhas);
      ASSERT_TRUE(cmd->NextRecordset());
      EXPECT_EQ(LerResult(cmd, false), 0);
    }
    s->DevolveDataSet(&cmd);
  }
}

}  // namespace
}  // namespace zun
