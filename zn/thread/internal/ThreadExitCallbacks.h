// The process-wide list of thread-exit callbacks (ZnThread::addAtExitCB).
#pragma once

namespace zn::detail {

// Runs every callback, in the order added, on the calling thread, holding
// the list's lock.
void RunThreadExitCallbacks();

}  // namespace zn::detail
