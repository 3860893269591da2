#include "zuzazer/CYqCRC32.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

void CYqCRC32::UpdateCRC32(const void* data, std::size_t length) {
  const auto* bytes = static_cast<const Bytef*>(data);
  // zlib takes uInt lengths; feed larger inputs in pieces.
  while (length > 0) {
    const auto piece = static_cast<uInt>(std::min<std::size_t>(length, std::numeric_limits<uInt>::max()));
    m_crc = static_cast<uint32_t>(::crc32(m_crc, bytes, piece));
    bytes += piece;
    length -= piece;
  }
}

uint32_t CYqCRC32::Compute(std::string_view data) {
  CYqCRC32 crc;
  crc.UpdateCRC32(data.data(), data.size());
  return crc.GetCRC32();
}
