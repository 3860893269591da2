// The live status records: a named pool and a task manager publish their
// parts into this process's record and take them away again; a record left
// by a process that was killed reads as ended and goes when the next part
// of any process starts; who wrote a record is told by pid, start time and
// boot, never by the pid alone.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/livestatus/LiveStatus.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/task/ZnPeriodicTask.h"

namespace {

using zn::LiveProcessState;
using zn::LiveStatusProcess;
using zn::test::PollUntil;

using LiveStatus = zn::test::ConfigTest;

std::vector<LiveStatusProcess> Records() {
  std::vector<LiveStatusProcess> records;
  std::string error;
  EXPECT_TRUE(zn::ReadLiveStatus(records, error)) << error;
  return records;
}

// This process's record, or null.
const LiveStatusProcess* Find(const std::vector<LiveStatusProcess>& records, long pid) {
  for (const LiveStatusProcess& record : records) {
    if (record.identity.pid == pid) return &record;
  }
  return nullptr;
}

const zn::LiveStatusPool* PoolOf(const LiveStatusProcess& record, const std::string& name) {
  for (const zn::LiveStatusPool& pool : record.pools) {
    if (pool.name == name) return &pool;
  }
  return nullptr;
}

int Quiet(ZnPeriodicTaskStatus*) { return 0; }

TEST_F(LiveStatus, APoolsPartComesWithThePoolAndTheRecordGoesWithTheLastPart) {
  const long self = static_cast<long>(::getpid());
  EXPECT_EQ(Find(Records(), self), nullptr);
  {
    ZnThreadPool first;
    ASSERT_TRUE(first.initThreadPool("lsJobs", 45, 1, 6, 1));
    ZnThreadPool second;  // the same name is a second part, not the same one
    ASSERT_TRUE(second.initThreadPool("lsJobs", 30, 0, 3, 0));
    ZnThreadPool odd;
    ASSERT_TRUE(odd.initThreadPool("a\\b/c%d", 30, 0, 2, 0));
    ZnThreadPool unnamed;  // a pool without a name reports as "N/A"
    ASSERT_TRUE(unnamed.initThreadPool(30, 0, 2, 0));

    const std::vector<LiveStatusProcess> records = Records();
    const LiveStatusProcess* mine = Find(records, self);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->state, LiveProcessState::kRunning);
    EXPECT_EQ(mine->identity.startTicks, zn::ThisLiveProcess().startTicks);
    EXPECT_EQ(mine->identity.bootId, zn::ThisLiveProcess().bootId);
    EXPECT_EQ(mine->pools.size(), 4u);
    EXPECT_NE(PoolOf(*mine, "N/A"), nullptr);
    const zn::LiveStatusPool* jobs = PoolOf(*mine, "lsJobs");
    ASSERT_NE(jobs, nullptr);
    EXPECT_EQ(jobs->minThreads, 1u);
    EXPECT_EQ(jobs->maxThreads, 6u);
    EXPECT_EQ(jobs->timeoutSeconds, 45u);
    EXPECT_EQ(jobs->threads, 1u);
    ASSERT_NE(PoolOf(*mine, "lsJobs (2)"), nullptr);
    EXPECT_EQ(PoolOf(*mine, "lsJobs (2)")->maxThreads, 3u);
    EXPECT_NE(PoolOf(*mine, "a\\b/c%d"), nullptr);  // escaped in the store, whole when read
  }
  // Every pool gone: the record went with its last part.
  EXPECT_EQ(Find(Records(), self), nullptr);
  EXPECT_TRUE(zn::test::TreeBelow(std::string(zn::test::kInstanceKey) + "\\LiveStatus\\" + std::to_string(self)).empty());
}

TEST_F(LiveStatus, ATaskManagerPublishesEveryTaskOfItsTableAndLeavesWithItsThread) {
  ASSERT_TRUE(ZNPlatformInfo(0, 0).setNumber("Base", "PeriodicTasksRefreshIntervalSeconds", 1));
  const ZnPeriodicTaskItem table[] = {
      {"Often", true, true, false, 5, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &Quiet, nullptr, nullptr},
      {"Off", false, true, false, 60, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &Quiet, nullptr, nullptr},
      {"Kept", true, true, true, 3600, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &Quiet, nullptr, nullptr},
      {nullptr, false, false, false, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
  };
  ZnThreadPool pool;
  ASSERT_TRUE(pool.initThreadPool(30, 1, 3, 1));
  const long self = static_cast<long>(::getpid());
  {
    ZnPeriodicTaskMgr manager("lsTasks", &pool, table);
    ASSERT_TRUE(manager.StartPeriodicTasks());
    // The start publishes at once; a refresh later the tasks have run.
    const zn::LiveStatusTaskManager* published = nullptr;
    std::vector<LiveStatusProcess> records;
    ASSERT_TRUE(PollUntil([&] {
      records = Records();
      const LiveStatusProcess* mine = Find(records, self);
      published = mine != nullptr && mine->managers.size() == 1 ? &mine->managers[0] : nullptr;
      return published != nullptr && published->tasks.size() == 3 && published->tasks[0].lastRun > 0;
    }));
    EXPECT_EQ(published->name, "lsTasks");
    EXPECT_EQ(published->refreshSeconds, 1u);
    const auto& often = published->tasks[0];
    EXPECT_EQ(often.name, "Often");
    EXPECT_EQ(often.position, 1);
    EXPECT_TRUE(often.enabled && often.started);
    EXPECT_EQ(often.frequency, 5);
    EXPECT_EQ(often.nextRun, often.lastRun + 5);
    EXPECT_EQ(published->tasks[1].name, "Off");
    EXPECT_FALSE(published->tasks[1].enabled);
    EXPECT_EQ(published->tasks[1].nextRun, 0);  // switched off: nothing due
    EXPECT_EQ(published->tasks[2].name, "Kept");
    EXPECT_TRUE(published->tasks[2].persistent);
    manager.StopPeriodicTasks();
  }
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  const std::vector<LiveStatusProcess> records = Records();
  ASSERT_NE(Find(records, self), nullptr);  // the pool's part stays
  EXPECT_TRUE(Find(records, self)->managers.empty());
}

TEST_F(LiveStatus, AKilledProcessLeavesARecordThatReadsAsEndedAndGoesAtTheNextStart) {
  zn::test::Pipe ready;
  {
    zn::test::ChildProcess child([&] {
      ZnThreadPool pool;
      if (!pool.initThreadPool("lsVictim", 30, 0, 2, 0)) return 2;
      ready.send('p');
      ::pause();  // killed while its record stands
      return 0;
    });
    ASSERT_EQ(ready.receive(), 'p');
    const std::vector<LiveStatusProcess> before = Records();
    const LiveStatusProcess* victim = Find(before, child.pid());
    ASSERT_NE(victim, nullptr);
    EXPECT_EQ(victim->state, LiveProcessState::kRunning);
    EXPECT_EQ(victim->processName, "zn_tests");
    child.kill();
    ASSERT_EQ(child.wait(), -SIGKILL);
  }
  std::vector<LiveStatusProcess> after = Records();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].state, LiveProcessState::kEnded);  // the pid names no process now
  ASSERT_EQ(after[0].pools.size(), 1u);
  EXPECT_EQ(after[0].pools[0].name, "lsVictim");

  // The next part to start clears what ended processes left.
  ZnThreadPool next;
  ASSERT_TRUE(next.initThreadPool("lsNext", 30, 0, 2, 0));
  after = Records();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].identity.pid, static_cast<long>(::getpid()));
}

TEST(LiveProcessIdentity, NamesOneProcessByPidStartTimeAndBoot) {
  const zn::LiveProcessIdentity self = zn::ThisLiveProcess();
  EXPECT_EQ(self.pid, static_cast<long>(::getpid()));
  EXPECT_GT(self.startTicks, 0u);
  EXPECT_EQ(self.bootId.size(), 36u) << self.bootId;
  EXPECT_GT(self.startedAt, 1500000000);
  EXPECT_LE(self.startedAt, static_cast<long long>(::time(nullptr)));
  EXPECT_EQ(zn::CheckLiveProcess(self), LiveProcessState::kRunning);

  zn::LiveProcessIdentity reused = self;  // the pid again, but a later process
  reused.startTicks += 1;
  EXPECT_EQ(zn::CheckLiveProcess(reused), LiveProcessState::kEnded);
  zn::LiveProcessIdentity earlierBoot = self;
  earlierBoot.bootId[0] = earlierBoot.bootId[0] == '0' ? '1' : '0';
  EXPECT_EQ(zn::CheckLiveProcess(earlierBoot), LiveProcessState::kEnded);
  zn::LiveProcessIdentity none = self;
  none.pid = 0;
  EXPECT_EQ(zn::CheckLiveProcess(none), LiveProcessState::kEnded);

  // A zombie has ended, though its pid still answers.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  zn::LiveProcessIdentity zombie;
  ASSERT_TRUE(PollUntil([&] {
    std::string stat = zn::test::ReadFile("/proc/" + std::to_string(child) + "/stat");
    return stat.find(") Z ") != std::string::npos;
  }));
  zombie.pid = child;
  zombie.bootId = self.bootId;
  EXPECT_EQ(zn::CheckLiveProcess(zombie), LiveProcessState::kEnded);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  EXPECT_EQ(zn::CheckLiveProcess(zombie), LiveProcessState::kEnded);

  EXPECT_EQ(zn::EscapeLiveStatusName("a\\b/c%d"), "a%5Cb%2Fc%25d");
  EXPECT_EQ(zn::UnescapeLiveStatusName("a%5Cb%2Fc%25d"), "a\\b/c%d");
  EXPECT_EQ(zn::UnescapeLiveStatusName("50% %zz %4"), "50% %zz %4");  // not ours: as it stands
}

}  // namespace
