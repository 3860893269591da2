// Moving the non-options that the parser skipped behind the options that
// followed them.
#pragma once

namespace zn::detail {

// Exchanges the adjacent blocks [first, middle) and [middle, end) of argv,
// keeping the order inside each. Linear in end - first; the shorter block
// goes through a buffer so the longer one moves with one memmove.
void ExchangeArgumentBlocks(char** argv, int first, int middle, int end);

}  // namespace zn::detail
