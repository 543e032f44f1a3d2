// A provider for what the embedded database cannot do on demand: a link that
// is lost and comes back after a number of failed opens, provider messages
// and exceptions chosen by the test, and SQL Server version texts. Every
// procedure takes no parameters besides the return value and runs the
// test's body.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/provider.h"

namespace zun {

struct ScriptedDb {
  std::function<void()> body = [] {};  // raises to make the call fail
  int32_t ret = 0;                     // the return value of a call
  std::string return_name = "RETURN_VALUE";
  std::string version = "Microsoft SQL Server 2005 - 9.00";
  bool lost = false;  // every call and the probe fail while set
  int opens_to_fail = 0;
  int opens = 0, probes = 0, calls = 0;
};

class ScriptedConnection : public ProviderConnection {
 public:
  explicit ScriptedConnection(ScriptedDb* db) : db_(db) {}
  void Open(const ConnectionString&) override {
    ++db_->opens;
    if (db_->opens_to_fail > 0) {
      --db_->opens_to_fail;
      throw ProviderError("SQL Server does not exist");
    }
    db_->lost = false;
    open_ = true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void ExecuteSql(const std::string& sql, int, std::vector<Recordset>* out) override {
    if (sql != "SELECT @@VERSION") ++db_->probes;
    Link();
    if (sql == "SELECT @@VERSION") {
      Recordset rs({""});
      rs.AddRow({Value::String(db_->version)});
      out->push_back(rs);
    }
  }
  Parameters DescribeProcedure(const std::string&) override {
    Parameters p;
    p.Add({db_->return_name, DataType::kInteger, ParamDirection::kReturnValue, Value()});
    return p;
  }
  void CallProcedure(const std::string&, Parameters* p, int, std::vector<Recordset>*) override {
    Link();
    ++db_->calls;
    db_->body();
    (*p)[0].value = Value::Int(db_->ret);
  }
  void BeginTransaction() override {}
  void Commit() override {}
  void Rollback() override {}
  bool InTransaction() const override { return false; }

 private:
  void Link() const {
    if (db_->lost) throw ProviderError("General network error");
  }
  ScriptedDb* db_;
  bool open_ = false;
};

}  // namespace zun
