#include "foundation/secret_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "../support/scratch.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

TEST(SecretFile, OnlyAPrivateFileWithAPasswordIsRead) {
  const fs::path dir = ScratchDir("zun-secret");
  // Access lists: tag, permissions, id (the format of the kernel's attribute).
  const unsigned me = ::geteuid();
  using Acl = std::vector<std::array<unsigned, 3>>;
  const Acl only_me = {{1, 4, 0}, {2, 4, me}, {4, 0, 0}, {0x10, 4, 0}, {0x20, 0, 0}};
  const Acl someone = {{1, 4, 0}, {2, 4, me + 1}, {4, 0, 0}, {0x10, 4, 0}, {0x20, 0, 0}};
  const Acl a_group = {{1, 4, 0}, {4, 0, 0}, {8, 4, 12345}, {0x10, 4, 0}, {0x20, 0, 0}};
  const std::string huge(kMaxLinhaSecreta + 1, 'x');
  const std::string longest(kMaxLinhaSecreta, 'y');
  const std::string longest_line = longest + "\n";
  const struct {
    const char* content;  // null: a directory; "fifo": a named pipe
    mode_t mode;
    const char* secret;  // null: refused
    const char* why;     // part of the refusal
    Acl acl = {};
  } rows[] = {
      {"s3cret\n", 0440, "s3cret", "", only_me},
      {"s3cret\n", 0440, nullptr, "(mode 0440)", someone},
      {"s3cret\n", 0440, nullptr, "group or others", a_group},
      {"s3cret\n", 0600, "s3cret", ""},
      {"s3 cret\r\nsecond line\n", 0400, "s3 cret", ""},
      {"no line end", 0600, "no line end", ""},
      {"s3cret\n", 0640, nullptr, "(mode 0640)"},
      {"s3cret\n", 0604, nullptr, "group or others"},
      {"\nlater\n", 0600, nullptr, "no password"},
      {nullptr, 0700, nullptr, "not a regular file"},
      {"fifo", 0600, nullptr, "not a regular file"},
      {huge.c_str(), 0600, nullptr, "first line is longer than 4096 bytes"},
      {longest_line.c_str(), 0600, longest.c_str(), ""},
  };
  int n = 0;
  for (const auto& r : rows) {
    const fs::path p = dir / std::to_string(n++);
    if (r.content == nullptr) {
      fs::create_directory(p);
    } else if (std::string(r.content) == "fifo") {
      ASSERT_EQ(::mkfifo(p.c_str(), r.mode), 0);
    } else {
      std::ofstream(p, std::ios::binary) << r.content;
    }
    ::chmod(p.c_str(), r.mode);
    if (!r.acl.empty()) {
      std::string x("\x02\0\0\0", 4);
      auto put = [&x](unsigned v, int bytes) {
        for (int i = 0; i < bytes; ++i) x += static_cast<char>(v >> (8 * i) & 0xFF);
      };
      for (const auto& e : r.acl) {
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
      }
      if (::setxattr(p.c_str(), "system.posix_acl_access", x.data(), x.size(), 0) != 0) {
        continue;  // a file system without access lists
      }
    }
    std::string secret = "untouched";
    const std::string why = ReadSecretFile(p.string(), &secret);
    EXPECT_EQ(secret, r.secret != nullptr ? r.secret : "untouched") << p;
    EXPECT_EQ(why.empty(), r.secret != nullptr) << why;
    EXPECT_NE(why.find(r.why), std::string::npos) << why;
    EXPECT_EQ(why.find("s3cret"), std::string::npos) << "the refusal must not show the content";
  }
  EXPECT_NE(ReadSecretFile((dir / "missing").string(), nullptr).find("cannot open"),
            std::string::npos);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zun
