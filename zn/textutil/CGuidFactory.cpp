#include "zn/textutil/CGuidFactory.h"

#include <sys/random.h>

#include <cstdint>
#include <cstdlib>

#include "zn/textutil/internal/Sha256.h"

struct CGuidFactory::Hash {
  zn::detail::Sha256 begun;
};

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Two characters per byte, the low nibble first.
std::string Hex(const zn::detail::Sha256::Digest& digest) {
  std::string text(digest.size() * 2, '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kHexDigits[digest[i] & 0x0F];
    text[2 * i + 1] = kHexDigits[digest[i] >> 4];
  }
  return text;
}

// The kernel's generator: safe from any thread, never blocking once the
// system is up. False when it cannot give all the bytes now.
bool DrawSalt(unsigned char* salt, std::size_t size) {
  return ::getrandom(salt, size, GRND_NONBLOCK) == static_cast<ssize_t>(size);
}

}  // namespace

CGuidFactory::CGuidFactory() : m_hash(std::make_unique<Hash>()) {}
CGuidFactory::~CGuidFactory() = default;
CGuidFactory::CGuidFactory(const CGuidFactory& other) : m_hash(std::make_unique<Hash>(*other.m_hash)) {}

CGuidFactory& CGuidFactory::operator=(const CGuidFactory& other) {
  if (this != &other) *m_hash = *other.m_hash;
  return *this;
}

std::string CGuidFactory::make(const void* seed, std::size_t seedSize, unsigned int a, unsigned long long b,
                               const std::string& extra) {
  zn::detail::Sha256 hash = m_hash->begun;
  hash.update(seed, seedSize);
  hash.update(&a, sizeof(std::uint32_t));
  hash.update(&b, sizeof(std::uint64_t));
  // glibc's rand() takes its own lock.
  const std::int32_t pseudo = std::rand();
  hash.update(&pseudo, sizeof(pseudo));
  unsigned char salt[kSaltSize];
  if (DrawSalt(salt, sizeof(salt))) hash.update(salt, sizeof(salt));
  hash.update(extra.data(), extra.size());
  return Hex(hash.finish());
}

std::string CGuidFactory::get_guid(const std::string& seed, unsigned int a, unsigned long long b,
                                   const std::string& extra) {
  return make(seed.data(), seed.size(), a, b, extra);
}

std::string CGuidFactory::get_guid(int seed, unsigned int a, unsigned long long b, const std::string& extra) {
  const std::int32_t bytes = seed;
  return make(&bytes, sizeof(bytes), a, b, extra);
}

std::string CGuidFactory::get_guid_nosalt(const std::string& seed) {
  zn::detail::Sha256 hash;
  hash.update(seed.data(), seed.size());
  return Hex(hash.finish());
}
