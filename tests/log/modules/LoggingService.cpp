// The asynchronous logging service as the clean-up call sees it, in the
// variants the tests need (ZN_CLEANUP_RESULT: "true", "false", "throw";
// ZN_CLEANUP_MISSING leaves the entry point out).
#include <stdexcept>

#define ZN_SERVICE_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef ZN_CLEANUP_MISSING
ZN_SERVICE_EXPORT bool cleanupThreadPoolForProcess() {
#if ZN_CLEANUP_THROWS
  throw std::runtime_error("the pool is still busy");
#else
  return ZN_CLEANUP_RESULT;
#endif
}
#else
ZN_SERVICE_EXPORT int somethingElse() { return 0; }
#endif
