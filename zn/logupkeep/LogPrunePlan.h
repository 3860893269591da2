// Pruning a log folder without touching it: what a pruning run would
// delete and compress, in the order it would (`znadmin log prune
// --dry-run`).
#pragma once

#include <string>
#include <vector>

#include "zuzazer/CYqError.h"
#include "zn/base/ZnExport.h"

namespace zn {

struct ZN_EXPORT PruneAction {
  enum Kind { kDelete, kCompress };
  Kind kind;
  std::string path;
};

// EvDebug::PruneLogFiles with every deletion and compression recorded in
// `plan` instead of done when `plan` is not null.
ZN_EXPORT CYqError PruneLogFolder(std::string& folder, bool compress, std::vector<PruneAction>* plan);

}  // namespace zn
