// Helpers of the daemon watch tests: an instance of each test's own (the
// alive mutex is machine-wide), a stand-in daemon in a child process, and
// the log at a level that shows every line of the watch.
#pragma once

#include <memory>
#include <string>

#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/log/LogTesting.h"
#include "zn/sync/NamedKernelObject.h"
#include "zn/znd/ZNDTerminationHandler.h"

namespace zn::test {

class ZndTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    m_focus = UniqueName("znd");
    ZNPI_Focus::setFocus(m_focus.c_str());
    LogSettings::SetNumber(kEM, "ShowLogLevelInLogs", 1);
    EvDebug::zndMonitoringInitialized = false;
    Open();
    EvDebug().setDebugLevel(10);
  }
  void TearDown() override {
    ZNDTerminationHandler::unregisterCallbackForZNDTermination();
    EvDebug::zndMonitoringInitialized = false;
    LogTest::TearDown();
  }
  std::string AliveName() const { return "Global\\ZNDALIVE-" + m_focus; }
  // The alive mutex, opened here: while this is held the name stays, so a
  // waiter that opens it later still finds it (and finds it abandoned when
  // its owner died).
  std::unique_ptr<zn::NamedKernelObject> OpenAlive() const {
    std::unique_ptr<zn::NamedKernelObject> mutex;
    EXPECT_EQ(zn::NamedKernelObject::Open(AliveName(), zn::NamedObjectType::kMutex, mutex), 0u);
    return mutex;
  }

  std::string m_focus;
};

// The daemon as the watch sees it: a child process holding the alive
// mutex until it is told to stop (it releases the mutex and exits) or is
// killed.
class FakeDaemon {
 public:
  explicit FakeDaemon(const std::string& name)
      : m_child([this, name] {
          std::unique_ptr<zn::NamedKernelObject> alive;
          bool created = false;
          if (zn::NamedKernelObject::Create(name, zn::NamedObjectType::kMutex, zn::NamedObjectInit(), true, alive,
                                            created) != 0 ||
              alive->lockMutex(0) != zn::WaitOutcome::kAcquired) {
            return 2;
          }
          m_toParent.send('h');
          if (m_toChild.receive() == 'q') alive->unlockMutex();
          return 0;
        }) {}

  // True once the child holds the mutex.
  bool holding() { return m_toParent.receive() == 'h'; }
  // Releases the mutex and ends normally.
  int stop() {
    m_toChild.send('q');
    return m_child.wait();
  }
  int kill() {
    m_child.kill();
    return m_child.wait();
  }

 private:
  Pipe m_toParent;
  Pipe m_toChild;
  ChildProcess m_child;
};

}  // namespace zn::test
