// The compiled log catalogue and its two indexes (by id, by upper-cased
// name), built at static initialisation.
#pragma once

#include <span>
#include <string_view>

#include "zn/log/EvDebug.h"

namespace zn::detail {

// The id rule: CRC-32 of the name upper-cased in ASCII, top bit cleared.
unsigned int LogIdForName(std::string_view name);

std::span<const ZNLogFileInfo> LogCatalogueRows();
const ZNLogFileInfo* FindLogById(unsigned int id);
const ZNLogFileInfo* FindLogByName(std::string_view name);

}  // namespace zn::detail
