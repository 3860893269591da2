// The demo service's periodic tasks: one of its own, and the library's log
// maintenance, loaded by name from libZaRorozIvi.so in the installation's
// home folder.
#pragma once

#include <atomic>

#include "zn/task/ZnPeriodicTask.h"

namespace zn::demo {

// What the demo's own task reports on.
struct ProgressSource {
  std::atomic<int>* done = nullptr;
  ZnThreadPool* pool = nullptr;
  std::atomic<int> runs{0};
};

// The table, ending in a row without a name. `progress` must outlive the
// task manager.
const ZnPeriodicTaskItem* DemoTaskTable(ProgressSource* progress);

}  // namespace zn::demo
