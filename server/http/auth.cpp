#include "http/auth.hpp"

#include <sodium.h>

#include <stdexcept>

namespace vs {

namespace {
// Argon2id at 2 passes over 19 MiB: the commonly recommended floor, about 30 ms here, so the
// small worker pool keeps sign-ins flowing without letting a guesser try fast.
constexpr unsigned long long kOps = 2;
constexpr size_t kMem = 19u * 1024u * 1024u;

std::string hex(const unsigned char *p, size_t n) {
  std::string out(n * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), p, n);
  out.pop_back();
  return out;
}
} // namespace

bool auth_init() { return sodium_init() >= 0; }

std::string hash_password(const std::string &pw) {
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(out, pw.data(), pw.size(), kOps, kMem, crypto_pwhash_ALG_ARGON2ID13) != 0)
    throw std::runtime_error("out of memory while hashing a password");
  return out;
}

bool verify_password(const std::string &hash, const std::string &pw) {
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES)
    return false;
  return crypto_pwhash_str_verify(hash.c_str(), pw.data(), pw.size()) == 0;
}

std::string new_token() {
  unsigned char b[32];
  randombytes_buf(b, sizeof b);
  return hex(b, sizeof b);
}

std::string token_hash(const std::string &token) {
  unsigned char h[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(h, reinterpret_cast<const unsigned char *>(token.data()), token.size());
  return hex(h, sizeof h);
}

} // namespace vs
