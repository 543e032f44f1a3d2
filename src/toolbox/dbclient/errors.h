// The two exception classes of the database client.
//
// ProviderError: the provider (the database engine or its driver) reported a
// failure; what() is the provider's own message. Every provider also sets the
// failure's kind, so that callers decide on the kind and never on message
// texts, which differ by driver, server version and language. DatasetError:
// the program asked a command or result set for something it does not have (an
// unknown column or parameter) or for a value that cannot be read as asked.
//
// Thread-safety: plain value types.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zun {

// What went wrong, as far as a caller needs to know.
enum class ErrorKind {
  kOther,
  kConnectionLost,  // the link to the server is gone: reconnecting may help
  kTimeout,         // the command ran past its timeout
  kDeadlock,        // chosen as a deadlock victim: the transaction was undone
  kConstraint,      // a unique, foreign-key or check constraint refused a write
  kWrongType,       // a parameter value of the wrong type for its parameter
};

// The kind's name for log lines: "other", "connection lost", ...
const char* ErrorKindName(ErrorKind k);

class ProviderError : public std::runtime_error {
 public:
  explicit ProviderError(const std::string& message, int32_t native_code = 0,
                         ErrorKind kind = ErrorKind::kOther, std::string sql_state = {})
      : std::runtime_error(message),
        native_code_(native_code),
        kind_(kind),
        sql_state_(std::move(sql_state)) {}
  ProviderError(ErrorKind kind, const std::string& message) : ProviderError(message, 0, kind) {}

  // The provider's own error number, 0 when it gave none.
  int32_t NativeCode() const { return native_code_; }
  ErrorKind Kind() const { return kind_; }
  // The five-character SQLSTATE where the provider has one, else empty.
  const std::string& SqlState() const { return sql_state_; }
  // Whether the request never reached the server (the link was found
  // closed before it was sent, or sending it failed): the call cannot have
  // run, and may be repeated on a new link.
  bool NotSent() const { return not_sent_; }
  void SetNotSent() { not_sent_ = true; }

 private:
  int32_t native_code_;
  ErrorKind kind_;
  std::string sql_state_;
  bool not_sent_ = false;
};

// The lost-link error of a request that found the connection closed and
// was not sent: "Connection is closed".
ProviderError LinkClosed();

class DatasetError : public std::runtime_error {
 public:
  explicit DatasetError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace zun
