// Hooks for the library's own tests: they reset and look into the log's
// process-wide state. Not for programs.
#pragma once

#include <cstddef>

#include "zn/base/ZnExport.h"

namespace zn::testing {

// Forgets the default instance, so the next line opens it afresh.
ZN_EXPORT void ResetDefaultLogInstance();
ZN_EXPORT int DefaultLogInstanceState();
// The writers of the process, retired ones left out.
ZN_EXPORT std::size_t LogWriterCount();
// Threads with a pushed instance.
ZN_EXPORT int LogThreadLevelCount();
// Whether this thread holds a stack of pushed instances.
ZN_EXPORT bool LogThreadStackAllocated();
// Forgets the streaming set-up (unloading the service), so the next line
// runs it again as in a fresh process.
ZN_EXPORT void ResetLogStreaming();
// What unloading the library does to the utility library's sink: replaced
// by a null writer when it is our bridge.
ZN_EXPORT void DetachLogBridge();
// How long a process whose service daemon went away waits before it ends
// (20 s unless set here).
ZN_EXPORT void SetZndShutdownGraceMs(unsigned long ms);

}  // namespace zn::testing
