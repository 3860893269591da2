// The kernel's id of the calling thread (gettid), cached per thread.
#pragma once

#include <cstdint>

#include "zuzazer/YqExport.h"

namespace yq {

// Plain initial-exec TLS (no init wrapper): reading it is one load from the
// thread pointer, which the locks need on every enter. Cleared in a forked
// child.
extern YQ_EXPORT __thread uint32_t t_cachedThreadId __attribute__((tls_model("initial-exec")));

YQ_EXPORT uint32_t FetchThreadId() noexcept;

inline uint32_t CurrentThreadId() noexcept {
  const uint32_t id = t_cachedThreadId;
  return id != 0 ? id : FetchThreadId();
}

}  // namespace yq
