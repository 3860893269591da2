// The library-wide entry points, the registry of contexts and the state of
// each thread.
#include <pthread.h>

#include <botan/hash.h>
#include <botan/block_cipher.h>
#include <botan/hex.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

#include "zncl/internal/Engine.h"
#include "zncl/zncl.h"

namespace zncl {
namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 19;

struct ThreadState {
  int lastErrno = 0;
  std::string lastError;
};

struct Registry {
  std::mutex lock;
  std::unordered_set<Context*> contexts;
  std::unordered_set<ThreadState*> threads;
  pthread_key_t key{};
  bool keyMade = false;
  int status = ZNCL_STATE_LOADED;
  bool initialised = false;
  bool exitHookSet = false;
};

// In the engine's own storage and never destroyed (threads may end while
// the process exits); once zncl_destroy has run it owns no heap memory, so
// unloading the engine leaves nothing behind.
Registry& TheRegistry() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* registry = new (storage) Registry;
  return *registry;
}

// The backstop for threads that end without zncl_cleanup_thread_ctx.
void ThreadEnded(void* value) {
  auto* state = static_cast<ThreadState*>(value);
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (r.threads.erase(state) != 0) delete state;
}

// The key is made lazily under the registry's lock.
pthread_key_t* KeyLocked(Registry& r) {
  if (!r.keyMade) {
    if (pthread_key_create(&r.key, &ThreadEnded) != 0) return nullptr;
    r.keyMade = true;
  }
  return &r.key;
}

ThreadState* CurrentState(bool create) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  pthread_key_t* key = KeyLocked(r);
  if (key == nullptr) return nullptr;
  auto* state = static_cast<ThreadState*>(pthread_getspecific(*key));
  if (state == nullptr && create) {
    auto made = std::make_unique<ThreadState>();
    if (pthread_setspecific(*key, made.get()) != 0) return nullptr;
    r.threads.insert(made.get());
    state = made.release();
  }
  return state;
}

// Set once the process has begun to exit: from then on Botan's own static
// objects (its locked-memory pool among them) may already be gone, so the
// engine releases no Botan object any more and leaves them to the end of
// the process. Registered with atexit after the self test has made those
// statics, so it runs before they are destroyed; the library's own unload
// hook, which calls zncl_destroy, runs after every atexit handler.
std::atomic<bool> g_exiting{false};

void MarkExiting() { g_exiting.store(true, std::memory_order_release); }

bool Exiting() { return g_exiting.load(std::memory_order_acquire); }

// The thread's text when it has no state: kept per thread without
// allocation.
thread_local char t_fallbackError[128];

// Known answers run at load: FIPS 197 C.1 and FIPS 180 "abc".
bool SelfTest() {
  try {
    auto aes = Botan::BlockCipher::create_or_throw("AES-128");
    aes->set_key(Botan::hex_decode("000102030405060708090a0b0c0d0e0f"));
    auto block = Botan::hex_decode("00112233445566778899aabbccddeeff");
    aes->encrypt(block);
    if (Botan::hex_encode(block, false) != "69c4e0d86a7b0430d8cdb78070b4c55a") return false;
    auto sha = Botan::HashFunction::create_or_throw("SHA-256");
    sha->update("abc");
    return Botan::hex_encode(sha->final(), false) ==
           "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void Register(Context* context) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.contexts.insert(context);
}

bool Unregister(void* handle, Kind kind) {
  Registry& r = TheRegistry();
  std::unique_ptr<Context> doomed;
  {
    std::lock_guard<std::mutex> hold(r.lock);
    auto found = r.contexts.find(static_cast<Context*>(handle));
    if (found == r.contexts.end() || !(*found)->is(kind)) return false;
    if (Exiting()) return true;  // kept, and still reachable
    doomed.reset(*found);
    r.contexts.erase(found);
  }
  return true;
}

void DestroyAllContexts() {
  if (Exiting()) return;
  Registry& r = TheRegistry();
  std::unordered_set<Context*> all;
  {
    std::lock_guard<std::mutex> hold(r.lock);
    all.swap(r.contexts);
  }
  for (Context* c : all) delete c;
}

void AttachThread() { CurrentState(true); }

void SetThreadError(int number, const std::string& text) {
  if (ThreadState* state = CurrentState(true)) {
    state->lastErrno = number;
    try {
      state->lastError = text;
    } catch (const std::bad_alloc&) {
      state->lastError.clear();
    }
    return;
  }
  const std::size_t n = std::min(text.size(), sizeof t_fallbackError - 1);
  text.copy(t_fallbackError, n);
  t_fallbackError[n] = '\0';
}

const char* ThreadLastError() {
  ThreadState* state = CurrentState(false);
  return state != nullptr ? state->lastError.c_str() : t_fallbackError;
}

int ThreadLastErrno() {
  ThreadState* state = CurrentState(false);
  return state != nullptr ? state->lastErrno : 0;
}

void ReleaseThreadState() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (!r.keyMade) return;
  auto* state = static_cast<ThreadState*>(pthread_getspecific(r.key));
  if (state == nullptr) return;
  pthread_setspecific(r.key, nullptr);
  if (r.threads.erase(state) != 0) delete state;
}

int ThreadStateCount() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  return static_cast<int>(r.threads.size());
}

void DestroyAllThreadStates() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  for (ThreadState* s : r.threads) delete s;
  std::unordered_set<ThreadState*>().swap(r.threads);
  // The key goes too: its destructor lives in this object, which may be
  // unloaded next.
  if (r.keyMade) pthread_key_delete(r.key);
  r.keyMade = false;
}

int Fail(Context* context, int number, const std::string& text) {
  try {
    context->setError(number, text);
  } catch (const std::bad_alloc&) {
    context->setError(kErrNoMemory, std::string());
  }
  SetThreadError(number, text);
  return -1;
}

int FailThread(int number, const std::string& text) {
  SetThreadError(number, text);
  return -1;
}

}  // namespace zncl

using namespace zncl;

extern "C" {

int zncl_init(const char* libraryPath, char* error, int errorSize) {
  (void)libraryPath;
  Registry& r = TheRegistry();
  {
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.initialised) return 0;
    r.status = ZNCL_STATE_POST;
  }
  const bool passed = SelfTest();
  std::lock_guard<std::mutex> hold(r.lock);
  r.status = passed ? ZNCL_STATE_LOADED : ZNCL_STATE_ERROR;
  if (!passed) {
    const char* text = "Power-on self test failed (AES-128 or SHA-256 known answer)";
    if (error != nullptr && errorSize > 0) {
      std::snprintf(error, static_cast<std::size_t>(errorSize), "%s", text);
    }
    return -1;
  }
  r.initialised = true;
  if (!r.exitHookSet) {
    r.exitHookSet = std::atexit(&MarkExiting) == 0;
  }
  return 0;
}

int zncl_destroy(void) {
  DestroyAllContexts();
  DestroyAllThreadStates();
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.initialised = false;
  r.status = ZNCL_STATE_LOADED;
  return 0;
}

const char* zncl_get_last_error(void* ctx) {
  if (ctx == nullptr) return ThreadLastError();
  auto* context = static_cast<Context*>(ctx);
  if (context->is(context->kind())) return context->lastError().c_str();
  return "Invalid or released context handle";
}

int zncl_get_last_errno(void* ctx) {
  if (ctx == nullptr) return ThreadLastErrno();
  auto* context = static_cast<Context*>(ctx);
  return context->is(context->kind()) ? context->lastErrno() : kErrInvalidArgument;
}

int zncl_get_status(void) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.status;
}

int zncl_get_version(int* major, int* minor) {
  if (major == nullptr || minor == nullptr) return FailThread(kErrInvalidArgument, "NULL output pointer");
  *major = kVersionMajor;
  *minor = kVersionMinor;
  return 0;
}

void zncl_cleanup_thread_ctx(void) { ReleaseThreadState(); }

int zncl_thread_ctx_count(void) { return ThreadStateCount(); }

}  // extern "C"
