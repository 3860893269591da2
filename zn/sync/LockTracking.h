// Lock tracking: when "LogLocks" is set under the product's machine key,
// every named lock a process takes is recorded under its "Locks" subkey as
// "<pid>:<tid>:<program path>:<time>" and removed when released.
#pragma once

#include <string>
#include "zn/base/ZnExport.h"

namespace zn {

class ZN_EXPORT LockTracking {
 public:
  // Read once per process.
  static bool Enabled();
  static void Record(const std::string& lockName);
  static void Forget(const std::string& lockName);

  // The machine key and the subkey of the records.
  static constexpr const char* kMachineKey = "Software\\Tessaly Systems\\Orvane";
  static constexpr const char* kLocksKey = "Software\\Tessaly Systems\\Orvane\\Locks";
};

}  // namespace zn
