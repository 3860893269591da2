#include "zuzazer/FXThreadId.h"

#include <pthread.h>
#include <unistd.h>

namespace yq {

__thread uint32_t t_cachedThreadId __attribute__((tls_model("initial-exec"))) = 0;

namespace {

// The forking thread becomes the child's only thread, with a new id.
void ForgetThreadIdInChild() { t_cachedThreadId = 0; }

const int g_atforkRegistered = ::pthread_atfork(nullptr, nullptr, &ForgetThreadIdInChild);

}  // namespace

uint32_t FetchThreadId() noexcept {
  (void)g_atforkRegistered;
  t_cachedThreadId = static_cast<uint32_t>(::gettid());
  return t_cachedThreadId;
}

}  // namespace yq
