// Pruning a log folder without touching it: what a pruning run would
// delete and compress, in the order it would (`znadmin log prune
// --dry-run`).
#pragma once

#include <string>
#include <vector>

#include "zuzazer/CYqError.h"

namespace zn::detail {

struct PruneAction {
  enum Kind { kDelete, kCompress };
  Kind kind;
  std::string path;
};

// EvDebug::PruneLogFiles with every deletion and compression recorded in
// `plan` instead of done when `plan` is not null.
CYqError PruneLogFolder(std::string& folder, bool compress, std::vector<PruneAction>* plan);

}  // namespace zn::detail
