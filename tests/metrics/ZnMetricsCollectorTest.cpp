// The metrics collector: the metrics log's line form, how statistic types
// combine and reset, which dumps report what, registration messages, and
// whether a process collects at all.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "metrics/MetricsTestUtil.h"
#include "zn/metrics/ZnMetricsCollector.h"
#include "zn/metrics/MetricsTesting.h"
#include "zuzazer/CYqLogger.h"

namespace {

using zn::LogSettings;
using zn::test::kMetricsSection;
using Strings = std::vector<std::string>;

class ZnMetricsCollectorTest : public zn::test::MetricsTest {
 protected:
  // "Context="<process>" <rest>"
  static std::string Ctx(const std::string& rest) { return "Context=\"" + Process() + "\" " + rest; }
  std::vector<std::string> PeriodicLines() const { return Messages("ZnMetricsCollector::DumpStatisticsOnThread"); }
  std::vector<std::string> ExplicitLines() const { return Messages("ZnMetricsCollector::DumpStatistics"); }
};

// The thread pool's observations as it adds and publishes them.
void AddPoolObservations(const std::string& pool) {
  for (const char* gauge : {"MaxThreads", "BusyThreads", "WorkerThreads", "ReadyTask", "TaskList"}) {
    ZnMetricsCollector::AddObservation("ThreadPool", pool, gauge, ZnStatSnapShot, ZnStatLogPeriodic, ZnResetNever, 300);
  }
  for (const char* counter : {"TaskAdded", "TaskDone"}) {
    ZnMetricsCollector::AddObservation("ThreadPool", pool, counter, ZnStatSum, ZnStatLogPeriodic, ZnResetOnDump, 300);
  }
}

TEST_F(ZnMetricsCollectorTest, DumpLinesHaveTheFixedForm) {
  StartCollecting();
  AddPoolObservations("Jobs");
  ZnMetricsCollector::Update("ThreadPool", "Jobs", "WorkerThreads", 4);
  ZnMetricsCollector::Update("ThreadPool", "Jobs", "BusyThreads", 2);
  ZnMetricsCollector::Update("ThreadPool", "Jobs", "MaxThreads", 10);
  for (int i = 0; i < 3; ++i) ZnMetricsCollector::Update("ThreadPool", "Jobs", "TaskAdded", 1);
  for (int i = 0; i < 2; ++i) ZnMetricsCollector::Update("ThreadPool", "Jobs", "TaskDone", 1);

  // An instance without a module, with all three groups and a parameter text.
  ZnMetricsCollector::AddObservation("Reader", "Open", ZnStatSnapShot, ZnStatLogAll, ZnResetNever, 0);
  ZnMetricsCollector::AddObservation("Reader", "Bytes", ZnStatSum, ZnStatLogAll);
  ZnMetricsCollector::AddObservation("Reader", "Longest", ZnStatMaximum, ZnStatLogAll);
  ZnMetricsCollector::AddObservation("Reader", "Shortest", ZnStatMinimum, ZnStatLogAll);
  ZnMetricsCollector::Set("Reader", "Open", 3);
  ZnMetricsCollector::Update("Reader", "Bytes", 100);
  ZnMetricsCollector::Update("Reader", "Bytes", 28);
  for (const long value : {5, 9, 3}) {
    ZnMetricsCollector::Update("Reader", "Longest", value);
    ZnMetricsCollector::Update("Reader", "Shortest", value);
  }
  ZnMetricsCollector::SetObservationParameters("Reader", "Longest", "per file");

  ZnMetricsCollector::DumpStatisticsOnThread();
  ZnMetricsCollector::DumpStatisticsOnThread();  // sums start again, gauges stay
  const Strings expected = {
      // Map order: module "" before "ThreadPool"; groups SnapShot, Delta, Other.
      Ctx("Instance=\"Reader\" Type=\"SnapShot\" Open=\"3\" "),
      Ctx("Instance=\"Reader\" Type=\"Delta\" Bytes=\"128\" "),
      Ctx("Instance=\"Reader\" Type=\"Other\" Longest=\"9\" (per file) Shortest=\"3\" "),
      Ctx("Module=\"ThreadPool\" Instance=\"Jobs\" Type=\"SnapShot\" BusyThreads=\"2\" MaxThreads=\"10\" "
          "ReadyTask=\"0\" TaskList=\"0\" WorkerThreads=\"4\" "),
      Ctx("Module=\"ThreadPool\" Instance=\"Jobs\" Type=\"Delta\" TaskAdded=\"3\" TaskDone=\"2\" "),
      Ctx("Instance=\"Reader\" Type=\"SnapShot\" Open=\"3\" "),
      Ctx("Instance=\"Reader\" Type=\"Delta\" Bytes=\"0\" "),
      Ctx("Instance=\"Reader\" Type=\"Other\" Longest=\"0\" (per file) Shortest=\"2147483647\" "),
      Ctx("Module=\"ThreadPool\" Instance=\"Jobs\" Type=\"SnapShot\" BusyThreads=\"2\" MaxThreads=\"10\" "
          "ReadyTask=\"0\" TaskList=\"0\" WorkerThreads=\"4\" "),
      Ctx("Module=\"ThreadPool\" Instance=\"Jobs\" Type=\"Delta\" TaskAdded=\"0\" TaskDone=\"0\" "),
  };
  EXPECT_EQ(PeriodicLines(), expected);
  // The pool's observations are for the periodic dump only.
  ZnMetricsCollector::DumpStatistics("ThreadPool", "Jobs");
  EXPECT_TRUE(ExplicitLines().empty());

  ZnMetricsCollector::DumpStaticData("ThreadPool", "Jobs", "Started at 10:00");
  EXPECT_EQ(Messages("ZnMetricsCollector::DumpStaticData"),
            Strings{Ctx("Module=\"ThreadPool\" Instance=\"Jobs\" Started at 10:00 ")});
  // The lines end with their blank on disk too.
  EXPECT_NE(zn::test::ReadFile(LogPath()).find("TaskDone=\"0\" \n"), std::string::npos);
}

TEST_F(ZnMetricsCollectorTest, LogTypesPickTheDumpsThatReportAnObservation) {
  StartCollecting();
  ZnMetricsCollector::AddObservation("M", "I", "Periodic", ZnStatSnapShot, ZnStatLogPeriodic);
  ZnMetricsCollector::AddObservation("M", "I", "Explicit", ZnStatSnapShot, ZnStatLogExplicit);
  ZnMetricsCollector::AddObservation("M", "I", "Both", ZnStatSnapShot, static_cast<ZnStatLogType>(7));
  ZnMetricsCollector::AddObservation("M", "Quiet", "OnlyAsked", ZnStatSum, ZnStatLogExplicit);
  ZnMetricsCollector::Set("M", "I", "Periodic", 1);
  ZnMetricsCollector::Set("M", "I", "Explicit", 2);
  ZnMetricsCollector::Set("M", "I", "Both", 3);
  ZnMetricsCollector::Update("M", "Quiet", "OnlyAsked", 4);

  ZnMetricsCollector::DumpStatisticsOnThread();
  // "Quiet" has nothing for the periodic dump: no line at all.
  EXPECT_EQ(PeriodicLines(), Strings{Ctx("Module=\"M\" Instance=\"I\" Type=\"SnapShot\" Both=\"3\" Periodic=\"1\" ")});
  ZnMetricsCollector::DumpStatistics("M", "I");
  ZnMetricsCollector::DumpStatistics("M", "Quiet");
  ZnMetricsCollector::DumpStatistics("M", "Unknown");  // nothing, and nothing registered
  EXPECT_EQ(ExplicitLines(), (Strings{Ctx("Module=\"M\" Instance=\"I\" Type=\"SnapShot\" Both=\"3\" Explicit=\"2\" "),
                                      Ctx("Module=\"M\" Instance=\"Quiet\" Type=\"Delta\" OnlyAsked=\"4\" ")}));
  EXPECT_TRUE(MessagesStartingWith(Ctx("Module=\"M\" Instance=\"Unknown\"")).empty());

  // The instance's own dump is the explicit one.
  ZnMetrics* metrics = ZnMetricsCollector::RegisterInstance("M", "I");
  ASSERT_NE(metrics, nullptr);
  metrics->DumpStatistics();
  EXPECT_EQ(Messages("ZnMetrics::DumpStatistics"),
            Strings{Ctx("Module=\"M\" Instance=\"I\" Type=\"SnapShot\" Both=\"3\" Explicit=\"2\" ")});
}

TEST_F(ZnMetricsCollectorTest, StatisticTypesCombineUpdates) {
  StartCollecting();
  ZnMetrics* m = ZnMetricsCollector::RegisterInstance("Types");
  ASSERT_NE(m, nullptr);
  m->AddObservation("sum", ZnStatSum);
  m->AddObservation("min", ZnStatMinimum);
  m->AddObservation("max", ZnStatMaximum);
  m->AddObservation("snap", ZnStatSnapShot);
  const auto value = [&](const char* name) {
    long v = -12345;
    EXPECT_TRUE(m->getValue(name, v)) << name;
    return v;
  };
  EXPECT_EQ(value("sum"), 0);
  EXPECT_EQ(value("min"), 2147483647);  // a new minimum can be lowered at once
  EXPECT_EQ(value("max"), 0);

  for (const long v : {7L, -3L, 0L, 12L, 5L}) {
    m->Update("sum", v);
    m->Update("min", v);
    m->Update("max", v);
    m->Update("snap", v);
  }
  EXPECT_EQ(value("sum"), 21);
  EXPECT_EQ(value("min"), 5);  // values below 1 never count
  EXPECT_EQ(value("max"), 12);
  EXPECT_EQ(value("snap"), 5);

  // Set, Increment and the one-steps work the same on every type.
  m->Set("min", 100);
  m->IncrementByOne("min");
  m->Increment("max", 10);
  m->DecrementByOne("snap");
  EXPECT_EQ(value("min"), 101);
  EXPECT_EQ(value("max"), 22);
  EXPECT_EQ(value("snap"), 4);

  // Values are 32-bit: a wider argument keeps its low 32 bits, sums wrap.
  m->Set("sum", 2147483647);
  m->Update("sum", 1);
  EXPECT_EQ(value("sum"), -2147483647 - 1);
  m->Set("snap", 0x100000005L);
  EXPECT_EQ(value("snap"), 5);

  // The type-only form starts a name again; the longer forms keep it.
  m->AddObservation("sum", ZnStatSum, ZnStatLogExplicit);
  EXPECT_EQ(value("sum"), -2147483647 - 1);
  EXPECT_EQ(m->FindStat("sum")->getLogType(), ZnStatLogPeriodic);
  m->AddObservation("sum", ZnStatSum);
  EXPECT_EQ(value("sum"), 0);
  ZnMetricsCollector::AddObservation("Types", "snap", ZnStatSum, ZnResetNever, 60);
  EXPECT_EQ(m->FindStat("snap")->getType(), ZnStatSnapShot);
  ZnMetricsCollector::AddObservation("Types", "snap", ZnStatMaximum);
  EXPECT_EQ(m->FindStat("snap")->getType(), ZnStatMaximum);
  EXPECT_EQ(value("snap"), 0);

  // The collector's forms reach the same observations.
  ZnMetricsCollector::Update("Types", "max", 50);
  ZnMetricsCollector::DecrementByOne("Types", "max");
  EXPECT_EQ(value("max"), 49);
}

TEST_F(ZnMetricsCollectorTest, ElapsedTimesCombineAsTheirTypesSay) {
  StartCollecting();
  ZnMetrics* m = ZnMetricsCollector::RegisterInstance("Timing", "Jobs");
  ASSERT_NE(m, nullptr);
  m->AddObservation("longest", ZnStatMaxElapsedTime);
  m->AddObservation("shortest", ZnStatMinElapsedTime);
  m->AddObservation("last", ZnStatLastElapsedTime);
  m->AddObservation("count", ZnStatSum);
  // Starts placed in the past stand for work that took that long; a run
  // ends at least that many seconds later.
  const auto run = [&](long long secondsAgo) {
    for (const char* name : {"longest", "shortest", "last", "count"}) {
      m->StartTime(name);
      ZnStat* stat = m->FindStat(name);
      ASSERT_NE(stat, nullptr);
      EXPECT_GE(stat->getStartTime(), static_cast<long long>(std::time(nullptr)) - 1);
      stat->setStartTime(stat->getStartTime() - secondsAgo);
      m->StopTime(name);
    }
  };
  const auto value = [&](const char* name) {
    long v = 0;
    EXPECT_TRUE(m->getValue(name, v));
    return v;
  };
  run(100);
  run(1000);
  run(300);
  EXPECT_GE(value("longest"), 1000);
  EXPECT_LT(value("longest"), 1100);
  EXPECT_GE(value("shortest"), 100);
  EXPECT_LT(value("shortest"), 300);
  EXPECT_GE(value("last"), 300);
  EXPECT_LT(value("last"), 1000);
  EXPECT_EQ(value("count"), 0);  // other types ignore StopTime
  // Through the collector, by names.
  ZnMetricsCollector::StartTime("Timing", "Jobs", "last");
  ZnMetricsCollector::StopTime("Timing", "Jobs", "last");
  EXPECT_LT(value("last"), 100);
}

TEST_F(ZnMetricsCollectorTest, ResetTypesDecideWhatTheNextDumpShows) {
  StartCollecting();
  ZnMetrics* m = ZnMetricsCollector::RegisterInstance("Resets");
  ASSERT_NE(m, nullptr);
  m->AddObservation("never", ZnStatSum, ZnStatLogExplicit, ZnResetNever, 0);
  m->AddObservation("dump", ZnStatSum, ZnStatLogExplicit, ZnResetOnDump, 0);
  m->AddObservation("due", ZnStatSum, ZnStatLogExplicit, ZnResetOnInterval, 50);
  m->AddObservation("later", ZnStatSum, ZnStatLogExplicit, static_cast<ZnResetType>(9), 3600);
  m->AddObservation("low", ZnStatMinimum, ZnStatLogExplicit, ZnResetOnDump, 0);
  m->AddObservation("high", ZnStatMaximum, ZnStatLogExplicit, ZnResetOnDump, 0);
  m->AddObservation("gauge", ZnStatSnapShot, ZnStatLogExplicit, ZnResetOnDump, 0);
  for (const char* name : {"never", "dump", "due", "later", "low", "high", "gauge"}) m->Update(name, 5);
  // "due" was last reset long enough ago; "later" was not.
  const long long now = static_cast<long long>(std::time(nullptr));
  m->FindStat("due")->setLastResetTime(now - 100);

  m->DumpStatistics();
  m->DumpStatistics();
  EXPECT_EQ(Messages("ZnMetrics::DumpStatistics"),
            (Strings{Ctx("Instance=\"Resets\" Type=\"SnapShot\" gauge=\"5\" "),
                     Ctx("Instance=\"Resets\" Type=\"Delta\" due=\"5\" dump=\"5\" later=\"5\" never=\"5\" "),
                     Ctx("Instance=\"Resets\" Type=\"Other\" high=\"5\" low=\"5\" "),
                     // Snapshots keep their value through a reset.
                     Ctx("Instance=\"Resets\" Type=\"SnapShot\" gauge=\"5\" "),
                     Ctx("Instance=\"Resets\" Type=\"Delta\" due=\"0\" dump=\"0\" later=\"5\" never=\"5\" "),
                     Ctx("Instance=\"Resets\" Type=\"Other\" high=\"0\" low=\"2147483647\" ")}));
  EXPECT_GE(m->FindStat("due")->getLastResetTime(), now);
  long v = 0;
  ASSERT_TRUE(m->getValue("low", v));
  EXPECT_EQ(v, 2147483647);  // until an update of at least 1
  m->Update("low", 0);
  ASSERT_TRUE(m->getValue("low", v));
  EXPECT_EQ(v, 2147483647);
  m->Update("low", 8);
  ASSERT_TRUE(m->getValue("low", v));
  EXPECT_EQ(v, 8);
  ASSERT_TRUE(m->getValue("high", v));
  EXPECT_EQ(v, 0);
}

TEST_F(ZnMetricsCollectorTest, RegistrationAndRemovalAreLogged) {
  StartCollecting();
  ZnMetrics* first = ZnMetricsCollector::RegisterInstance("Mod", "Inst");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ZnMetricsCollector::RegisterInstance("Mod", "Inst"), first);
  ZnMetricsCollector::RegisterInstanceOnly("Mod", "Inst");
  ZnMetricsCollector::RegisterInstanceOnly("Mod", "Other");
  ZnMetrics* single = ZnMetricsCollector::RegisterInstance("Alone");
  ASSERT_NE(single, nullptr);
  EXPECT_NE(single, first);
  EXPECT_EQ(single->GetModuleName(), "");
  EXPECT_EQ(first->GetModuleName(), "Mod");
  EXPECT_EQ(first->GetName(), "Inst");
  ZnMetricsCollector::RegisterInstance("Alone");
  ZnMetricsCollector::RegisterInstanceOnly("Alone");
  EXPECT_EQ(Messages("ZnMetricsCollector::RegisterInstance"),
            (Strings{
                Ctx("Module=\"Mod\" Instance=\"Inst\" registered."),
                Ctx("Module=\"Mod\" Instance=\"Inst\" already registered"),
                Ctx("Module=\"Mod\" Instance=\"Inst\" already exists, not registering again, please provide unique "
                    "instance name for avoiding inconsistency in statistics."),
                Ctx("Module=\"Mod\" Instance=\"Other\" registered."),
                Ctx("Instance=\"Alone\" registered."),
                Ctx("Instance=\"Alone\" already registered"),
                Ctx("Instance=\"Alone\" already exists, not registering again, please provide unique instance name "
                    "for avoiding inconsistency in statistics."),
            }));

  // An operation on an instance nobody registered registers it; one on an
  // observation nobody added is reported and changes nothing.
  ZnMetricsCollector::Update("Mod", "Implicit", "missing", 3);
  EXPECT_TRUE(Logged(Ctx("Module=\"Mod\" Instance=\"Implicit\" registered.")));
  EXPECT_EQ(
      Messages("ZnMetrics::FindStat"),
      Strings{"The observation/counter [missing] is not found for instance [Implicit] module [Mod], the operation "
              "on observation/counter is called without adding observation/counter, we are returning NULL "
              "pointer."});
  long v = 0;
  EXPECT_FALSE(first->getValue("missing", v));
  EXPECT_EQ(first->FindStat("missing"), nullptr);

  // Removal names every observation, in name order, then the instance; no
  // last dump is written.
  first->AddObservation("b", ZnStatSum);
  first->AddObservation("a", ZnStatSnapShot);
  first->Update("b", 4);
  ZnMetricsCollector::DeRegisterInstance("Mod", "Inst");
  single->AddObservation("x", ZnStatSum);
  single->DeRegisterInstance();  // removes (and deletes) itself
  ZnMetricsCollector::DeRegisterInstance("Mod", "NeverThere");
  EXPECT_EQ(Messages("ZnMetricsCollector::DeRegisterInstance"),
            (Strings{Ctx("Module=\"Mod\" Instance=\"Inst\" observation=\"a\" successfully removed."),
                     Ctx("Module=\"Mod\" Instance=\"Inst\" observation=\"b\" successfully removed."),
                     Ctx("Module=\"Mod\" Instance=\"Inst\" successfully removed."),
                     Ctx("Instance=\"Alone\" observation=\"x\" successfully removed."),
                     Ctx("Instance=\"Alone\" successfully removed.")}));
  EXPECT_TRUE(PeriodicLines().empty());
  EXPECT_TRUE(ExplicitLines().empty());

  // Registered again, it starts empty.
  ZnMetrics* again = ZnMetricsCollector::RegisterInstance("Mod", "Inst");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->FindStat("b"), nullptr);

  // An instance the collector does not hold is left alone by its own removal.
  ZnMetrics standalone("Mod", "Other");
  standalone.AddObservation("kept", ZnStatSum);
  standalone.DeRegisterInstance();
  EXPECT_NE(standalone.FindStat("kept"), nullptr);
  ZnMetricsCollector::DumpStatisticsOnThread();
  EXPECT_TRUE(PeriodicLines().empty());  // the registered "Other" has no observations
}

TEST_F(ZnMetricsCollectorTest, MetricsLogIsItsOwnFileWithTenMegabytesAndSevenDays) {
  StartCollecting();
  ZnMetricsCollector::RegisterInstance("Opened");
  auto& instance = zn::testing::MetricsLogInstance();
  ASSERT_EQ(instance.m_state.load(), EvDebugFileInstance::kOpen);
  CYqLogger* writer = instance.m_writer.load();
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->GetLogFilePath(), LogPath());
  EXPECT_EQ(writer->GetLogFileSize(), 10u);
  EXPECT_EQ(writer->GetRetainLogsTill(), 604800u);
  EXPECT_TRUE(Logged(Ctx("Instance=\"Opened\" registered.")));
}

// ---- Whether a process collects ----

class ZnMetricsEnablementTest : public zn::test::MetricsTest {
 protected:
  static zn::MetricsDecision Decide(const std::string& process) {
    return zn::DecideMetricsCollection(process, zn::ReadMetricsSwitches(process));
  }
  static void Store(const std::string& name, long long value) { LogSettings::SetNumber(kMetricsSection, name, value); }
};

TEST_F(ZnMetricsEnablementTest, StoreSwitchesDecide) {
  const std::string p = "backupd";
  EXPECT_TRUE(Decide(p).enabled);  // nothing configured: on
  EXPECT_EQ(Decide(p).message, "");

  Store("Disable_backupd", 1);
  EXPECT_FALSE(Decide(p).enabled);
  EXPECT_EQ(Decide(p).message, "Performance Metrics collection is explicitly disabled for backupd");
  Store("Enable_ALL", 1);
  EXPECT_FALSE(Decide(p).enabled);
  Store("Disable_backupd", 0);
  EXPECT_TRUE(Decide(p).enabled);
  Store("Disable_backupd", -1);  // "above 0" only
  EXPECT_TRUE(Decide(p).enabled);
  EXPECT_EQ(Decide(p).message, "");

  Store("Enable_ALL", 0);
  EXPECT_FALSE(Decide(p).enabled);
  Store("Enable_backupd", 1);
  EXPECT_TRUE(Decide(p).enabled);
  EXPECT_EQ(Decide(p).message, "Performance Metrics collection is enabled for backupd");
  EXPECT_FALSE(Decide("otherd").enabled);  // per process
  Store("Enable_backupd", 0);
  EXPECT_FALSE(Decide(p).enabled);
  Store("Enable_backupd", 1);

  // Laptops and database servers never collect, whatever is configured.
  LogSettings::SetNumber("FileSystemAgent", "nLaptopAgent", 1);
  EXPECT_FALSE(Decide(p).enabled);
  LogSettings::SetNumber("FileSystemAgent", "nLaptopAgent", 0);
  EXPECT_TRUE(Decide(p).enabled);
  LogSettings::Remove(kMetricsSection, "Enable_ALL");
  EXPECT_FALSE(Decide("ORACLE").enabled);
  EXPECT_FALSE(Decide("tnsORACLEd").enabled);
  EXPECT_FALSE(Decide("db2sysc").enabled);
  EXPECT_TRUE(Decide("oracle").enabled);  // the names are matched as written
}

TEST_F(ZnMetricsEnablementTest, DisabledProcessCollectsNothing) {
  Store("Enable_ALL", 0);
  ZnMetricsCollector::Initialize();
  EXPECT_FALSE(zn::testing::MetricsLoggingThreadRunning());  // no logging thread
  EXPECT_EQ(ZnMetricsCollector::RegisterInstance("M", "I"), nullptr);
  ZnMetricsCollector::AddObservation("M", "I", "n", ZnStatSum);
  ZnMetricsCollector::Update("M", "I", "n", 5);
  ZnMetricsCollector::DumpStatisticsOnThread();
  ZnMetricsCollector::DumpStatistics("M", "I");
  ZnMetricsCollector::DumpStaticData("M", "I", "text");
  EXPECT_EQ(zn::testing::MetricsInstanceCount(), 0u);
  EXPECT_TRUE(Lines().empty());

  // The decision is taken once: switching the store back changes nothing
  // in this process.
  Store("Enable_ALL", 1);
  ZnMetricsCollector::Initialize();
  EXPECT_EQ(ZnMetricsCollector::RegisterInstance("M", "I"), nullptr);
}

TEST_F(ZnMetricsEnablementTest, ProcessSwitchedOnAloneSaysSo) {
  Store("Enable_ALL", 0);
  Store("Enable_" + Process(), 1);
  Store("LoggingThreadFrequency_" + Process(), 3600000);
  ZnMetricsCollector::Initialize();
  ZnMetricsCollector::StopThreadSignal();
  EXPECT_EQ(Messages("ZnMetricsCollector::Initialize"),
            Strings{"Performance Metrics collection is enabled for " + Process()});
  EXPECT_NE(ZnMetricsCollector::RegisterInstance("M", "I"), nullptr);
}

TEST_F(ZnMetricsEnablementTest, LaptopAgentNeverCollects) {
  LogSettings::SetNumber("FileSystemAgent", "nLaptopAgent", 1);
  ZnMetricsCollector::Initialize();
  EXPECT_FALSE(zn::testing::MetricsLoggingThreadRunning());
  EXPECT_EQ(ZnMetricsCollector::RegisterInstance("M", "I"), nullptr);
}

}  // namespace
