// Hooks for the library's own tests. Not for programs.
#pragma once

#include "zn/base/ZnExport.h"

namespace zn::testing {

// The image flags are checked at most once a day; this makes the next
// check run at once.
ZN_EXPORT void ResetGlobalFlagsSchedule();

}  // namespace zn::testing
