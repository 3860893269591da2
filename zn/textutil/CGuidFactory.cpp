#include "zn/textutil/CGuidFactory.h"

#include <cstdint>
#include <cstdlib>

#include "zn/crypto/znc.h"
#include "zn/crypto/znc_sha256.h"

struct CGuidFactory::Hash {
  ZncSHA256 begun;
};

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Two characters per byte, the low nibble first.
std::string Hex(const ZncBucket& digest) {
  const auto* bytes = digest.getData();
  const std::size_t size = static_cast<std::size_t>(digest.getSize());
  std::string text(size * 2, '0');
  for (std::size_t i = 0; i < size; ++i) {
    text[2 * i] = kHexDigits[bytes[i] & 0x0F];
    text[2 * i + 1] = kHexDigits[bytes[i] >> 4];
  }
  return text;
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
  // A copy of the begun hash starts a message of its own, so threads
  // sharing the factory never share a running state.
  ZncSHA256 hash(m_hash->begun);
  hash.addData(seed, static_cast<int>(seedSize));
  hash.addData(&a, sizeof(std::uint32_t));
  hash.addData(&b, sizeof(std::uint64_t));
  // glibc's rand() takes its own lock.
  const std::int32_t pseudo = std::rand();
  hash.addData(&pseudo, sizeof(pseudo));
  unsigned char salt[kSaltSize];
  Znc::getRand(salt, sizeof(salt));
  hash.addData(salt, sizeof(salt));
  hash.addData(extra.data(), static_cast<int>(extra.size()));
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
  ZncSHA256 hash;
  hash.addData(seed.data(), static_cast<int>(seed.size()));
  return Hex(hash.finish());
}
