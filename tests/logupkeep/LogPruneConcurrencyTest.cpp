// Pruning while others work on the same folder: a process writing its log
// through the log writer (rolling over meanwhile) loses no line, and two
// processes pruning one folder at once end where one would have.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logupkeep/LogPruneTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/logupkeep/DeCompressLogFile.h"
#include "zn/log/EvDebug.h"
#include "zuzazer/C7zip.h"

namespace {

namespace fs = std::filesystem;
using zn::LogSettings;
using zn::test::ChildProcess;
using zn::test::FolderPlan;
using zn::test::kDay;
using zn::test::kEM;
using zn::test::Names;
using zn::test::Outcome;
using zn::test::ParseMaintenanceLines;
using zn::test::Pipe;
using zn::test::PlannedFile;
using zn::test::ReadFile;
using zn::test::TempDir;

class LogPruneConcurrency : public zn::test::MaintenanceTest {
 protected:
  CYqError Prune() {
    std::string folder = m_logs.path();
    return EvDebug::PruneLogFiles(folder, true);
  }

  void ExpectCompressedIntact(const FolderPlan& plan) {
    C7zip archiver(m_logs.path());
    ASSERT_TRUE(archiver.Initialize().IsSuccess());
    for (const PlannedFile& file : plan.Files()) {
      if (file.outcome != Outcome::kCompressed) continue;
      TempDir out;
      std::string result;
      ASSERT_TRUE(DeCompressLogFile(&archiver, m_logs.path(), file.name + ".zip", out.path(), result).IsSuccess())
          << file.name;
      EXPECT_EQ(ReadFile(result), file.content) << file.name;
    }
  }
};

TEST_F(LogPruneConcurrency, AWriterRollingOverWhilePruningLosesNoLine) {
  // The writer rolls over every megabyte and keeps every version, and so
  // does the pruner; its old versions are pruned and compressed meanwhile.
  LogSettings::SetNumber(kEM, "FileSystemAgent_MAXLOGFILESIZE", 1);
  LogSettings::SetNumber(kEM, "FileSystemAgent_MAXLOGFILEBACKUPS", 1000);
  LogSettings::SetNumber(kEM, "CleanupLogsOlderThan_InDays", 30);  // the current file is looked at too
  FolderPlan plan(m_logs.path());
  for (int d = 1; d <= 6; ++d) plan.Version("FileSystemAgent", d * kDay, Outcome::kCompressed);
  plan.Version("FileSystemAgent", 31 * kDay, Outcome::kDeleted);

  constexpr int kLines = 40000;  // about four rollovers
  Pipe started;
  ChildProcess writer([&] {
    EvDebugFileInstance instance;
    EvDebug log(&instance);
    if (!log.initialize(EvDebug::getLogId("FileSystemAgent"), 0, m_logs.path().c_str(), false)) return 1;
    started.send('s');
    for (int i = 0; i < kLines; ++i) {
      log.Debug("Writer", "writer line %d of a log that rolls over while it is pruned ........................", i);
    }
    return 0;
  });
  ASSERT_EQ(started.receive(), 's');
  // Prune again and again while the writer runs (how often does not matter),
  // then once more at rest.
  int rounds = 0;
  for (; rounds < 200 && writer.wait(std::chrono::milliseconds(0)) == -1000; ++rounds) {
    ASSERT_TRUE(Prune().IsSuccess());
  }
  RecordProperty("rounds_while_writing", rounds);
  ASSERT_EQ(writer.wait(std::chrono::seconds(120)), 0);
  ASSERT_TRUE(Prune().IsSuccess());

  // Every line is in the current file or one of the writer's versions, once.
  std::vector<int> seen(kLines, 0);
  int versions = 0;
  for (const std::string& name : Names(m_logs.path())) {
    if (name.ends_with(".zip")) continue;
    versions += name != "FileSystemAgent.log" ? 1 : 0;
    for (const auto& line : ParseMaintenanceLines(ReadFile(m_logs.file(name)))) {
      int i = -1;
      if (line.function == "Writer" && std::sscanf(line.message.c_str(), "writer line %d", &i) == 1) {
        ASSERT_TRUE(i >= 0 && i < kLines) << line.message;
        ++seen[i];
      }
    }
  }
  EXPECT_GE(versions, 2);  // it did roll over
  for (int i = 0; i < kLines; ++i) ASSERT_EQ(seen[i], 1) << "line " << i;
  // The old versions were handled as if nobody wrote.
  for (const PlannedFile& file : plan.Files()) {
    EXPECT_FALSE(fs::exists(m_logs.file(file.name))) << file.name;
    EXPECT_EQ(fs::exists(m_logs.file(file.name + ".zip")), file.outcome == Outcome::kCompressed) << file.name;
  }
  ExpectCompressedIntact(plan);
}

TEST_F(LogPruneConcurrency, TwoProcessesPruningOneFolderEndAsOneWould) {
  LogSettings::SetNumber(kEM, "Db2Agent_MAXLOGFILEBACKUPS", 12);
  FolderPlan plan(m_logs.path());
  for (const char* base : {"FileSystemAgent", "Db2Agent", "CustomTool"}) {
    plan.Add(std::string(base) + ".log", 60, Outcome::kStays);
  }
  // FileSystemAgent keeps 5, Db2Agent 12, CustomTool 1000 within 180 days.
  for (int d = 1; d <= 25; ++d) {
    plan.Version("FileSystemAgent", d * kDay, d <= 5 ? Outcome::kCompressed : Outcome::kDeleted);
    plan.Version("Db2Agent", d * kDay, d <= 12 ? Outcome::kCompressed : Outcome::kDeleted);
    const long long days = d * 10 - 5;  // never on the 180-day line itself
    plan.Version("CustomTool", days * kDay, days <= 180 ? Outcome::kCompressed : Outcome::kDeleted);
  }

  Pipe gate;
  std::vector<std::unique_ptr<ChildProcess>> pruners;
  for (int p = 0; p < 2; ++p) {
    pruners.push_back(std::make_unique<ChildProcess>([&] {
      if (gate.receive() != 'g') return 2;
      std::string folder = m_logs.path();
      return EvDebug::PruneLogFiles(folder, true).IsSuccess() ? 0 : 1;
    }));
  }
  gate.send('g');
  gate.send('g');
  for (auto& pruner : pruners) EXPECT_EQ(pruner->wait(std::chrono::seconds(120)), 0);

  EXPECT_EQ(Names(m_logs.path()), plan.Expected());
  ExpectCompressedIntact(plan);
  // Both did the work: each process wrote its own walk.
  std::set<long> processes;
  std::istringstream in(Content());
  for (std::string row; std::getline(in, row);) {
    if (row.find(" Searching log files with pattern ") != std::string::npos) processes.insert(std::stol(row));
  }
  EXPECT_EQ(processes.size(), 2u);
}

}  // namespace
