#include "toolbox/dbclient/errors.h"

namespace zun {

const char* ErrorKindName(ErrorKind k) {
  switch (k) {
    case ErrorKind::kConnectionLost:
      return "connection lost";
    case ErrorKind::kTimeout:
      return "timeout";
    case ErrorKind::kDeadlock:
      return "deadlock";
    case ErrorKind::kConstraint:
      return "constraint";
    case ErrorKind::kWrongType:
      return "wrong type";
    case ErrorKind::kOther:
      break;
  }
  return "other";
}

ProviderError LinkClosed() {
  ProviderError e(ErrorKind::kConnectionLost, "Connection is closed");
  e.SetNotSent();
  return e;
}

}  // namespace zun
