// Shared process buffers across real processes: creation and opening with
// their texts and codes, zeros for every new buffer, the lock's exclusion
// and its holders killed, the event's automatic reset and pulses, 10,000
// messages through a ring, and waits for any or all of three objects.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ipc/IpcTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/ipc/SharedProcessBuffer.h"
#include "zn/ipc/ZNSemaphorUtil.h"
#include "zn/ipc/ZNSharedMemUtil.h"

namespace {

using namespace zn::test;

bool AllZero(const void* bytes, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  return std::all_of(p, p + size, [](unsigned char c) { return c == 0; });
}

std::string Text(SharedProcessBuffer& buffer) { return buffer.GetErrStr(); }

TEST(SharedProcessBuffer, CreatorsAndOpenersGetTheirTextsAndCodes) {
  const std::string name = UniqueName("spb");
  {
    SharedProcessBuffer first(name.c_str(), 4096, true);
    ASSERT_NE(first.GetBuffer(), nullptr);
    EXPECT_EQ(first.GetLastErrNo(), 0u);
    EXPECT_EQ(Text(first), "Success CreateFileMappingA(" + name + ")\n");
    EXPECT_TRUE(AllZero(first.GetBuffer(), 4096));
    std::memset(first.GetBuffer(), 0x5A, 4096);

    // A second creator keeps the bytes; so does an opener, of all or part.
    SharedProcessBuffer second(name.c_str(), 4096, true);
    ASSERT_NE(second.GetBuffer(), nullptr);
    EXPECT_EQ(second.GetLastErrNo(), 183u);
    EXPECT_EQ(Text(second), "Success CreateFileMappingA(" + name + ")\n");
    EXPECT_EQ(static_cast<unsigned char*>(second.GetBuffer())[4095], 0x5A);
    SharedProcessBuffer part(name.c_str(), 100, false);
    ASSERT_NE(part.GetBuffer(), nullptr);
    EXPECT_EQ(part.GetLastErrNo(), 0u);
    SharedProcessBuffer whole(name.c_str(), 0, false);
    ASSERT_NE(whole.GetBuffer(), nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(whole.GetBuffer())[4095], 0x5A);

    // More bytes than the mapping has: refused before anything is touched.
    SharedProcessBuffer tooBig(name.c_str(), 8192, false);
    EXPECT_EQ(tooBig.GetBuffer(), nullptr);
    EXPECT_EQ(tooBig.GetLastErrNo(), 5u);
    EXPECT_EQ(Text(tooBig), "SharedProcessBuffer::SharedProcessBuffer(362): -Warn--: Failed MapViewOfFile(8192) errno = 5\n");
    SharedProcessBuffer biggerCreator(name.c_str(), 8192, true);
    EXPECT_EQ(biggerCreator.GetBuffer(), nullptr);
    EXPECT_EQ(biggerCreator.GetLastErrNo(), 5u);
    EXPECT_EQ(Text(biggerCreator),
              "SharedProcessBuffer::SharedProcessBuffer(341): -Warn--: Failed MapViewOfFile(8192) errno = 5\n");
    SharedProcessBuffer negative(name.c_str(), -1, false);
    EXPECT_EQ(negative.GetBuffer(), nullptr);
    EXPECT_EQ(negative.GetLastErrNo(), 87u);
    EXPECT_EQ(SegmentMode(name), 0666);  // every local user, as the Windows original grants
    EXPECT_FALSE(SegmentExists(name + ".qvlock"));  // the set-up's lock went with the set-up
    SyncBufferAccess access(first, false);
    EXPECT_EQ(SegmentMode(name + ".qvlock"), 0600);  // the creator's user only
  }
  // The last user removed it, lock and all.
  EXPECT_FALSE(SegmentExists(name));
  EXPECT_FALSE(SegmentExists(name + ".qvlock"));

  SharedProcessBuffer absent(name.c_str(), 16, false);
  EXPECT_EQ(absent.GetBuffer(), nullptr);
  EXPECT_EQ(absent.GetLastErrNo(), 2u);
  EXPECT_EQ(Text(absent), "SharedProcessBuffer::SharedProcessBuffer(369): -Warn--: Failed OpenFileMappingA(" + name +
                              ") errno = 2\n");
  for (const int size : {0, -5}) {
    SharedProcessBuffer empty(name.c_str(), size, true);
    EXPECT_EQ(empty.GetBuffer(), nullptr);
    EXPECT_EQ(empty.GetLastErrNo(), 87u);
    EXPECT_EQ(Text(empty), "SharedProcessBuffer::SharedProcessBuffer(348): -Warn--: Failed CreateFileMappingA(" + name +
                               ") errno = 87\n");
  }
  EXPECT_FALSE(SegmentExists(name));

  // Names: 259 characters are taken, 260 are not; separators are kept
  // inside the one folder of named objects.
  const std::string longest = name + std::string(259 - name.size(), 'n');
  SharedProcessBuffer fits(longest.c_str(), 16, true);
  EXPECT_NE(fits.GetBuffer(), nullptr);
  const std::string tooLong = longest + "n";
  SharedProcessBuffer refused(tooLong.c_str(), 16, true);
  EXPECT_EQ(refused.GetBuffer(), nullptr);
  EXPECT_EQ(refused.GetLastErrNo(), 206u);
  SharedProcessBuffer notOpened(tooLong.c_str(), 16, false);
  EXPECT_EQ(notOpened.GetLastErrNo(), 206u);
  const std::string separators = "Global\\" + name + "/../x";
  SharedProcessBuffer odd(separators.c_str(), 16, true);
  ASSERT_NE(odd.GetBuffer(), nullptr);
  EXPECT_TRUE(SegmentExists(separators));
  SharedProcessBuffer oddAgain(separators.c_str(), 16, false);
  EXPECT_NE(oddAgain.GetBuffer(), nullptr);

  // Without a name: private to the process and its children, with a lock
  // of its own.
  SharedProcessBuffer unnamed(nullptr, 64, true);
  ASSERT_NE(unnamed.GetBuffer(), nullptr);
  EXPECT_EQ(Text(unnamed), "Success CreateFileMappingA((null))\n");
  SyncBufferAccess access(unnamed, true);
  EXPECT_TRUE(access.IsLock());
  SharedProcessBuffer unnamedOpener(nullptr, 64, false);
  EXPECT_EQ(unnamedOpener.GetBuffer(), nullptr);
  EXPECT_EQ(unnamedOpener.GetLastErrNo(), 87u);
}

TEST(SharedProcessBuffer, EveryNewCreatorSeesZerosAlsoAfterItsLastUserWasKilled) {
  const std::string name = UniqueName("zeros");
  Pipe toParent;
  Pipe toChild;
  // A child and the parent use it, then both close: a new creator sees zeros.
  {
    ChildProcess child([&] {
      SharedProcessBuffer buffer(name.c_str(), 256, true);
      if (buffer.GetBuffer() == nullptr) return 2;
      std::memset(buffer.GetBuffer(), 0xEE, 256);
      toParent.send('w');
      return toChild.receive() == 'q' ? 0 : 3;
    });
    ASSERT_EQ(toParent.receive(), 'w');
    {
      SharedProcessBuffer buffer(name.c_str(), 256, false);
      ASSERT_NE(buffer.GetBuffer(), nullptr);
      EXPECT_EQ(static_cast<unsigned char*>(buffer.GetBuffer())[0], 0xEE);
    }
    toChild.send('q');
    ASSERT_EQ(child.wait(), 0);
  }
  EXPECT_FALSE(SegmentExists(name));
  {
    SharedProcessBuffer buffer(name.c_str(), 256, true);
    ASSERT_NE(buffer.GetBuffer(), nullptr);
    EXPECT_EQ(buffer.GetLastErrNo(), 0u);
    EXPECT_TRUE(AllZero(buffer.GetBuffer(), 256));
  }

  // Its only user killed: the name stays behind, but an opener finds no
  // buffer and a creator starts it afresh.
  for (const bool openFirst : {true, false}) {
    ChildProcess victim([&] {
      SharedProcessBuffer* buffer = new SharedProcessBuffer(name.c_str(), 256, true);
      std::memset(buffer->GetBuffer(), 0xEE, 256);
      toParent.send('w');
      ::pause();
      return 0;
    });
    ASSERT_EQ(toParent.receive(), 'w');
    victim.kill();
    ASSERT_EQ(victim.wait(), -SIGKILL);
    EXPECT_TRUE(SegmentExists(name));
    if (openFirst) {
      SharedProcessBuffer opener(name.c_str(), 256, false);
      EXPECT_EQ(opener.GetBuffer(), nullptr);
      EXPECT_EQ(opener.GetLastErrNo(), 2u);
      EXPECT_FALSE(SegmentExists(name));
    }
    SharedProcessBuffer buffer(name.c_str(), 512, true);  // another size: its own
    ASSERT_NE(buffer.GetBuffer(), nullptr);
    EXPECT_EQ(buffer.GetLastErrNo(), 0u);
    EXPECT_TRUE(AllZero(buffer.GetBuffer(), 512));
  }
}

struct Counter {
  uint64_t value;
  uint32_t inside;
  uint32_t overlaps;
};

TEST(SyncBufferAccess, KeepsProcessesApartAndAKilledHolderDoesNotBlockTheNext) {
  const std::string name = UniqueName("lock");
  SharedProcessBuffer buffer(name.c_str(), sizeof(Counter), true);
  ASSERT_NE(buffer.GetBuffer(), nullptr);
  // Two processes and this one add under the lock; nobody is ever inside
  // together and no addition is lost.
  constexpr int kAdds = 20000;
  auto adder = [&] {
    SharedProcessBuffer mine(name.c_str(), sizeof(Counter), false);
    if (mine.GetBuffer() == nullptr) return 2;
    SyncBufferAccess access(mine, false);
    auto* counter = static_cast<Counter*>(access.GetBuffer());
    for (int i = 0; i < kAdds; ++i) {
      if (!access.Lock()) return 3;
      if (counter->inside++ != 0) ++counter->overlaps;
      const uint64_t seen = counter->value;
      counter->value = seen + 1;
      --counter->inside;
      if (!access.Unlock()) return 4;
    }
    return 0;
  };
  {
    ChildProcess one(adder);
    ChildProcess two(adder);
    EXPECT_EQ(adder(), 0);
    EXPECT_EQ(one.wait(), 0);
    EXPECT_EQ(two.wait(), 0);
  }
  const auto* counter = static_cast<const Counter*>(buffer.GetBuffer());
  EXPECT_EQ(counter->value, 3u * kAdds);
  EXPECT_EQ(counter->overlaps, 0u);

  // A holder killed with the lock: the next one gets it, told that it was
  // abandoned, and the one after that finds an ordinary lock.
  SyncBufferAccess watcher(buffer, false);  // keeps the lock's object alive
  KillChildHolding(
      [&] {
        auto* mine = new SharedProcessBuffer(name.c_str(), sizeof(Counter), false);
        return (new SyncBufferAccess(*mine, true))->IsLock();
      },
      [&] {
        ChildProcess blocked([&] {
          SharedProcessBuffer mine(name.c_str(), sizeof(Counter), false);
          SyncBufferAccess access(mine, true);
          return 0;
        });
        EXPECT_EQ(blocked.wait(kStaysBlocked), -1000);  // really held
      });
  ChildProcess next([&] {
    SharedProcessBuffer mine(name.c_str(), sizeof(Counter), false);
    SyncBufferAccess access(mine, true);
    if (!access.IsLock()) return 2;
    return access.GetLastErrNo() == 735 ? 0 : 3;
  });
  ASSERT_EQ(next.wait(), 0) << "the next holder was blocked or not told";
  ASSERT_TRUE(watcher.Lock());
  EXPECT_EQ(watcher.GetLastErrNo(), 0u);
  EXPECT_TRUE(watcher.Unlock());

  // Killed while it was the lock's only user: the lock is made afresh.
  const std::string lonely = UniqueName("lonelylock");
  KillChildHolding(
      [&] {
        auto* mine = new SharedProcessBuffer(lonely.c_str(), 16, true);
        return (new SyncBufferAccess(*mine, true))->IsLock();
      },
      [] {});
  ChildProcess after([&] {
    SharedProcessBuffer mine(lonely.c_str(), 16, true);
    SyncBufferAccess access(mine, true);
    return access.IsLock() && access.GetLastErrNo() == 0 ? 0 : 2;
  });
  EXPECT_EQ(after.wait(), 0);
}

TEST(SyncBufferAccess, BelongsToItsThreadAndIsRecursive) {
  const std::string name = UniqueName("owner");
  SharedProcessBuffer buffer(name.c_str(), 16, true);
  SyncBufferAccess access(buffer, true);
  ASSERT_TRUE(access.IsLock());
  EXPECT_EQ(access.GetBuffer(), buffer.GetBuffer());
  {
    SyncBufferAccess again(buffer, true);  // the same thread: recursive
    EXPECT_TRUE(again.IsLock());
  }
  // Another thread can neither release it nor take it.
  std::async(std::launch::async, [&] {
    EXPECT_FALSE(access.Unlock());
    EXPECT_EQ(access.GetLastErrNo(), 288u);
    EXPECT_TRUE(access.IsLock());
  }).get();
  auto taken = std::async(std::launch::async, [&] {
    SyncBufferAccess other(buffer, true);
    return other.IsLock();
  });
  EXPECT_EQ(taken.wait_for(kStaysBlocked), kPending);
  EXPECT_TRUE(access.Unlock());
  EXPECT_FALSE(access.IsLock());
  ASSERT_EQ(taken.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(taken.get());
}

// ---- Messages through a ring ----

struct Ring {
  static constexpr uint32_t kSlots = 64;
  uint32_t head;  // next to write
  uint32_t tail;  // next to read
  uint32_t slots[kSlots];
};

TEST(SharedProcessBufferWithSignal, ProducerAndConsumerExchangeTenThousandMessages) {
  constexpr uint32_t kMessages = 10000;
  const std::string map = UniqueName("ring");
  const std::string data = map + ".data", space = map + ".space";
  SharedProcessBufferWithSignal keep(data.c_str(), map.c_str(), sizeof(Ring), true);
  ASSERT_NE(keep.GetBuffer(), nullptr);

  ChildProcess producer([&] {
    SharedProcessBufferWithSignal toConsumer(data.c_str(), map.c_str(), sizeof(Ring), true);
    SharedProcessBufferWithSignal fromConsumer(space.c_str(), map.c_str(), sizeof(Ring), true);
    SyncBufferAccess access(toConsumer, false);
    auto* ring = static_cast<Ring*>(access.GetBuffer());
    if (ring == nullptr) return 2;
    for (uint32_t message = 1; message <= kMessages; ++message) {
      for (;;) {
        access.Lock();
        const bool room = ring->head - ring->tail < Ring::kSlots;
        if (room) ring->slots[ring->head++ % Ring::kSlots] = message;
        access.Unlock();
        if (room) break;
        if (!fromConsumer.waitForEvent(nullptr, 0, 0)) return 3;
      }
      if (!toConsumer.setEvent()) return 4;
    }
    return 0;
  });
  ChildProcess consumer([&] {
    SharedProcessBufferWithSignal fromProducer(data.c_str(), map.c_str(), sizeof(Ring), false);
    SharedProcessBufferWithSignal toProducer(space.c_str(), map.c_str(), sizeof(Ring), true);
    SyncBufferAccess access(fromProducer, false);
    auto* ring = static_cast<Ring*>(access.GetBuffer());
    if (ring == nullptr) return 2;
    uint32_t expected = 1;
    while (expected <= kMessages) {
      if (!fromProducer.waitForEvent(nullptr, 0, 0)) return 3;
      access.Lock();
      while (ring->tail != ring->head) {
        // Every message once, in order: a lost one or a repeat shows here.
        if (ring->slots[ring->tail++ % Ring::kSlots] != expected++) {
          access.Unlock();
          return 4;
        }
      }
      access.Unlock();
      toProducer.setEvent();
    }
    return expected == kMessages + 1 ? 0 : 5;
  });
  EXPECT_EQ(producer.wait(), 0);
  EXPECT_EQ(consumer.wait(), 0);
  const auto* ring = static_cast<const Ring*>(keep.GetBuffer());
  EXPECT_EQ(ring->head, kMessages);
  EXPECT_EQ(ring->tail, kMessages);
}

// ---- The event ----

TEST(SharedProcessBufferWithSignal, TheEventResetsItselfAndAPulseReleasesOnlyCurrentWaiters) {
  const std::string name = UniqueName("event");
  const std::string event = name + ".qvevent";
  SharedProcessBufferWithSignal buffer(name.c_str(), 64, true);
  ASSERT_NE(buffer.GetBuffer(), nullptr);
  EXPECT_TRUE(SegmentExists(event));
  EXPECT_EQ(SegmentMode(event), 0666);
  Pipe toParent;
  auto waiter = [&] {
    SharedProcessBufferWithSignal mine(name.c_str(), 64, false);
    toParent.send(mine.waitForEvent(nullptr, 0, 0) ? 'y' : 'n');
    return 0;
  };

  // Set before anyone waits: the first wait takes it and resets it.
  EXPECT_TRUE(buffer.setEvent());
  EXPECT_TRUE(buffer.waitForEvent(nullptr, 0, 0));
  EXPECT_EQ(buffer.GetLastErrNo(), 0u);
  {
    ChildProcess one(waiter);
    EXPECT_EQ(toParent.receive(kStaysBlocked), -1);  // reset: the next one waits
    EXPECT_TRUE(buffer.setEvent());
    EXPECT_EQ(toParent.receive(), 'y');
    EXPECT_EQ(one.wait(), 0);
  }
  // Reset and pulse with nobody waiting keep nothing for later.
  EXPECT_TRUE(buffer.setEvent());
  EXPECT_TRUE(buffer.resetEvent());
  EXPECT_TRUE(buffer.pulseEvent());
  {
    ChildProcess one(waiter);
    ASSERT_TRUE(WaitersReach(event, 1));
    EXPECT_EQ(toParent.receive(kStaysBlocked), -1);
    // A pulse releases one of two waiters, then nothing is left.
    ChildProcess two(waiter);
    ASSERT_TRUE(WaitersReach(event, 2));
    EXPECT_TRUE(buffer.pulseEvent());
    EXPECT_EQ(toParent.receive(), 'y');
    EXPECT_EQ(toParent.receive(kStaysBlocked), -1);
    EXPECT_TRUE(buffer.setEvent());
    EXPECT_EQ(toParent.receive(), 'y');
    EXPECT_EQ(one.wait(), 0);
    EXPECT_EQ(two.wait(), 0);
  }

  // A waiter killed in its wait takes nothing with it.
  {
    ChildProcess killed(waiter);
    ASSERT_TRUE(WaitersReach(event, 1));
    killed.kill();
    EXPECT_EQ(killed.wait(), -SIGKILL);
    ChildProcess live(waiter);
    ASSERT_TRUE(WaitersReach(event, 2));  // the dead one stays counted
    EXPECT_TRUE(buffer.setEvent());
    EXPECT_EQ(toParent.receive(), 'y');
    EXPECT_EQ(live.wait(), 0);
  }

  // The session form of the event's name.
  SharedProcessBufferWithSignal session(7, name.c_str(), 64, true);
  EXPECT_TRUE(SegmentExists(name + ".qvevent.SessionID.7"));
  EXPECT_TRUE(session.setEvent());
  EXPECT_TRUE(session.waitForEvent(nullptr, 0, 0));
  EXPECT_TRUE(buffer.setEvent());  // a different event
  SharedProcessBufferWithSignal named((name + ".own").c_str(), name.c_str(), 64, false);
  EXPECT_TRUE(SegmentExists(name + ".own"));
}

TEST(SharedProcessBufferWithSignal, BadHandlesAndMissingEventsFailWithTheirTexts) {
  const std::string name = UniqueName("badwait");
  SharedProcessBufferWithSignal buffer(name.c_str(), 64, true);
  const std::string failed = "SharedProcessBufferWithSignal::waitForEvent(702): -Error-: ";

  int notOurs = 0;
  void* strangers[] = {&notOurs};
  EXPECT_FALSE(buffer.waitForEvent(strangers, 1, 0));
  EXPECT_EQ(buffer.GetLastErrNo(), 0xFFFFFFFFu);
  EXPECT_EQ(Text(buffer), failed + "WaitForMultipleObjects failed with 4294967295;EN=6");

  void* mapping = nullptr;
  unsigned long error = 0;
  void* view = ZNSharedMemUtil::createSharedMemory(UniqueName("notwaitable").c_str(), mapping, 16, error);
  ASSERT_NE(view, nullptr);
  void* mappings[] = {mapping};
  EXPECT_FALSE(buffer.waitForEvent(mappings, 1, 1));
  EXPECT_EQ(Text(buffer), failed + "WaitForMultipleObjects failed with 4294967295;EN=6");
  EXPECT_TRUE(ZNSharedMemUtil::closeSharedMemory(mapping, view, error));

  void* semaphore = nullptr;
  ASSERT_TRUE(ZNSemaphorUtil::createSemaphor(semaphore, error, 5));
  void* twice[] = {semaphore, semaphore};
  EXPECT_FALSE(buffer.waitForEvent(twice, 2, 1));
  EXPECT_EQ(Text(buffer), failed + "WaitForMultipleObjects failed with 4294967295;EN=87");
  std::vector<void*> tooMany(64, semaphore);
  EXPECT_FALSE(buffer.waitForEvent(tooMany.data(), 64, 0));
  EXPECT_EQ(Text(buffer), failed + "WaitForMultipleObjects failed with 4294967295;EN=87");

  // An extra handle signalled first: false with its index.
  ASSERT_TRUE(ZNSemaphorUtil::releaseResource(semaphore, error));
  void* one[] = {semaphore};
  EXPECT_FALSE(buffer.waitForEvent(one, 1, 0));
  EXPECT_EQ(buffer.GetLastErrNo(), 1u);
  EXPECT_EQ(Text(buffer), failed + "WaitForMultipleObjects failed with 1;EN=0");
  ZNSemaphorUtil::destroySemaphor(semaphore);

  // No event: the name holds another kind of object, or is too long.
  bool existed = false;
  ASSERT_TRUE(ZNSemaphorUtil::createSemaphor(semaphore, (name + ".other.qvevent").c_str(), existed, error, 1));
  SharedProcessBufferWithSignal wrongKind((name + ".other").c_str(), 64, true);
  EXPECT_NE(wrongKind.GetBuffer(), nullptr);
  EXPECT_EQ(wrongKind.GetLastErrNo(), 6u);
  EXPECT_FALSE(wrongKind.setEvent());
  EXPECT_FALSE(wrongKind.resetEvent());
  EXPECT_FALSE(wrongKind.pulseEvent());
  EXPECT_FALSE(wrongKind.waitForEvent(nullptr, 0, 0));
  EXPECT_EQ(Text(wrongKind), failed + "WaitForSingleObject failed with 4294967295;EN=6");
  ZNSemaphorUtil::destroySemaphor(semaphore);
  const std::string longMap = name + std::string(259 - name.size(), 'm');
  SharedProcessBufferWithSignal longName(longMap.c_str(), 64, true);
  EXPECT_NE(longName.GetBuffer(), nullptr);  // the map's name fits, its event's does not
  EXPECT_EQ(longName.GetLastErrNo(), 206u);
  EXPECT_FALSE(longName.setEvent());
}

// ---- Waiting for several objects ----

// Object 0 is the buffer's event, 1 and 2 named semaphores; a helper
// process signals one of them.
struct Three {
  std::string map, first, second;
};

void SignalFromAnotherProcess(const Three& names, int which) {
  ChildProcess signaller([&] {
    unsigned long error = 0;
    if (which == 0) {
      SharedProcessBufferWithSignal buffer(names.map.c_str(), 16, false);
      return buffer.setEvent() ? 0 : 2;
    }
    return ZNSemaphorUtil::releaseResource((which == 1 ? names.first : names.second).c_str(), error) ? 0 : 3;
  });
  ASSERT_EQ(signaller.wait(), 0) << "signalling object " << which;
}

TEST(SharedProcessBufferWithSignal, WaitsForAnyAndForAllOfThreeObjectsSignalledFromOtherProcessesInEveryOrder) {
  std::array<int, 3> order = {0, 1, 2};
  do {
    for (const bool all : {false, true}) {
      SCOPED_TRACE(std::string(all ? "all, order " : "any, order ") + std::to_string(order[0]) +
                   std::to_string(order[1]) + std::to_string(order[2]));
      const std::string base = UniqueName("three");
      const Three names{base, base + ".s1", base + ".s2"};
      Pipe toParent;
      ChildProcess waiter([&] {
        SharedProcessBufferWithSignal buffer(names.map.c_str(), 16, true);
        void* handles[2] = {nullptr, nullptr};
        bool existed = false;
        unsigned long error = 0;
        if (!ZNSemaphorUtil::createSemaphor(handles[0], names.first.c_str(), existed, error, 1) ||
            !ZNSemaphorUtil::createSemaphor(handles[1], names.second.c_str(), existed, error, 1)) {
          return 2;
        }
        toParent.send('r');
        // Waiting for any: once per object, each signalled in turn.
        for (int round = 0; round < (all ? 1 : 3); ++round) {
          const bool got = buffer.waitForEvent(handles, 2, all ? 1 : 0);
          SendWord(toParent, got ? 1 : 0);
          SendWord(toParent, static_cast<uint32_t>(buffer.GetLastErrNo()));
        }
        // Waiting for all took every object: nothing is left to take.
        bool timedOut = false;
        const bool left = ZNSemaphorUtil::waitForResource(handles[0], 0, timedOut, error) ||
                          ZNSemaphorUtil::waitForResource(handles[1], 0, timedOut, error);
        SendWord(toParent, left ? 1 : 0);
        return toParent.send('d') ? 0 : 3;
      });
      ASSERT_EQ(toParent.receive(), 'r');
      if (all) {
        SignalFromAnotherProcess(names, order[0]);
        SignalFromAnotherProcess(names, order[1]);
        EXPECT_EQ(ReceiveWord(toParent, kStaysBlocked), -1) << "returned before the third object";
        SignalFromAnotherProcess(names, order[2]);
        EXPECT_EQ(ReceiveWord(toParent), 1);
        EXPECT_EQ(ReceiveWord(toParent), 0);
        EXPECT_EQ(ReceiveWord(toParent), 0);
      } else {
        // Each wait takes the one object signalled, and only that one.
        for (const int which : order) {
          SignalFromAnotherProcess(names, which);
          EXPECT_EQ(ReceiveWord(toParent), which == 0 ? 1 : 0);
          EXPECT_EQ(ReceiveWord(toParent), static_cast<long long>(which));
        }
        EXPECT_EQ(ReceiveWord(toParent), 0);
      }
      EXPECT_EQ(toParent.receive(), 'd');
      EXPECT_EQ(waiter.wait(), 0);
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

}  // namespace
