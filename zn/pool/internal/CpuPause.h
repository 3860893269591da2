// The processor's spin-wait hint, for the pool's short waits on memory: it
// lets the other hardware thread of the core run and saves power meanwhile.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace zn::detail {

inline void CpuPause() {
#if defined(__x86_64__)
  _mm_pause();
#endif
}

}  // namespace zn::detail
