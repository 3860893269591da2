// Version strings come from packages, update records and the command line.
// Parsing one never crashes, and a version without a letter formats and
// parses back to the same fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zn/util/ZnStdVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ZnStdVersion version;
  if (!GetAllInfoFromVersionStr(text, version) || version.servicePackLetter != 0) return 0;
  ZnStdVersion again;
  if (!GetAllInfoFromVersionStr(FormatZnStdVersionString(version), again)) std::abort();
  if (again.release != version.release || again.servicePack != version.servicePack ||
      again.updateNumber != version.updateNumber) {
    std::abort();
  }
  return 0;
}
