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

class ZnPeriodicTaskStatus;

extern "C" {
int ReviseDebugLogSetting_OnTimer(ZnPeriodicTaskStatus* status);
int CheckGlobalFlags_OnTimer(ZnPeriodicTaskStatus* status);
}

namespace zn::detail {

// The image flags are checked at most once a day; this makes the next call
// check at once (for tests).
void ResetGlobalFlagsSchedule();

}  // namespace zn::detail
