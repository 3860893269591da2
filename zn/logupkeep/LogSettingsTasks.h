// Periodic upkeep of the log settings, run by the periodic task manager by
// name (C names, the manager's OnTimer form). Each returns 0.
//   ReviseDebugLogSetting_OnTimer  expires temporary log settings (levels,
//                                  sizes, version counts, debugger waits)
//                                  and drops version counts equal to the
//                                  catalogue's
//   CheckGlobalFlags_OnTimer       expires image debugging flags of the
//                                  suite's programs and writes the report
//                                  "GlobalFlagInfo.log" into the log folder
#pragma once

#include "zn/base/ZnExport.h"

class ZnPeriodicTaskStatus;

extern "C" {
ZN_EXPORT int ReviseDebugLogSetting_OnTimer(ZnPeriodicTaskStatus* status);
ZN_EXPORT int CheckGlobalFlags_OnTimer(ZnPeriodicTaskStatus* status);
}
