// The codes and texts the file classes report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zn::detail {

// The Win32 code of a failed file call: the library's one errno mapping,
// with EEXIST as "the file exists" (80), which files report rather than
// the 183 of named objects.
uint32_t FileErrorFromErrno(int errnum, bool isPath = false);

// A file name as a message shows it: control characters (line feeds
// above all) as \xNN and a backslash doubled, so that a name found on disk
// cannot forge a line of its own in a log.
std::string PrintableName(std::string_view name);
inline std::string PrintableName(const char* name) {
  return name != nullptr ? PrintableName(std::string_view(name)) : std::string("(null)");
}

}  // namespace zn::detail
