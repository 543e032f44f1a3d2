#include "toolbox/dbclient/command.h"

#include "toolbox/dbclient/errors.h"

namespace zun {

Command::Command(Connection* conn, CommandType type, std::string text)
    : conn_(conn), type_(type), text_(std::move(text)), timeout_(conn->CommandTimeout()) {
  if (type_ == CommandType::kStoredProc) {
    params_ = conn_->Provider().DescribeProcedure(text_);
    return;
  }
  const int n = ContaMarcadores(text_);
  for (int i = 1; i <= n; ++i) {
    params_.Add(Parameter{"@" + std::to_string(i), DataType::kEmpty, ParamDirection::kInput, {}});
  }
}

std::unique_ptr<Command> RunProcedure(Connection* conn, const std::string& proc,
                                      const std::vector<std::pair<const char*, Value>>& in,
                                      int32_t* code) {
  auto cmd = std::make_unique<Command>(conn, CommandType::kStoredProc, proc);
  for (const auto& [name, v] : in) cmd->Params().ParamByName(name).value = v;
  cmd->Open();
  const Parameter* r = cmd->Params().ReturnValue();
  *code = r == nullptr || r->value.IsNull() ? 0 : r->value.AsInt();
  return cmd;
}

int ContaMarcadores(const std::string& sql) {
  int n = 0;
  size_t i = 0;
  auto pula_ate = [&](const char* fim) {
    const size_t f = sql.find(fim, i);
    i = f == std::string::npos ? sql.size() : f + std::char_traits<char>::length(fim);
  };
  while (i < sql.size()) {
    const char c = sql[i++];
    if (c == '?') {
      ++n;
    } else if (c == '\'') {
      pula_ate("'");  // a doubled quote reads as two strings: same count
    } else if (c == '"') {
      pula_ate("\"");
    } else if (c == '[') {
      pula_ate("]");
    } else if (c == '-' && i < sql.size() && sql[i] == '-') {
      pula_ate("\n");
    } else if (c == '/' && i < sql.size() && sql[i] == '*') {
      ++i;
      pula_ate("*/");
    }
  }
  return n;
}

void Command::ExecuteRows(const std::vector<std::vector<Value>>& rows) {
  Close();
  rows_affected_ = conn_->Provider().ExecuteSqlParamsRows(text_, rows, timeout_);
}

void Command::Run() {
  Close();
  std::vector<Recordset> results;
  rows_affected_ = 0;
  if (type_ == CommandType::kStoredProc) {
    conn_->Provider().CallProcedure(text_, &params_, timeout_, &results);
  } else if (params_.Count() > 0) {
    std::vector<Value> binds;
    binds.reserve(static_cast<size_t>(params_.Count()));
    for (const Parameter& p : params_.items()) binds.push_back(p.value);
    rows_affected_ = conn_->Provider().ExecuteSqlParams(text_, binds, timeout_, &results);
  } else {
    conn_->Provider().ExecuteSql(text_, timeout_, &results);
  }
  results_ = std::move(results);
  pending_ = true;
}

void Command::Execute() { Run(); }

void Command::ReadRows(const std::function<void(const RowView&)>& row) {
  Close();
  rows_affected_ = 0;
  std::vector<Value> binds;
  binds.reserve(static_cast<size_t>(params_.Count()));
  for (const Parameter& p : params_.items()) binds.push_back(p.value);
  conn_->Provider().ReadRows(text_, binds, timeout_, row);
}

void Command::Open() {
  if (!pending_) Run();
  pending_ = false;
  current_ = 0;
  active_ = !results_.empty();
  if (active_) results_[0].First();
}

bool Command::NextRecordset() {
  if (!active_) return false;
  if (current_ + 1 >= results_.size()) {
    Close();
    return false;
  }
  ++current_;
  results_[current_].First();
  return true;
}

Recordset& Command::Current() {
  if (!active_) throw DatasetError("Command " + text_ + ": no open result set");
  return results_[current_];
}

void Command::Close() {
  results_.clear();
  current_ = 0;
  pending_ = false;
  active_ = false;
}

}  // namespace zun
