#include "zn/file/internal/FileErrors.h"

#include <cerrno>

#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {

uint32_t FileErrorFromErrno(int errnum, bool isPath) {
  if (errnum == EEXIST) return yq::kErrorFileExists;
  return yq::Win32FromErrno(errnum, isPath);
}

std::string PrintableName(std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '\\') {
      if (c == '\\') {
        shown += "\\\\";
        continue;
      }
      shown += "\\x";
      shown.push_back(kHex[byte >> 4]);
      shown.push_back(kHex[byte & 0xf]);
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

}  // namespace zn::detail
