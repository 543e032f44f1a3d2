#include "foundation/version.h"

#include <unistd.h>

#include <climits>

namespace zun {

std::string CaminhoDoExecutavel() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n <= 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

}  // namespace zun
