// Exceptions raised by the database session and its accessors.
//
// EDBException carries a system error code; the protected places of the
// program turn it back into a code with CodigoDaExcecao. EAssertionFailed
// reports a broken precondition of the transaction nesting (a programming
// error, never bad input).
//
// Thread-safety: plain value types.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zun {

// An error code raised as an exception; what() is "EDBException:" + code,
// followed by a blank and detail when one is given.
class EDBException : public std::runtime_error {
 public:
  explicit EDBException(int32_t code, const std::string& detail = "");

  int32_t Code() const { return code_; }

 private:
  int32_t code_;
};

// A failed assertion of this unit; what() names the condition, the unit
// "toolbox\dbutil" and the source line.
class EAssertionFailed : public std::logic_error {
 public:
  EAssertionFailed(const std::string& condition, int line);
};

}  // namespace zun
