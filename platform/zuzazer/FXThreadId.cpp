#include "zuzazer/FXThreadId.h"

#include <pthread.h>
#include <unistd.h>

namespace zn::detail {
namespace {

thread_local uint32_t t_cachedThreadId = 0;

// The forking thread becomes the child's only thread, with a new id.
void ForgetThreadIdInChild() { t_cachedThreadId = 0; }

const int g_atforkRegistered = ::pthread_atfork(nullptr, nullptr, &ForgetThreadIdInChild);

}  // namespace

uint32_t CurrentThreadId() noexcept {
  (void)g_atforkRegistered;
  if (t_cachedThreadId == 0) t_cachedThreadId = static_cast<uint32_t>(::gettid());
  return t_cachedThreadId;
}

}  // namespace zn::detail
