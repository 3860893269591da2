// The engine's shared machinery: every context carries a kind and a magic
// word so that a wrong or stale handle is refused, records its last error,
// and is listed in a registry so that zncl_destroy releases whatever the
// caller left behind. Each thread that works with the engine has a small
// state of its own (its last context-less error), released by
// zncl_cleanup_thread_ctx or, for threads that never call it, when the
// thread ends.
#pragma once

#include <cerrno>
#include <cstdint>
#include <exception>
#include <string>

namespace zncl {

enum class Kind : uint32_t { kBlockCipher = 1, kDigest, kRsa, kTwister, kFrand, kScramble };

// Error numbers kept with the texts (zncl_get_last_errno).
inline constexpr int kErrInvalidArgument = EINVAL;
inline constexpr int kErrBufferTooSmall = 2;  // ZNCL_ERR_BUFFER_TOO_SMALL
inline constexpr int kErrNoKey = ENOKEY;
inline constexpr int kErrAlgorithm = EPROTO;
inline constexpr int kErrNoMemory = ENOMEM;
inline constexpr int kErrBadData = EBADMSG;

class Context {
 public:
  static constexpr uint32_t kMagic = 0x7a6e636cu;  // "zncl"

  explicit Context(Kind kind) : m_kind(kind) {}
  virtual ~Context() { m_magic = 0; }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  bool is(Kind kind) const { return m_magic == kMagic && m_kind == kind; }
  Kind kind() const { return m_kind; }

  const std::string& lastError() const { return m_lastError; }
  int lastErrno() const { return m_lastErrno; }
  void setError(int number, std::string text) {
    m_lastErrno = number;
    m_lastError = std::move(text);
  }

 private:
  uint32_t m_magic = kMagic;
  Kind m_kind;
  int m_lastErrno = 0;
  std::string m_lastError;
};

// ---- Registry of live contexts ----
void Register(Context* context);
// Unlists and deletes `handle` when it is a live context of `kind`; false
// otherwise (nothing is touched: the handle is never dereferenced first).
bool Unregister(void* handle, Kind kind);
void DestroyAllContexts();

// ---- Per-thread state ----
// Makes sure the calling thread has its state (done by every _init).
void AttachThread();
void SetThreadError(int number, const std::string& text);
const char* ThreadLastError();
int ThreadLastErrno();
void ReleaseThreadState();
int ThreadStateCount();
void DestroyAllThreadStates();

// Records a failure in the context and the thread; returns -1.
int Fail(Context* context, int number, const std::string& text);
// A failure without a context.
int FailThread(int number, const std::string& text);

// The live context of `kind` behind `handle`, or null.
template <class T>
T* As(void* handle) {
  auto* context = static_cast<Context*>(handle);
  return context != nullptr && context->is(T::kKind) ? static_cast<T*>(context) : nullptr;
}

// Runs `body(context)` on a checked context, turning exceptions into the
// context's error.
template <class T, class Body>
int Call(void* handle, Body&& body) {
  T* context = As<T>(handle);
  if (context == nullptr) return FailThread(kErrInvalidArgument, "Invalid or released context handle");
  try {
    return body(*context);
  } catch (const std::bad_alloc&) {
    return Fail(context, kErrNoMemory, "Out of memory");
  } catch (const std::exception& e) {
    return Fail(context, kErrAlgorithm, e.what());
  }
}

// Makes a context with `make()`, registers it, and reports a failure into
// the caller's buffer and error number.
template <class Make>
void* Create(int* errorNumber, char* error, int errorSize, Make&& make) {
  AttachThread();
  std::string reason;
  int number = 0;
  try {
    Context* context = make();
    Register(context);
    if (errorNumber != nullptr) *errorNumber = 0;
    return context;
  } catch (const std::bad_alloc&) {
    number = kErrNoMemory;
    reason = "Out of memory";
  } catch (const std::exception& e) {
    number = kErrAlgorithm;
    reason = e.what();
  }
  SetThreadError(number, reason);
  if (errorNumber != nullptr) *errorNumber = number;
  if (error != nullptr && errorSize > 0) {
    const std::size_t n = std::min<std::size_t>(reason.size(), static_cast<std::size_t>(errorSize) - 1);
    reason.copy(error, n);
    error[n] = '\0';
  }
  return nullptr;
}

}  // namespace zncl
