// The mount table parser over arbitrary text: never a crash or a read past
// the text; every entry it keeps has the fields a listing relies on, and a
// mount point appears once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "zn/file/MountInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::set<std::string> points;
  for (const auto& entry : zn::ParseMountInfo(text)) {
    if (entry.mountPoint.empty() || entry.root.empty() || entry.fsType.empty()) std::abort();
    if (!points.insert(entry.mountPoint).second) std::abort();
    // Decoding only ever shortens a field.
    if (entry.mountPoint.size() > size || entry.source.size() > size) std::abort();
  }
  return 0;
}
