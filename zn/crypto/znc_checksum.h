// The checksums computed in this library itself: CRC-32 (IEEE 802.3,
// reflected polynomial 0xEDB88320) and CRC-32C (Castagnoli, reflected
// 0x82F63B78). Both take the running register in *crc and leave it there:
// neither sets a start value nor inverts the result, so a caller that
// wants the usual check value starts at 0xFFFFFFFF and inverts at the end
// (the formats of this library start at 0xFFFFFFFF and store the register
// as it ends). Data may be fed in pieces of any size. A null `data` or
// `crc`, or a length of 0, leaves *crc unchanged. Both use the processor's
// instructions (PCLMULQDQ, SSE4.2) where it has them, with the same
// results as the tables.
#pragma once

#include <cstddef>

#include "zn/base/ZnExport.h"

ZN_EXPORT void zn_crc32(const void* data, size_t len, unsigned int* crc);
ZN_EXPORT void zn_crc32c(const void* data, size_t len, unsigned int* crc);
