// A secret's bytes are gone once its secure_basic_string is destroyed. Even
// a short one never sits in the object itself (built in storage of the
// test's own and read back); every string's heap block is searched by the
// sanitizer's free hook, which runs before the block is released.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <string_view>

#include "zn/crypto/secure_basic_string.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocator interface; g++ ships no header for it.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                              void (*onFree)(const volatile void*));
std::size_t __sanitizer_get_allocated_size(const volatile void* block);
}
#define ZN_TEST_FREE_HOOK 1
#endif

namespace {

constexpr std::string_view kShortSecret = "pw#1";  // would fit a standard string's own buffer
constexpr std::string_view kLongSecret = "a pass phrase far longer than any string keeps inside itself: 0123456789";

bool Contains(const unsigned char* bytes, std::size_t size, std::string_view secret) {
  const auto* begin = reinterpret_cast<const char*>(bytes);
  return std::search(begin, begin + size, secret.begin(), secret.end()) != begin + size;
}

TEST(SecureStringWipe, AShortSecretNeverLivesInTheObjectItself) {
  using Secret = secure_basic_string<char>;
  alignas(Secret) unsigned char storage[sizeof(Secret)];
  auto* secret = new (storage) Secret(kShortSecret.data(), kShortSecret.size());
  EXPECT_EQ(std::string_view(secret->data(), secret->size()), kShortSecret);
  EXPECT_FALSE(Contains(storage, sizeof storage, kShortSecret));
  secret->~Secret();
  EXPECT_FALSE(Contains(storage, sizeof storage, kShortSecret));
}

#ifdef ZN_TEST_FREE_HOOK
std::atomic<const volatile void*> g_watched{nullptr};
std::atomic<int> g_seen{0};     // the watched block was released
std::atomic<int> g_leaked{0};   // ... with the secret still in it

void OnFree(const volatile void* block) {
  if (block == nullptr || block != g_watched.load(std::memory_order_acquire)) return;
  const std::size_t size = __sanitizer_get_allocated_size(block);
  const auto* bytes = static_cast<const unsigned char*>(const_cast<const void*>(block));
  g_seen.fetch_add(1);
  if (Contains(bytes, size, kShortSecret) || Contains(bytes, size, kLongSecret)) g_leaked.fetch_add(1);
}
void OnMalloc(const volatile void*, std::size_t) {}
#endif

TEST(SecureStringWipe, EverySecretIsGoneFromItsHeapBlockBeforeTheBlockIsFreed) {
#ifndef ZN_TEST_FREE_HOOK
  GTEST_SKIP() << "needs a sanitizer's free hook";
#else
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
  ASSERT_TRUE(installed);
  for (const std::string_view text : {kShortSecret, kLongSecret}) {
    for (const bool grown : {false, true}) {
      g_seen = 0;
      g_leaked = 0;
      {
        secure_basic_string<char> secret(text.data(), text.size());
        if (grown) secret.append(200, 'x');
        g_watched.store(secret.data(), std::memory_order_release);
      }
      g_watched.store(nullptr);
      EXPECT_EQ(g_seen.load(), 1) << text << (grown ? ", grown" : "");
      EXPECT_EQ(g_leaked.load(), 0) << text << (grown ? ", grown" : "");
    }
  }
  // A string that grows releases its first block: the secret is gone from it too.
  g_seen = 0;
  g_leaked = 0;
  {
    secure_basic_string<char> secret(kLongSecret.data(), kLongSecret.size());
    g_watched.store(secret.data(), std::memory_order_release);
    secret.reserve(4 * secret.capacity());
    EXPECT_EQ(g_seen.load(), 1);
    g_watched.store(nullptr);
  }
  EXPECT_EQ(g_leaked.load(), 0);
#endif
}

}  // namespace
