// A provider whose behaviour the tests script: procedures as lambdas, a link
// that can be cut and restored after a number of failed opens, a version
// text, and counters of what the session asked for.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/provider.h"

namespace zun {

struct ScriptedDb {
  using Body = std::function<void(Parameters*, std::vector<Recordset>*)>;
  struct Proc {
    Parameters signature;
    Body body;
  };
  std::map<std::string, Proc> procs;
  std::string version_text = "Scripted 1.0";
  bool lost = false;         // calls and the probe fail while set
  bool probe_fails = false;  // the probe fails even with the link up
  int opens_to_fail = 0;     // the next opens that fail
  // Counters.
  int opens = 0;
  int describes = 0;
  int probes = 0;
  std::map<std::string, int> calls;
  int begins = 0, commits = 0, rollbacks = 0;
  bool in_tran = false;

  // Declares a procedure: RETURN_VALUE first, then the given parameters.
  void Add(const std::string& name, std::vector<Parameter> params, Body body,
           const std::string& return_name = "RETURN_VALUE") {
    Parameters sig;
    sig.Add(Parameter{return_name, DataType::kInteger, ParamDirection::kReturnValue, Value()});
    for (auto& p : params) sig.Add(p);
    procs[name] = Proc{sig, std::move(body)};
  }
};

inline Parameter In(const std::string& name, DataType t) {
  return Parameter{name, t, ParamDirection::kInput, Value()};
}
inline Parameter Out(const std::string& name, DataType t) {
  return Parameter{name, t, ParamDirection::kInputOutput, Value()};
}

class ScriptedConnection : public ProviderConnection {
 public:
  explicit ScriptedConnection(ScriptedDb* db) : db_(db) {}

  void Open(const ConnectionString&) override {
    ++db_->opens;
    if (db_->opens_to_fail > 0) {
      --db_->opens_to_fail;
      throw ProviderError("[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist");
    }
    db_->lost = false;
    open_ = true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

  void ExecuteSql(const std::string& sql, int, std::vector<Recordset>* out) override {
    Link();
    if (sql == "exec sp_server_info 1") {
      ++db_->probes;
      if (db_->probe_fails) throw ProviderError("probe failed");
      return;
    }
    if (sql == "SELECT @@VERSION") {
      Recordset rs({""});
      rs.AddRow({Value::String(db_->version_text)});
      if (out) out->push_back(rs);
      return;
    }
    throw ProviderError("Incorrect syntax near '" + sql + "'");
  }
  Parameters DescribeProcedure(const std::string& name) override {
    Link();
    ++db_->describes;
    auto it = db_->procs.find(name);
    if (it == db_->procs.end())
      throw ProviderError("Could not find stored procedure '" + name + "'");
    return it->second.signature;
  }
  void CallProcedure(const std::string& name, Parameters* params, int,
                     std::vector<Recordset>* out) override {
    Link();
    ++db_->calls[name];
    db_->procs.at(name).body(params, out);
  }
  void BeginTransaction() override {
    Link();
    ++db_->begins;
    db_->in_tran = true;
  }
  void Commit() override {
    ++db_->commits;
    db_->in_tran = false;
  }
  void Rollback() override {
    ++db_->rollbacks;
    db_->in_tran = false;
  }
  bool InTransaction() const override { return db_->in_tran; }

 private:
  void Link() const {
    if (db_->lost)
      throw ProviderError("[DBNETLIB][ConnectionWrite (send()).]General network error");
  }
  ScriptedDb* db_;
  bool open_ = false;
};

// Registers the provider "Scripted" on a ScriptedDb for the lifetime of the
// object.
class ScriptedProviderScope {
 public:
  explicit ScriptedProviderScope(ScriptedDb* db) {
    RegisterProvider("Scripted", [db] { return std::make_unique<ScriptedConnection>(db); });
  }
  ~ScriptedProviderScope() { UnregisterProvider("Scripted"); }
};

}  // namespace zun
