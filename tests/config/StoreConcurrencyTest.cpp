// Several threads and processes on one store: no lost or hidden writes, no
// failures leaking out of contention, copies that are snapshots, and a
// process killed in the middle of a large copy leaving all or nothing.
//
// The parent does its own store work on short-lived threads, so that no
// connection is open in it when it forks.

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigTestUtil.h"

namespace {

using zn::ConfigStore;
using zn::StoreEntry;
using zn::StoreStatus;
using zn::test::Child;
using zn::test::OnFreshThread;

constexpr int kProcesses = 4;
constexpr int kRounds = 2000;
constexpr int kSlots = 16;

// Collects the first few failures of a worker.
struct Failures {
  std::string text;
  int count = 0;
  void add(const std::string& what) {
    if (count++ < 8) text += what + "\n";
  }
};

std::string Counter(int process) { return "n" + std::to_string(process); }
std::string Slot(int slot) { return "Shared\\Slot" + std::to_string(slot); }

// The last round in which a worker writes `slot`.
int LastRoundOf(int slot) {
  int last = -1;
  for (int round = 0; round < kRounds; ++round) {
    if (round % kSlots == slot) last = round;
  }
  return last;
}

// One worker: its own counter in a key all share, stamps "<process>:<round>"
// into shared slot keys (created by whoever comes first), reads of the
// others' counters that must never go back, a copy and delete of its own
// tree now and then; finally it waits until it sees every counter complete.
std::string Worker(int process, int startGate) {
  char byte;
  while (::read(startGate, &byte, 1) > 0) {  // all start together, when the parent closes the gate
  }
  Failures failures;
  ZNPlatformInfo info(0, 0);
  std::vector<unsigned long> seen(kProcesses, 0);
  const std::string own = "Own" + std::to_string(process);
  for (int round = 0; round < kRounds; ++round) {
    const unsigned long next = static_cast<unsigned long>(round) + 1;
    if (info.setNumber("Counters", Counter(process).c_str(), next) == 0) {
      failures.add("setNumber " + std::to_string(info.getRegError()) + " " + info.getLastErrorMsg());
    }
    unsigned long number = 0;
    if (info.getNumber("Counters", Counter(process).c_str(), &number) == 0 || number != next) {
      failures.add("own counter read " + std::to_string(number) + " after writing " + std::to_string(next) +
                   " (code " + std::to_string(info.getRegError()) + ")");
    }
    const int slot = round % kSlots;
    const std::string stamp = std::to_string(process) + ":" + std::to_string(round);
    if (info.setString(Slot(slot).c_str(), "sWriter", stamp) == 0) {
      failures.add("setString " + std::to_string(info.getRegError()) + " " + info.getLastErrorMsg());
    }
    std::string text;
    if (info.getString(Slot(slot).c_str(), "sWriter", &text) == 0) {
      failures.add("slot read failed with " + std::to_string(info.getRegError()));
    } else {
      const auto colon = text.find(':');
      const int writer = colon == std::string::npos ? -1 : std::stoi(text.substr(0, colon));
      const int written = colon == std::string::npos ? -1 : std::stoi(text.substr(colon + 1));
      if (writer < 0 || writer >= kProcesses || written < 0 || written >= kRounds || written % kSlots != slot) {
        failures.add("slot " + std::to_string(slot) + " holds [" + text + "]");
      }
    }
    if (round % 4 == 0) {
      for (int other = 0; other < kProcesses; ++other) {
        unsigned long value = 0;
        const int ok = info.getNumber("Counters", Counter(other).c_str(), &value);
        if (ok == 0 && info.getRegError() != -3) failures.add("counter read " + std::to_string(info.getRegError()));
        if (ok != 0 && value < seen[other]) {
          failures.add("counter " + std::to_string(other) + " went back from " + std::to_string(seen[other]) +
                       " to " + std::to_string(value));
        }
        if (ok != 0) seen[other] = value;
      }
    }
    if (round % 100 == 0) {
      const std::string copy = own + "Copy";
      if (info.setNumber((own + "\\Sub").c_str(), "nRound", next) == 0 ||
          !info.copyRegKey(("~" + own).c_str(), ("~" + copy).c_str()) ||
          info.getNumber((copy + "\\Sub").c_str(), "nRound", &number) == 0 || number != next ||
          !info.delRegKey(("~" + copy).c_str())) {
        failures.add("copy/delete of " + own + " failed with " + std::to_string(info.getRegError()) + " " +
                     info.getLastErrorMsg());
      }
    }
  }
  // Every other process's last write must become visible.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (int other = 0; other < kProcesses; ++other) {
    unsigned long value = 0;
    while (!(info.getNumber("Counters", Counter(other).c_str(), &value) != 0 && value == kRounds)) {
      if (std::chrono::steady_clock::now() > deadline) {
        failures.add("counter " + std::to_string(other) + " stays at " + std::to_string(value));
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  if (failures.count > 8) failures.text += std::to_string(failures.count) + " failures in all\n";
  return failures.text;
}

TEST(StoreConcurrency, FourProcessesWriteAndReadOverlappingKeysWithoutLoss) {
  OnFreshThread(zn::test::EmptyStore);
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<std::unique_ptr<Child>> children;
  for (int process = 0; process < kProcesses; ++process) {
    children.push_back(std::make_unique<Child>([process, gate] {
      ::close(gate[1]);
      return Worker(process, gate[0]);
    }));
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (int process = 0; process < kProcesses; ++process) {
    EXPECT_EQ(children[process]->finish(std::chrono::seconds(200)), "") << "process " << process;
  }

  OnFreshThread([] {
    ZNPlatformInfo info(0, 0);
    for (int process = 0; process < kProcesses; ++process) {
      unsigned long value = 0;
      ASSERT_EQ(info.getNumber("Counters", Counter(process).c_str(), &value), 1);
      EXPECT_EQ(value, static_cast<unsigned long>(kRounds)) << process;
    }
    // Each slot holds the last stamp of whichever process wrote it last.
    for (int slot = 0; slot < kSlots; ++slot) {
      std::string text;
      ASSERT_EQ(info.getString(Slot(slot).c_str(), "sWriter", &text), 1);
      const auto colon = text.find(':');
      ASSERT_NE(colon, std::string::npos) << text;
      EXPECT_LT(std::stoi(text.substr(0, colon)), kProcesses) << text;
      EXPECT_EQ(text.substr(colon + 1), std::to_string(LastRoundOf(slot))) << "slot " << slot;
    }
    std::list<std::string> keys;
    ASSERT_TRUE(info.getSubKeys(nullptr, &keys));
    EXPECT_EQ(keys, (std::list<std::string>{"Counters", "Own0", "Own1", "Own2", "Own3", "Shared"}));
    ASSERT_TRUE(info.getSubKeys("Shared", &keys));
    EXPECT_EQ(keys.size(), static_cast<std::size_t>(kSlots));  // each created once, whoever came first
    std::string report;
    ASSERT_EQ(ConfigStore::ForThisThread().integrityCheck(report), StoreStatus::kOk);
    EXPECT_EQ(report, "ok");
  });
}

TEST(StoreConcurrency, ThreadsSeeWholeBatchesAndCopiesAreSnapshots) {
  OnFreshThread(zn::test::EmptyStore);
  constexpr int kBatches = 600;
  std::atomic<bool> writerDone{false};
  std::atomic<int> failures{0};
  std::string firstFailure;
  std::mutex failureLock;
  auto fail = [&](const std::string& what) {
    if (failures++ == 0) {
      std::lock_guard<std::mutex> lock(failureLock);
      firstFailure = what;
    }
  };
  const std::string tree = ZNPlatformInfo(0, 0).expandKeyName("~Tree");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);

  // The writer changes two keys together, one batch at a time.
  std::thread writer([&] {
    ConfigStore& store = ConfigStore::ForThisThread();
    for (int k = 1; k <= kBatches && std::chrono::steady_clock::now() < deadline; ++k) {
      const std::string text = std::to_string(k) + std::string(1, '\0');
      if (store.writeBatch({}, {{tree + "\\A", "sStep", kZnRegString, text}, {tree + "\\B", "sStep", kZnRegString, text}}) !=
          StoreStatus::kOk) {
        fail("batch: " + store.lastError());
      }
    }
    writerDone = true;
  });
  // Copies (and renames of the copies) must show both keys at one step.
  std::atomic<int> copies{0};
  std::thread copier([&] {
    ZNPlatformInfo info(0, 0);
    int lastStep = 0;
    while ((!writerDone || copies < 5) && failures < 10 && std::chrono::steady_clock::now() < deadline) {
      if (!info.copyRegKey("~Tree", "~Snap")) {
        if (info.getRegError() != -2) fail("copy: " + info.getLastErrorMsg());
        continue;
      }
      if (!info.renameRegKey("~Snap", "~Moved")) fail("rename: " + info.getLastErrorMsg());
      std::string a, b;
      if (info.getString("Moved\\A", "sStep", &a) == 0 || info.getString("Moved\\B", "sStep", &b) == 0) {
        fail("copied values missing: " + std::to_string(info.getRegError()));
      } else if (a != b) {
        fail("a copy caught half a batch: A=" + a + " B=" + b);
      } else if (std::stoi(a) < lastStep) {
        fail("a later copy went back from " + std::to_string(lastStep) + " to " + a);
      } else {
        lastStep = std::stoi(a);
      }
      if (!info.delRegKey("~Moved")) fail("delete: " + info.getLastErrorMsg());
      ++copies;
    }
  });
  // Readers of whole keys see both values at one step too, and their own
  // counters never lose an update.
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&, r] {
      ZNPlatformInfo info(0, 0);
      const std::string name = "nReader" + std::to_string(r);
      for (unsigned long i = 1; !writerDone && std::chrono::steady_clock::now() < deadline; ++i) {
        if (info.setNumber("Readers", name.c_str(), i) == 0) fail("counter write " + info.getLastErrorMsg());
        unsigned long back = 0;
        if (info.getNumber("Readers", name.c_str(), &back) == 0 || back != i) fail("counter lost");
        std::vector<StoreEntry> values;
        const StoreStatus status = ConfigStore::ForThisThread().values(tree + "\\A", values);
        if (status != StoreStatus::kOk && status != StoreStatus::kKeyMissing) fail("values: " + std::to_string(i));
      }
    });
  }
  writer.join();
  copier.join();
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(failures.load(), 0) << firstFailure;
  EXPECT_GE(copies.load(), 5);
  OnFreshThread([] {
    std::string a, b;
    ZNPlatformInfo info(0, 0);
    ASSERT_EQ(info.getString("Tree\\A", "sStep", &a), 1);
    ASSERT_EQ(info.getString("Tree\\B", "sStep", &b), 1);
    EXPECT_EQ(a, std::to_string(kBatches));
    EXPECT_EQ(b, a);
  });
}

// Values of the big tree: 30 keys of 100 values, each with its own bytes.
constexpr int kKeys = 30;
constexpr int kValuesPerKey = 100;

std::string BigValue(int key, int value) {
  return "value " + std::to_string(key) + "/" + std::to_string(value) + std::string(150, static_cast<char>('a' + value % 26));
}

TEST(StoreConcurrency, AProcessKilledInTheMiddleOfALargeCopyLeavesAllOrNothing) {
  const std::string big = ZNPlatformInfo(0, 0).expandKeyName("~Big");
  const std::string other = ZNPlatformInfo(0, 0).expandKeyName("~Big2");
  const std::string copy = ZNPlatformInfo(0, 0).expandKeyName("~BigCopy");
  zn::test::StoreTree expected = {{"|", ""}};
  OnFreshThread([&] {
    zn::test::EmptyStore();
    std::vector<ConfigStore::BatchValue> values;
    for (int key = 0; key < kKeys; ++key) {
      const std::string sub = "K" + std::to_string(key);
      expected["\\" + sub + "|"] = "";
      for (int value = 0; value < kValuesPerKey; ++value) {
        const std::string name = "v" + std::to_string(value);
        values.push_back({big + "\\" + sub, name, 3, BigValue(key, value)});
        expected["\\" + sub + "|" + name] = "3:" + BigValue(key, value);
      }
    }
    ASSERT_EQ(ConfigStore::ForThisThread().writeBatch({}, values), StoreStatus::kOk);
    ASSERT_EQ(zn::test::TreeBelow(big), expected);
  });
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(kKeys * kValuesPerKey + kKeys + 1));

  // Rounds alternate between a child copying the tree and deleting the copy,
  // and a child renaming the tree back and forth. The child writes 'b' to a
  // pipe before each step and 'e' after it. The parent times two steps and
  // kills the child at a different fraction of a step's length each round;
  // rounds go on until several kills have landed inside a step (bounded).
  const double fractions[] = {0.5, 0.2, 0.8, 0.35, 0.65, 0.1, 0.9};
  int killedInside = 0;
  for (int round = 0; round < 24 && (round < 6 || killedInside < 4); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const bool renaming = round % 2 == 1;
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    Child child([&]() -> std::string {
      ::close(progress[0]);
      ZNPlatformInfo info(0, 0);
      std::string from = "~Big", to = "~Big2";
      if (ConfigStore::ForThisThread().keyExists(big) != StoreStatus::kOk) std::swap(from, to);  // moved earlier
      for (;;) {
        if (::write(progress[1], "b", 1) != 1) return "progress pipe";
        if (renaming) {
          if (!info.renameRegKey(from.c_str(), to.c_str())) return "rename failed: " + info.getLastErrorMsg();
          std::swap(from, to);
        } else {
          if (!info.copyRegKey(from.c_str(), "~BigCopy")) return "copy failed: " + info.getLastErrorMsg();
          if (!info.delRegKey("~BigCopy")) return "delete failed: " + info.getLastErrorMsg();
        }
        if (::write(progress[1], "e", 1) != 1) return "progress pipe";
      }
    });
    ::close(progress[1]);
    // Reads the child's reports until `ends` steps have ended (at most 60 s);
    // the last byte read.
    auto awaitSteps = [&](int ends) {
      char last = 0;
      for (int seen = 0; seen < ends;) {
        struct pollfd fd = {progress[0], POLLIN, 0};
        if (::poll(&fd, 1, 60000) != 1 || ::read(progress[0], &last, 1) != 1) return '?';
        if (last == 'e') ++seen;
      }
      return last;
    };
    ASSERT_EQ(awaitSteps(1), 'e') << child.finish(std::chrono::milliseconds(1));
    const auto firstEnd = std::chrono::steady_clock::now();
    ASSERT_EQ(awaitSteps(1), 'e') << child.finish(std::chrono::milliseconds(1));
    const auto step = std::chrono::steady_clock::now() - firstEnd;
    std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(
        step * fractions[round % (sizeof fractions / sizeof fractions[0])]));
    const int status = child.kill();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended by itself: " << status;
    char last = 'e', byte;
    while (::read(progress[0], &byte, 1) == 1) last = byte;  // the write end died with the child
    ::close(progress[0]);
    if (last == 'b') ++killedInside;

    OnFreshThread([&] {
      ConfigStore& store = ConfigStore::ForThisThread();
      std::string report;
      ASSERT_EQ(store.integrityCheck(report), StoreStatus::kOk) << store.lastError();
      EXPECT_EQ(report, "ok");
      const auto first = zn::test::TreeBelow(big), second = zn::test::TreeBelow(other), copied = zn::test::TreeBelow(copy);
      // The tree lives in exactly one place, whole; a copy is whole or absent.
      EXPECT_TRUE((first == expected && second.empty()) || (first.empty() && second == expected))
          << first.size() << " values under Big, " << second.size() << " under Big2";
      EXPECT_TRUE(copied.empty() || copied == expected) << copied.size() << " values copied";
      EXPECT_EQ(store.keyExists(copy) == StoreStatus::kOk, !copied.empty());
      // The store takes writes again, and the copy is cleared for the next round.
      ZNPlatformInfo info(0, 0);
      EXPECT_TRUE(info.setString("After", "sRound", "x"));
      if (!copied.empty()) {
        EXPECT_TRUE(info.delRegKey("~BigCopy"));
      }
    });
  }
  RecordProperty("KillsInsideAStep", killedInside);
}

}  // namespace
