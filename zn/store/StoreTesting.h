// Hooks for the library's own tests: the shared state the store leaves on
// the machine. Not for programs.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"

namespace zn::testing {

// The shared-memory name of the change counter of the store file at
// `path`; empty when there is no such file.
ZN_EXPORT std::string StoreCounterName(const std::string& path);

}  // namespace zn::testing
