// The name of the running program as the suite shows it.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"

namespace zn {

// The file name of the running program (readlink of /proc/self/exe, not
// the 15-character comm); "unknown" when it cannot be read.
ZN_EXPORT std::string RunningProcessName();

}  // namespace zn
