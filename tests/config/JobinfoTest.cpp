// Job records: the entry layout and its replacement, jobs and counters, the
// no-job texts, every failure message (store faults injected with SQLite
// triggers), and records written by a child process that the parent reads
// while the child runs, after it was killed, and half written by a writer
// of another kind.

#include <limits.h>
#include <poll.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <list>
#include <set>
#include <string>

#include "config/ConfigTestUtil.h"
#include "zn/config/ZNPI_Jobinfo.h"

namespace {

using zn::JobProcess;
using zn::test::Child;

const std::string kEntries = std::string(zn::test::kInstanceKey) + "\\Jobinfo";
const char* const kLayout[] = {
    "nBackupJobStartedStatus", "nBackupJobState", "nLastBackupBytes", "nLastBackupFailedFiles", "nLastBackupJobId",
    "nLastBackupJobStatus", "nLastBackupStartTime", "nLastBackupSuccessFiles", "nLastSuccessfulBackupTime",
    "nNextBackupTime", "nNojobReason", "nPerfctrBytesCount", "nPerfctrBytesCountTot", "nPerfctrFilesCount",
    "nPerfctrFilesCountTot", "nPerfctrJobPerf", "nPerfctrJobPhase", "nPerfctrPercent", "nPhaseStartTime",
    "nRunningJobId", "nRunningJobPid", "nRunningJobProcessName", "nServerElapsedTime", "sDisplayName",
    "sPerfctrCurrFile"};

// "<type>:<bytes>" of a value of entry `app`; "" when it cannot be read.
std::string Raw(int app, const char* name) {
  unsigned long type = 0;
  std::string bytes;
  const std::string key = "~Jobinfo\\" + std::to_string(app);
  return zn::test::ReadRaw(key.c_str(), name, type, bytes) ? std::to_string(type) + ":" + bytes : "";
}

std::string Text(const std::string& text) { return "1:" + text + std::string(1, '\0'); }

// The value names of entry `app`.
std::set<std::string> Names(int app) {
  std::set<std::string> names;
  for (const auto& [path, data] : zn::test::TreeBelow(kEntries + "\\" + std::to_string(app))) {
    if (path != "|") names.insert(path.substr(1));
  }
  return names;
}

std::string SelfName() {
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  const std::string path(exe, n > 0 ? static_cast<std::size_t>(n) : 0);
  return path.substr(path.rfind('/') + 1);
}

bool WaitForByte(int fd) {
  struct pollfd ready = {fd, POLLIN, 0};
  char byte;
  return ::poll(&ready, 1, 60000) == 1 && ::read(fd, &byte, 1) == 1;
}

// While it lives the store refuses to write values (or create keys) named
// `name`, as a full disk or a broken file would.
class StoreFault {
 public:
  StoreFault(const char* table, const std::string& name) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(zn::ConfigStore::DefaultPath().c_str(), &db), SQLITE_OK);
    m_db.reset(db);
    for (const char* event : {"INSERT", "UPDATE"}) {
      const std::string sql = std::string("CREATE TRIGGER zn_fault_") + event + " BEFORE " + event + " ON " + table +
                              " WHEN NEW.name = '" + name + "' BEGIN SELECT RAISE(ABORT, 'injected fault'); END";
      EXPECT_EQ(sqlite3_exec(m_db.get(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }
  }
  ~StoreFault() {
    sqlite3_exec(m_db.get(), "DROP TRIGGER IF EXISTS zn_fault_INSERT", nullptr, nullptr, nullptr);
    sqlite3_exec(m_db.get(), "DROP TRIGGER IF EXISTS zn_fault_UPDATE", nullptr, nullptr, nullptr);
  }

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
  };
  std::unique_ptr<sqlite3, Close> m_db;
};

class Jobinfo : public zn::test::ConfigTest {
 protected:
  void ExpectError(int code, const std::string& message) {
    EXPECT_EQ(m_jobs.getLastError(), code) << message;
    EXPECT_EQ(m_jobs.getLastErrorMsg(), message);
  }
  ZNPI_Jobinfo m_jobs;
};

TEST_F(Jobinfo, AddAppWritesTheLayoutAndReplacesAWholeEntry) {
  std::list<int> apps = {99};
  ASSERT_EQ(m_jobs.getAppList(apps), 1);  // no entry was ever made
  EXPECT_TRUE(apps.empty());
  ASSERT_EQ(m_jobs.addApp(5, "File System", 1700000000123LL), 1);
  EXPECT_EQ(Names(5), std::set<std::string>(std::begin(kLayout), std::end(kLayout)));
  EXPECT_EQ(Raw(5, "sDisplayName"), Text("File System"));
  EXPECT_EQ(Raw(5, "nLastBackupStartTime"), Text("1700000000123"));
  EXPECT_EQ(Raw(5, "nLastBackupBytes"), Text("0"));
  EXPECT_EQ(Raw(5, "nRunningJobId"), "4:" + std::string(4, '\0'));
  EXPECT_EQ(Raw(5, "nRunningJobProcessName"), Text(""));

  ASSERT_EQ(m_jobs.setJobPhaseCnt(5, 4), 1);
  ASSERT_EQ(m_jobs.setNextBackupTime(5, 99), 1);
  ASSERT_EQ(m_jobs.setLastBackupFiles(5, 7, 3), 1);
  EXPECT_EQ(Raw(5, "nBackupJobPhaseCnt"), "4:" + std::string("\x04\0\0\0", 4));
  ASSERT_EQ(m_jobs.addApp(5, "New name", 42), 1);  // replaces: the old values are gone
  EXPECT_EQ(Names(5).count("nBackupJobPhaseCnt"), 0u);
  std::string name;
  long long time = -1;
  unsigned long long success = 1, failed = 1;
  EXPECT_TRUE(m_jobs.getDisplayName(5, name) && name == "New name");
  EXPECT_TRUE(m_jobs.getLastBackupStartTime(5, time) && time == 42);
  EXPECT_TRUE(m_jobs.getNextBackupTime(5, time) && time == 0);
  EXPECT_TRUE(m_jobs.getLastBackupFiles(5, success, failed) && success == 0 && failed == 0);
  int count = -1;
  EXPECT_EQ(m_jobs.getJobPhaseCnt(5, count), 0);
  ExpectError(-3, "Error getting jobPhaseCnt for app: 5");
  EXPECT_EQ(count, -1);

  ASSERT_EQ(m_jobs.addApp(12, "Database", 1), 1);
  ASSERT_EQ(m_jobs.addApp(3, "Mail", 2), 1);
  ASSERT_EQ(m_jobs.getAppList(apps), 1);
  EXPECT_EQ(apps, (std::list<int>{12, 3, 5}));  // the store's name order
  EXPECT_EQ(m_jobs.deleteApp(3), 1);
  EXPECT_EQ(m_jobs.isAppIdPresent(3), 0);
  EXPECT_EQ(m_jobs.deleteApp(3), 0);
  ExpectError(-2, "Error deleting app:3");
  EXPECT_EQ(m_jobs.setLastBackupStartTime(77, 1), 0);
  ExpectError(0, "Can't set lastBackupStartTime. AppId not present: 77");
  EXPECT_TRUE(Names(77).empty());  // a setter never makes an entry
  EXPECT_EQ(m_jobs.deleteAppAll(), 1);
  ASSERT_EQ(m_jobs.getAppList(apps), 1);
  EXPECT_TRUE(apps.empty());
}

TEST_F(Jobinfo, JobsAndCountersFollowTheRunningJob) {
  ASSERT_EQ(m_jobs.addApp(5, "File System", 100), 1);
  ASSERT_EQ(m_jobs.setNoJobReason(5, 7), 1);
  ASSERT_EQ(m_jobs.addJob(5, 11, 4321, "clBackup"), 1);
  int job = 0, reason = -1, state = 0;
  EXPECT_TRUE(m_jobs.getJob(5, job) && job == 11);
  EXPECT_TRUE(m_jobs.getNoJobReason(5, reason) && reason == 0);  // a job clears the reason
  EXPECT_EQ(Raw(5, "nRunningJobPid"), "4:" + std::string("\xe1\x10\0\0", 4));
  EXPECT_EQ(Raw(5, "nRunningJobProcessName"), Text("clBackup"));

  int phase = 0, percent = 0;
  unsigned long long perf = 0, files = 0, filesTotal = 0, bytes = 0, bytesTotal = 0;
  const auto counters = [&] {
    EXPECT_EQ(m_jobs.getPerfctrs(5, &phase, &perf, &percent, &files, &filesTotal, &bytes, &bytesTotal), 1);
    return std::to_string(phase) + " " + std::to_string(perf) + " " + std::to_string(percent) + " " +
           std::to_string(files) + " " + std::to_string(filesTotal) + " " + std::to_string(bytes) + " " +
           std::to_string(bytesTotal);
  };
  ASSERT_EQ(m_jobs.setPerfctrs(5, 2, 900, 40, 10, 100, 1000, 1099511627776ULL, 127), 1);
  EXPECT_EQ(counters(), "2 900 40 10 100 1000 1099511627776");
  EXPECT_EQ(Raw(5, "nPerfctrBytesCountTot"), Text("1099511627776"));  // decimal text, no 32-bit cut
  ASSERT_EQ(m_jobs.setPerfctrs(5, 3, 1, 60, 1, 1, 1, 1, 5), 1);  // phase and percent only
  EXPECT_EQ(counters(), "3 900 60 10 100 1000 1099511627776");
  int newPercent = 70;
  unsigned long long newBytes = 2000;
  ASSERT_EQ(m_jobs.setPerfctrs(5, nullptr, nullptr, &newPercent, nullptr, nullptr, &newBytes, nullptr), 1);
  EXPECT_EQ(counters(), "3 900 70 10 100 2000 1099511627776");
  ASSERT_EQ(m_jobs.setCurrFile(5, "/data/a.txt"), 1);

  EXPECT_EQ(m_jobs.addJob(5, 12, 1, "clBackup"), 0);
  ExpectError(0, "Can't add jobid 12 to appid 5 because a job already exists:11");
  ASSERT_EQ(m_jobs.setLastBackupJobStatus(5, 11, 1), 1);
  ASSERT_EQ(m_jobs.deleteJob(5), 1);  // the job id stays, the rest is reset
  std::string file = "x";
  EXPECT_TRUE(m_jobs.getJob(5, job) && job == 11);
  EXPECT_EQ(Raw(5, "nRunningJobPid"), "4:" + std::string(4, '\0'));
  EXPECT_EQ(Raw(5, "nRunningJobProcessName"), Text(""));
  EXPECT_TRUE(m_jobs.getCurrFile(5, file) && file.empty());
  EXPECT_EQ(counters(), "0 0 0 0 0 0 0");
  EXPECT_EQ(m_jobs.addJob(5, 12, 1, "clBackup"), 0);
  ExpectError(0, "Can't add jobid 12 to appid 5 because a job already exists:11");

  ASSERT_EQ(m_jobs.setBackupJobStartedStatus(5, 0, 0), 1);
  EXPECT_EQ(m_jobs.setPerfctrs(5, 9, 9, 9, 9, 9, 9, 9, 127), 0);
  ExpectError(0, "Can't set perf counters to appid 5 because of bad jobId");
  EXPECT_EQ(Raw(5, "nPerfctrJobPhase"), "4:" + std::string(4, '\0'));  // nothing written
  EXPECT_EQ(m_jobs.getPerfctrs(5, &phase, &perf, &percent, &files, &filesTotal, &bytes, &bytesTotal), 0);
  ExpectError(0, "Can't get perf counters for appid 5 because of bad jobId or bad appId");
  int app = 0;
  EXPECT_TRUE(m_jobs.getAppIdFromJobId(11, app) && app == 5);  // its last job, none running
  EXPECT_EQ(m_jobs.getAppIdFromJobId(99, app), 0);
  ExpectError(0, "unable to find appId for given job id");

  ASSERT_EQ(m_jobs.addApp(4, "Idle", 0), 1);
  EXPECT_EQ(m_jobs.isAnyBackupRunning(app), 0);
  ASSERT_EQ(m_jobs.addJob(5, 12, 1, "clBackup"), 1);
  for (const auto& [backupState, running] : {std::pair{0, 1}, {2, 0}, {5, 0}, {3, 1}}) {
    ASSERT_EQ(m_jobs.setBackupJobState(5, backupState), 1);
    app = 0;
    EXPECT_EQ(m_jobs.isAnyBackupRunning(app), running) << backupState;
    EXPECT_EQ(app, running ? 5 : 0);
  }
  EXPECT_TRUE(m_jobs.getBackupJobState(5, state) && state == 3);
  int status = -1;
  EXPECT_TRUE(m_jobs.getBackupJobStartedStatus(5, job, status) && job == 12 && status == 0);

  EXPECT_EQ(m_jobs.addJob(77, 1, 1, "x"), 0);
  ExpectError(0, "Can't add job. AppId not present: 77");
  EXPECT_EQ(m_jobs.deleteJob(77), 0);
  ExpectError(0, "Can't delete job. AppId not present: 77");
  EXPECT_EQ(m_jobs.setPerfctrs(77, 1, 1, 1, 1, 1, 1, 1, 127), 0);
  ExpectError(0, "Can't set perf counters job. AppId not present: 77");
}

TEST_F(Jobinfo, NoJobReasonTextsAreCountedFromOne) {
  ASSERT_EQ(m_jobs.addApp(5, "File System", 0), 1);
  const char* const three[] = {"disk full", "retry at 10:00", "operator notified"};
  ASSERT_EQ(m_jobs.setNoJobReasonAddlInfo(5, 3, three), 1);
  std::string text;
  EXPECT_TRUE(m_jobs.getNoJobReasonAddlInfo(5, 3, text) && text == "operator notified");
  EXPECT_EQ(m_jobs.getNoJobReasonAddlInfo(5, 4, text), 0);
  ExpectError(0, "Error parameter index greater than NoJobReason additional info count for this AppId: 5");
  EXPECT_EQ(text, "operator notified");

  const char* const one[] = {"paused"};
  ASSERT_EQ(m_jobs.setNoJobReasonAddlInfo(5, 1, one), 1);  // the old list is emptied first
  EXPECT_EQ(Raw(5, "sNojobReasonAddlInfo1"), Text("paused"));
  EXPECT_EQ(Raw(5, "sNojobReasonAddlInfo3"), Text(""));
  EXPECT_EQ(m_jobs.getNoJobReasonAddlInfo(5, 2, text), 0);

  EXPECT_EQ(m_jobs.setNoJobReasonAddlInfo(5, 1, nullptr), 0);
  ExpectError(-1, "Invalid parameter");
  EXPECT_EQ(m_jobs.setNoJobReasonAddlInfo(77, 1, one), 0);
  ExpectError(0, "Can't set NoJobReason additional info. AppId not present: 77");
  ASSERT_EQ(m_jobs.clearNoJobReasonAddlInfo(5), 1);
  EXPECT_EQ(Raw(5, "sNojobReasonAddlInfo1"), Text(""));
  EXPECT_EQ(Raw(5, "nNojobReasonAddlInfoCnt"), "4:" + std::string(4, '\0'));
}

TEST_F(Jobinfo, StoreFailuresLeaveNoHalfEntryAndSayWhy) {
  ASSERT_EQ(m_jobs.addApp(5, "File System", 0), 1);
  ASSERT_EQ(m_jobs.addJob(5, 21, 1, "clBackup"), 1);
  {
    const StoreFault fault("keys", "13");
    EXPECT_EQ(m_jobs.addApp(13, "Mail", 0), 0);
    ExpectError(-1, "Error creating appId key:13");
  }
  {
    const StoreFault fault("vals", "nPerfctrPercent");
    EXPECT_EQ(m_jobs.addApp(14, "Mail", 0), 0);
    ExpectError(-1, "Error creating one or more field(s) for appId:14");
    EXPECT_EQ(m_jobs.isAppIdPresent(14), 0);  // nothing was left behind
    EXPECT_EQ(m_jobs.setPerfctrs(5, 4, 4, 4, 4, 4, 4, 4, 127), 0);
    ExpectError(-1, "Error updating one or more perf counters for appId:5");
    EXPECT_EQ(Raw(5, "nPerfctrJobPhase"), "4:" + std::string(4, '\0'));  // all or nothing
    EXPECT_EQ(m_jobs.deleteJob(5), 0);
    ExpectError(-1, "Error creating one or more field(s) for appId:5");
    EXPECT_EQ(m_jobs.isAppIdPresent(5), 0);  // the entry is deleted
  }
  ASSERT_EQ(m_jobs.addApp(5, "File System", 0), 1);
  {
    const StoreFault fault("vals", "nRunningJobPid");
    EXPECT_EQ(m_jobs.addJob(5, 22, 1, "clBackup"), 0);
    ExpectError(-1, "Error creating one or more field(s) for appId:5. JobId:22");
    EXPECT_TRUE(Names(5).empty());
  }
  ASSERT_EQ(m_jobs.addApp(5, "File System", 0), 1);
  {
    const StoreFault fault("vals", "sDisplayName");
    EXPECT_EQ(m_jobs.setDisplayName(5, "Renamed"), 0);
    ExpectError(-1, "Error setting displayName for app: 5");
  }
  ZNPI_Focus::setFocus(nullptr);  // relative keys cannot be resolved
  ZNPI_Jobinfo lost;
  std::list<int> apps;
  EXPECT_EQ(lost.getAppList(apps), 0);
  EXPECT_EQ(lost.getLastErrorMsg(), "Error enumerating sub keys of jobinfo base");
  EXPECT_EQ(lost.addApp(6, "Lost", 0), 0);
  EXPECT_EQ(lost.getLastErrorMsg(), "Error creating/opening Jobinfo base key");
  EXPECT_TRUE(Logged("Error creating/opening Jobinfo base key"));
}

// A child writes as a job does; the parent reads the whole record at every
// moment, while the child runs and after it was killed in mid-write.
TEST_F(Jobinfo, ChildWritesParentReadsWholeRecordsAliveAndDead) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const std::string self = SelfName();
  Child child([&]() -> std::string {
    ZNPI_Jobinfo jobs;
    if (jobs.addApp(5, "File System", 1) == 0 || jobs.addJob(5, 4242, ::getpid(), self.c_str()) == 0) {
      return jobs.getLastErrorMsg();
    }
    for (unsigned long long i = 1;; ++i) {
      const int small = static_cast<int>(i % 1000000);
      if (jobs.setPerfctrs(5, small, i, small, i, i, i, i, 127) == 0) return jobs.getLastErrorMsg();
      if (jobs.addApp(6, ("run " + std::to_string(i)).c_str(), static_cast<long long>(i)) == 0) {
        return jobs.getLastErrorMsg();
      }
      if (i == 1 && ::write(ready[1], "r", 1) != 1) return "no pipe";
    }
  });
  ::close(ready[1]);
  ASSERT_TRUE(WaitForByte(ready[0])) << child.finish(std::chrono::seconds(1));
  ::close(ready[0]);

  unsigned long long last = 0;
  const auto checkWhole = [&](bool alive) {
    std::list<znpiAppInfo> apps;
    ASSERT_EQ(m_jobs.getClientsInfo(apps), 1) << m_jobs.getLastErrorMsg();
    ASSERT_FALSE(apps.empty());
    const znpiAppInfo& job = apps.front().appId == 5 ? apps.front() : apps.back();
    ASSERT_EQ(job.appId, 5);
    EXPECT_EQ(job.runningJobId, 4242);
    EXPECT_EQ(job.runningJobPid, child.pid());
    const unsigned long long i = job.perfctrJobPerf;
    EXPECT_GE(i, last);  // never back
    EXPECT_EQ(job.perfctrFilesCount, i);
    EXPECT_EQ(job.perfctrBytesCountTot, i);
    EXPECT_EQ(job.perfctrPercent, static_cast<int>(i % 1000000));
    last = i;
    for (const znpiAppInfo& app : apps) {  // app 6 is being replaced: absent or whole
      if (app.appId == 6) {
        EXPECT_EQ(app.displayName, "run " + std::to_string(app.lastBackupStartTime));
      }
    }
    EXPECT_EQ(zn::CheckJobProcess(job.runningJobPid, job.runningJobProcessName),
              alive ? JobProcess::kAlive : JobProcess::kGone);
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int round = 0; round < 300 && std::chrono::steady_clock::now() < deadline; ++round) {
    checkWhole(true);
    if (HasFailure()) break;
  }
  int app = 0;
  EXPECT_TRUE(m_jobs.isAnyBackupRunning(app) && app == 5);
  const int status = child.kill();
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;
  checkWhole(false);  // the dead job's record stays, whole, and reads as dead
  EXPECT_EQ(m_jobs.addJob(5, 4243, ::getpid(), self.c_str()), 0);
  ExpectError(0, "Can't add jobid 4243 to appid 5 because a job already exists:4242");
  ASSERT_EQ(m_jobs.setBackupJobStartedStatus(5, 0, 0), 1);  // a new job may start
  EXPECT_EQ(m_jobs.addJob(5, 4243, ::getpid(), self.c_str()), 1);
  EXPECT_EQ(zn::CheckJobProcess(::getpid(), self), JobProcess::kAlive);
  EXPECT_EQ(zn::CheckJobProcess(::getpid(), "some_other_program"), JobProcess::kGone);  // pid reused
  EXPECT_EQ(zn::CheckJobProcess(0, self), JobProcess::kNone);
}

// A writer that writes value by value (as an older or foreign one does) and
// is killed midway leaves entries that readers report, never misread.
TEST_F(Jobinfo, HalfWrittenEntriesOfADeadWriterAreReportedNotMisread) {
  ASSERT_EQ(m_jobs.addApp(5, "File System", 0), 1);
  ASSERT_EQ(m_jobs.addJob(5, 30, ::getpid(), SelfName().c_str()), 1);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  Child child([&]() -> std::string {
    ZNPlatformInfo store(0, 0);
    // Entry 8 stops after its job fields; entry 9 lacks only a counter.
    store.setString("Jobinfo\\8", "sDisplayName", "Half");
    store.setNumber("Jobinfo\\8", "nRunningJobId", 31);
    store.setNumber("Jobinfo\\8", "nRunningJobPid", static_cast<unsigned long>(::getpid()));
    ZNPI_Jobinfo jobs;
    jobs.addApp(9, "Almost", 0);
    jobs.addJob(9, 32, ::getpid(), "x");
    store.deleteField("Jobinfo\\9", "nPerfctrBytesCount");
    if (::write(ready[1], "r", 1) != 1) return "no pipe";
    ::pause();
    return "";
  });
  ::close(ready[1]);
  ASSERT_TRUE(WaitForByte(ready[0])) << child.finish(std::chrono::seconds(1));
  ::close(ready[0]);
  const pid_t writer = child.pid();
  child.kill();

  std::list<znpiAppInfo> apps;
  EXPECT_EQ(m_jobs.getClientsInfo(apps), 0);
  ExpectError(-3, "Error getting job info for appId:8");
  ASSERT_EQ(apps.size(), 1u);  // only the whole entry
  EXPECT_EQ(apps.front().appId, 5);
  int phase = 0;
  EXPECT_EQ(m_jobs.getPerfctrs(9, &phase, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ExpectError(-3, "Error getting one or more perf counters for appId:9");
  int app = 0;
  EXPECT_TRUE(m_jobs.getAppIdFromJobId(31, app) && app == 8);
  EXPECT_TRUE(m_jobs.isAnyBackupRunning(app) && app == 5);
  ASSERT_EQ(m_jobs.deleteApp(5), 1);
  EXPECT_TRUE(m_jobs.isAnyBackupRunning(app) && app == 9);  // 8 has no state: it does not count
  EXPECT_EQ(zn::CheckJobProcess(writer, ""), JobProcess::kGone);

  ASSERT_EQ(m_jobs.addApp(8, "Whole again", 0), 1);  // a new entry replaces the remains
  EXPECT_EQ(m_jobs.getClientsInfo(apps), 0);
  ExpectError(-3, "Error getting perfinfo for appId:9");
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(apps.front().displayName, "Whole again");
  EXPECT_EQ(apps.front().runningJobId, 0);
}

}  // namespace
