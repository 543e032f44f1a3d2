// A database connection: opened from a connection string whose "Provider="
// value picks the provider, with a state, SQL text without rows,
// transactions at serializable isolation and a default command timeout.
//
// Thread-safety: one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "toolbox/dbclient/provider.h"

namespace zun {

enum class ConnectionState { kClosed, kConnecting, kOpen };

class Connection {
 public:
  Connection() = default;
  // Wipes the connection string.
  virtual ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The connection string is kept (with its password) for every later
  // Open: a session that reconnects needs it. The copies an open makes are
  // wiped once it is over.
  void SetConnectionString(const std::string& cs) {
    ApagaTexto(&connection_string_);
    connection_string_ = cs;
  }
  const std::string& GetConnectionString() const { return connection_string_; }

  // Opens with the stored connection string (closing an open connection
  // first). Raises ProviderError; the connection is then closed.
  void Open();
  void Close();
  ConnectionState State() const;
  bool Connected() const { return State() == ConnectionState::kOpen; }

  // Runs SQL text, discarding any rows. Precondition: open (else
  // ProviderError).
  void Execute(const std::string& sql);

  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  bool InTransaction() const;
  // The provider's grouped commits and savepoints (ProviderConnection).
  // SupportsGroupedCommits is false while closed.
  bool SupportsGroupedCommits() const;
  bool GroupsNeedResumeMark() const {
    return provider_ && provider_->IsOpen() && provider_->GroupsNeedResumeMark();
  }
  void BeginGroupTrans() { Provider().BeginGroupTransaction(); }
  void Savepoint(const std::string& name) { Provider().Savepoint(name); }
  void ReleaseSavepoint(const std::string& name) { Provider().ReleaseSavepoint(name); }
  void RollbackToSavepoint(const std::string& name) { Provider().RollbackToSavepoint(name); }
  void YieldToWaiters() {
    if (provider_ && provider_->IsOpen()) provider_->YieldToWaiters();
  }
  void LongSeries(bool on) {
    if (provider_ && provider_->IsOpen()) provider_->LongSeries(on);
  }
  void SharedReads(int max_ms) {
    if (provider_ && provider_->IsOpen()) provider_->SharedReads(max_ms);
  }

  // Seconds an Open may take to connect and log in (15 unless set).
  int ConnectionTimeout() const { return connection_timeout_; }
  void SetConnectionTimeout(int seconds) { connection_timeout_ = seconds; }

  // Default timeout of the commands of this connection, in seconds.
  int CommandTimeout() const { return command_timeout_; }
  void SetCommandTimeout(int seconds) { command_timeout_ = seconds; }

  // The open provider connection. Raises ProviderError when closed.
  ProviderConnection& Provider();

 private:
  std::string connection_string_;
  std::unique_ptr<ProviderConnection> provider_;
  int command_timeout_ = 30;
  int connection_timeout_ = 15;
};

}  // namespace zun
