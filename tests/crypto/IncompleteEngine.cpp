// An engine that lacks most entry points: the binding must name the first
// missing one and keep nothing of it.
#define ZNCL_TEST_EXPORT extern "C" __attribute__((visibility("default")))

ZNCL_TEST_EXPORT int zncl_init(const char*, char*, int) { return 0; }
ZNCL_TEST_EXPORT int zncl_destroy() { return 0; }
