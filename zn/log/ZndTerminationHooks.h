// What the log's watch over the local service daemon needs of the
// termination handler, which sits above the log (it waits on a named mutex
// of the sync module): the registered callback and the wait for the daemon
// to end. The handler installs them while the library loads; until then
// the log starts no watch.
#pragma once

#include "zn/base/ZnExport.h"

namespace zn {

using ZndTerminationCallback = bool (*)();

struct ZN_EXPORT ZndTerminationHooks {
  // ZNDTerminationHandler::getRegisteredZNDTerminationCallBack
  ZndTerminationCallback (*registeredCallback)() = nullptr;
  // ZNDTerminationHandler::_WaitForZNDTermination without a quit event and
  // without a time limit: true when the daemon has ended or is not running.
  bool (*waitForTermination)() = nullptr;
};

ZN_EXPORT void InstallZndTerminationHooks(const ZndTerminationHooks& hooks);

}  // namespace zn
