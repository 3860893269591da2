// Waiting for the local service daemon to end: the alive mutex name, a
// daemon that ends normally, one killed holding its mutex, none at all, the
// time-out, the quit event and handles that are not what they should be.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>

#include "znd/ZndTestUtil.h"

namespace {

using zn::NamedKernelObject;
using zn::NamedObjectType;
using zn::test::FakeDaemon;
using zn::test::kWaitLimitMs;

class ZndTermination : public zn::test::ZndTest {};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(ZndTermination, TheAliveMutexNameIsGlobalPlusTheFocusCutToTheBuffer) {
  char name[ZNDTerminationHandler::kMutexNameSize];
  ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName(name, sizeof name);
  EXPECT_EQ(std::string(name), "Global\\ZNDALIVE-" + m_focus);

  char shortBuffer[10];
  std::memset(shortBuffer, 'x', sizeof shortBuffer);
  ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName(shortBuffer, sizeof shortBuffer);
  EXPECT_STREQ(shortBuffer, "Global\\ZN");

  char untouched[4] = "abc";
  ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName(untouched, 0);
  EXPECT_STREQ(untouched, "abc");
  ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName(nullptr, 256);
  const std::string text = Content();
  EXPECT_TRUE(HasLine(text, "ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName "
                            "Invalid buffer passed to GenerateZNDAliveCheckMutexName"))
      << text;
  EXPECT_NE(text.find(" L-1 "), std::string::npos);

  ZNPI_Focus::setFocus(nullptr);  // no focus: the name still has its prefix
  ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName(name, sizeof name);
  EXPECT_STREQ(name, "Global\\ZNDALIVE-");
}

TEST_F(ZndTermination, NoDaemonRunningMeansTerminatedAtOnce) {
  EXPECT_TRUE(ZNDTerminationHandler::_WaitForZNDTermination(nullptr, kWaitLimitMs));
  EXPECT_TRUE(HasLine(Content(), "Failed to Open ZNDAliveChecking Mutex, " + AliveName() + ", 2")) << Content();
  EXPECT_FALSE(Has(Content(), "Waiting for ZND Termination"));  // only for a wait without limit
}

TEST_F(ZndTermination, ADaemonThatStopsNormallyReleasesItsMutex) {
  FakeDaemon daemon(AliveName());
  ASSERT_TRUE(daemon.holding());
  const std::unique_ptr<NamedKernelObject> keep = OpenAlive();  // the waiter finds it however late it opens
  std::future<bool> ended =
      std::async(std::launch::async, [] { return ZNDTerminationHandler::_WaitForZNDTermination(nullptr, kWaitLimitMs); });
  EXPECT_EQ(ended.wait_for(zn::test::kStaysBlocked), zn::test::kPending);
  EXPECT_EQ(daemon.stop(), 0);
  ASSERT_EQ(ended.wait_for(zn::test::kWaitLimit), zn::test::kReady);
  EXPECT_TRUE(ended.get());
  const std::string text = Content();
  EXPECT_TRUE(HasLine(text, "ZND Alive Check acquired Mutex")) << text;
  EXPECT_FALSE(Has(text, "Abandoned"));
  EXPECT_TRUE(Has(text, "ZNDTerminationHandler::_WaitForZNDAliveMutex"));
}

TEST_F(ZndTermination, ADaemonKilledHoldingItsMutexLeavesItAbandoned) {
  FakeDaemon daemon(AliveName());
  ASSERT_TRUE(daemon.holding());
  const std::unique_ptr<NamedKernelObject> keep = OpenAlive();  // the name outlives the daemon
  std::future<bool> ended = std::async(std::launch::async, [] {
    return ZNDTerminationHandler::_WaitForZNDTermination(nullptr, zn::kWaitForever);
  });
  EXPECT_EQ(daemon.kill(), -SIGKILL);
  ASSERT_EQ(ended.wait_for(zn::test::kWaitLimit), zn::test::kReady);
  EXPECT_TRUE(ended.get());
  const std::string text = Content();
  EXPECT_TRUE(HasLine(text, "Waiting for ZND Termination"));
  EXPECT_TRUE(HasLine(text, "ZND Alive Check acquired Mutex, Abandoned")) << text;
  // The mutex was let go again: the next waiter gets it at once.
  EXPECT_EQ(keep->lockMutex(0), zn::WaitOutcome::kAcquired);
  keep->unlockMutex();
}

TEST_F(ZndTermination, TimeOutAndQuitEventEndTheWaitWithoutTermination) {
  FakeDaemon daemon(AliveName());
  ASSERT_TRUE(daemon.holding());
  const std::unique_ptr<NamedKernelObject> alive = OpenAlive();
  EXPECT_FALSE(ZNDTerminationHandler::_WaitForZNDAliveMutex(alive.get(), nullptr, 100));
  EXPECT_TRUE(HasLine(Content(), "ZND Alive Check WaitForSingleObject Time-Out"));

  std::unique_ptr<NamedKernelObject> quit;
  bool created = false;
  ASSERT_EQ(NamedKernelObject::Create(zn::test::UniqueName("quit"), NamedObjectType::kEvent, zn::NamedObjectInit(),
                                      false, quit, created),
            0u);
  // With a quit event the wait takes slices; a short time-out still ends it.
  EXPECT_FALSE(ZNDTerminationHandler::_WaitForZNDAliveMutex(alive.get(), quit.get(), 120));
  std::future<bool> waiting = std::async(std::launch::async, [&] {
    return ZNDTerminationHandler::_WaitForZNDAliveMutex(alive.get(), quit.get(), zn::kWaitForever);
  });
  EXPECT_EQ(waiting.wait_for(zn::test::kStaysBlocked), zn::test::kPending);
  quit->setEvent();
  ASSERT_EQ(waiting.wait_for(zn::test::kWaitLimit), zn::test::kReady);
  EXPECT_FALSE(waiting.get());
  EXPECT_TRUE(HasLine(Content(), "ZND Alive Check Quit Event Signaled"));

  // With the daemon gone and the event still set, the mutex comes first.
  EXPECT_EQ(daemon.stop(), 0);
  EXPECT_TRUE(ZNDTerminationHandler::_WaitForZNDAliveMutex(alive.get(), quit.get(), kWaitLimitMs));
}

TEST_F(ZndTermination, HandlesOfTheWrongKindFailTheWait) {
  std::unique_ptr<NamedKernelObject> event;
  bool created = false;
  ASSERT_EQ(NamedKernelObject::Create(zn::test::UniqueName("evt"), NamedObjectType::kEvent, zn::NamedObjectInit(),
                                      false, event, created),
            0u);
  EXPECT_FALSE(ZNDTerminationHandler::_WaitForZNDAliveMutex(nullptr, nullptr, 0));
  EXPECT_FALSE(ZNDTerminationHandler::_WaitForZNDAliveMutex(event.get(), nullptr, 0));
  std::unique_ptr<NamedKernelObject> mutex;
  ASSERT_EQ(NamedKernelObject::Create(zn::test::UniqueName("mtx"), NamedObjectType::kMutex, zn::NamedObjectInit(),
                                      false, mutex, created),
            0u);
  EXPECT_FALSE(ZNDTerminationHandler::_WaitForZNDAliveMutex(mutex.get(), mutex.get(), 0));  // not an event
  const std::string text = Content();
  std::size_t failures = 0;
  for (std::size_t at = text.find("ZND Alive Check WaitForSingleObject Failed 6\n"); at != std::string::npos;
       at = text.find("ZND Alive Check WaitForSingleObject Failed 6\n", at + 1)) {
    ++failures;
  }
  EXPECT_EQ(failures, 3u) << text;
  EXPECT_TRUE(mutex->lockMutex(0) == zn::WaitOutcome::kAcquired);  // left as it was
  mutex->unlockMutex();
}

TEST_F(ZndTermination, CallbacksAreRegisteredReplacedAndRemoved) {
  EXPECT_EQ(ZNDTerminationHandler::getRegisteredZNDTerminationCallBack(), nullptr);
  ZNDTerminationHandler::TerminationCallback first = [] { return true; };
  ZNDTerminationHandler::TerminationCallback second = [] { return false; };
  ZNDTerminationHandler::registerCallbackForZNDTermination(first);
  EXPECT_EQ(ZNDTerminationHandler::getRegisteredZNDTerminationCallBack(), first);
  ZNDTerminationHandler::registerCallbackForZNDTermination(second);
  EXPECT_EQ(ZNDTerminationHandler::getRegisteredZNDTerminationCallBack(), second);
  ZNDTerminationHandler::unregisterCallbackForZNDTermination();
  EXPECT_EQ(ZNDTerminationHandler::getRegisteredZNDTerminationCallBack(), nullptr);
}

}  // namespace
