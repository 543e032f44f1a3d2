#include "embedded/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace zun {
namespace {

constexpr int kIterations = 20000;

std::string Hex(const unsigned char* p, size_t n) {
  std::string out;
  char buf[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", p[i]);
    out += buf;
  }
  return out;
}

bool Derive(const std::string& password, const std::string& salt, int iterations,
            unsigned char out[32]) {
  return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                           reinterpret_cast<const unsigned char*>(salt.data()),
                           static_cast<int>(salt.size()), iterations, EVP_sha256(), 32, out) == 1;
}

}  // namespace

std::string HashPassword(const std::string& password) {
  unsigned char salt[16];
  if (RAND_bytes(salt, sizeof salt) != 1) throw std::runtime_error("no random bytes for a salt");
  const std::string salt_hex = Hex(salt, sizeof salt);
  unsigned char hash[32];
  if (!Derive(password, salt_hex, kIterations, hash)) throw std::runtime_error("hash failed");
  return "pbkdf2-sha256$" + std::to_string(kIterations) + "$" + salt_hex + "$" + Hex(hash, 32);
}

bool VerifyPassword(const std::string& password, const std::string& stored) {
  const std::string prefix = "pbkdf2-sha256$";
  if (stored.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t a = prefix.size();
  const size_t b = stored.find('$', a);
  if (b == std::string::npos) return false;
  const size_t c = stored.find('$', b + 1);
  if (c == std::string::npos) return false;
  int iterations = 0;
  try {
    iterations = std::stoi(stored.substr(a, b - a));
  } catch (const std::exception&) {
    return false;
  }
  if (iterations < 1 || iterations > 10000000) return false;
  const std::string salt_hex = stored.substr(b + 1, c - b - 1);
  const std::string want = stored.substr(c + 1);
  unsigned char hash[32];
  if (!Derive(password, salt_hex, iterations, hash)) return false;
  const std::string got = Hex(hash, 32);
  return got.size() == want.size() && CRYPTO_memcmp(got.data(), want.data(), got.size()) == 0;
}

}  // namespace zun
