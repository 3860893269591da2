// Hooks for the library's own tests: they reset and look into the
// collector's process-wide state. Not for programs.
#pragma once

#include <cstddef>

#include "zn/base/ZnExport.h"

class EvDebugFileInstance;

namespace zn::testing {

// Stops the logging thread, forgets every instance, the decision and the
// metrics log, so the next Initialize decides again.
ZN_EXPORT void ResetMetricsCollector();

ZN_EXPORT bool MetricsCollectorLockHeld();
ZN_EXPORT bool MetricsLoggingThreadRunning();
ZN_EXPORT std::size_t MetricsInstanceCount();
ZN_EXPORT EvDebugFileInstance& MetricsLogInstance();

}  // namespace zn::testing
