// A streaming service that lacks its log function: the log must then
// stream nothing, and still flush through it.
#define ZNSCALE_EXPORT extern "C" __attribute__((visibility("default")))

ZNSCALE_EXPORT void znScaleStreamLogsTo(const char* /*destination*/) {}
ZNSCALE_EXPORT bool znScaleFlushLogs(int flags) { return flags == 0; }
