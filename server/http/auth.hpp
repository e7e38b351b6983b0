// Passwords (Argon2id) and session tokens (256-bit random, kept only as a hash).
#pragma once

#include <string>

namespace vs {

// Call once before any other function here.
bool auth_init();
std::string hash_password(const std::string &pw);
bool verify_password(const std::string &hash, const std::string &pw);
// A fresh token for the client: 64 hex digits.
std::string new_token();
// What the store keeps of a token.
std::string token_hash(const std::string &token);

} // namespace vs
