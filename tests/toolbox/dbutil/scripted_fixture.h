// A session open on the scripted provider, with the log written next to the
// test binaries.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "foundation/log.h"
#include "scripted_provider.h"
#include "toolbox/dbutil/server_version.h"
#include "toolbox/dbutil/session.h"

namespace zun {

// Sets the return value of a scripted call.
inline void Retorna(Parameters* p, int32_t code) {
  p->ParamByName("RETURN_VALUE").value = Value::Int(code);
}

class ScriptedSession : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/dbutil_test.log");
    NomeDoRetorno = "RETURN_VALUE";
    VersaoDoServidor = 0;
    s_.SetConnectionString("Provider=Scripted;Data Source=test");
    s_.SetAutoReconnect(true);
    s_.SetReconnectCaption("ZunInput");
    s_.Open();
  }

  ScriptedDb db_;
  ScriptedProviderScope scope_{&db_};
  TAdoDataBaseComInfoTran s_;
};

}  // namespace zun
