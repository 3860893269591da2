// The kernel's id of the calling thread (gettid), cached per thread.
#pragma once

#include <cstdint>

namespace zn::detail {

uint32_t CurrentThreadId() noexcept;

}  // namespace zn::detail
