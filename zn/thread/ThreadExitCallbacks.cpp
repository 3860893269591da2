#include "zn/thread/internal/ThreadExitCallbacks.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "zn/base/ZnCriticalSection.h"
#include "zn/thread/ZnThread.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {

namespace {

using Callback = std::pair<ZnThread::AtExitFunction, void*>;

// Built on first use and never destroyed: threads may still end while the
// process runs its exit handlers.
struct ExitCallbacks {
  ZnCriticalSection lock;
  std::vector<Callback> list;
};

ExitCallbacks& Callbacks() {
  static yq::NoDestructor<ExitCallbacks> callbacks;
  return callbacks.get();
}

}  // namespace

void RunThreadExitCallbacks() {
  ExitCallbacks& callbacks = Callbacks();
  ZnCriticalSectionLock lock(&callbacks.lock);
  // By index: a callback that breaks the rule and changes the list must not
  // leave this loop with a dangling iterator.
  for (std::size_t i = 0; i < callbacks.list.size(); ++i) {
    const Callback callback = callbacks.list[i];
    callback.first(callback.second);
  }
}

}  // namespace zn::detail

void ZnThread::addAtExitCB(AtExitFunction function, void* argument) {
  if (function == nullptr) return;
  auto& callbacks = zn::detail::Callbacks();
  ZnCriticalSectionLock lock(&callbacks.lock);
  const zn::detail::Callback callback(function, argument);
  if (std::find(callbacks.list.begin(), callbacks.list.end(), callback) == callbacks.list.end()) {
    callbacks.list.push_back(callback);
  }
}

void ZnThread::delAtExitCB(AtExitFunction function, void* argument) {
  auto& callbacks = zn::detail::Callbacks();
  ZnCriticalSectionLock lock(&callbacks.lock);
  const auto found = std::find(callbacks.list.begin(), callbacks.list.end(), zn::detail::Callback(function, argument));
  if (found != callbacks.list.end()) callbacks.list.erase(found);
}
