// A scripted provider: a ProviderConnection whose link, opens and calls a
// test sets up, for what the session does around a provider (reconnection,
// repeats, the return value, login timeouts) without a database behind it.
//
// Thread-safety: none; one test thread drives it and the ScriptedDb it
// reads and writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/provider.h"

namespace zun::testing {

// Every procedure takes no parameters besides the return value and runs the
// test's body; the link and the opens are scripted.
struct ScriptedDb {
  std::function<void()> body = [] {};  // raises to make the call fail
  int32_t ret = 0;                     // the return value of a call
  int32_t ret_with_error = 0;          // the return value sent with body's error, 0 none
  std::string return_name = "RETURN_VALUE";
  ParamDirection return_direction = ParamDirection::kReturnValue;
  bool lost = false;                                  // every call and the probe fail while set
  ErrorKind probe_kind = ErrorKind::kConnectionLost;  // how the probe fails
  int opens_to_fail = 0;
  int opens = 0, probes = 0, calls = 0;
  std::vector<int> login_timeouts;  // of every open
  uint32_t* clock = nullptr;        // when set, a failed open stalls until its login timeout
};

class ScriptedConnection : public ProviderConnection {
 public:
  explicit ScriptedConnection(ScriptedDb* db) : db_(db) {}
  void SetLoginTimeout(int seconds) override { login_timeout_ = seconds; }
  void Open(const ConnectionString&) override {
    ++db_->opens;
    db_->login_timeouts.push_back(login_timeout_);
    if (db_->opens_to_fail > 0) {
      --db_->opens_to_fail;
      if (db_->clock != nullptr) *db_->clock += static_cast<uint32_t>(login_timeout_) * 1000u;
      throw ProviderError("SQL Server does not exist");
    }
    db_->lost = false;
    open_ = true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void ExecuteSql(const std::string&, int, std::vector<Recordset>*) override {
    ++db_->probes;
    if (db_->lost) throw ProviderError(db_->probe_kind, "General network error");
  }
  Parameters DescribeProcedure(const std::string&) override {
    Parameters p;
    p.Add({db_->return_name, DataType::kInteger, db_->return_direction, Value()});
    return p;
  }
  void CallProcedure(const std::string&, Parameters* p, int, std::vector<Recordset>*) override {
    if (db_->lost) {  // the request cannot be written
      ProviderError e(ErrorKind::kConnectionLost, "General network error");
      e.SetNotSent();
      throw e;
    }
    ++db_->calls;
    try {
      db_->body();
    } catch (...) {
      if (db_->ret_with_error != 0) (*p)[0].value = Value::Int(db_->ret_with_error);
      throw;
    }
    (*p)[0].value = Value::Int(db_->ret);
  }
  void BeginTransaction() override {}
  void Commit() override {}
  void Rollback() override {}
  bool InTransaction() const override { return false; }

 private:
  ScriptedDb* db_;
  bool open_ = false;
  int login_timeout_ = 0;
};

}  // namespace zun::testing
