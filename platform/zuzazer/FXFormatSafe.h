// printf-style formats checked before they are expanded, and the expansion
// for the rare format that holds a "%n" conversion,
// in any of its forms ("%n", "%hhn", "%*n", "%.*n", "%3$n", ...).
//
// Every conversion is parsed and takes its own arguments with their own
// types, so the arguments after a "%n" stay where they belong; "%n" takes its
// width, precision and pointer and prints nothing. Nothing is ever written
// through the pointer, and no argument is read as a type it is not.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string_view>

namespace yq {

struct FormatScan {
  bool percentN = false;  // a "%n" conversion of any form
  // Where a conversion starts that the format ends inside of (a lone "%" at
  // the end, say), or npos.
  std::size_t unfinishedAt = std::string_view::npos;
};
// The format is a terminated text, as printf's are.
FormatScan ScanFormat(const char* format);

// vsnprintf's contract: at most `size` bytes (terminated) into `buffer`, the
// length of the whole result returned, -1 for a format that cannot be
// expanded (positional and sequential arguments mixed, say). A "%" at the end
// of the format is printed as it stands.
int FormatWithoutPercentN(char* buffer, std::size_t size, const char* format, va_list args);

}  // namespace yq
