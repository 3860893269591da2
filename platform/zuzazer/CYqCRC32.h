// CRC-32 of the IEEE 802.3 polynomial, as zlib computes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zuzazer/YqExport.h"

class YQ_EXPORT CYqCRC32 {
 public:
  void UpdateCRC32(const void* data, std::size_t length);
  uint32_t GetCRC32() const { return m_crc; }
  void Reset() { m_crc = 0; }

  static uint32_t Compute(std::string_view data);

 private:
  uint32_t m_crc = 0;
};
