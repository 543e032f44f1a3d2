// The name-normalisation tables read through "BufPorPaisGet": its refusals
// come in the status alone (the texts themselves are read end to end by the
// name normaliser's tests).
#include "../support/db_fixture.h"

namespace zun {
namespace {

using NameProcs = FreshDatabase;

TEST_F(NameProcs, BufPorPaisGetRefusesCountriesAndKindsWithoutATable) {
  const struct {
    Value pais, tipo;
    int32_t result;
  } casos[] = {
      {Value::Int(5), Value::Int(1), 4251},  {Value::Int(80), Value::Int(1), 50801},
      {Value::Null(), Value::Int(1), 50801}, {Value::Int(0), Value::Int(3), 50802},
      {Value::Int(0), Value::Null(), 50802},
  };
  auto s = Login("Jo\xe3o.Silva", "pw");
  for (const auto& c : casos) {
    SCOPED_TRACE(c.pais.IsNull() ? std::string("NULL") : c.pais.AsString());
    auto cmd = s->TomaDataSet(CommandType::kStoredProc, "BufPorPaisGet");
    cmd->Params().ParamByName("@pais").value = c.pais;
    cmd->Params().ParamByName("@tipo").value = c.tipo;
    EXPECT_EQ(ExecStProc(cmd, ModoStProc::kLeResult), c.result);
    EXPECT_FALSE(cmd->NextRecordset());
    s->DevolveDataSet(&cmd);
  }
}

}  // namespace
}  // namespace zun
