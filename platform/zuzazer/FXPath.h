// Joining and splitting file paths. Every path join of the suite goes
// through Append, so separators are handled in one place.
#pragma once

#include <string>
#include <string_view>

#include "zuzazer/YqExport.h"

namespace FXPath {

inline constexpr char kSeparator = '/';

// Joins two parts with exactly one separator. An empty part gives the other
// one unchanged. `flags` is reserved and must be 0.
YQ_EXPORT std::string Append(std::string_view path, std::string_view part, int flags = 0);

// The last component ("a/b/c.log" gives "c.log"; a trailing separator is
// ignored).
YQ_EXPORT std::string GetFileName(std::string_view path);
// Everything before the last component, without its trailing separator;
// "" for a bare name, "/" for a child of the root.
YQ_EXPORT std::string GetDirectory(std::string_view path);
// `path` with one separator at its end.
YQ_EXPORT std::string WithTrailingSeparator(std::string_view path);

}  // namespace FXPath
