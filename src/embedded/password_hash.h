// Salted, iterated password hashes for the users of the embedded database
// (PBKDF2-HMAC-SHA256). Stored as "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>".
//
// Thread-safety: pure functions.
#pragma once

#include <string>

namespace zun {

// A new stored hash of password with a random salt.
std::string HashPassword(const std::string& password);

// Whether password matches a stored hash (constant-time comparison).
bool VerifyPassword(const std::string& password, const std::string& stored);

}  // namespace zun
