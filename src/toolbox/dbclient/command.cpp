#include "toolbox/dbclient/command.h"

#include "toolbox/dbclient/errors.h"

namespace zun {

Command::Command(Connection* conn, CommandType type, std::string text)
    : conn_(conn), type_(type), text_(std::move(text)), timeout_(conn->CommandTimeout()) {
  if (type_ == CommandType::kStoredProc) params_ = conn_->Provider().DescribeProcedure(text_);
}

void Command::Run() {
  Close();
  std::vector<Recordset> results;
  if (type_ == CommandType::kStoredProc) {
    conn_->Provider().CallProcedure(text_, &params_, timeout_, &results);
  } else {
    conn_->Provider().ExecuteSql(text_, timeout_, &results);
  }
  results_ = std::move(results);
  pending_ = true;
}

void Command::Execute() { Run(); }

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
