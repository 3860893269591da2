// A task library for the periodic task manager's tests, loaded by name as a
// service's own task library would be. Its entry points hand every call to
// the handler the test registered (ZnTestTasks_SetHandler), which records
// it and decides the result; without a handler they return 0.

#include <atomic>

class ZnPeriodicTaskStatus;

namespace {

using Handler = int (*)(const char* entry, ZnPeriodicTaskStatus* status);

std::atomic<Handler> g_handler{nullptr};

int Forward(const char* entry, ZnPeriodicTaskStatus* status) {
  const Handler handler = g_handler.load();
  return handler != nullptr ? handler(entry, status) : 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void ZnTestTasks_SetHandler(Handler handler) { g_handler.store(handler); }

__attribute__((visibility("default"))) int ZnTestTask_OnStart(ZnPeriodicTaskStatus* status) {
  return Forward("OnStart", status);
}

__attribute__((visibility("default"))) int ZnTestTask_OnTimer(ZnPeriodicTaskStatus* status) {
  return Forward("OnTimer", status);
}

__attribute__((visibility("default"))) int ZnTestTask_OnStop(ZnPeriodicTaskStatus* status) {
  return Forward("OnStop", status);
}

}  // extern "C"
