// The two exception classes of the database client.
//
// ProviderError: the provider (the database engine or its driver) reported a
// failure; what() is the provider's own message. DatasetError: the program
// asked a command or result set for something it does not have (an unknown
// column or parameter) or for a value that cannot be read as asked.
//
// Thread-safety: plain value types.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zun {

class ProviderError : public std::runtime_error {
 public:
  explicit ProviderError(const std::string& message, int32_t native_code = 0)
      : std::runtime_error(message), native_code_(native_code) {}
  // The provider's own error number, 0 when it gave none.
  int32_t NativeCode() const { return native_code_; }

 private:
  int32_t native_code_;
};

class DatasetError : public std::runtime_error {
 public:
  explicit DatasetError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace zun
