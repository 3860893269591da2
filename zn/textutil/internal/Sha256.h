// SHA-256 (FIPS 180-4) for the identifier factory: the library's digest
// classes sit above this module, and an identifier needs no engine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zn::detail {

class Sha256 {
 public:
  static constexpr std::size_t kDigestSize = 32;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  Sha256();
  void update(const void* data, std::size_t size);
  Digest finish();

 private:
  void compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> m_state;
  std::array<std::uint8_t, 64> m_block{};
  std::size_t m_blockUsed = 0;
  std::uint64_t m_totalBytes = 0;
};

}  // namespace zn::detail
