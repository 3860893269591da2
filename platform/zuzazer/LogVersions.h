// Names of a log's older versions ("<base>_YYYYMMDDhhmmss.log", stamped in
// UTC so that name order is age order across daylight-saving changes) and
// their pruning.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

namespace yq {

// "<base>_<14 digits of `seconds` in UTC>.log"
YQ_EXPORT std::string LogVersionFileName(const std::string& baseName, int64_t seconds);

// True when `fileName` is a version of `baseName`: base, "_", digits and
// "_" only, then ".log" or ".log.zip".
YQ_EXPORT bool IsLogVersionOf(const std::string& fileName, const std::string& baseName);

// The versions of `baseName` in `directory`, newest first.
YQ_EXPORT std::vector<std::string> ListLogVersions(const std::string& directory, const std::string& baseName);

// Deletes the versions beyond the newest `maxVersions`, and, when
// `retainSeconds` is non-zero, the versions last written before now minus
// that many seconds. Files that vanish meanwhile are no error.
YQ_EXPORT void PruneLogVersions(const std::string& directory, const std::string& baseName, uint32_t maxVersions,
                      uint64_t retainSeconds);

}  // namespace yq
