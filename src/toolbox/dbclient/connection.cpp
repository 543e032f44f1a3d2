#include "toolbox/dbclient/connection.h"

#include "toolbox/dbclient/errors.h"

namespace zun {

Connection::~Connection() { ApagaTexto(&connection_string_); }

void Connection::Open() {
  Close();
  // The parsed copy holds the password: it lives only as long as the open.
  ConnectionString cs(connection_string_);
  try {
    std::unique_ptr<ProviderConnection> p = CreateProviderConnection(cs.Get("Provider"));
    p->SetLoginTimeout(connection_timeout_);
    p->Open(cs);
    provider_ = std::move(p);
  } catch (...) {
    cs.Wipe();
    throw;
  }
  cs.Wipe();
}

void Connection::Close() {
  if (provider_) {
    provider_->Close();
    provider_.reset();
  }
}

ConnectionState Connection::State() const {
  if (!provider_) return ConnectionState::kClosed;
  if (provider_->IsConnecting()) return ConnectionState::kConnecting;
  return provider_->IsOpen() ? ConnectionState::kOpen : ConnectionState::kClosed;
}

ProviderConnection& Connection::Provider() {
  if (!provider_ || !provider_->IsOpen()) throw LinkClosed();
  return *provider_;
}

void Connection::Execute(const std::string& sql) {
  Provider().ExecuteSql(sql, command_timeout_, nullptr);
}

void Connection::BeginTrans() { Provider().BeginTransaction(); }
void Connection::CommitTrans() { Provider().Commit(); }
void Connection::RollbackTrans() { Provider().Rollback(); }

bool Connection::SupportsGroupedCommits() const {
  return provider_ && provider_->IsOpen() && provider_->SupportsGroupedCommits();
}

bool Connection::InTransaction() const {
  return provider_ && provider_->IsOpen() && provider_->InTransaction();
}

}  // namespace zun
