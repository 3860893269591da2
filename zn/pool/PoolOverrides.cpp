#include "zn/pool/internal/PoolOverrides.h"

#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/EvDebug.h"

namespace zn::detail {

PoolOverrides ReadPoolOverrides(const std::string& name) {
  ZNPlatformInfo store(0, 0);
  PoolOverrides read;
  read.hasMinimum = store.getNumber("Znd", (name + "_MinThreads").c_str(), &read.minimum) != 0;
  read.hasMaximum = store.getNumber("Znd", (name + "_MaxThreads").c_str(), &read.maximum) != 0;
  read.hasTimeout = store.getNumber("Znd", (name + "_Timeout").c_str(), &read.timeout) != 0;
  return read;
}

bool ApplyPoolOverrides(const PoolOverrides& overrides, const std::string& name, const char* context,
                        uint32_t& minCount, uint32_t& maxCount, uint32_t& timeout) {
  const unsigned long newMaximum = overrides.hasMaximum ? overrides.maximum : maxCount;
  if (overrides.hasMinimum && overrides.minimum <= newMaximum && overrides.minimum != minCount) {
    minCount = static_cast<uint32_t>(overrides.minimum);
    EvDebug().Debug(context, "Threadpool [%s]. Default min count changed to [%u]", name.c_str(), minCount);
  }
  if (overrides.hasMaximum && overrides.maximum >= minCount && overrides.maximum != maxCount) {
    maxCount = static_cast<uint32_t>(overrides.maximum);
    EvDebug().Debug(context, "Threadpool [%s]. Default max count changed to [%u]", name.c_str(), maxCount);
  }
  if (!overrides.hasTimeout) return false;
  timeout = static_cast<uint32_t>(overrides.timeout);
  EvDebug().Debug(context, "Threadpool [%s]. Default timeout changed to [%lu]", name.c_str(), overrides.timeout);
  return true;
}

}  // namespace zn::detail
