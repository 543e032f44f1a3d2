// The name-normalisation tables read through "BufPorPaisGet" the way the
// normaliser reads them: a status with the text's length, the text, and a
// closing result.
#include "db_fixture.h"

namespace zun {
namespace {

class NameProcs : public FreshDatabase {};

TEST_F(NameProcs, BufPorPaisGetHandsOutOneTablePerCountryAndKind) {
  // The texts themselves are read end to end by the name normaliser's tests.
  struct Caso {
    Value pais, tipo;
    int32_t result;
  };
  const Caso casos[] = {
      {Value::Int(0), Value::Int(2), 0},      {Value::Int(5), Value::Int(1), 4251},
      {Value::Int(80), Value::Int(1), 50801}, {Value::Null(), Value::Int(1), 50801},
      {Value::Int(0), Value::Int(3), 50802},  {Value::Int(0), Value::Null(), 50802},
  };
  auto s = Login("Jo\xe3o.Silva", "pw");
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.pais.IsNull() ? std::string("NULL") : c.pais.AsString());
    auto cmd = s->TomaDataSet(CommandType::kStoredProc, "BufPorPaisGet");
    cmd->Params().ParamByName("@pais").value = c.pais;
    cmd->Params().ParamByName("@tipo").value = c.tipo;
    EXPECT_EQ(ExecStProc(cmd, 1), c.result);
    if (c.result == 0) {
      const int32_t tamanho = FieldInt(cmd, "ConteudoLen");
      ASSERT_TRUE(cmd->NextRecordset());
      std::string texto;
      GetFieldStr(cmd, "conteudo", &texto);
      EXPECT_EQ(tamanho, static_cast<int32_t>(texto.size()));
      EXPECT_NE(texto.find("\r\nIBM\r\n"), std::string::npos) << texto;
      ASSERT_TRUE(cmd->NextRecordset());
      EXPECT_EQ(LerResult(cmd, true), 0);
    } else {
      EXPECT_FALSE(cmd->NextRecordset()) << "a failure comes in the status alone";
    }
    s->DevolveDataSet(&cmd);
  }
}

}  // namespace
}  // namespace zun
