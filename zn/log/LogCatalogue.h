// The compiled log catalogue and its two indexes (by id, by upper-cased
// name), built at static initialisation.
#pragma once

#include <span>
#include <string_view>

#include "zn/log/EvDebug.h"
#include "zn/base/ZnExport.h"

namespace zn {

// The id rule: CRC-32 of the name upper-cased in ASCII, top bit cleared.
ZN_EXPORT unsigned int LogIdForName(std::string_view name);

ZN_EXPORT std::span<const ZNLogFileInfo> LogCatalogueRows();
ZN_EXPORT const ZNLogFileInfo* FindLogById(unsigned int id);
ZN_EXPORT const ZNLogFileInfo* FindLogByName(std::string_view name);

}  // namespace zn
