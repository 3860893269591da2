// The store's overrides of a named pool's limits ("Znd", "<name>_MinThreads",
// "<name>_MaxThreads", "<name>_Timeout"), read and applied the same way by
// both kinds of pool.
#pragma once

#include <cstdint>
#include <string>

namespace zn::detail {

struct PoolOverrides {
  bool hasMinimum = false;
  bool hasMaximum = false;
  bool hasTimeout = false;
  unsigned long minimum = 0;
  unsigned long maximum = 0;
  unsigned long timeout = 0;
};

// Reads the three values of pool `name` (not under any pool lock: the
// store may take its time).
PoolOverrides ReadPoolOverrides(const std::string& name);

// Applies what was read to the limits, logging each change under
// `context`: a minimum above the (new) maximum and a maximum below the
// (new) minimum are not taken; the time-out is taken and logged every
// time it is there. True when `timeout` was set. Caller holds the pool's
// lock.
bool ApplyPoolOverrides(const PoolOverrides& overrides, const std::string& name, const char* context,
                        uint32_t& minCount, uint32_t& maxCount, uint32_t& timeout);

}  // namespace zn::detail
