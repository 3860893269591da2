// A named object's header, as `znadmin shm` reads it from /dev/shm: any
// user may write the segments of objects open to everyone. Describing one
// never crashes, whatever its bytes and whatever size the file claims.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "zn/sync/NamedKernelObject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const unsigned char> bytes(data, size);
  for (const unsigned long long segmentSize : {static_cast<unsigned long long>(size), size * 4096ULL, ~0ULL}) {
    zn::NamedObjectInfo info;
    zn::NamedKernelObject::DescribeHeader(bytes, segmentSize, info);
    if (info.kind.empty() || info.state.empty() || info.name.size() > 256) std::abort();
  }
  return 0;
}
