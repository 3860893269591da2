// Unique identifiers from caller data: a SHA-256 digest over the caller's
// seed and numbers, one value of the C library's rand(), 15 fresh random
// bytes (the salt) and the caller's extra text, written as 64 upper-case
// hexadecimal characters, the low nibble of each byte first (0x1F is "F1").
// get_guid_nosalt hashes the seed alone, so equal seeds give equal ids.
//
// A factory may be used from several threads at once.
#pragma once

#include <memory>
#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT CGuidFactory {
 public:
  static constexpr std::size_t kSaltSize = 15;

  CGuidFactory();
  ~CGuidFactory();
  CGuidFactory(const CGuidFactory& other);
  CGuidFactory& operator=(const CGuidFactory& other);

  std::string get_guid(const std::string& seed, unsigned int a, unsigned long long b, const std::string& extra);
  std::string get_guid(int seed, unsigned int a, unsigned long long b, const std::string& extra);
  std::string get_guid_nosalt(const std::string& seed);

 private:
  struct Hash;
  std::string make(const void* seed, std::size_t seedSize, unsigned int a, unsigned long long b,
                   const std::string& extra);
  // The begun hash every identifier starts from (a copy of it is fed).
  std::unique_ptr<Hash> m_hash;
};
