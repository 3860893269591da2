// Many threads encrypting with their own ciphers at once, then ending: the
// engine's per-thread state goes with each thread (run under TSan too).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_zncl.h"
#include "zn/thread/ZnThread.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 50;

struct Work {
  int index = 0;
  bool ok = false;
  int statesSeen = 0;
};

unsigned int EncryptAndCheck(void* argument) {
  auto* work = static_cast<Work*>(argument);
  try {
    unsigned char key[32];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<unsigned char>(work->index * 31 + i);
    ZncAES enc;
    ZncAES dec;
    enc.setKey(key, 32);
    dec.setKey(key, 32);
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
      ZncBucket iv = Znc::getRand(16);
      enc.setIV(iv);
      dec.setIV(iv);
      ZncBucket plain(1000 + round);
      for (int i = 0; i < plain.getSize(); ++i) plain[i] = static_cast<unsigned char>(i ^ work->index);
      ok &= dec.decCBC(enc.encCBC(plain)) == plain;
    }
    work->statesSeen = zn::testing::EngineThreadStateCount();
    work->ok = ok;
  } catch (const std::exception&) {
    work->ok = false;
  }
  return 0;
}

TEST(ZnThreadCryptoEngine, ThreadsEncryptAtOnceAndTheirEngineStateGoesWithThem) {
  Zncl::init();
  const int before = zn::testing::EngineThreadStateCount();
  ASSERT_GE(before, 0);

  std::vector<Work> work(kThreads);
  std::vector<std::unique_ptr<ZnThread>> threads;
  for (int i = 0; i < kThreads; ++i) {
    work[i].index = i;
    threads.push_back(std::make_unique<ZnThread>());
    ASSERT_NE(nullptr, threads.back()->createThread(&EncryptAndCheck, &work[i]));
  }
  for (auto& t : threads) ASSERT_TRUE(t->joinThread(60000));
  for (const Work& w : work) {
    EXPECT_TRUE(w.ok) << w.index;
    EXPECT_GT(w.statesSeen, before) << "a working thread holds engine state";
  }
  EXPECT_EQ(before, zn::testing::EngineThreadStateCount()) << "every ended thread released its state";
}

TEST(ZnThreadCryptoEngine, ThreadsNotStartedByTheLibraryReleaseTheirStateToo) {
  Zncl::init();
  const int before = zn::testing::EngineThreadStateCount();
  std::vector<Work> work(4);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    work[i].index = 100 + i;
    threads.emplace_back([&work, i] { EncryptAndCheck(&work[i]); });
  }
  for (auto& t : threads) t.join();
  for (const Work& w : work) EXPECT_TRUE(w.ok);
  EXPECT_EQ(before, zn::testing::EngineThreadStateCount());
}

TEST(ZnThreadCryptoEngine, CleanupCallbackReleasesTheCallersStateAtOnce) {
  std::atomic<int> during{-1};
  std::atomic<int> after{-1};
  std::thread t([&] {
    ZncAES aes;  // attaches this thread to the engine
    during = zn::testing::EngineThreadStateCount();
    Zncl::cleanupThreadCtx(nullptr);
    after = zn::testing::EngineThreadStateCount();
  });
  t.join();
  EXPECT_EQ(during.load() - 1, after.load());
}

}  // namespace
