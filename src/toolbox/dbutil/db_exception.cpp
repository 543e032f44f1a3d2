#include "toolbox/dbutil/db_exception.h"

namespace zun {

EDBException::EDBException(int32_t code, const std::string& detail)
    : std::runtime_error("EDBException:" + std::to_string(code) +
                         (detail.empty() ? "" : " " + detail)),
      code_(code) {}

EAssertionFailed::EAssertionFailed(const std::string& condition, int line)
    : std::logic_error("Assertion failed: " + condition + " (toolbox\\dbutil, line " +
                       std::to_string(line) + ")") {}

}  // namespace zun
