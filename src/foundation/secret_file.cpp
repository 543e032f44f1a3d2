#include "foundation/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace zun {
namespace {

// The entries of a POSIX access list as the kernel stores it in the
// attribute "system.posix_acl_access": a 4-byte version (2), then per
// entry a 2-byte tag, 2-byte permissions and 4-byte id, little-endian.
constexpr unsigned kAclUser = 0x02, kAclGroupObj = 0x04, kAclGroup = 0x08, kAclMask = 0x10,
                   kAclOther = 0x20, kAclRead = 0x04;

unsigned Le(const unsigned char* p, int n) {
  unsigned v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// Whether anyone but the file's owner and this process's user may read the
// file. With an access list the mode's group bits are the list's mask, and
// named users and groups may read too: systemd hands a service its
// credentials as mode 0440 files whose list lets only that service's user
// read, which is private.
bool OthersMayRead(int fd, mode_t mode) {
  unsigned char acl[1024];
  const ssize_t n = ::fgetxattr(fd, "system.posix_acl_access", acl, sizeof acl);
  if (n < 4) return (mode & (S_IRGRP | S_IROTH)) != 0;
  unsigned mask = kAclRead;
  bool group_class_reads = false;
  bool other_reads = false;
  for (ssize_t at = 4; at + 8 <= n; at += 8) {
    const unsigned tag = Le(acl + at, 2);
    const bool reads = (Le(acl + at + 2, 2) & kAclRead) != 0;
    if (tag == kAclMask) mask = Le(acl + at + 2, 2);
    if (tag == kAclOther) other_reads = reads;
    if ((tag == kAclGroupObj || tag == kAclGroup) && reads) group_class_reads = true;
    if (tag == kAclUser && reads && Le(acl + at + 4, 4) != ::geteuid()) group_class_reads = true;
  }
  return other_reads || (group_class_reads && (mask & kAclRead) != 0);
}

}  // namespace

std::string ReadSecretFile(const std::string& path, std::string* secret) {
  if (path.empty()) return "no file named";
  // O_NONBLOCK: a named pipe in the file's place must not hang the caller;
  // the type is checked on what was opened, so a swap after a check cannot
  // slip through.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return "cannot open <" + path + ">: " + std::strerror(errno);
  struct stat st {};
  std::string why;
  if (::fstat(fd, &st) != 0) {
    why = "cannot read <" + path + ">: " + std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = "<" + path + "> is not a regular file";
  } else if (OthersMayRead(fd, st.st_mode)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    why = "<" + path + "> may be read by group or others (mode " + mode +
          "); make it private: chmod 600";
  }
  // At most one byte more than the longest line taken: a huge first line
  // must not hold up the login while it is read.
  std::string content;
  while (why.empty() && content.size() <= kMaxLinhaSecreta) {
    char buf[kMaxLinhaSecreta + 2];
    const ssize_t n = ::read(fd, buf, kMaxLinhaSecreta + 1 - content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) why = "cannot read <" + path + ">: " + std::strerror(errno);
    if (n <= 0) break;
    content.append(buf, static_cast<size_t>(n));
    if (content.find('\n') != std::string::npos) break;
  }
  ::close(fd);
  if (!why.empty()) return why;
  if (content.find('\n') == std::string::npos && content.size() > kMaxLinhaSecreta) {
    return "<" + path + ">: its first line is longer than " + std::to_string(kMaxLinhaSecreta) +
           " bytes";
  }
  content = content.substr(0, content.find('\n'));
  if (!content.empty() && content.back() == '\r') content.pop_back();
  if (content.empty()) return "<" + path + "> holds no password on its first line";
  *secret = content;
  return "";
}

}  // namespace zun
