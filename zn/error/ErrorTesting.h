// Hooks for the library's own tests of the error classes. Not for programs.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/error/CErrorInjector.h"

namespace zn::testing {

// Seeds a context's generator (std::mt19937 with this seed), so a test can
// know its draws.
ZN_EXPORT void SeedInjectionContext(CErrorInjector::CContext* context, unsigned int seed);

}  // namespace zn::testing
