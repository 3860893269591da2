// Hooks of the file module for tests and fuzzers only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zn/base/ZnExport.h"

namespace zn::testing {

// Our UTF-16LE decoder, fed `bytes` in pieces cut at `cuts` (offsets, in
// any order; those beyond the end are ignored), as UTF-32.
ZN_EXPORT std::wstring DecodeUtf16LeForTest(std::string_view bytes, const std::vector<std::size_t>& cuts);

}  // namespace zn::testing
